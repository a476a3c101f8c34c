#pragma once

// The line of the link's scenario tests here: the Wine COM port of WineLine.h.

#include "serial/tests/WineLine.h"

namespace serial::testing {

using TTestLine = TWineLine;

// Runs what was posted to the window thread.
inline void RunPosted() {
    TestWindowThread().RunPosted();
}

} // namespace serial::testing
