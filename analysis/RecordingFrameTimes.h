#pragma once

// When a recording's frames arrived, by the rule the window's time axis and telmira-dcc
// csv --time follow: a frame at the time its last byte came, measured by the recording's
// companion where it timed that byte, else estimated at the line rate.

#include "analysis/Selection.h"
#include "telemetry/FrameTable.h"
#include "telemetry/FrameTimes.h"
#include "telemetry/RecordingTimes.h"

#include <cstdint>
#include <optional>

namespace analysis {

class TRecordingFrameTimes final : public TFrameTimes {
public:
    // times and table outlive this.
    TRecordingFrameTimes(const telemetry::TRecordingTimes& times,
                         const telemetry::TFrameTable& table) noexcept
        : times_(times), table_(table) {}

    // None outside the table.
    [[nodiscard]] std::optional<telemetry::TByteTime> FrameTime(std::int64_t frame) const override {
        if (frame < 0 || frame >= table_.Rows())
            return std::nullopt;
        return telemetry::FrameTime(table_, times_, frame);
    }

private:
    const telemetry::TRecordingTimes& times_;
    const telemetry::TFrameTable& table_;
};

} // namespace analysis
