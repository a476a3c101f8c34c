#include "widgets/chart/ChartMarkerLines.h"

#include "widgets/chart/ChartRaster.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace chart {

namespace {

// Rows of 3 bits, the leftmost cell in the high bit, top row first.
constexpr std::array<std::array<std::uint8_t, 5>, 10> Digits = {{
    {7, 5, 5, 5, 7},
    {2, 6, 2, 2, 7},
    {7, 1, 7, 4, 7},
    {7, 1, 3, 1, 7},
    {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7},
    {7, 1, 2, 2, 2},
    {7, 5, 7, 5, 7},
    {7, 5, 7, 1, 7},
}};

constexpr int DigitWidth = 3 * TMarkerLines::Scale;
constexpr int DigitHeight = 5 * TMarkerLines::Scale;
constexpr int Gap = TMarkerLines::Scale;

void DrawDigit(TRaster& raster, int left, int top, int digit, QRgb colour) {
    for (int row = 0; row < 5; ++row)
        for (int column = 0; column < 3; ++column)
            if (Digits[static_cast<std::size_t>(digit)][static_cast<std::size_t>(row)] &
                (4 >> column)) {
                const int x = left + column * TMarkerLines::Scale;
                const int y = top + row * TMarkerLines::Scale;
                raster.Fill({x, y, x + TMarkerLines::Scale, y + TMarkerLines::Scale}, colour);
            }
}

} // namespace

void TMarkerLines::SetMarkers(std::vector<TMarkerLine> markers) {
    if (markers == markers_)
        return;
    markers_ = std::move(markers);
    Notify(TChange::Look);
}

void TMarkerLines::Draw(TRaster& raster, const TItemView& view) {
    const double low = std::min(view.X.Minimum, view.X.Maximum);
    const double high = std::max(view.X.Minimum, view.X.Maximum);
    for (const TMarkerLine& marker : markers_) {
        if (marker.Frame < low || marker.Frame > high)
            continue;
        const int x = view.X.ToPixel(marker.Frame);
        if (marker.Event) {
            for (int y = view.Plot.Top; y < view.Plot.Bottom; y += 2 * Dash)
                raster.VerticalSpan(x, y, std::min(y + Dash, view.Plot.Bottom) - 1, EventColour);
            continue;
        }
        raster.VerticalSpan(x, view.Plot.Top, view.Plot.Bottom - 1, LineColour);
        const std::string number = std::to_string(marker.Number);
        const int width = static_cast<int>(number.size()) * (DigitWidth + Gap) + Gap;
        const int left = x + 1;
        const int top = view.Plot.Top + 1;
        raster.Fill({left, top, left + width, top + DigitHeight + 2 * Gap}, BoxColour);
        for (std::size_t i = 0; i < number.size(); ++i)
            DrawDigit(raster, left + Gap + static_cast<int>(i) * (DigitWidth + Gap), top + Gap,
                      number[i] - '0', LineColour);
    }
}

} // namespace chart
