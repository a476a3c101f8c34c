#include "serial/tests/WineLine.h"

#include "serial/PortName.h"

#include <stdexcept>
#include <string>
#include <thread>

namespace serial::testing {

namespace {

constexpr std::uint8_t ControllerNumber = TWineLine::PortNumber + 1;

HANDLE Open(std::uint8_t number, DWORD flags) {
    return ::CreateFileA(PortName(number).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, flags, nullptr);
}

} // namespace

void TTestWindowThread::Post(void (*run)()) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(run);
    }
    posted_.notify_one();
}

void TTestWindowThread::RunPosted(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, timeout, [this] { return !calls_.empty(); });
    while (!calls_.empty()) {
        void (*run)() = calls_.front();
        calls_.pop_front();
        lock.unlock();
        run();
        lock.lock();
    }
}

TTestWindowThread& TestWindowThread() {
    static TTestWindowThread thread;
    return thread;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        TestWindowThread().RunPosted();
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        TestWindowThread().RunPosted(std::chrono::milliseconds(1));
    }
}

TWineLine::TWineLine() {
    if (!WaitFor([this] { return Connect(); }))
        throw std::runtime_error("no Wine COM line: is scripts/wine-com-line.py running?");
}

TWineLine::~TWineLine() {
    Disconnect();
}

// A line whose socat is just ending may still open; one byte that arrives tells a live line.
bool TWineLine::Connect() {
    Disconnect();
    controller_ = Open(ControllerNumber, FILE_FLAG_OVERLAPPED);
    watcher_ = Open(PortNumber, 0);
    if (controller_ == INVALID_HANDLE_VALUE || watcher_ == INVALID_HANDLE_VALUE)
        return false;
    const std::uint8_t probe = 0x55;
    if (!TryWrite({&probe, 1}))
        return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (Queued() != 1) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ::PurgeComm(watcher_, PURGE_RXCLEAR) != 0;
}

void TWineLine::Disconnect() noexcept {
    for (HANDLE* handle : {&controller_, &watcher_}) {
        if (*handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(*handle);
        *handle = INVALID_HANDLE_VALUE;
    }
}

void TWineLine::Write(std::span<const std::uint8_t> bytes) const {
    if (!TryWrite(bytes))
        throw std::runtime_error("write to the Wine COM line failed");
}

bool TWineLine::TryWrite(std::span<const std::uint8_t> bytes) const {
    // The reader drains the line only through hand-overs to this thread, so a full line is
    // waited out with posted calls running.
    OVERLAPPED written{};
    written.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    while (!bytes.empty()) {
        DWORD n = 0;
        if (!::WriteFile(controller_, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr,
                         &written) &&
            ::GetLastError() != ERROR_IO_PENDING)
            break;
        while (::WaitForSingleObject(written.hEvent, 0) == WAIT_TIMEOUT)
            TestWindowThread().RunPosted(std::chrono::milliseconds(1));
        if (!::GetOverlappedResult(controller_, &written, &n, FALSE) || n == 0)
            break;
        bytes = bytes.subspan(n);
    }
    ::CloseHandle(written.hEvent);
    return bytes.empty();
}

void TWineLine::WriteAndWaitUntilRead(std::span<const std::uint8_t> block, bool runPosted) const {
    Write(block.first(block.size() - 1));
    WaitUntilQueued(static_cast<int>(block.size() - 1), runPosted);
    Write(block.last(1));
    WaitUntilQueued(0, runPosted);
}

int TWineLine::Queued() const {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(watcher_, &errors, &status))
        return -1;
    return static_cast<int>(status.cbInQue);
}

void TWineLine::WaitUntilQueued(int count, bool runPosted) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Queued() != count) {
        if (std::chrono::steady_clock::now() > end)
            throw std::runtime_error("the line never held " + std::to_string(count) + " bytes");
        if (runPosted)
            TestWindowThread().RunPosted(std::chrono::milliseconds(1));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void TWineLine::GoAway() {
    ::CloseHandle(controller_);
    controller_ = INVALID_HANDLE_VALUE;
}

} // namespace serial::testing
