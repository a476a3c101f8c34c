#include "serial/tests/Pty.h"

#include "serial/PortFolder.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace serial::testing {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

TTempRuntimeDir::TTempRuntimeDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "telmira-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        Fail("mkdtemp");
    path_ = pattern;
    if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
        saved_ = old;
    ::setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
}

TTempRuntimeDir::~TTempRuntimeDir() {
    if (saved_)
        ::setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

TPty::TPty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        Fail("posix_openpt");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0)
        Fail("ptsname_r");
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0)
        Fail("open " + slavePath_);
}

TPty::~TPty() {
    if (master_ >= 0)
        ::close(master_);
    ::close(slave_);
}

// Made beside the old link and moved over it, so that the new link is another file even where
// the file system would give a removed link's inode to the next one made.
void TPty::LinkAs(std::uint8_t number) const {
    const auto link = EnsurePortFolder() / ("COM" + std::to_string(number));
    const auto made = link.parent_path() / (link.filename().string() + ".new");
    std::filesystem::remove(made);
    std::filesystem::create_symlink(slavePath_, made);
    std::filesystem::rename(made, link);
}

void TPty::Raw() const {
    termios raw{};
    if (::tcgetattr(master_, &raw) != 0)
        Fail("tcgetattr");
    ::cfmakeraw(&raw);
    if (::tcsetattr(master_, TCSANOW, &raw) != 0)
        Fail("tcsetattr");
}

void TPty::Write(std::span<const std::uint8_t> bytes) const {
    // The reader drains the terminal only through hand-overs to this thread, so a full
    // terminal is waited out with the event loop running.
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                Fail("write to the pseudo-terminal");
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void TPty::WriteAndWaitUntilRead(std::span<const std::uint8_t> block, bool runEvents) const {
    Write(block.first(block.size() - 1));
    WaitUntilQueued(static_cast<int>(block.size() - 1), runEvents);
    Write(block.last(1));
    WaitUntilQueued(0, runEvents);
}

void TPty::WaitUntilQueued(int count, bool runEvents) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Queued() != count) {
        if (std::chrono::steady_clock::now() > end)
            throw std::runtime_error("the terminal never held " + std::to_string(count) + " bytes");
        if (runEvents)
            QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int TPty::Queued() const {
    int n = 0;
    if (::ioctl(slave_, FIONREAD, &n) != 0)
        Fail("FIONREAD");
    return n;
}

bool TPty::Exclusive() const {
    int on = 0;
    if (::ioctl(slave_, TIOCGEXCL, &on) != 0)
        Fail("TIOCGEXCL");
    return on != 0;
}

void TPty::CloseMaster() {
    ::close(master_);
    master_ = -1;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        QCoreApplication::processEvents();
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace serial::testing
