#pragma once

// The hold that every writer of this program (a live session on its recording, telmira-sim on
// its recording or log, telmira-dcc on its picture, and whatever file a session writes beside
// its recording) takes on a file before it empties or writes it, and keeps until it closes it:
// no writer of ours empties, replaces or writes a file that another one holds, in this process
// or another. A claim also keeps the viewer off the file, which it wants to itself. Each
// platform has its own implementation (WriterClaimPosix.cpp, WriterClaimWin32.cpp).
//
// The claim is a lock on one byte far beyond any data (ClaimedByte), taken without waiting:
// elsewhere an open-file-description lock, which writers of ours in one process take against
// each other as well, beside the shared advisory lock that the viewer's exclusive one fails
// against; on Windows a byte-range lock, while the viewer, which shares nothing, cannot open a
// file that anyone has open. Programs that are not ours may still read and write the file.

#include "telemetry/NativeFile.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace telemetry {

// The file could not be created, claimed or emptied.
class EFileCreateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Another writer of ours holds the file: a live session records it, or a program writes it.
class EFileBeingWritten : public EFileCreateError {
public:
    using EFileCreateError::EFileCreateError;
};

// The byte a claim locks: no recording reaches 4 EiB.
inline constexpr std::uint64_t ClaimedByte = std::uint64_t{1} << 62;

enum class TClaim {
    Taken,        // this writer holds the file
    HeldByWriter, // another writer of ours holds it
    HeldByViewer, // the viewer is replaying it (elsewhere: any holder of an exclusive lock)
    NotSupported, // the file system grants no such lock: the file is written without a claim
};

// Claims file, a regular file open for writing. Only HeldByWriter and HeldByViewer refuse the
// file; what the claim took is released when the file is closed (ReleaseClaim first).
[[nodiscard]] TClaim ClaimFile(TNativeFile file) noexcept;
// Gives a claim back before its file is closed, where the platform wants that.
void ReleaseClaim(TNativeFile file) noexcept;

// A claim for a program that writes the file through a stream of its own (stdio, Qt): it
// holds the file under the claim, created empty when it is missing and otherwise as it is,
// until it is destroyed, and the program empties and writes it meanwhile. Something other than
// a regular file (a pipe, a device, standard output) is never a recording and is not claimed.
// Raises EFileBeingWritten when another writer of ours holds the file and EFileCreateError
// when it cannot be created or is held by the viewer; the file is left as it was found.
class TWriterClaim {
public:
    explicit TWriterClaim(const std::string& fileName);
    ~TWriterClaim();
    TWriterClaim(const TWriterClaim&) = delete;
    TWriterClaim& operator=(const TWriterClaim&) = delete;

private:
    TNativeFile file_;
    bool held_ = false;
};

} // namespace telemetry
