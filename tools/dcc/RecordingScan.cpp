#include "tools/dcc/RecordingScan.h"

void TRecordingScan::Feed(std::span<const std::uint8_t> bytes) {
    blockStart_ = bytes_;
    bytes_ += bytes.size();
    telemetry::DecodeBlock(bytes, telemetry::DecodeMode::Replay, state_, values_, nullptr, this);
}

// The decoder's frame counter is 32-bit and a recording may hold more frames, so frames are
// numbered here.
void TRecordingScan::FramesCompleted(std::span<const telemetry::TCompletedFrame> frames) {
    for (const telemetry::TCompletedFrame& frame : frames) {
        frameEnd_ = blockStart_ + frame.End;
        onFrame_({frame.Fields, frames_++});
    }
}
