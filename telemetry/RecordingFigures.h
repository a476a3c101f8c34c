#pragma once

// What a recording holds, counted one way wherever the program shows it (the status line of
// a live session and of a viewed recording, telmira-dcc info): its bytes as a replay decodes
// them, from the first byte on, with one decoder that nothing sets back, not even a reconnect
// of the port. Every byte then lies in a whole frame, in the frame the recording ends in the
// middle of (from that frame's first 0xFF on, so a lone 0xFF at the end counts there), or is
// skipped.

#include "telemetry/Telemetry.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace telemetry {

// The frames a second the line carries at most: 57600 baud, 10 bits a byte, 9 bytes a frame.
inline constexpr std::uint64_t LineFramesPerSecond = 640;

struct TRecordingFigures {
    std::uint64_t Bytes = 0;
    std::uint64_t Frames = 0;       // whole frames
    std::uint64_t SkippedBytes = 0; // bytes that are no part of a frame
    std::uint8_t EndBytes = 0;      // bytes of the frame the recording ends in the middle of

    friend bool operator==(const TRecordingFigures&, const TRecordingFigures&) = default;
};

// The figures of bytes that a decoder, starting at state 0, took in replay mode, completing
// frames and ending in state.
[[nodiscard]] constexpr TRecordingFigures FiguresOf(std::uint64_t bytes, std::uint64_t frames,
                                                    std::uint8_t state) noexcept {
    return {bytes, frames, bytes - FrameSize * frames - state, state};
}

// The figures of a recording whose bytes come in blocks, cut anywhere.
class TFigureCount {
public:
    // Returns the frames the block completed.
    std::size_t Add(std::span<const std::uint8_t> block) {
        const std::size_t frames = DecodeBlock(block, DecodeMode::Replay, state_, values_, nullptr);
        bytes_ += block.size();
        frames_ += frames;
        return frames;
    }
    [[nodiscard]] TRecordingFigures Figures() const noexcept {
        return FiguresOf(bytes_, frames_, state_);
    }

private:
    TLatestValues values_; // the decoder's, not the program's
    std::uint8_t state_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t frames_ = 0;
};

} // namespace telemetry
