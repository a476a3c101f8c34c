#pragma once

// When the frames of a recording arrived, estimated where nothing measured them: from where
// each frame ends in the recording, at the line's full rate. A stream that paused (the
// controller off, a reconnect) lasted longer than this says.

#include "analysis/Selection.h"
#include "telemetry/FrameTable.h"

#include <cstdint>
#include <optional>

namespace analysis {

// 57600 baud, 10 bits a byte (a start bit, 8 data bits, a stop bit).
inline constexpr double LineBytesPerSecond = 5760;

class TLineRateTimes final : public TFrameTimes {
public:
    // table outlives this.
    explicit TLineRateTimes(const telemetry::TFrameTable& table) noexcept : table_(table) {}

    // The frame's end in the recording over LineBytesPerSecond; none outside the table.
    [[nodiscard]] std::optional<double> FrameSeconds(std::int64_t frame) const override {
        if (frame < 0 || frame >= table_.Rows())
            return std::nullopt;
        return static_cast<double>(table_.EndOffset(frame)) / LineBytesPerSecond;
    }

private:
    const telemetry::TFrameTable& table_;
};

} // namespace analysis
