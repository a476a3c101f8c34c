#include "telemetry/WriterClaim.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telemetry {

// The byte lock conflicts with another open file description's even in this process, which a
// process-associated lock would not; flock's shared lock is what the viewer's exclusive one
// fails against. Only a lock held elsewhere refuses the file: where none can be had (ENOLCK
// without a lock daemon, and NFS turns flock into a byte-range lock, which a descriptor opened
// only for writing cannot take shared), the file is written without it.
TClaim ClaimFile(TNativeFile file) noexcept {
    struct flock byte {};
    byte.l_type = F_WRLCK;
    byte.l_whence = SEEK_SET;
    byte.l_start = static_cast<off_t>(ClaimedByte);
    byte.l_len = 1;
    const bool claimed = ::fcntl(file, F_OFD_SETLK, &byte) == 0;
    if (!claimed && (errno == EAGAIN || errno == EACCES))
        return TClaim::HeldByWriter;
    if (::flock(file, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return TClaim::HeldByViewer;
    return claimed ? TClaim::Taken : TClaim::NotSupported;
}

// Both locks go with the file's last descriptor.
void ReleaseClaim(TNativeFile) noexcept {}

TWriterClaim::TWriterClaim(const std::string& fileName) {
    file_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    const bool created = file_ >= 0;
    if (!created && errno == EEXIST)
        // Non-blocking, so that a named pipe without a reader cannot hold the program here.
        file_ = ::open(fileName.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file_ < 0) {
        if (errno == ENXIO) // a named pipe that nobody reads yet: no recording either
            return;
        throw EFileCreateError("Cannot create " + fileName + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(file_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(file_);
        return;
    }
    const TClaim claim = ClaimFile(file_);
    if (claim == TClaim::HeldByWriter) {
        // Even a file made here a moment ago: the writer that holds it now writes it.
        ::close(file_);
        throw EFileBeingWritten("Cannot create " + fileName +
                                ": being written by another session or program");
    }
    if (claim == TClaim::HeldByViewer) {
        ::close(file_);
        if (created)
            ::unlink(fileName.c_str());
        throw EFileCreateError("Cannot create " + fileName + ": in use by another program");
    }
    held_ = true;
}

TWriterClaim::~TWriterClaim() {
    if (held_)
        ::close(file_);
}

} // namespace telemetry
