#include "LiveSession.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telemetry {

TRecordingFile::TRecordingFile(std::string fileName) : fileName_(std::move(fileName)) {
    fd_ = ::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    const bool created = fd_ >= 0;
    if (!created && errno == EEXIST)
        // Non-blocking, so that a named pipe or a device cannot hold the window waiting for
        // its other end; neither is taken as a recording, and a regular file ignores the flag.
        fd_ = ::open(fileName_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0)
        throw ERecordingCreateError("Cannot create " + fileName_ + ": " + std::strerror(errno));
    // A refused file is left as it was found: one this session made is removed again.
    const auto refuse = [&](const std::string& why) {
        ::close(fd_);
        if (created)
            ::unlink(fileName_.c_str());
        throw ERecordingCreateError("Cannot create " + fileName_ + ": " + why);
    };
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        refuse(std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        refuse("not a regular file");
    // Locked before it is emptied, so that a file the viewer is replaying is left alone. Only
    // a lock held elsewhere refuses the file; where no lock can be had (NFS turns flock into
    // a byte-range lock, which a descriptor opened for writing cannot take shared), the
    // recording goes on without one.
    if (::flock(fd_, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        refuse("in use by another program");
    if (!created && ::ftruncate(fd_, 0) != 0)
        refuse(std::strerror(errno));
}

TRecordingFile::~TRecordingFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

void TRecordingFile::Write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EInOutError("Error writing file " + fileName_ + ": " +
                              std::strerror(n < 0 ? errno : ENOSPC));
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void TRecordingFile::Close() {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0)
        throw EInOutError("Error closing file " + fileName_ + ": " + std::strerror(errno));
}

void RecordBlock(TRecordingFile& file, std::span<const std::uint8_t> block, DecodeMode mode,
                 TLatestValues& values, TFramePlot* plot) {
    file.Write(block);
    DecodeBlock(block, mode, values.LiveState, values, plot);
}

TLiveSession::TLiveSession(const std::string& fileName, std::uint8_t portNumber,
                           TLatestValues& values, TFramePlot& plot, serial::TErrorHandler onError)
    : values_(values), plot_(plot), file_(fileName),
      port_(std::make_unique<serial::TComPort>(portNumber, SessionThreshold)) {
    port_->OnError = std::move(onError);
    values_.LiveState = 0;
    values_.FrameCounter = 0;
}

TLiveSession::~TLiveSession() = default;

void TLiveSession::AttachHandler(bool plotInRealTime) {
    if (!port_)
        return;
    if (plotInRealTime)
        port_->SetOnData([this](std::span<const std::uint8_t> data) { SaveHarReal(data); });
    else
        port_->SetOnData([this](std::span<const std::uint8_t> data) { SaveHarNoReal(data); });
}

void TLiveSession::SaveHarReal(std::span<const std::uint8_t> data) {
    RecordBlock(file_, data, DecodeMode::LivePlotting, values_, &plot_);
}

void TLiveSession::SaveHarNoReal(std::span<const std::uint8_t> data) {
    RecordBlock(file_, data, DecodeMode::LiveRecordingOnly, values_, nullptr);
}

void TLiveSession::Close() {
    if (port_) {
        port_->Drain();
        port_.reset();
    }
    file_.Close();
}

} // namespace telemetry
