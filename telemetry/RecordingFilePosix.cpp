#include "telemetry/RecordingFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telemetry {

TRecordingFile::TRecordingFile(std::string fileName) : fileName_(std::move(fileName)) {
    file_ = ::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    const bool created = file_ >= 0;
    if (!created && errno == EEXIST)
        // Non-blocking, so that a named pipe or a device cannot hold the window waiting for
        // its other end; neither is taken as a recording, and a regular file ignores the flag.
        file_ = ::open(fileName_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file_ < 0)
        throw ERecordingCreateError("Cannot create " + fileName_ + ": " + std::strerror(errno));
    // A refused file is left as it was found: one this session made is removed again.
    const auto refuse = [&](const std::string& why) {
        ::close(file_);
        if (created)
            ::unlink(fileName_.c_str());
        throw ERecordingCreateError("Cannot create " + fileName_ + ": " + why);
    };
    struct stat st {};
    if (::fstat(file_, &st) != 0)
        refuse(std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        refuse("not a regular file");
    // Claimed before it is emptied, so that a recording another session makes and a file the
    // viewer is replaying are left alone.
    switch (ClaimFile(file_)) {
    case TClaim::HeldByWriter:
        // Even a file made here a moment ago: the writer that holds it now records it.
        ::close(file_);
        throw EFileBeingWritten("Cannot create " + fileName_ +
                                ": being recorded by another session or program");
    case TClaim::HeldByViewer:
        refuse("in use by another program");
        break;
    case TClaim::Taken:
    case TClaim::NotSupported:
        break;
    }
    if (!created && ::ftruncate(file_, 0) != 0)
        refuse(std::strerror(errno));
    open_ = true;
}

TRecordingFile::~TRecordingFile() {
    if (open_)
        ::close(file_);
}

void TRecordingFile::WriteAll(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(file_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EInOutError("Error writing file " + fileName_ + ": " +
                              std::strerror(n < 0 ? errno : ENOSPC));
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        written_ += static_cast<std::size_t>(n);
    }
}

bool TRecordingFile::SyncFile() {
    if (::fdatasync(file_) == 0)
        return true;
    if (errno == EINVAL) // a file system that keeps nothing to sync
        return false;
    throw EInOutError("Error writing file " + fileName_ + ": " + std::strerror(errno));
}

void TRecordingFile::CloseFile() {
    if (::close(file_) != 0)
        throw EInOutError("Error closing file " + fileName_ + ": " + std::strerror(errno));
}

} // namespace telemetry
