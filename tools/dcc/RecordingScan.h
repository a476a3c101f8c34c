#pragma once

// Walks a recording frame by frame with the program's own replay decoder, for the
// recording tool's csv and info commands: the frames are those the decoder reports complete,
// as the viewer's frame table takes them.

#include "telemetry/DecodedFrame.h"
#include "telemetry/RecordingFigures.h"
#include "telemetry/Telemetry.h"

#include <cstdint>
#include <functional>
#include <span>

class TRecordingScan final : private telemetry::TFrameSink {
public:
    using FrameHandler = std::function<void(const telemetry::TDecodedFrame&)>;
    explicit TRecordingScan(FrameHandler onFrame) : onFrame_(std::move(onFrame)) {}

    // Bytes in recording order; a frame may continue in the next call.
    void Feed(std::span<const std::uint8_t> bytes);

    [[nodiscard]] std::uint64_t Bytes() const noexcept { return bytes_; }
    // In the frame handler: where the frame ends, the offset after its last byte.
    [[nodiscard]] std::uint64_t FrameEnd() const noexcept { return frameEnd_; }
    [[nodiscard]] std::int64_t Frames() const noexcept { return frames_; }
    // The bytes so far as the program counts a recording everywhere.
    [[nodiscard]] telemetry::TRecordingFigures Figures() const noexcept {
        return telemetry::FiguresOf(bytes_, static_cast<std::uint64_t>(frames_), state_);
    }

private:
    void FramesCompleted(std::span<const telemetry::TCompletedFrame> frames) override;
    void BlockDecoded(std::size_t, const telemetry::TUnfinishedFrame&) override {}

    FrameHandler onFrame_;
    telemetry::TLatestValues values_;
    std::uint8_t state_ = 0; // the decoder's: in a frame from 2 on, its bytes so far
    std::uint64_t bytes_ = 0;
    std::uint64_t blockStart_ = 0; // of the block being fed
    std::uint64_t frameEnd_ = 0;
    std::int64_t frames_ = 0;
};
