#pragma once

// A companion file open for writing, held for this object alone: a second live session, or a
// viewer adding a marker, cannot write it at the same time. Each platform has its own
// implementation (CompanionFilePosix.cpp, CompanionFileWin32.cpp) of the same rules. Reading a
// companion takes no hold: ReadCompanionFile.

#include "telemetry/NativeFile.h"

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace telemetry {

// Why a companion could not be written.
enum class TCompanionWriteFailure {
    ReadOnly,    // the folder or the file may not be written here
    InUse,       // a live session or another viewer holds it
    NotAFile,    // something else has its name: a folder, a pipe, a device
    Changed,     // it, or the recording, changed since the recording was opened
    Unusable,    // it belongs to another recording, is damaged or is of a newer format
    WriteFailed, // the disk refused (full, gone)
};

class ECompanionWriteError : public std::runtime_error {
public:
    ECompanionWriteError(TCompanionWriteFailure failure, const std::string& message)
        : std::runtime_error(message), failure_(failure) {}
    [[nodiscard]] TCompanionWriteFailure Failure() const noexcept { return failure_; }

private:
    TCompanionWriteFailure failure_;
};

class TCompanionFile {
public:
    enum class TOpening {
        Emptied,  // a live session's: created, or opened and emptied once held
        Existing, // opened as it is, to be added to
        New,      // created; one that exists by then is Changed
    };

    // Raises ECompanionWriteError; a file this call created and then refused is removed.
    TCompanionFile(std::string path, TOpening opening);
    ~TCompanionFile();
    TCompanionFile(const TCompanionFile&) = delete;
    TCompanionFile& operator=(const TCompanionFile&) = delete;

    // Everything in the file now.
    [[nodiscard]] std::vector<std::uint8_t> ReadAll();
    // Drops everything from size on: a record cut short when a session died.
    void CutTo(std::uint64_t size);
    // Writes at the end. The others raise ECompanionWriteError (WriteFailed).
    void Append(std::span<const std::uint8_t> bytes);
    void Sync();
    // Syncs, then closes; a failure is raised once the file is closed.
    void Close();

    [[nodiscard]] const std::string& Path() const noexcept { return path_; }

private:
    [[noreturn]] void Fail(const std::string& what) const;

    std::string path_;
    TNativeFile file_;
    bool open_ = false;
};

// What ReadCompanionFile found.
struct TCompanionBytes {
    enum class TFound { Read, Missing, Unreadable, TooLarge } Found = TFound::Missing;
    std::vector<std::uint8_t> Bytes;
};

// The largest companion read: a year-long session's stays far below it.
inline constexpr std::uint64_t MaxCompanionSize = 256ull << 20;

// The companion beside recordingPath, read whole. Never raises for the file's sake.
[[nodiscard]] TCompanionBytes ReadCompanionFile(const std::string& recordingPath);

} // namespace telemetry
