#pragma once

// The recording a live session writes. Each platform has its own implementation
// (RecordingFilePosix.cpp, RecordingFileWin32.cpp) of the same rules.

#include "telemetry/NativeFile.h"
#include "telemetry/Telemetry.h"
#include "telemetry/WriterClaim.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace telemetry {

// The recording could not be created; the window says "Ошибка создания файла", and when the
// failure is an EFileBeingWritten, that another session or program records the file.
using ERecordingCreateError = EFileCreateError;

// Writing or closing the recording failed.
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The age at which written bytes are synced to the disk.
inline constexpr std::chrono::milliseconds SyncAfter{500};

// The recording of a session. It is created empty (an existing regular file is truncated;
// anything else of that name, a named pipe or a device, is refused; no extension is added),
// every write goes straight to the operating system, so the file is complete up to the last
// handled byte at any moment, and other programs may read and write it while it is open. It is
// claimed (WriterClaim.h) before it is emptied and until it is closed: a file another session
// or program of ours writes is refused with EFileBeingWritten, and the viewer, which keeps
// writers out, refuses the recording and is not recorded over. On Windows the file is opened
// sharing reading and writing, which the viewer's opening, sharing reading only, fails against,
// and a file the viewer holds cannot be opened. A refused file is left as it was found.
class TRecordingFile {
public:
    using TClock = std::chrono::steady_clock;

    explicit TRecordingFile(std::string fileName);
    ~TRecordingFile();
    TRecordingFile(const TRecordingFile&) = delete;
    TRecordingFile& operator=(const TRecordingFile&) = delete;

    void Write(std::span<const std::uint8_t> bytes, TClock::time_point now);
    // Syncs the written bytes to the disk once the oldest of them is SyncAfter old. A file
    // that takes no sync (a device) is left as it is.
    void SyncIfDue(TClock::time_point now);
    // Syncs what is written, then closes; reports a failure, which the destructor cannot.
    void Close();
    [[nodiscard]] const std::string& FileName() const noexcept { return fileName_; }
    // How many times written bytes were synced to the disk.
    [[nodiscard]] std::uint64_t Syncs() const noexcept { return syncs_; }
    // The bytes that reached the file, those of a write that failed part way included.
    [[nodiscard]] std::uint64_t Written() const noexcept { return written_; }

private:
    void Sync();
    // The platform's, each raising EInOutError: every byte written, what is written synced
    // (false for a file that takes no sync), the file closed.
    void WriteAll(std::span<const std::uint8_t> bytes);
    bool SyncFile();
    void CloseFile();

    std::string fileName_;
    TNativeFile file_;
    bool open_ = false;
    std::optional<TClock::time_point> unsyncedSince_;
    std::uint64_t syncs_ = 0;
    std::uint64_t written_ = 0;
};

// Writes a received block to the recording, then decodes it with values.LiveState (the frames
// it completes going to frames when given), and returns the frames it completed. A failed write
// raises before any byte of the block is decoded.
std::size_t RecordBlock(TRecordingFile& file, std::span<const std::uint8_t> block, DecodeMode mode,
                        TLatestValues& values, TFramePlot* plot,
                        TRecordingFile::TClock::time_point now, TFrameSink* frames = nullptr);

} // namespace telemetry
