#include "ComPort.h"

#include "PortFolder.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace serial {

namespace {

// Runs hand-overs on the thread it lives on. One per process, never destroyed, so a
// queued call never outlives its receiver.
class THandOverTarget : public QObject {
    Q_OBJECT
public:
    // Invoked by name: the queued call then carries no data of ours, and everything the
    // two threads share passes under HandOverLock, where a race detector can see it.
    Q_INVOKABLE void RunQueued();
};

THandOverTarget* WindowThreadTarget() {
    static THandOverTarget* const target = new THandOverTarget;
    return target;
}

// The process-wide lock over the hand-over queue and every link's state.
std::mutex HandOverLock;
std::deque<std::shared_ptr<THandOverLink>> HandOverQueue;

} // namespace

// What a port and its reader share. The port pointer is cleared when the port is
// destroyed; it is followed only on the window thread, which is also the only thread
// that destroys ports, so a check of Closed under the lock keeps it valid there.
struct THandOverLink {
    TComPort* Port = nullptr;
    THandOverTarget* Target = nullptr;
    std::condition_variable Done;
    bool Closed = false;
    bool Pending = false;  // a block waits for the window thread
    bool Stop = false;     // the data handler failed; the reader ends
    bool Draining = false; // the port takes the block in hand itself, once the reader ended
    const std::uint8_t* Block = nullptr;
    std::size_t Size = 0;
    std::optional<std::string> Failure; // the reader's own failure, not yet reported

    // Caller holds HandOverLock.
    void Enqueue(const std::shared_ptr<THandOverLink>& self) {
        HandOverQueue.push_back(self);
        QMetaObject::invokeMethod(Target, "RunQueued", Qt::QueuedConnection);
    }

    // On the window thread.
    void Run();
    void Report(const std::string& message);
};

void THandOverTarget::RunQueued() {
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
    // Kept blocks go first. Copies, because the handler may destroy the port and with it
    // the reader's buffer.
    std::vector<std::uint8_t> block = std::exchange(Port->kept_, {});
    const bool readerWaits = Pending;
    if (readerWaits)
        block.insert(block.end(), Block, Block + Size);
    const TDataHandler handler = Stop ? nullptr : Port->onData_;
    if (!handler && !Stop)
        Port->kept_ = std::move(block);
    lock.unlock();

    std::optional<std::string> failure;
    if (handler && !block.empty()) {
        try {
            handler(block);
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

namespace {

// Reads count bytes that the driver counted as queued, in as many reads as the driver needs
// to give them; returns how many came, fewer only when a read failed.
std::size_t ReadQueued(int port, std::uint8_t* into, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(port, into + got, count - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

} // namespace

class TReadThread {
public:
    static constexpr std::size_t BufferSize = 4'500'000;

    TReadThread(int port, int eventMask, const std::string& name, std::uint8_t threshold,
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
    bool HandOver(std::size_t size);

    std::array<std::uint8_t, BufferSize> buffer_;
    const int port_;
    const int eventMask_;
    const std::string name_;
    std::uint32_t bytesRead_ = 0;
    const std::uint8_t threshold_;
    const std::shared_ptr<THandOverLink> link_;
    int wake_ = -1; // the read event: wakes the wait when the port is destroyed
    std::atomic<bool> terminated_{false};
    std::thread thread_;
};

TReadThread::TReadThread(int port, int eventMask, const std::string& name, std::uint8_t threshold,
                         std::shared_ptr<THandOverLink> link)
    : port_(port), eventMask_(eventMask), name_(name), threshold_(threshold),
      link_(std::move(link)) {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0)
        throw EComPortError("Error creating read event");
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = wake_;
    if (::epoll_ctl(eventMask_, EPOLL_CTL_ADD, wake_, &ev) != 0) {
        ::close(wake_);
        throw EComPortError("Error creating read event");
    }
}

TReadThread::~TReadThread() {
    Stop();
    ::close(wake_);
}

void TReadThread::Stop() {
    terminated_.store(true);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
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
    // The wait is edge-triggered: it completes when new bytes arrive, not while bytes
    // below the threshold stay queued. After a read capped at the buffer's size the rest
    // is already queued, so the next pass looks at the queue without waiting.
    bool moreQueued = false;
    while (!terminated_.load()) {
        if (!moreQueued) {
            std::array<epoll_event, 2> events{};
            const int count = ::epoll_wait(eventMask_, events.data(), events.size(), -1);
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                throw EComPortError("Error waiting port " + name_ + " event");
            }
            if (terminated_.load())
                return;
            for (int i = 0; i < count; ++i)
                if (events[i].data.fd == port_ && (events[i].events & (EPOLLHUP | EPOLLERR)))
                    throw EComPortError("Error clearing port " + name_);
        }

        int queued = 0;
        if (::ioctl(port_, FIONREAD, &queued) != 0 || queued < 0)
            throw EComPortError("Error clearing port " + name_);
        bytesRead_ = static_cast<std::uint32_t>(queued);
        if (bytesRead_ == 0 || bytesRead_ < threshold_) {
            moreQueued = false;
            continue;
        }

        const std::size_t wanted = std::min<std::size_t>(bytesRead_, BufferSize);
        if (ReadQueued(port_, buffer_.data(), wanted) != wanted)
            throw EComPortError("Error reading port " + name_);
        moreQueued = bytesRead_ > wanted;
        bytesRead_ = static_cast<std::uint32_t>(wanted);
        if (!HandOver(bytesRead_))
            return;
    }
}

bool TReadThread::HandOver(std::size_t size) {
    std::unique_lock lock(HandOverLock);
    if (link_->Closed)
        return false;
    link_->Block = buffer_.data();
    link_->Size = size;
    link_->Pending = true;
    if (link_->Draining)
        return false;
    link_->Enqueue(link_);
    link_->Done.wait(lock, [this] { return !link_->Pending || link_->Closed || link_->Draining; });
    return !link_->Closed && !link_->Stop && !link_->Draining;
}

TComPort::TDescriptor::~TDescriptor() {
    Reset(-1);
}

void TComPort::TDescriptor::Reset(int fd) noexcept {
    if (fd_ >= 0) {
        if (exclusive_)
            ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    fd_ = fd;
    exclusive_ = false;
}

namespace {

// Raw input: no byte is translated, swallowed (XON/XOFF, 0xFF escapes) or echoed back,
// since the link never transmits. Flow control, modem-line handling and the special
// characters stay as the driver reports them; the receiver is on and carrier is ignored,
// as a plain three-wire line needs.
void ApplyLineSettings(termios& tio) {
    tio.c_iflag &= ~static_cast<tcflag_t>(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    ::cfsetispeed(&tio, B57600);
    ::cfsetospeed(&tio, B57600);
}

} // namespace

TComPort::TComPort(std::uint8_t portNumber, std::uint8_t threshold) : name_(PortName(portNumber)) {
    try {
        device_ = PortDevice(portNumber);
    } catch (const std::runtime_error& refused) {
        // The message stays the port's own; why is for whoever runs the program.
        std::fprintf(stderr, "%s: %s\n", name_.c_str(), refused.what());
        throw EComPortError("Error opening port " + name_);
    }

    // Exclusive use takes both the terminal flag and a lock: root ignores the flag.
    // Something that is no terminal at all fails at the settings below.
    port_.Reset(::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (port_.Get() < 0 || ::flock(port_.Get(), LOCK_EX | LOCK_NB) != 0)
        throw EComPortError("Error opening port " + name_);
    if (::ioctl(port_.Get(), TIOCEXCL) == 0)
        port_.MarkExclusive();
    else if (errno != ENOTTY)
        throw EComPortError("Error opening port " + name_);

    termios tio{};
    if (::tcgetattr(port_.Get(), &tio) != 0)
        throw EComPortError("Error setting port " + name_ + " state");
    ApplyLineSettings(tio);
    if (::tcsetattr(port_.Get(), TCSANOW, &tio) != 0)
        throw EComPortError("Error setting port " + name_ + " state");

    // No time-outs: a read returns what is queued, and the wait lasts until a byte comes.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(port_.Get(), TCSANOW, &tio) != 0)
        throw EComPortError("Error setting port" + name_ + "times");

    if (::tcflush(port_.Get(), TCIOFLUSH) != 0)
        throw EComPortError("Error purging port " + name_);

    eventMask_.Reset(::epoll_create1(EPOLL_CLOEXEC));
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLET;
    ev.data.fd = port_.Get();
    if (eventMask_.Get() < 0 || ::epoll_ctl(eventMask_.Get(), EPOLL_CTL_ADD, port_.Get(), &ev) != 0)
        throw EComPortError("Error setting port " + name_ + " mask");

    link_ = std::make_shared<THandOverLink>();
    link_->Port = this;
    link_->Target = WindowThreadTarget();
    reader_ = std::make_unique<TReadThread>(port_.Get(), eventMask_.Get(), name_, threshold, link_);
    reader_->Start();
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
    bool portFailed = false;
    {
        std::lock_guard lock(HandOverLock);
        if (link_->Stop)
            return;
        if (link_->Pending) {
            rest.insert(rest.end(), link_->Block, link_->Block + link_->Size);
            link_->Pending = false;
        }
        portFailed = link_->Failure.has_value();
    }
    int queued = 0;
    if (!portFailed && ::ioctl(port_.Get(), FIONREAD, &queued) == 0 && queued > 0) {
        const std::size_t from = rest.size();
        rest.resize(from + static_cast<std::size_t>(queued));
        rest.resize(from + ReadQueued(port_.Get(), rest.data() + from, rest.size() - from));
    }
    if (onData_ && !rest.empty())
        onData_(rest);
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

#include "ComPort.moc"
