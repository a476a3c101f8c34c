#include "RecordingView.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstring>
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
    : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_ < 0)
        throw std::runtime_error(RecordingOpenError);
    // Only a lock held elsewhere refuses the file. Where no lock can be had (NFS turns flock
    // into a byte-range lock, which a descriptor opened for reading cannot take exclusive),
    // the file is replayed without one.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd_);
        throw std::runtime_error(RecordingOpenError);
    }
}

TViewedFile::~TViewedFile() {
    ::close(fd_); // drops the lock with the last descriptor
}

TRecordingMapping::TRecordingMapping(const TViewedFile& file) : fd_(file.Descriptor()) {
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        static_cast<std::uintmax_t>(info.st_size) > SIZE_MAX)
        throw std::runtime_error(RecordingMapError);
    size_ = static_cast<std::size_t>(info.st_size);
}

TRecordingView::TRecordingView(const TRecordingMapping& mapping) : size_(mapping.Size()) {
    void* data = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, mapping.Descriptor(), 0);
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

// The only frame between the jump point and a faulting read, which happens while a block
// is copied out of the view. Blocks are the smallest page size, so that a file cut short
// faults at the start of a block and every byte before the cut is decoded. It holds nothing that
// needs destroying, so the jump out of it skips no clean-up; the decoder and the plot it calls
// never read the view, so a fault never lies in their frames.
[[gnu::noinline]] void Walk(const std::uint8_t* data, std::size_t size, std::uint8_t& state,
                            TLatestValues& values, TFramePlot& plot) {
    std::uint8_t block[4096];
    for (std::size_t at = 0; at < size; at += sizeof block) {
        const std::size_t n = std::min(sizeof block, size - at);
        std::memcpy(block, data + at, n);
        DecodeBlock({block, n}, DecodeMode::Replay, state, values, &plot);
    }
}

} // namespace

void TRecordingView::Replay(std::uint8_t& state, TLatestValues& values, TFramePlot& plot) const {
    sigjmp_buf jump;
    TBusErrorScope scope(jump, Bytes());
    if (sigsetjmp(jump, 1) != 0)
        throw std::runtime_error(RecordingViewError);
    Walk(data_, size_, state, values, plot);
}

} // namespace telemetry
