#include "telemetry/LiveSession.h"

#include "serial/PortName.h"

namespace telemetry {

TLiveSession::TLiveSession(const std::string& fileName, std::uint8_t portNumber,
                           TLatestValues& values, TFramePlot& plot, serial::TErrorHandler onError,
                           TFrameSink* frames)
    : portNumber_(portNumber), values_(values), plot_(plot), frames_(frames), file_(fileName),
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
    Record(data, DecodeMode::LivePlotting, &plot_, frames_);
}

void TLiveSession::SaveHarNoReal(std::span<const std::uint8_t> data) {
    Record(data, DecodeMode::LiveRecordingOnly, nullptr, nullptr);
}

void TLiveSession::Record(std::span<const std::uint8_t> data, DecodeMode mode, TFramePlot* plot,
                          TFrameSink* frames) {
    const TClock::time_point now = TClock::now();
    try {
        const std::size_t completed = RecordBlock(file_, data, mode, values_, plot, now, frames);
        health_.Block(data.size(), completed, values_.LiveState, now);
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
