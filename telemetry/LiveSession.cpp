#include "LiveSession.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace telemetry {

TRecordingFile::TRecordingFile(std::string fileName) : fileName_(std::move(fileName)) {
    fd_ = ::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0)
        throw ERecordingCreateError("Cannot create " + fileName_ + ": " + std::strerror(errno));
    // Locked before it is emptied, so that a file the viewer is replaying is left alone.
    struct stat st {};
    if (::flock(fd_, LOCK_SH | LOCK_NB) != 0 || ::fstat(fd_, &st) != 0 ||
        (S_ISREG(st.st_mode) && ::ftruncate(fd_, 0) != 0)) {
        const int error = errno;
        ::close(fd_);
        throw ERecordingCreateError("Cannot create " + fileName_ + ": " + std::strerror(error));
    }
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
        port_->OnData = [this](std::span<const std::uint8_t> data) { SaveHarReal(data); };
    else
        port_->OnData = [this](std::span<const std::uint8_t> data) { SaveHarNoReal(data); };
}

void TLiveSession::SaveHarReal(std::span<const std::uint8_t> data) {
    RecordBlock(file_, data, DecodeMode::LivePlotting, values_, &plot_);
}

void TLiveSession::SaveHarNoReal(std::span<const std::uint8_t> data) {
    RecordBlock(file_, data, DecodeMode::LiveRecordingOnly, values_, nullptr);
}

void TLiveSession::Close() {
    port_.reset();
    file_.Close();
}

} // namespace telemetry
