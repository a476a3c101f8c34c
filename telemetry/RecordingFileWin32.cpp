#include "telemetry/RecordingFile.h"

#include "native/WideText.h"

#include <algorithm>
#include <system_error>

#include <windows.h>

namespace telemetry {

namespace {

std::string SystemMessage(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

// Others may read and write the recording while it is open; the viewer, which shares
// nothing, cannot open it, and a file the viewer holds cannot be opened here.
HANDLE OpenForRecording(const std::string& fileName, DWORD disposition) {
    return ::CreateFileW(native::WideText(fileName).c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TRecordingFile::TRecordingFile(std::string fileName) : fileName_(std::move(fileName)) {
    file_ = OpenForRecording(fileName_, CREATE_NEW);
    const bool created = file_ != INVALID_HANDLE_VALUE;
    if (!created && ::GetLastError() == ERROR_FILE_EXISTS)
        file_ = OpenForRecording(fileName_, OPEN_EXISTING);
    if (file_ == INVALID_HANDLE_VALUE)
        throw ERecordingCreateError("Cannot create " + fileName_ + ": " +
                                    SystemMessage(::GetLastError()));
    // A refused file is left as it was found: one this session made is removed again.
    const auto refuse = [&](const std::string& why) {
        ::CloseHandle(file_);
        if (created)
            ::DeleteFileW(native::WideText(fileName_).c_str());
        throw ERecordingCreateError("Cannot create " + fileName_ + ": " + why);
    };
    // A pipe or a device (NUL, a COM port) is not a file on a disk.
    if (::GetFileType(file_) != FILE_TYPE_DISK)
        refuse("not a regular file");
    // Claimed before it is emptied, so that a recording another session makes is left alone.
    if (ClaimFile(file_) == TClaim::HeldByWriter) {
        // Even a file made here a moment ago: the writer that holds it now records it.
        ::CloseHandle(file_);
        throw EFileBeingWritten("Cannot create " + fileName_ +
                                ": being recorded by another session or program");
    }
    if (!created && !::SetEndOfFile(file_))
        refuse(SystemMessage(::GetLastError()));
    open_ = true;
}

TRecordingFile::~TRecordingFile() {
    if (open_) {
        ReleaseClaim(file_);
        ::CloseHandle(file_);
    }
}

void TRecordingFile::WriteAll(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), MAXDWORD));
        DWORD written = 0;
        if (!::WriteFile(file_, bytes.data(), chunk, &written, nullptr) || written == 0)
            throw EInOutError("Error writing file " + fileName_ + ": " +
                              SystemMessage(written == 0 && ::GetLastError() == NO_ERROR
                                                ? ERROR_DISK_FULL
                                                : ::GetLastError()));
        bytes = bytes.subspan(written);
        written_ += written;
    }
}

bool TRecordingFile::SyncFile() {
    if (!::FlushFileBuffers(file_))
        throw EInOutError("Error writing file " + fileName_ + ": " +
                          SystemMessage(::GetLastError()));
    return true;
}

void TRecordingFile::CloseFile() {
    ReleaseClaim(file_);
    if (!::CloseHandle(file_))
        throw EInOutError("Error closing file " + fileName_ + ": " +
                          SystemMessage(::GetLastError()));
}

} // namespace telemetry
