#include "telemetry/CompanionFile.h"

#include "telemetry/WriterClaim.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telemetry {

namespace {

TCompanionWriteFailure FailureOf(int error, TCompanionFile::TOpening opening) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return TCompanionWriteFailure::ReadOnly;
    case EEXIST:
    case ENOENT:
        // Created, or removed, by somebody else since the recording was opened.
        return opening == TCompanionFile::TOpening::Emptied ? TCompanionWriteFailure::WriteFailed
                                                            : TCompanionWriteFailure::Changed;
    case EISDIR:
    case ENXIO:
    case ELOOP:
        return TCompanionWriteFailure::NotAFile;
    default:
        return TCompanionWriteFailure::WriteFailed;
    }
}

} // namespace

TCompanionFile::TCompanionFile(std::string path, TOpening opening) : path_(std::move(path)) {
    // Non-blocking, so that a named pipe of this name cannot hold the window; appending, so
    // that every write goes to the end whatever else happened to the file.
    constexpr int flags = O_RDWR | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const bool mayCreate = opening != TOpening::Existing;
    file_ = mayCreate ? ::open(path_.c_str(), flags | O_CREAT | O_EXCL, 0666) : -1;
    const bool created = file_ >= 0;
    if (!created &&
        (opening == TOpening::Existing || (opening == TOpening::Emptied && errno == EEXIST)))
        file_ = ::open(path_.c_str(), flags);
    if (file_ < 0)
        throw ECompanionWriteError(FailureOf(errno, opening),
                                   "Cannot write " + path_ + ": " + std::strerror(errno));
    const auto refuse = [&](TCompanionWriteFailure failure, const std::string& why) {
        ::close(file_);
        if (created)
            ::unlink(path_.c_str());
        throw ECompanionWriteError(failure, "Cannot write " + path_ + ": " + why);
    };
    struct stat st {};
    if (::fstat(file_, &st) != 0)
        refuse(TCompanionWriteFailure::WriteFailed, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        refuse(TCompanionWriteFailure::NotAFile, "not a regular file");
    // The recording's own claim: only a hold elsewhere refuses the file; where the file system
    // grants none, the file is written without one, as the recording is.
    switch (ClaimFile(file_)) {
    case TClaim::HeldByWriter:
        refuse(TCompanionWriteFailure::InUse, "being written by another session or program");
        break;
    case TClaim::HeldByViewer:
        refuse(TCompanionWriteFailure::InUse, "in use by another program");
        break;
    case TClaim::Taken:
    case TClaim::NotSupported:
        break;
    }
    if (opening == TOpening::Emptied && ::ftruncate(file_, 0) != 0)
        refuse(TCompanionWriteFailure::WriteFailed, std::strerror(errno));
    open_ = true;
}

TCompanionFile::~TCompanionFile() {
    if (open_)
        ::close(file_);
}

void TCompanionFile::Fail(const std::string& what) const {
    throw ECompanionWriteError(TCompanionWriteFailure::WriteFailed,
                               what + " " + path_ + ": " + std::strerror(errno));
}

std::vector<std::uint8_t> TCompanionFile::ReadAll() {
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[65536];
    for (;;) {
        const ssize_t n = ::pread(file_, block, sizeof block, static_cast<off_t>(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            Fail("Error reading file");
        if (n == 0)
            return bytes;
        if (bytes.size() + static_cast<std::size_t>(n) > MaxCompanionSize) {
            errno = EFBIG;
            Fail("Error reading file");
        }
        bytes.insert(bytes.end(), block, block + n);
    }
}

void TCompanionFile::CutTo(std::uint64_t size) {
    if (::ftruncate(file_, static_cast<off_t>(size)) != 0)
        Fail("Error writing file");
}

void TCompanionFile::Append(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(file_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            Fail("Error writing file");
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void TCompanionFile::Sync() {
    if (::fdatasync(file_) != 0 && errno != EINVAL)
        Fail("Error writing file");
}

void TCompanionFile::Close() {
    if (!open_)
        return;
    const bool synced = ::fdatasync(file_) == 0 || errno == EINVAL;
    const int syncError = errno;
    open_ = false;
    const bool closed = ::close(file_) == 0;
    if (!synced)
        errno = syncError;
    if (!synced || !closed)
        Fail(synced ? "Error closing file" : "Error writing file");
}

} // namespace telemetry
