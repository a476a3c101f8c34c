#include "serial/SerialLine.h"

#include "serial/ComPort.h"
#include "serial/PortFolder.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// Whether the terminal device is the controlling terminal of a process, a shell's in a
// terminal window for one: its input is that program's, never a controller's line. Read from
// each process's stat, whose seventh field is its terminal's device number as the kernel
// encodes it.
bool SomeonesTerminal(dev_t device) {
    const unsigned long encoded =
        (minor(device) & 0xFFu) | (major(device) << 8) | ((minor(device) & ~0xFFu) << 12);
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream in(process.path() / "stat");
        std::string stat;
        std::getline(in, stat);
        // The name in brackets may hold blanks and brackets itself.
        const std::size_t nameEnd = stat.rfind(')');
        if (nameEnd == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(nameEnd + 1));
        std::string state;
        long long parent = 0, group = 0, session = 0, terminal = 0;
        if (fields >> state >> parent >> group >> session >> terminal && terminal != 0 &&
            static_cast<unsigned long>(terminal) == encoded)
            return true;
    }
    return false;
}

} // namespace

struct TSerialLine::TState {
    std::string Name;
    TDeviceIdentity Identity;
    TDescriptor Port;
    TDescriptor EventMask; // the port, edge-triggered, and Wake
    TDescriptor Wake;      // the read event
};

TSerialLine::TSerialLine(std::uint8_t number, const std::string& name, const TDeviceIdentity* lost)
    : state_(std::make_unique<TState>()) {
    TState& s = *state_;
    s.Name = name;
    try {
        s.Identity = IdentifyDevice(PortTarget(number), "/sys");
    } catch (const EPortRefused& refused) {
        // The message stays the port's own, and the reason goes under it in the window; standard
        // error has it for whoever runs the program from a shell, once: a session trying its
        // port again tries it many times a second.
        if (!lost)
            std::fprintf(stderr, "%s: %s\n", name.c_str(), refused.what());
        throw EComPortError("Error opening port " + name, refused.Explanation());
    }
    if (lost && !SameDevice(*lost, s.Identity))
        throw EComPortError("Error opening port " + name);
    struct stat named {};
    const bool isNamed = ::stat(s.Identity.Device.c_str(), &named) == 0;

    // Exclusive use takes both the terminal flag and a lock: root ignores the flag.
    // Something that is no terminal at all fails at the settings below.
    s.Port.Reset(::open(s.Identity.Device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    const int port = s.Port.Get();
    struct stat opened {};
    if (port < 0 || ::fstat(port, &opened) != 0)
        throw EComPortError("Error opening port " + name);
    // What was identified is what was opened, not a node that took its name in between.
    if (lost && (!isNamed || opened.st_rdev != named.st_rdev || opened.st_ino != named.st_ino))
        throw EComPortError("Error opening port " + name);
    if (S_ISCHR(opened.st_mode) && SomeonesTerminal(opened.st_rdev)) {
        std::error_code unnamed;
        const std::filesystem::path node = std::filesystem::canonical(s.Identity.Device, unnamed);
        throw EComPortError("Error opening port " + name,
                            (unnamed ? s.Identity.Device : node).string() +
                                " — терминал другой программы (например, окна терминала), а не "
                                "линия контроллера.");
    }
    if (::flock(port, LOCK_EX | LOCK_NB) != 0)
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

    // A line opened again for a session keeps what its device queued by now: the same
    // device's stream, after the gap.
    if (!lost && ::tcflush(port, TCIOFLUSH) != 0)
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
    return state_->Identity.Device;
}

TDeviceIdentity TSerialLine::Identity() const {
    return state_->Identity;
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
