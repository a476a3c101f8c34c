#pragma once

// The layout of a plot's axes, worked out before anything is drawn: the range of every axis
// from the items on it, the bands the shown axes take from the plot's edges, every axis'
// pixel span, and the room items ask for at their axes' ends. Nothing here paints; label
// texts are measured in their fonts.

#include "widgets/chart/ChartAxis.h"
#include "widgets/chart/ChartItem.h"

#include <span>
#include <vector>

namespace chart {

// A plot's axes in list order (the order of every axis rule), and its items in drawing
// order (the order the ranges are scanned in).
using TAxisList = std::span<TChartAxis* const>;
using TItemList = std::span<TPlotItem* const>;

// Whether an axis is drawn: axes are shown, the axis is visible, and an active item uses it.
[[nodiscard]] bool AxisShown(const TChartAxis& axis, TItemList items, bool axesVisible);

// The point labels an axis in a point-label style shows: those of the first active item on
// it; none in the other styles.
[[nodiscard]] std::vector<TPointLabel> AxisPointLabels(const TChartAxis& axis, TItemList items);

// Where an item is drawn: on the top axis when it names that one and the plot has it, else
// on the bottom axis; on the right axis likewise, else on the left. The plot has a bottom
// and a left axis.
[[nodiscard]] TItemView ItemView(const TPlotItem& item, TAxisList axes, const TRectI& plot,
                                 bool clip);

// Lays the axes out in plot, the panel's rectangle within its margins and captions, and
// places each; returns the plot rectangle left inside the shown axes. Automatic ends of the
// axes take the data's range.
[[nodiscard]] TRectI LayOutAxes(TRectI plot, TAxisList axes, TItemList items, bool axesVisible);

} // namespace chart
