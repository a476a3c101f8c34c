#pragma once

// One completed frame's fields with its number, and its line in the recording tool's and
// the window's CSV export.

#include "telemetry/Telemetry.h"

#include <cstdint>
#include <string>

namespace telemetry {

// A frame's fields with its number: replay numbering, the first completed frame is 0.
struct TDecodedFrame : TFrameFields {
    std::int64_t Number;
    bool operator==(const TDecodedFrame&) const = default;
};

// The shortest text that reads back to the same double, with no trailing ".0".
[[nodiscard]] std::string NumberText(double value);

// Appends seconds with three decimals, whatever the locale: a time as CSV gives it.
void AppendSecondsText(std::string& text, double seconds);

// The first line of a CSV export, with its line end.
inline constexpr char CsvHeader[] =
    "frame,period,rpm,map,curve,temperature,octane,advance_code,advance\n";
// The same with the frames' times.
inline constexpr char CsvHeaderWithTime[] =
    "frame,period,rpm,map,curve,temperature,octane,advance_code,advance,time\n";

// Appends the frame's CSV line with its line end: the fields as decoded, the speed and the
// advance in the shortest text that reads back to the same double; a period of 0 leaves the
// speed empty.
void AppendCsvLine(std::string& text, const TDecodedFrame& frame);
// The same with the frame's time after the advance: seconds from the recording's start, with
// three decimals, whatever the locale.
void AppendCsvLine(std::string& text, const TDecodedFrame& frame, double seconds);

} // namespace telemetry
