#pragma once

// Reading values off a chart at a column: the point at a given X, the whole X nearest to a
// pixel, and where a readout box stands beside a cursor line.

#include "widgets/chart/ChartRules.h"
#include "widgets/chart/ChartSeries.h"

#include <QRect>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace chart {

// The index of the series' point whose X is exactly x, found by the redraw's index search;
// the first of them when several share it.
[[nodiscard]] std::optional<std::size_t> IndexOfX(const TChartSeries& series, double x);

// The whole X nearest to the value at pixel on map, kept within first to last.
[[nodiscard]] std::int64_t NearestWholeX(const TAxisMap& map, int pixel, std::int64_t first,
                                         std::int64_t last) noexcept;

// Where a readout box of the given size stands beside a cursor line at column cursorX: Gap
// pixels right of it, or left of it when it does not fit on the right, never over the
// column itself, Gap pixels below the plot's top.
inline constexpr int ReadoutGap = 8;
[[nodiscard]] QRect PlaceReadout(const TRectI& plot, int cursorX, QSize box) noexcept;

} // namespace chart
