#include "telemetry/LinkHealth.h"

namespace telemetry {

namespace {

constexpr std::chrono::seconds RateWindow{1};

} // namespace

void TLinkHealth::Block(std::span<const std::uint8_t> recorded, TClock::time_point now) {
    const std::size_t frames = recording_.Add(recorded);
    lastHeard_ = now;
    if (frames != 0)
        lastSecond_.push_back({now, frames});
    ForgetBefore(now - RateWindow);
}

void TLinkHealth::ForgetBefore(TClock::time_point start) {
    while (!lastSecond_.empty() && lastSecond_.front().At <= start)
        lastSecond_.pop_front();
}

void TLinkHealth::PortBack(TClock::time_point now) noexcept {
    waiting_ = false;
    lastHeard_ = now;
}

TLinkReport TLinkHealth::Report(TClock::time_point now) {
    ForgetBefore(now - RateWindow);
    TLinkReport report;
    if (stopped_)
        report.State = TLinkState::Stopped;
    else if (waiting_)
        report.State = TLinkState::WaitingForPort;
    else
        report.State = now - lastHeard_ > NoDataAfter ? TLinkState::NoData : TLinkState::Receiving;
    const TRecordingFigures figures = recording_.Figures();
    report.BytesRecorded = figures.Bytes;
    report.Frames = figures.Frames;
    report.SkippedBytes = figures.SkippedBytes;
    for (const TArrival& arrival : lastSecond_)
        report.FrameRate += arrival.Frames;
    return report;
}

} // namespace telemetry
