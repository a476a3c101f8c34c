#pragma once

// Frames and times of a recording on view: a frame's time, and the frame a marker or an event
// stands at, from the viewer's frame table and the recording's times. The window's time axis,
// readout and marker list take them from here; telmira-dcc csv --time gives the same times.

#include "telemetry/FrameTable.h"
#include "telemetry/RecordingTimes.h"

#include <cstdint>

namespace telemetry {

// When frame row arrived: when its last byte did. row is 0 to frames.Rows() - 1.
[[nodiscard]] inline TByteTime FrameTime(const TFrameTable& frames, const TRecordingTimes& times,
                                         std::int64_t row) {
    return times.At(frames.EndOffset(row));
}

// The frame a marker or an event at offset stands at: the last whole frame that ends at or
// before it; -1 when none does.
[[nodiscard]] inline std::int64_t FrameAt(const TFrameTable& frames,
                                          std::uint64_t offset) noexcept {
    return frames.RowsEndingBy(offset) - 1;
}

} // namespace telemetry
