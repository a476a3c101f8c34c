#pragma once

// A second recording B on the telemetry chart beside the one it shows, A, as the chart's
// readers take it: where B's six series are and how far B is shifted along A's frames.

#include "widgets/chart/ChartPen.h"

#include <cstdint>

struct TComparedOnChart {
    int FirstSeries;    // B's series 0 to 5 are the chart's FirstSeries to FirstSeries + 5
    std::int64_t Shift; // B's frame j stands at A's frame j + Shift
};

// B's colour for one of A's: halfway to white, lighter on the chart and in the readout.
[[nodiscard]] constexpr TColor ComparedColour(TColor c) noexcept {
    const auto half = [c](int at) { return ((c >> at & 0xFFu) + 0xFFu + 1) / 2 << at; };
    return half(0) | half(8) | half(16);
}
