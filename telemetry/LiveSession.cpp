#include "LiveSession.h"

#include "PortName.h"

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

void TRecordingFile::Write(std::span<const std::uint8_t> bytes, TClock::time_point now) {
    if (!bytes.empty() && !unsyncedSince_)
        unsyncedSince_ = now;
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

void TRecordingFile::SyncIfDue(TClock::time_point now) {
    if (unsyncedSince_ && now - *unsyncedSince_ >= SyncAfter)
        Sync();
}

void TRecordingFile::Sync() {
    if (!unsyncedSince_ || fd_ < 0)
        return;
    unsyncedSince_.reset();
    if (::fdatasync(fd_) == 0)
        ++syncs_;
    else if (errno != EINVAL) // a file system that keeps nothing to sync
        throw EInOutError("Error writing file " + fileName_ + ": " + std::strerror(errno));
}

void TRecordingFile::Close() {
    std::optional<EInOutError> failure;
    try {
        Sync();
    } catch (const EInOutError& e) {
        failure = e;
    }
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0 && !failure)
        failure = EInOutError("Error closing file " + fileName_ + ": " + std::strerror(errno));
    if (failure)
        throw *failure;
}

std::size_t RecordBlock(TRecordingFile& file, std::span<const std::uint8_t> block, DecodeMode mode,
                        TLatestValues& values, TFramePlot* plot,
                        TRecordingFile::TClock::time_point now) {
    file.Write(block, now);
    return DecodeBlock(block, mode, values.LiveState, values, plot);
}

TLiveSession::TLiveSession(const std::string& fileName, std::uint8_t portNumber,
                           TLatestValues& values, TFramePlot& plot, serial::TErrorHandler onError)
    : portNumber_(portNumber), values_(values), plot_(plot), file_(fileName),
      health_(TClock::now()),
      port_(std::make_unique<serial::TComPort>(portNumber, SessionThreshold)),
      device_(port_->Device()), onError_(std::move(onError)) {
    port_->OnError = [this](const std::string& message) { PortFailed(message); };
    values_.LiveState = 0;
    values_.FrameCounter = 0;
    QObject::connect(&ticker_, &QTimer::timeout, [this] { Tick(); });
    ticker_.start(SyncCheckInterval);
}

TLiveSession::~TLiveSession() = default;

void TLiveSession::AttachHandler(bool plotInRealTime) {
    handler_ = plotInRealTime ? THandler::Plotting : THandler::RecordingOnly;
    Attach();
}

void TLiveSession::Attach() {
    if (!port_ || recordingFailed_)
        return;
    if (handler_ == THandler::Plotting)
        port_->SetOnData([this](std::span<const std::uint8_t> data) { SaveHarReal(data); });
    else if (handler_ == THandler::RecordingOnly)
        port_->SetOnData([this](std::span<const std::uint8_t> data) { SaveHarNoReal(data); });
}

void TLiveSession::SaveHarReal(std::span<const std::uint8_t> data) {
    Record(data, DecodeMode::LivePlotting, &plot_);
}

void TLiveSession::SaveHarNoReal(std::span<const std::uint8_t> data) {
    Record(data, DecodeMode::LiveRecordingOnly, nullptr);
}

void TLiveSession::Record(std::span<const std::uint8_t> data, DecodeMode mode, TFramePlot* plot) {
    const TClock::time_point now = TClock::now();
    try {
        const std::size_t frames = RecordBlock(file_, data, mode, values_, plot, now);
        health_.Block(data.size(), frames, values_.LiveState, now);
        file_.SyncIfDue(now);
    } catch (...) {
        // A failed write or plot ends the recording for good; the port then reports the
        // failure through PortFailed, which must not take it for the port's own.
        recordingFailed_ = true;
        throw;
    }
}

void TLiveSession::PortFailed(const std::string& message) {
    if (!recordingFailed_) {
        port_.reset();
        health_.PortLost();
        lastAttempt_ = TClock::now();
        if (portFailureReported_)
            return;
        portFailureReported_ = true;
    }
    if (onError_)
        onError_(message);
}

// The port's own texts are not repeated while it stays away: the first failure was shown.
// The number must lead to the device it led to: while a link or an adapter is away, the
// number falls through to /dev/ttyS<n-1>, which may well open and then deliver nothing.
void TLiveSession::Reopen(TClock::time_point now) {
    lastAttempt_ = now;
    try {
        if (serial::PortDevice(portNumber_) != device_)
            return;
        port_ = std::make_unique<serial::TComPort>(portNumber_, SessionThreshold);
    } catch (const std::exception&) {
        return;
    }
    port_->OnError = [this](const std::string& message) { PortFailed(message); };
    values_.LiveState = 0;
    health_.DecoderReset();
    health_.PortBack(now);
    Attach();
}

// Syncs bytes that came before a pause in the stream, and tries a failed port again. A
// failed sync ends the recording as a failed write does.
void TLiveSession::Tick() {
    const TClock::time_point now = TClock::now();
    if (!port_ && !recordingFailed_ && now - lastAttempt_ >= ReopenInterval)
        Reopen(now);
    try {
        file_.SyncIfDue(now);
    } catch (const EInOutError& e) {
        recordingFailed_ = true;
        ticker_.stop();
        port_.reset(); // nothing more can be recorded
        if (onError_)
            onError_(e.what());
    }
}

void TLiveSession::Close() {
    ticker_.stop();
    if (port_) {
        const std::unique_ptr<serial::TComPort> port = std::move(port_);
        port->Drain();
    }
    file_.Close();
}

} // namespace telemetry
