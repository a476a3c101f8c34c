#include "serial/SerialLine.h"

#include "serial/ComPort.h"
#include "serial/PortName.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

namespace {

// Closes its descriptor; a terminal taken for exclusive use is handed back first, because
// the flag outlives the descriptor while the other end of a pseudo-terminal stays open.
class TDescriptor {
public:
    TDescriptor() noexcept = default;
    ~TDescriptor() { Reset(-1); }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;

    void Reset(int fd) noexcept {
        if (fd_ >= 0) {
            if (exclusive_)
                ::ioctl(fd_, TIOCNXCL);
            ::close(fd_);
        }
        fd_ = fd;
        exclusive_ = false;
    }
    void MarkExclusive() noexcept { exclusive_ = true; }
    [[nodiscard]] int Get() const noexcept { return fd_; }

private:
    int fd_ = -1;
    bool exclusive_ = false;
};

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

struct TSerialLine::TState {
    std::string Name;
    std::filesystem::path Device;
    TDescriptor Port;
    TDescriptor EventMask; // the port, edge-triggered, and Wake
    TDescriptor Wake;      // the read event
};

TSerialLine::TSerialLine(std::uint8_t number, const std::string& name)
    : state_(std::make_unique<TState>()) {
    TState& s = *state_;
    s.Name = name;
    try {
        s.Device = PortDevice(number);
    } catch (const std::runtime_error& refused) {
        // The message stays the port's own; why is for whoever runs the program.
        std::fprintf(stderr, "%s: %s\n", name.c_str(), refused.what());
        throw EComPortError("Error opening port " + name);
    }

    // Exclusive use takes both the terminal flag and a lock: root ignores the flag.
    // Something that is no terminal at all fails at the settings below.
    s.Port.Reset(::open(s.Device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    const int port = s.Port.Get();
    if (port < 0 || ::flock(port, LOCK_EX | LOCK_NB) != 0)
        throw EComPortError("Error opening port " + name);
    if (::ioctl(port, TIOCEXCL) == 0)
        s.Port.MarkExclusive();
    else if (errno != ENOTTY)
        throw EComPortError("Error opening port " + name);

    termios tio{};
    if (::tcgetattr(port, &tio) != 0)
        throw EComPortError("Error setting port " + name + " state");
    ApplyLineSettings(tio);
    if (::tcsetattr(port, TCSANOW, &tio) != 0)
        throw EComPortError("Error setting port " + name + " state");

    // No time-outs: a read returns what is queued, and the wait lasts until a byte comes.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(port, TCSANOW, &tio) != 0)
        throw EComPortError("Error setting port " + name + " times");

    if (::tcflush(port, TCIOFLUSH) != 0)
        throw EComPortError("Error purging port " + name);

    s.EventMask.Reset(::epoll_create1(EPOLL_CLOEXEC));
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLET;
    ev.data.fd = port;
    if (s.EventMask.Get() < 0 || ::epoll_ctl(s.EventMask.Get(), EPOLL_CTL_ADD, port, &ev) != 0)
        throw EComPortError("Error setting port " + name + " mask");

    // Nothing is ever written, so there is no write event to create.
    s.Wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    ev.events = EPOLLIN;
    ev.data.fd = s.Wake.Get();
    if (s.Wake.Get() < 0 || ::epoll_ctl(s.EventMask.Get(), EPOLL_CTL_ADD, s.Wake.Get(), &ev) != 0)
        throw EComPortError("Error creating read event");
}

TSerialLine::~TSerialLine() = default;

const std::filesystem::path& TSerialLine::Device() const noexcept {
    return state_->Device;
}

bool TSerialLine::WaitForBytes() {
    const TState& s = *state_;
    for (;;) {
        std::array<epoll_event, 2> events{};
        const int count = ::epoll_wait(s.EventMask.Get(), events.data(), events.size(), -1);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            throw EComPortError("Error waiting port " + s.Name + " event");
        }
        bool received = false;
        for (int i = 0; i < count; ++i) {
            if (events[i].data.fd == s.Wake.Get())
                return false;
            // The line went away: its status can no longer be read.
            if (events[i].events & (EPOLLHUP | EPOLLERR))
                throw EComPortError("Error clearing port " + s.Name);
            received = true;
        }
        if (received)
            return true;
    }
}

std::optional<std::uint32_t> TSerialLine::Queued() noexcept {
    int queued = 0;
    if (::ioctl(state_->Port.Get(), FIONREAD, &queued) != 0 || queued < 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(queued);
}

std::size_t TSerialLine::ReadQueued(std::uint8_t* into, std::size_t count) noexcept {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(state_->Port.Get(), into + got, count - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

void TSerialLine::Wake() noexcept {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(state_->Wake.Get(), &one, sizeof one);
}

} // namespace serial
