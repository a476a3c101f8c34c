#pragma once

// The window thread as the serial link sees it: a thread with an event loop that runs calls
// posted to it from other threads. The window system's side implements it (QtWindowThread.h
// for the Qt window) and installs it once, on the window thread, before the first port is
// opened; every port hands its blocks over through it.

namespace serial {

class IWindowThread {
public:
    virtual ~IWindowThread() = default;
    // From any thread: queues run for the window thread and wakes it. The window thread runs
    // every queued call from its event loop, modal loops included, in the order posted. The
    // call carries no data, so nothing crosses threads outside the link's own lock.
    virtual void Post(void (*run)()) = 0;
};

// Installs the window thread for the rest of the process; it must outlive every port.
void SetWindowThread(IWindowThread& thread) noexcept;

} // namespace serial
