#include "telemetry/LiveSession.h"

namespace telemetry {

TLiveSession::TLiveSession(const std::string& fileName, std::uint8_t portNumber,
                           TLatestValues& values, TFramePlot& plot, serial::TErrorHandler onError,
                           TFrameSink* frames)
    : portNumber_(portNumber), values_(values), plot_(plot), frames_(frames), file_(fileName),
      health_(TClock::now()),
      port_(std::make_unique<serial::TComPort>(portNumber, SessionThreshold)),
      device_(port_->Identity()), companion_(fileName, TClock::now()),
      onError_(std::move(onError)) {
    port_->OnError = [this](const std::string& message) { PortFailed(message); };
    values_.LiveState = 0;
    values_.FrameCounter = 0;
    QObject::connect(&ticker_, &QTimer::timeout, [this] { Tick(); });
    ticker_.start(SyncCheckInterval);
    QObject::connect(&reopenTimer_, &QTimer::timeout, [this] { Reopen(); });
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
    const std::uint64_t before = file_.Written();
    std::size_t completed = 0;
    try {
        completed = RecordBlock(file_, data, mode, values_, plot, now, frames);
        file_.SyncIfDue(now);
    } catch (...) {
        // A failed write or plot ends the recording for good; the port then reports the
        // failure through PortFailed, which must not take it for the port's own. The health
        // counts what reached the file.
        recordingFailed_ = true;
        health_.Block(data.first(static_cast<std::size_t>(file_.Written() - before)), now);
        health_.RecordingStopped();
        throw;
    }
    health_.Block(data, now);
    companion_.Block(data, port_ ? port_->BlockReadAt() : now,
                     {completed, health_.Figures().SkippedBytes, values_.CurveNumber}, now);
}

void TLiveSession::PortFailed(const std::string& message) {
    if (!recordingFailed_) {
        port_.reset();
        health_.PortLost();
        reopenTimer_.start(ReopenInterval);
        companion_.PortLost(TClock::now());
        if (portFailureReported_)
            return;
        portFailureReported_ = true;
    }
    if (onError_)
        onError_(message);
}

// The port's own texts are not repeated while it stays away: the first failure was shown.
// The number must lead to the device it led to: while a link or an adapter is away, the
// number falls through to /dev/ttyS<n-1>, which may well open and then deliver nothing, and a
// link left behind may lead to another program's pseudo-terminal.
void TLiveSession::Reopen() {
    try {
        port_ = std::make_unique<serial::TComPort>(portNumber_, SessionThreshold, device_);
    } catch (const std::exception&) {
        return;
    }
    reopenTimer_.stop();
    device_ = port_->Identity();
    port_->OnError = [this](const std::string& message) { PortFailed(message); };
    health_.PortBack(TClock::now());
    companion_.PortBack(TClock::now());
    Attach();
}

// Syncs bytes that came before a pause in the stream. A failed sync ends the recording as a
// failed write does.
void TLiveSession::Tick() {
    const TClock::time_point now = TClock::now();
    try {
        file_.SyncIfDue(now);
        companion_.SyncIfDue(now);
    } catch (const EInOutError& e) {
        recordingFailed_ = true;
        health_.RecordingStopped();
        ticker_.stop();
        reopenTimer_.stop();
        port_.reset(); // nothing more can be recorded
        if (onError_)
            onError_(e.what());
    }
}

TLinkReport TLiveSession::Health() {
    TLinkReport report = health_.Report(TClock::now());
    const bool linked = report.State == TLinkState::Receiving || report.State == TLinkState::NoData;
    if (handler_ == THandler::None && linked) {
        report.State = TLinkState::AwaitingMode;
        report.BytesKept = port_ ? port_->KeptBytes() : 0;
    }
    return report;
}

void TLiveSession::Close() {
    ticker_.stop();
    reopenTimer_.stop();
    if (port_) {
        const std::unique_ptr<serial::TComPort> port = std::move(port_);
        port->Drain();
    }
    file_.Close();
    companion_.Close(TClock::now());
}

} // namespace telemetry
