#pragma once

// The figures of a stretch of a recording the user selects on the chart (a pull, an idle
// period): its frames, its duration, and each quantity's smallest, largest, mean and standard
// deviation over it.

#include "analysis/Quantity.h"
#include "telemetry/FrameTable.h"
#include "telemetry/RecordingTimes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace analysis {

// When each frame of a recording arrived, measured or estimated, as the window's time axis
// says: seconds from the recording's start, none where not known.
class TFrameTimes {
public:
    [[nodiscard]] virtual std::optional<telemetry::TByteTime>
    FrameTime(std::int64_t frame) const = 0;

protected:
    ~TFrameTimes() = default;
};

struct TQuantityFigures {
    std::int64_t Frames = 0; // the frames with a value: for the speed, those with a period
    double Minimum = 0;
    double Maximum = 0;
    double Mean = 0;
    double StandardDeviation = 0; // of the population
    bool operator==(const TQuantityFigures&) const = default;
};

struct TSelectionFigures {
    TFrameRange Frames; // the selection as far as the recording has it
    // The last frame's time minus the first's (0 for one frame); none without times.
    std::optional<double> Seconds;
    // Whether both frames' times, and so Seconds, were measured rather than estimated.
    bool Measured = false;
    std::array<TQuantityFigures, FieldQuantities.size()> Quantities; // in FieldQuantities' order
};

// The figures of the frames of selection the table has; times may be null.
[[nodiscard]] TSelectionFigures SelectionFigures(const telemetry::TFrameTable& table,
                                                 TFrameRange selection,
                                                 const TFrameTimes* times = nullptr);

// The window's export of the figures: the header
// "quantity,first_frame,last_frame,frames,seconds,min,max,mean,std,timing" and a line per field
// quantity in FieldQuantities' order, named as QuantityName names it; seconds and timing
// ("measured" or "estimated") empty without times, the figures empty for a quantity without
// frames.
[[nodiscard]] std::string SelectionCsv(const TSelectionFigures& figures);

} // namespace analysis
