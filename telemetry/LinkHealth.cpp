#include "telemetry/LinkHealth.h"

#include "telemetry/Telemetry.h"

namespace telemetry {

namespace {

constexpr std::chrono::seconds RateWindow{1};

} // namespace

void TLinkHealth::Block(std::size_t bytes, std::size_t frames, std::uint8_t decoderState,
                        TClock::time_point now) {
    bytes_ += bytes;
    frames_ += frames;
    pending_ = decoderState;
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

// Every byte is in a whole frame, in the frame being received, or skipped.
std::uint64_t TLinkHealth::SkippedBytes() const noexcept {
    return bytes_ - FrameSize * frames_ - pending_;
}

TLinkReport TLinkHealth::Report(TClock::time_point now) {
    ForgetBefore(now - RateWindow);
    TLinkReport report;
    if (waiting_)
        report.State = TLinkState::WaitingForPort;
    else
        report.State = now - lastHeard_ > NoDataAfter ? TLinkState::NoData : TLinkState::Receiving;
    report.BytesRecorded = bytes_;
    report.Frames = frames_;
    report.SkippedBytes = SkippedBytes();
    for (const TArrival& arrival : lastSecond_)
        report.FrameRate += arrival.Frames;
    return report;
}

} // namespace telemetry
