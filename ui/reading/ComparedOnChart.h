#pragma once

// A second recording B on the telemetry chart beside the one it shows, A, as the chart's
// readers take it: B's frame table and how far B is shifted along A's frames.

#include "analysis/Alignment.h"
#include "telemetry/FrameTable.h"
#include "widgets/chart/ChartPen.h"

struct TComparedOnChart {
    const telemetry::TFrameTable* Frames; // B's: row j is B's frame j
    analysis::TAlignment Alignment;
};

// B's colour for one of A's: halfway to white, lighter on the chart and in the readout.
[[nodiscard]] constexpr TColor ComparedColour(TColor c) noexcept {
    const auto half = [c](int at) { return ((c >> at & 0xFFu) + 0xFFu + 1) / 2 << at; };
    return half(0) | half(8) | half(16);
}
