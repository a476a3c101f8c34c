#include "serial/ComPort.h"

#include "serial/PortName.h"
#include "serial/SerialLine.h"
#include "serial/WindowThread.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace serial {

namespace {

// The process-wide lock over the hand-over queue and every link's state.
std::mutex HandOverLock;
std::deque<std::shared_ptr<THandOverLink>> HandOverQueue;
// Set once, before the first port is opened; read by readers under HandOverLock.
IWindowThread* WindowThread = nullptr;

// On the window thread: runs every hand-over queued.
void RunQueued();

} // namespace

// What a port and its reader share. The port pointer is cleared when the port is
// destroyed; it is followed only on the window thread, which is also the only thread
// that destroys ports, so a check of Closed under the lock keeps it valid there.
struct THandOverLink {
    TComPort* Port = nullptr;
    std::condition_variable Done;
    bool Closed = false;
    bool Pending = false;  // a block waits for the window thread
    bool Stop = false;     // the data handler failed; the reader ends
    bool Draining = false; // the port takes the block in hand itself, once the reader ended
    const std::uint8_t* Block = nullptr;
    std::size_t Size = 0;
    // When the waiting block was read.
    std::chrono::steady_clock::time_point ReadAt;
    std::optional<std::string> Failure; // the reader's own failure, not yet reported

    // Caller holds HandOverLock.
    void Enqueue(const std::shared_ptr<THandOverLink>& self) {
        HandOverQueue.push_back(self);
        WindowThread->Post(&RunQueued);
    }

    // On the window thread.
    void Run();
    void Report(const std::string& message);
    // Hands the blocks to handler one at a time, each with its read time, while the port
    // lives: a block's handler may destroy it. A failure the handler raises passes on.
    void HandOverBlocks(const TDataHandler& handler, std::span<const std::uint8_t> bytes,
                        std::span<const TComPort::TBlockEnd> ends);
};

void SetWindowThread(IWindowThread& thread) noexcept {
    std::lock_guard lock(HandOverLock);
    WindowThread = &thread;
}

namespace {

void RunQueued() {
    for (;;) {
        std::shared_ptr<THandOverLink> link;
        {
            std::lock_guard lock(HandOverLock);
            if (HandOverQueue.empty())
                return;
            link = std::move(HandOverQueue.front());
            HandOverQueue.pop_front();
        }
        link->Run();
    }
}

} // namespace

void THandOverLink::Run() {
    std::unique_lock lock(HandOverLock);
    if (Closed)
        return;
    if (Failure) {
        std::string message = std::move(*Failure);
        Failure.reset();
        lock.unlock();
        Report(message);
        return;
    }
    const bool readerWaits = Pending;
    const TDataHandler handler = Stop ? nullptr : Port->onData_;
    if (!handler && !Stop && readerWaits) {
        Port->kept_.insert(Port->kept_.end(), Block, Block + Size);
        Port->keptEnds_.push_back({Port->kept_.size(), ReadAt});
    }
    // Kept blocks go first. Copies, because the handler may destroy the port and with it
    // the reader's buffer.
    std::vector<std::uint8_t> bytes;
    std::vector<TComPort::TBlockEnd> ends;
    if (handler) {
        bytes = std::exchange(Port->kept_, {});
        ends = std::exchange(Port->keptEnds_, {});
        if (readerWaits) {
            bytes.insert(bytes.end(), Block, Block + Size);
            ends.push_back({bytes.size(), ReadAt});
        }
    }
    lock.unlock();

    std::optional<std::string> failure;
    if (handler && !bytes.empty()) {
        try {
            HandOverBlocks(handler, bytes, ends);
        } catch (const std::exception& e) {
            failure = e.what();
        } catch (...) {
            failure = "Unknown failure in the data handler";
        }
    }

    lock.lock();
    if (readerWaits)
        Pending = false;
    if (failure)
        Stop = true;
    lock.unlock();
    Done.notify_one();
    if (failure)
        Report(*failure);
}

void THandOverLink::HandOverBlocks(const TDataHandler& handler, std::span<const std::uint8_t> bytes,
                                   std::span<const TComPort::TBlockEnd> ends) {
    std::size_t from = 0;
    for (const TComPort::TBlockEnd& end : ends) {
        {
            std::lock_guard lock(HandOverLock);
            if (Closed)
                return;
            Port->blockReadAt_ = end.ReadAt;
        }
        if (end.End > from)
            handler(bytes.subspan(from, end.End - from));
        from = end.End;
    }
}

void THandOverLink::Report(const std::string& message) {
    TErrorHandler handler;
    {
        std::lock_guard lock(HandOverLock);
        if (Closed)
            return;
        handler = Port->OnError;
    }
    if (handler)
        handler(message);
}

class TReadThread {
public:
    static constexpr std::size_t BufferSize = 4'500'000;

    TReadThread(TSerialLine& line, const std::string& name, std::uint8_t threshold,
                std::shared_ptr<THandOverLink> link);
    // Terminates and joins. Never waits for the window thread: the port has marked the
    // link closed first, which releases a reader waiting for a hand-over.
    ~TReadThread();

    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;

    void Start() {
        thread_ = std::thread([this] { Run(); });
    }
    // Terminates and joins; the same terms as the destructor.
    void Stop();

private:
    void Run() noexcept;
    void Loop();
    bool HandOver(std::size_t size, std::chrono::steady_clock::time_point readAt);

    std::array<std::uint8_t, BufferSize> buffer_;
    TSerialLine& line_;
    const std::string name_;
    std::uint32_t bytesRead_ = 0;
    const std::uint8_t threshold_;
    const std::shared_ptr<THandOverLink> link_;
    std::atomic<bool> terminated_{false};
    std::thread thread_;
};

TReadThread::TReadThread(TSerialLine& line, const std::string& name, std::uint8_t threshold,
                         std::shared_ptr<THandOverLink> link)
    : line_(line), name_(name), threshold_(threshold), link_(std::move(link)) {}

TReadThread::~TReadThread() {
    Stop();
}

void TReadThread::Stop() {
    terminated_.store(true);
    line_.Wake();
    if (thread_.joinable())
        thread_.join();
}

void TReadThread::Run() noexcept {
    std::optional<std::string> failure;
    try {
        Loop();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (!failure || terminated_.load())
        return;
    std::lock_guard lock(HandOverLock);
    if (link_->Closed)
        return;
    link_->Failure = std::move(failure);
    link_->Enqueue(link_);
}

void TReadThread::Loop() {
    // The wait completes when new bytes arrive, not while bytes below the threshold stay
    // queued. After a read capped at the buffer's size the rest is already queued, so the
    // next pass looks at the queue without waiting.
    bool moreQueued = false;
    while (!terminated_.load()) {
        if (!moreQueued && !line_.WaitForBytes())
            return;
        if (terminated_.load())
            return;

        const std::optional<std::uint32_t> queued = line_.Queued();
        if (!queued)
            throw EComPortError("Error clearing port " + name_);
        bytesRead_ = *queued;
        if (bytesRead_ == 0 || bytesRead_ < threshold_) {
            moreQueued = false;
            continue;
        }

        const std::size_t wanted = std::min<std::size_t>(bytesRead_, BufferSize);
        if (line_.ReadQueued(buffer_.data(), wanted) != wanted)
            throw EComPortError("Error reading port " + name_);
        moreQueued = bytesRead_ > wanted;
        bytesRead_ = static_cast<std::uint32_t>(wanted);
        if (!HandOver(bytesRead_, std::chrono::steady_clock::now()))
            return;
    }
}

bool TReadThread::HandOver(std::size_t size, std::chrono::steady_clock::time_point readAt) {
    std::unique_lock lock(HandOverLock);
    if (link_->Closed)
        return false;
    link_->Block = buffer_.data();
    link_->Size = size;
    link_->ReadAt = readAt;
    link_->Pending = true;
    if (link_->Draining)
        return false;
    link_->Enqueue(link_);
    link_->Done.wait(lock, [this] { return !link_->Pending || link_->Closed || link_->Draining; });
    return !link_->Closed && !link_->Stop && !link_->Draining;
}

TComPort::TComPort(std::uint8_t portNumber, std::uint8_t threshold)
    : TComPort(portNumber, threshold, nullptr) {}

TComPort::TComPort(std::uint8_t portNumber, std::uint8_t threshold, const TDeviceIdentity& lost)
    : TComPort(portNumber, threshold, &lost) {}

TComPort::TComPort(std::uint8_t portNumber, std::uint8_t threshold, const TDeviceIdentity* lost)
    : name_(PortName(portNumber)) {
    {
        std::lock_guard lock(HandOverLock);
        if (!WindowThread)
            throw std::logic_error("No window thread is installed for the serial link");
    }
    line_ = std::make_unique<TSerialLine>(portNumber, name_, lost);
    link_ = std::make_shared<THandOverLink>();
    link_->Port = this;
    reader_ = std::make_unique<TReadThread>(*line_, name_, threshold, link_);
    reader_->Start();
}

const std::filesystem::path& TComPort::Device() const noexcept {
    return line_->Device();
}

TDeviceIdentity TComPort::Identity() const {
    return line_->Identity();
}

void TComPort::SetOnData(TDataHandler handler) {
    onData_ = std::move(handler);
    if (!onData_ || kept_.empty())
        return;
    std::lock_guard lock(HandOverLock);
    if (!link_->Closed)
        link_->Enqueue(link_);
}

void TComPort::Drain() {
    {
        std::lock_guard lock(HandOverLock);
        if (link_->Draining)
            return;
        link_->Draining = true;
    }
    link_->Done.notify_all();
    reader_->Stop();

    std::vector<std::uint8_t> rest = std::exchange(kept_, {});
    std::vector<TBlockEnd> ends = std::exchange(keptEnds_, {});
    bool portFailed = false;
    {
        std::lock_guard lock(HandOverLock);
        if (link_->Stop)
            return;
        if (link_->Pending) {
            rest.insert(rest.end(), link_->Block, link_->Block + link_->Size);
            ends.push_back({rest.size(), link_->ReadAt});
            link_->Pending = false;
        }
        portFailed = link_->Failure.has_value();
    }
    const std::optional<std::uint32_t> queued = portFailed ? std::nullopt : line_->Queued();
    if (queued && *queued > 0) {
        const std::size_t from = rest.size();
        rest.resize(from + *queued);
        rest.resize(from + line_->ReadQueued(rest.data() + from, rest.size() - from));
        ends.push_back({rest.size(), std::chrono::steady_clock::now()});
    }
    // Copies, as in Run: a block's handler may destroy the port between two blocks.
    const TDataHandler handler = onData_;
    const std::shared_ptr<THandOverLink> link = link_;
    if (handler && !rest.empty())
        link->HandOverBlocks(handler, rest, ends);
}

TComPort::~TComPort() {
    if (link_) {
        {
            std::lock_guard lock(HandOverLock);
            link_->Closed = true;
            link_->Port = nullptr;
        }
        link_->Done.notify_all();
    }
    reader_.reset();
}

} // namespace serial
