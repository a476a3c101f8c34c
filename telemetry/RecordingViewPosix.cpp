#include "telemetry/RecordingView.h"
#include "telemetry/RecordingWalk.h"

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telemetry {

bool RecordingExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

TViewedFile::TViewedFile(const std::string& path)
    // Non-blocking so that a named pipe fails the mapping step instead of waiting for a writer.
    : file_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    if (file_ < 0)
        throw std::runtime_error(RecordingOpenError);
    // Only a lock held elsewhere refuses the file. Where no lock can be had (NFS turns flock
    // into a byte-range lock, which a descriptor opened for reading cannot take exclusive),
    // the file is replayed without one.
    if (::flock(file_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(file_);
        throw std::runtime_error(RecordingOpenError);
    }
}

TViewedFile::~TViewedFile() {
    ::close(file_); // drops the lock with the last descriptor
}

// mmap maps the file itself: there is no mapping object to hold.
TRecordingMapping::TRecordingMapping(const TViewedFile& file)
    : file_(file.Handle()), mapping_(file.Handle()) {
    struct stat info {};
    if (::fstat(file_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        static_cast<std::uintmax_t>(info.st_size) > SIZE_MAX)
        throw std::runtime_error(RecordingMapError);
    size_ = static_cast<std::size_t>(info.st_size);
}

TRecordingMapping::~TRecordingMapping() = default;

TRecordingView::TRecordingView(const TRecordingMapping& mapping)
    : size_(mapping.Size()), file_(mapping.File()) {
    void* data = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, mapping.Handle(), 0);
    if (data == MAP_FAILED)
        throw std::runtime_error(RecordingViewError);
    data_ = static_cast<const std::uint8_t*>(data);
}

TRecordingView::~TRecordingView() {
    ::munmap(const_cast<std::uint8_t*>(data_), size_);
}

namespace {

// The walk in progress on this thread: where a bus error inside [busFirst, busEnd) returns
// to. Initial-exec TLS, so that the signal handler reads these without calling into the
// dynamic loader.
[[gnu::tls_model("initial-exec")]] thread_local sigjmp_buf* busJump = nullptr;
[[gnu::tls_model("initial-exec")]] thread_local const std::uint8_t* busFirst = nullptr;
[[gnu::tls_model("initial-exec")]] thread_local const std::uint8_t* busEnd = nullptr;

struct sigaction previousBusAction {};

// Async-signal-safe: reads the thread's walk, jumps, or passes the signal on.
void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto* address = static_cast<const std::uint8_t*>(info->si_addr);
    if (busJump && address >= busFirst && address < busEnd)
        siglongjmp(*busJump, 1);
    if (previousBusAction.sa_flags & SA_SIGINFO) {
        previousBusAction.sa_sigaction(signal, info, context);
    } else if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(signal);
    } else {
        // A fault that is not ours: the faulting access runs again under the default action.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        ::sigaction(SIGBUS, &fallback, nullptr);
    }
}

// Owns the bus-error handler and this thread's walk for one replay.
class TBusErrorScope {
public:
    TBusErrorScope(sigjmp_buf& jump, std::span<const std::uint8_t> bytes) {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &previousBusAction);
        busFirst = bytes.data();
        busEnd = bytes.data() + bytes.size();
        busJump = &jump;
    }
    ~TBusErrorScope() {
        busJump = nullptr;
        ::sigaction(SIGBUS, &previousBusAction, nullptr);
    }
    TBusErrorScope(const TBusErrorScope&) = delete;
    TBusErrorScope& operator=(const TBusErrorScope&) = delete;
};

} // namespace

namespace walk {

std::size_t CurrentFileSize(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
}

std::size_t PageSize() {
    return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// A bus error in the view jumps from the walk back to here.
bool WalkUntilCut(std::span<const std::uint8_t> view, int fd, TWalkProgress& walk,
                  std::uint8_t& state, TLatestValues& values, TFramePlot& plot,
                  TFrameSink* frames) {
    sigjmp_buf jump;
    TBusErrorScope scope(jump, view);
    if (sigsetjmp(jump, 1) != 0)
        return false;
    return WalkBlocks(view, fd, walk, state, values, plot, frames);
}

} // namespace walk

} // namespace telemetry
