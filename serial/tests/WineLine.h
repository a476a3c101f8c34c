#pragma once

// Test fixtures for the serial link on Windows, run under Wine: a window thread of the test's
// own (a queue of posted calls that the test runs while it waits), and the controller's end of
// the Wine COM port that scripts/wine-com-line.py keeps linked to a pseudo-terminal pair.

#include "serial/WindowThread.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>

namespace serial::testing {

// The test thread as the window thread: calls posted to it run when the test waits.
class TTestWindowThread : public IWindowThread {
public:
    void Post(void (*run)()) override;
    // Runs the calls posted so far; waits up to timeout for one when there are none.
    void RunPosted(std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<void (*)()> calls_;
};

// The one window thread of a test program, installed by its main.
TTestWindowThread& TestWindowThread();

// Runs posted calls until condition holds; false when the deadline passes first.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds deadline = std::chrono::seconds(20));

// The line of port PortNumber. The controller's end writes into it; a second handle on the
// port itself watches the driver's queue, which Wine allows beside the port under test, as
// the Linux fixture keeps a slave descriptor of its own. Construction waits until a fresh line
// carries a byte from end to end, and leaves the port's queue empty.
class TWineLine {
public:
    static constexpr std::uint8_t PortNumber = 12;

    TWineLine();
    ~TWineLine();
    TWineLine(const TWineLine&) = delete;
    TWineLine& operator=(const TWineLine&) = delete;

    // Runs posted calls while the line is full.
    void Write(std::span<const std::uint8_t> bytes) const;
    // Writes a block as long as the reading port's threshold and returns once the reader has
    // read it: the last byte goes only after the others are seen queued, so that an empty
    // queue then means the reader took the block. Runs posted calls only when asked, so that
    // a hand-over can be left queued.
    void WriteAndWaitUntilRead(std::span<const std::uint8_t> block, bool runPosted) const;
    // Bytes the port's driver holds, read by nobody yet.
    [[nodiscard]] int Queued() const;
    // Waits until exactly count bytes are queued; throws when that takes over 20 s.
    void WaitUntilQueued(int count, bool runPosted) const;
    // The line goes away, as when an adapter is pulled out.
    void GoAway();

private:
    bool Connect();
    bool TryWrite(std::span<const std::uint8_t> bytes) const;
    void Disconnect() noexcept;

    HANDLE controller_ = INVALID_HANDLE_VALUE;
    HANDLE watcher_ = INVALID_HANDLE_VALUE;
};

} // namespace serial::testing
