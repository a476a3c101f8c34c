#include "telemetry/RecordingView.h"
#include "telemetry/RecordingWalk.h"

#include "native/WideText.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <stdexcept>

#include <windows.h>

namespace telemetry {

bool RecordingExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(native::WideText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Readers are let in both ways (an indexer, a backup, an editor that only looks), writers
// neither: the file cannot be opened while another program may write to it, and nobody can
// open it for writing while it is viewed.
TViewedFile::TViewedFile(const std::string& path)
    : file_(::CreateFileW(native::WideText(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (file_ == INVALID_HANDLE_VALUE)
        throw std::runtime_error(RecordingOpenError);
}

TViewedFile::~TViewedFile() {
    ::CloseHandle(file_);
}

// A mapping object needs a file on a disk with at least one byte: an empty file, a pipe or a
// device gets none.
TRecordingMapping::TRecordingMapping(const TViewedFile& file)
    : file_(file.Handle()),
      mapping_(::CreateFileMappingW(file_, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
    if (!mapping_)
        throw std::runtime_error(RecordingMapError);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file_, &size)) {
        ::CloseHandle(mapping_);
        throw std::runtime_error(RecordingMapError);
    }
    size_ = static_cast<std::size_t>(size.QuadPart);
}

TRecordingMapping::~TRecordingMapping() {
    ::CloseHandle(mapping_);
}

TRecordingView::TRecordingView(const TRecordingMapping& mapping)
    : size_(mapping.Size()), file_(mapping.File()) {
    data_ =
        static_cast<const std::uint8_t*>(::MapViewOfFile(mapping.Handle(), FILE_MAP_READ, 0, 0, 0));
    if (!data_)
        throw std::runtime_error(RecordingViewError);
}

TRecordingView::~TRecordingView() {
    ::UnmapViewOfFile(data_);
}

namespace {

// Owns a vectored exception handler and this thread's walk for one replay. A page of the view
// that no longer reads raises an in-page error (Wine raises an access violation where Linux
// gives it a bus error); inside [first_, end_), on the walk's own thread, the handler resumes
// the thread where Resume was captured, with Faulted() true. Resuming through the context,
// instead of jumping out of the handler, lets the system finish the handler's call, which holds
// a reference to it. The handler sees every exception of the process, on any thread and at
// any moment, so it reads nothing but the exception and the walks in progress, which a
// process-wide table holds: no thread-local storage, which may not be there yet, and no lock.
class TInPageErrorScope {
public:
    explicit TInPageErrorScope(std::span<const std::uint8_t> bytes)
        : first_(bytes.data()), end_(bytes.data() + bytes.size()), thread_(::GetCurrentThreadId()) {
        for (std::atomic<TInPageErrorScope*>& slot : walks) {
            TInPageErrorScope* none = nullptr;
            if (slot.compare_exchange_strong(none, this)) {
                slot_ = &slot;
                break;
            }
        }
        handler_ = slot_ ? ::AddVectoredExceptionHandler(1, OnException) : nullptr;
        if (!handler_) {
            Leave();
            throw std::runtime_error(RecordingViewError);
        }
    }
    ~TInPageErrorScope() {
        ::RemoveVectoredExceptionHandler(handler_);
        Leave();
    }
    TInPageErrorScope(const TInPageErrorScope&) = delete;
    TInPageErrorScope& operator=(const TInPageErrorScope&) = delete;

    [[nodiscard]] CONTEXT& Resume() noexcept { return resume_; }
    [[nodiscard]] bool Faulted() const noexcept { return faulted_; }

private:
    void Leave() noexcept {
        if (slot_)
            slot_->store(nullptr);
    }

    static LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD& record = *info->ExceptionRecord;
        // The first parameter is 0 for a read: a write to the view is a fault of the program.
        if ((record.ExceptionCode != EXCEPTION_IN_PAGE_ERROR &&
             record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION) ||
            record.NumberParameters < 2 || record.ExceptionInformation[0] != 0)
            return EXCEPTION_CONTINUE_SEARCH;
        const auto* address = reinterpret_cast<const std::uint8_t*>(record.ExceptionInformation[1]);
        for (const std::atomic<TInPageErrorScope*>& slot : walks) {
            TInPageErrorScope* const scope = slot.load();
            if (!scope || address < scope->first_ || address >= scope->end_ ||
                scope->thread_ != ::GetCurrentThreadId())
                continue;
            scope->faulted_ = true;
            *info->ContextRecord = scope->resume_;
            return EXCEPTION_CONTINUE_EXECUTION;
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }

    // Replays that may run at once, each on a thread of its own; one more is refused.
    static inline std::array<std::atomic<TInPageErrorScope*>, 16> walks{};

    const std::uint8_t* first_;
    const std::uint8_t* end_;
    const DWORD thread_;
    std::atomic<TInPageErrorScope*>* slot_ = nullptr;
    PVOID handler_ = nullptr;
    volatile bool faulted_ = false;
    CONTEXT resume_{};
};

} // namespace

namespace walk {

std::size_t CurrentFileSize(HANDLE file) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file, &size) && size.QuadPart > 0
               ? static_cast<std::size_t>(size.QuadPart)
               : 0;
}

std::size_t PageSize() {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return info.dwPageSize;
}

// A fault in the view resumes the thread just after the context is captured, with this frame
// as it was then: the walk's frame is left without clean-up, which it needs none of, and the
// walk's progress is read from memory.
bool WalkUntilCut(std::span<const std::uint8_t> view, HANDLE file, TWalkProgress& walk,
                  std::uint8_t& state, TLatestValues& values, TFramePlot& plot,
                  TFrameSink* frames) {
    TInPageErrorScope scope(view);
    ::RtlCaptureContext(&scope.Resume());
    if (scope.Faulted())
        return false;
    return WalkBlocks(view, file, walk, state, values, plot, frames);
}

} // namespace walk

} // namespace telemetry
