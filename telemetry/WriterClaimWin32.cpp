#include "telemetry/WriterClaim.h"

#include "native/WideText.h"

#include <system_error>

#include <windows.h>

namespace telemetry {

namespace {

OVERLAPPED AtClaimedByte() {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(ClaimedByte);
    at.OffsetHigh = static_cast<DWORD>(ClaimedByte >> 32);
    return at;
}

std::string SystemMessage(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

} // namespace

// A byte-range lock belongs to the handle that took it, so that a second handle of this
// process is refused as another process is. Nothing reads or writes at the claimed byte, so
// the lock stands in nobody's way. A file the viewer holds cannot be opened in the first place.
TClaim ClaimFile(TNativeFile file) noexcept {
    OVERLAPPED at = AtClaimedByte();
    if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return TClaim::Taken;
    return ::GetLastError() == ERROR_LOCK_VIOLATION ? TClaim::HeldByWriter : TClaim::NotSupported;
}

// Windows releases the locks of a closed handle in its own time; given back here, the file is
// free for the next writer at once.
void ReleaseClaim(TNativeFile file) noexcept {
    OVERLAPPED at = AtClaimedByte();
    ::UnlockFileEx(file, 0, 1, 0, &at);
}

// Reading and writing are shared, so that the program's own stream opens the file beside the
// claim.
TWriterClaim::TWriterClaim(const std::string& fileName) {
    const auto open = [&](DWORD disposition) {
        return ::CreateFileW(native::WideText(fileName).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    file_ = open(CREATE_NEW);
    const bool created = file_ != INVALID_HANDLE_VALUE;
    if (!created && ::GetLastError() == ERROR_FILE_EXISTS)
        file_ = open(OPEN_EXISTING);
    if (file_ == INVALID_HANDLE_VALUE)
        throw EFileCreateError("Cannot create " + fileName + ": " +
                               SystemMessage(::GetLastError()));
    // A pipe or a device (NUL, CON) is never a recording.
    if (::GetFileType(file_) != FILE_TYPE_DISK) {
        ::CloseHandle(file_);
        return;
    }
    if (ClaimFile(file_) == TClaim::HeldByWriter) {
        // Even a file made here a moment ago: the writer that holds it now writes it.
        ::CloseHandle(file_);
        throw EFileBeingWritten("Cannot create " + fileName +
                                ": being written by another session or program");
    }
    held_ = true;
}

TWriterClaim::~TWriterClaim() {
    if (held_) {
        ReleaseClaim(file_);
        ::CloseHandle(file_);
    }
}

} // namespace telemetry
