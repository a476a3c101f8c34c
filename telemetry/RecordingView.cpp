#include "RecordingView.h"

#include <algorithm>
#include <atomic>
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

TRecordingView::TRecordingView(const TRecordingMapping& mapping)
    : size_(mapping.Size()), fd_(mapping.Descriptor()) {
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

// The smallest page size: a block never straddles two pages, so a block whose read faults
// lies wholly beyond the file's end.
constexpr std::size_t BlockSize = 4096;

// Where a walk stands. It lives outside the frame a bus error jumps back to, and each change
// is fenced before the next read of the view, so that after the jump it reads as the walk
// left it.
struct TWalkProgress {
    std::size_t at = 0;     // the block in hand starts here; every byte before it is decoded
    std::size_t copied = 0; // bytes of the block in hand copied out of the view
    std::uint8_t block[BlockSize];
};

std::size_t CurrentFileSize(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_size > 0 ? static_cast<std::size_t>(info.st_size) : 0;
}

// Copies the view block by block and decodes each block once the file is known to hold all of
// it: a page cut short reads as zeros past the file's new end instead of faulting. A block is
// whole when the first byte of the next page still reads, for then the file ends beyond that
// byte; for the blocks of the last page only the file's size tells, asked once. Returns false
// when the walk found the file cut short, or a read faulted; walk then holds the block in
// hand. The only frame between the jump point and a faulting read: it holds nothing that needs
// destroying, so the jump out of it skips no clean-up, and the decoder and the plot it calls
// never read the view, so a fault never lies in their frames.
[[gnu::noinline]] bool WalkUntilCut(std::span<const std::uint8_t> view, int fd, TWalkProgress& walk,
                                    std::uint8_t& state, TLatestValues& values, TFramePlot& plot) {
    sigjmp_buf jump;
    TBusErrorScope scope(jump, view);
    if (sigsetjmp(jump, 1) != 0)
        return false;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    while (walk.at < view.size()) {
        walk.copied = 0;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        const std::size_t n = std::min(BlockSize, view.size() - walk.at);
        std::memcpy(walk.block, view.data() + walk.at, n);
        walk.copied = n;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        const std::size_t nextPage = (walk.at + n + page - 1) / page * page;
        if (nextPage < view.size())
            static_cast<void>(*static_cast<const volatile std::uint8_t*>(view.data() + nextPage));
        else if (CurrentFileSize(fd) < walk.at + n)
            return false;
        DecodeBlock({walk.block, n}, DecodeMode::Replay, state, values, &plot);
        walk.at += n;
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    return true;
}

} // namespace

void TRecordingView::Replay(std::uint8_t& state, TLatestValues& values, TFramePlot& plot) const {
    TWalkProgress walk;
    if (WalkUntilCut(Bytes(), fd_, walk, state, values, plot))
        return;
    // What of the block in hand the file still holds.
    const std::size_t held = CurrentFileSize(fd_);
    if (held > walk.at)
        DecodeBlock({walk.block, std::min(walk.copied, held - walk.at)}, DecodeMode::Replay, state,
                    values, &plot);
    throw std::runtime_error(RecordingViewError);
}

} // namespace telemetry
