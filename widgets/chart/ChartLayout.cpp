#include "widgets/chart/ChartLayout.h"

#include "widgets/chart/ChartAxisDraw.h"

#include <algorithm>
#include <utility>

namespace chart {

namespace {

bool ActiveOn(const TPlotItem& item, const TChartAxis& axis) {
    return item.Active() && item.Uses(axis.Kind());
}

const TPlotItem* FirstActiveOn(const TChartAxis& axis, TItemList items) {
    const auto at = std::find_if(items.begin(), items.end(),
                                 [&](const TPlotItem* item) { return ActiveOn(*item, axis); });
    return at != items.end() ? *at : nullptr;
}

// The data's range along an axis: over its active items, or over all its items when none
// is active (an axis whose items are all hidden still scales to them); 0 to 0 without data.
// The first extent counts whole, later ones only where strictly beyond.
std::pair<double, double> DataRange(const TChartAxis& axis, TItemList items) {
    const bool anyActive = FirstActiveOn(axis, items) != nullptr;
    bool first = true;
    double low = 0, high = 0;
    for (const TPlotItem* item : items) {
        if (!item->Uses(axis.Kind()) || (anyActive && !item->Active()))
            continue;
        std::optional<TExtent> extent = item->Extent(axis.Horizontal());
        if (!extent)
            continue;
        if (axis.Horizontal() && !axis.Logarithmic()) {
            extent->Minimum += item->XShift();
            extent->Maximum += item->XShift();
        }
        if (first || extent->Minimum < low)
            low = extent->Minimum;
        if (first || extent->Maximum > high)
            high = extent->Maximum;
        first = false;
    }
    return {low, high};
}

TAxisLabelStyle ResolvedLabelStyle(const TChartAxis& axis, const TPlotItem* user) {
    if (axis.LabelStyle() != TAxisLabelStyle::talAuto)
        return axis.LabelStyle();
    if (!user)
        return TAxisLabelStyle::talNone;
    // Items show Y against X: point labels belong on the horizontal axes.
    if (axis.Horizontal() && user->FirstPointLabelled())
        return TAxisLabelStyle::talText;
    return TAxisLabelStyle::talValue;
}

void TakeRange(TChartAxis& axis, TItemList items) {
    const auto [low, high] = DataRange(axis, items);
    axis.TakeDataRange(low, high);
    const TPlotItem* user = FirstActiveOn(axis, items);
    TAxisPlacement placement = axis.Placement();
    TAxisMap& map = placement.Map;
    map.Minimum = axis.Minimum();
    map.Maximum = axis.Maximum();
    map.Horizontal = axis.Horizontal();
    map.Inverted = axis.Inverted();
    map.Logarithmic = axis.Logarithmic();
    map.LogarithmicBase = axis.LogarithmicBase();
    placement.DateTime = user && user->DateTime(axis.Horizontal());
    placement.LabelStyle = ResolvedLabelStyle(axis, user);
    axis.Place(placement);
}

int WidestPointLabel(const TChartAxis& axis, TItemList items) {
    const TAxisLabelStyle style = axis.Placement().LabelStyle;
    if (style != TAxisLabelStyle::talText && style != TAxisLabelStyle::talMark)
        return 0;
    int widest = 0;
    for (const TPlotItem* item : items)
        if (ActiveOn(*item, axis))
            for (const TPointLabel& label : item->PointLabels(axis.Horizontal()))
                widest = std::max(widest,
                                  TextWidth(axis.LabelsFont(), QString::fromStdString(label.Text)));
    return widest;
}

// The plot's edge on the axis' side, and the way into the plot from it.
int& Edge(TRectI& plot, TAxisKind kind) {
    return kind == TAxisKind::Bottom ? plot.Bottom
           : kind == TAxisKind::Top  ? plot.Top
           : kind == TAxisKind::Left ? plot.Left
                                     : plot.Right;
}

int Inward(TAxisKind kind) {
    return kind == TAxisKind::Top || kind == TAxisKind::Left ? 1 : -1;
}

// PositionPercent of the plot's size across the axis, in pixels.
int Shift(const TChartAxis& axis, const TRectI& plot) {
    const int across = axis.Horizontal() ? plot.Height() : plot.Width();
    return static_cast<int>(RoundHalfEven(across * axis.PositionPercent() / 100));
}

// Title, labels and ticks of a shown axis, from the plot's edge inward; the rest of the
// plot is returned.
TRectI ReserveBands(TChartAxis& axis, TRectI plot, TItemList items, bool axesVisible) {
    TAxisPlacement placement = axis.Placement();
    placement.Shown = AxisShown(axis, items, axesVisible);
    axis.Place(placement);
    if (!placement.Shown)
        return plot;
    const int inward = Inward(axis.Kind());
    int edge = Edge(plot, axis.Kind());
    const TAxisBands bands = MeasureAxis(axis, WidestPointLabel(axis, items));
    if (!axis.Title().Caption.isEmpty()) {
        edge += inward * bands.Title;
        placement.TitlePosition = edge;
    }
    edge += inward * bands.Labels;
    placement.LabelPosition = edge; // without labels, the outer edge of the ticks
    edge += inward * bands.Ticks;
    if (axis.PositionPercent() != 0) {
        const int shift = Shift(axis, plot);
        placement.TitlePosition += inward * shift;
        placement.LabelPosition += inward * shift;
    }
    axis.Place(placement);
    TRectI rest = plot;
    Edge(rest, axis.Kind()) = edge;
    return IntersectOrKeep(plot, rest);
}

// The axis' span along the plot, and its line on the plot's edge moved inward by
// PositionPercent.
void PlaceSpan(TChartAxis& axis, const TRectI& plot) {
    const int origin = axis.Horizontal() ? plot.Left : plot.Top;
    const int size = axis.Horizontal() ? plot.Width() : plot.Height();
    TAxisPlacement placement = axis.Placement();
    placement.Map.Start =
        origin + static_cast<int>(RoundHalfEven(size * axis.StartPosition() / 100));
    placement.Map.End = origin + static_cast<int>(RoundHalfEven(size * axis.EndPosition() / 100));
    TRectI edges = plot;
    placement.AxisLine = Edge(edges, axis.Kind()) + Inward(axis.Kind()) * Shift(axis, plot);
    axis.Place(placement);
}

// Widens the automatic ends so that the data end the largest margin any active item on the
// axis asks for inside the span.
void ApplyMargins(TChartAxis& axis, TItemList items) {
    if (axis.Kind() == TAxisKind::Depth)
        return;
    int margin = 0;
    for (const TPlotItem* item : items)
        if (ActiveOn(*item, axis))
            margin = std::max(margin, item->AxisMargin());
    if (margin == 0)
        return;
    TAxisPlacement placement = axis.Placement();
    TAxisMap shrunk = placement.Map;
    shrunk.Start += margin;
    shrunk.End -= margin;
    double low = shrunk.ToValue(placement.Map.Start), high = shrunk.ToValue(placement.Map.End);
    if (low > high)
        std::swap(low, high);
    if (axis.Automatic() || axis.AutomaticMinimum())
        placement.Map.Minimum = low;
    if (axis.Automatic() || axis.AutomaticMaximum())
        placement.Map.Maximum = high;
    axis.Place(placement);
}

} // namespace

bool AxisShown(const TChartAxis& axis, TItemList items, bool axesVisible) {
    return axesVisible && axis.Visible() && FirstActiveOn(axis, items) != nullptr;
}

std::vector<TPointLabel> AxisPointLabels(const TChartAxis& axis, TItemList items) {
    const TAxisLabelStyle style = axis.Placement().LabelStyle;
    if (style != TAxisLabelStyle::talText && style != TAxisLabelStyle::talMark)
        return {};
    const TPlotItem* user = FirstActiveOn(axis, items);
    return user ? user->PointLabels(axis.Horizontal()) : std::vector<TPointLabel>{};
}

TItemView ItemView(const TPlotItem& item, TAxisList axes, const TRectI& plot, bool clip) {
    auto find = [&](TAxisKind kind) -> const TChartAxis* {
        for (const TChartAxis* axis : axes)
            if (axis->Kind() == kind)
                return axis;
        return nullptr;
    };
    const TChartAxis* h = item.HorizAxis == THorizAxis::aTopAxis ? find(TAxisKind::Top) : nullptr;
    const TChartAxis* v = item.VertAxis == TVertAxis::aRightAxis ? find(TAxisKind::Right) : nullptr;
    if (!h)
        h = find(TAxisKind::Bottom);
    if (!v)
        v = find(TAxisKind::Left);
    TAxisMap x = h->Map();
    // A value v of the item stands where v + shift does on the axis.
    if (item.XShift() != 0 && !x.Logarithmic) {
        x.Minimum -= item.XShift();
        x.Maximum -= item.XShift();
    }
    return {x, v->Map(), plot, clip};
}

TRectI LayOutAxes(TRectI plot, TAxisList axes, TItemList items, bool axesVisible) {
    for (TChartAxis* axis : axes)
        TakeRange(*axis, items);
    for (TChartAxis* axis : axes)
        plot = ReserveBands(*axis, plot, items, axesVisible);
    for (TChartAxis* axis : axes)
        PlaceSpan(*axis, plot);
    for (TChartAxis* axis : axes)
        ApplyMargins(*axis, items);
    return plot;
}

} // namespace chart
