#include "widgets/chart/ChartTimeGaps.h"

#include "widgets/chart/ChartRaster.h"

#include <algorithm>

namespace chart {

void TTimeGaps::Draw(TRaster& raster, const TItemView& view) {
    const double low = std::min(view.X.Minimum, view.X.Maximum);
    const double high = std::max(view.X.Minimum, view.X.Maximum);
    for (const TTimeGap& gap : timeline_->Gaps(low - 1, high)) {
        int left = view.X.ToPixel(gap.First);
        int right = view.X.ToPixel(gap.First + 1);
        if (left > right)
            std::swap(left, right);
        if (right - left < MinimumWidth) {
            const int centre = (left + right) / 2;
            left = centre - MinimumWidth / 2;
            right = left + MinimumWidth - 1;
        }
        raster.Fill({left, view.Plot.Top, right + 1, view.Plot.Bottom}, BandColour);
        raster.DottedLine(left, view.Plot.Top, left, view.Plot.Bottom - 1, EdgeColour);
        raster.DottedLine(right, view.Plot.Top, right, view.Plot.Bottom - 1, EdgeColour);
    }
}

} // namespace chart
