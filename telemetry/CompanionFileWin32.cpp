#include "telemetry/CompanionFile.h"

#include "native/WideText.h"
#include "telemetry/WriterClaim.h"

#include <algorithm>
#include <system_error>

#include <windows.h>

namespace telemetry {

namespace {

std::string SystemMessage(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

TCompanionWriteFailure FailureOf(DWORD error, TCompanionFile::TOpening opening) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return TCompanionWriteFailure::ReadOnly;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return TCompanionWriteFailure::InUse;
    case ERROR_FILE_EXISTS:
    case ERROR_FILE_NOT_FOUND:
        return opening == TCompanionFile::TOpening::Emptied ? TCompanionWriteFailure::WriteFailed
                                                            : TCompanionWriteFailure::Changed;
    default:
        return TCompanionWriteFailure::WriteFailed;
    }
}

// Shared as the recording is, so that another writer of ours opens the file and then finds it
// claimed, and others may read it while it is written here.
HANDLE OpenCompanion(const std::string& path, DWORD disposition) {
    return ::CreateFileW(native::WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TCompanionFile::TCompanionFile(std::string path, TOpening opening) : path_(std::move(path)) {
    const bool mayCreate = opening != TOpening::Existing;
    file_ = mayCreate ? OpenCompanion(path_, CREATE_NEW) : INVALID_HANDLE_VALUE;
    const bool created = file_ != INVALID_HANDLE_VALUE;
    if (!created && (opening == TOpening::Existing ||
                     (opening == TOpening::Emptied && ::GetLastError() == ERROR_FILE_EXISTS)))
        file_ = OpenCompanion(path_, OPEN_EXISTING);
    if (file_ == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        const TCompanionWriteFailure failure = FailureOf(error, opening);
        throw ECompanionWriteError(failure, "Cannot write " + path_ + ": " +
                                                (failure == TCompanionWriteFailure::InUse
                                                     ? std::string("in use by another program")
                                                     : SystemMessage(error)));
    }
    const auto refuse = [&](TCompanionWriteFailure failure, const std::string& why) {
        ::CloseHandle(file_);
        if (created)
            ::DeleteFileW(native::WideText(path_).c_str());
        throw ECompanionWriteError(failure, "Cannot write " + path_ + ": " + why);
    };
    if (::GetFileType(file_) != FILE_TYPE_DISK)
        refuse(TCompanionWriteFailure::NotAFile, "not a regular file");
    // The recording's own claim.
    if (ClaimFile(file_) == TClaim::HeldByWriter)
        refuse(TCompanionWriteFailure::InUse, "being written by another session or program");
    if (opening == TOpening::Emptied && !::SetEndOfFile(file_))
        refuse(TCompanionWriteFailure::WriteFailed, SystemMessage(::GetLastError()));
    open_ = true;
}

TCompanionFile::~TCompanionFile() {
    if (open_) {
        ReleaseClaim(file_);
        ::CloseHandle(file_);
    }
}

void TCompanionFile::Fail(const std::string& what) const {
    throw ECompanionWriteError(TCompanionWriteFailure::WriteFailed,
                               what + " " + path_ + ": " + SystemMessage(::GetLastError()));
}

std::vector<std::uint8_t> TCompanionFile::ReadAll() {
    std::vector<std::uint8_t> bytes;
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file_, start, nullptr, FILE_BEGIN))
        Fail("Error reading file");
    std::uint8_t block[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file_, block, sizeof block, &n, nullptr))
            Fail("Error reading file");
        if (n == 0)
            return bytes;
        if (bytes.size() + n > MaxCompanionSize) {
            ::SetLastError(ERROR_FILE_TOO_LARGE);
            Fail("Error reading file");
        }
        bytes.insert(bytes.end(), block, block + n);
    }
}

void TCompanionFile::CutTo(std::uint64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_))
        Fail("Error writing file");
}

void TCompanionFile::Append(std::span<const std::uint8_t> bytes) {
    LARGE_INTEGER none{};
    if (!::SetFilePointerEx(file_, none, nullptr, FILE_END))
        Fail("Error writing file");
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
        DWORD written = 0;
        if (!::WriteFile(file_, bytes.data(), chunk, &written, nullptr) || written == 0) {
            if (written == 0 && ::GetLastError() == NO_ERROR)
                ::SetLastError(ERROR_DISK_FULL);
            Fail("Error writing file");
        }
        bytes = bytes.subspan(written);
    }
}

void TCompanionFile::Sync() {
    if (!::FlushFileBuffers(file_))
        Fail("Error writing file");
}

void TCompanionFile::Close() {
    if (!open_)
        return;
    const bool synced = ::FlushFileBuffers(file_);
    const DWORD syncError = ::GetLastError();
    open_ = false;
    ReleaseClaim(file_);
    const bool closed = ::CloseHandle(file_);
    if (!synced)
        ::SetLastError(syncError);
    if (!synced || !closed)
        Fail(synced ? "Error closing file" : "Error writing file");
}

} // namespace telemetry
