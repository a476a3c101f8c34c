#pragma once

// The line of the link's scenario tests here: a pseudo-terminal linked as the port in a
// private port folder of its own.

#include "serial/tests/Pty.h"

#include <QCoreApplication>

namespace serial::testing {

class TTestLine : public TPty {
public:
    static constexpr std::uint8_t PortNumber = 12;

    TTestLine() { LinkAs(PortNumber); }
    // The line goes away, as when an adapter is pulled out.
    void GoAway() { CloseMaster(); }

private:
    TTempRuntimeDir runtime_;
};

// Runs what was posted to the window thread.
inline void RunPosted() {
    QCoreApplication::processEvents();
}

} // namespace serial::testing
