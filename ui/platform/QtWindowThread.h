#pragma once

// The Qt window's side of the serial link's hand-over (serial/WindowThread.h).

namespace serial {

// Installs the thread that calls it, which runs a Qt event loop, as the window thread of the
// serial link. A QCoreApplication must exist. Calling it again changes nothing.
void InstallQtWindowThread();

} // namespace serial
