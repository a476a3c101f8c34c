// A line series as an item of a plot: the points it visits in a redraw and the pixels its
// segments cover.

#include "widgets/chart/ChartRaster.h"
#include "widgets/chart/ChartSeries.h"

#include <algorithm>
#include <utility>

void TLineSeries::Draw(chart::TRaster& raster, const chart::TItemView& view) {
    // The line enters from the plot's edge on the side of the smaller X values.
    const bool inverted = view.X.Inverted;
    const int leftEdge = inverted ? view.Plot.Right : view.Plot.Left;
    const int rightEdge = inverted ? view.Plot.Left : view.Plot.Right;
    const double xl = view.X.ToValue(leftEdge), xr = view.X.ToValue(rightEdge);
    const auto range = chart::VisibleIndexRange(*this, xl, xr);
    if (!range)
        return;
    if (BeforeDrawValues)
        BeforeDrawValues(*this);
    chart::TSeriesView lines{view.X, view.Y, leftEdge, xl};
    if (view.Clip) {
        lines.FirstShownRow = view.Plot.Top + 1;
        lines.LastShownRow = view.Plot.Bottom - 2;
    }
    raster.SetDashed(LinePen.PenStyle == TChartPen::Style::psDash);
    chart::DrawLineSeries(raster, *this, lines, *range);
    raster.SetDashed(false);
    if (AfterDrawValues)
        AfterDrawValues(*this);
}

bool TLineSeries::Hit(const chart::TItemView& view, int x, int y) const {
    if (Count() < 2)
        return false;
    const chart::TAxisMap& h = view.X;
    const chart::TAxisMap& v = view.Y;
    // Only segments whose columns come near the pointer can be hit.
    double a = h.ToValue(x - 2), b = h.ToValue(x + 2);
    if (a > b)
        std::swap(a, b);
    const auto range = chart::VisibleIndexRange(*this, a, b);
    if (!range)
        return false;
    const std::size_t first = range->First > 0 ? range->First - 1 : 0;
    for (std::size_t i = first; i < range->Last; ++i) {
        if (ValueColor(i) == clNone || ValueColor(i + 1) == clNone)
            continue;
        const double x0 = h.ToPixel(XValue(i)), y0 = v.ToPixel(YValue(i));
        const double x1 = h.ToPixel(XValue(i + 1)), y1 = v.ToPixel(YValue(i + 1));
        const double dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
        double t = length2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / length2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        const double ex = x0 + t * dx - x, ey = y0 + t * dy - y;
        if (ex * ex + ey * ey <= 2.0)
            return true;
    }
    return false;
}
