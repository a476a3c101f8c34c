#include "widgets/chart/ChartCursor.h"

#include "widgets/chart/ChartRaster.h"

#include <algorithm>
#include <cmath>

namespace chart {

std::optional<std::size_t> IndexOfX(const TChartSeries& series, double x) {
    const auto range = VisibleIndexRange(series, x, x);
    if (!range || series.XValue(range->First) != x)
        return std::nullopt;
    return range->First;
}

std::int64_t NearestWholeX(const TAxisMap& map, int pixel, std::int64_t first,
                           std::int64_t last) noexcept {
    const double value = map.ToValue(pixel);
    if (!(value > static_cast<double>(first)))
        return first;
    if (!(value < static_cast<double>(last)))
        return last;
    return std::clamp(std::llround(value), static_cast<long long>(first),
                      static_cast<long long>(last));
}

QRect PlaceReadout(const TRectI& plot, int cursorX, QSize box) noexcept {
    int left = cursorX + ReadoutGap;
    if (left + box.width() > plot.Right - ReadoutGap &&
        cursorX - ReadoutGap - box.width() >= plot.Left)
        left = cursorX - ReadoutGap - box.width();
    return {left, plot.Top + ReadoutGap, box.width(), box.height()};
}

} // namespace chart
