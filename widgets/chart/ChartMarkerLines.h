#pragma once

// Markers the user set on a plot whose X values count frames: a thin vertical line through
// the plot at each marked frame, with the marker's number in a small box at the top, so that
// a moment marked while driving is found again at the desk. Drawn under the series, with
// digits of its own: a marker costs a line and a few fills however many there are.

#include "widgets/chart/ChartItem.h"

#include <QRgb>

#include <vector>

namespace chart {

struct TMarkerLine {
    double Frame;
    int Number;
    friend bool operator==(const TMarkerLine&, const TMarkerLine&) = default;
};

class TMarkerLines final : public TPlotItem {
public:
    static constexpr QRgb LineColour = 0xFFC06000;
    static constexpr QRgb BoxColour = 0xFFFFFFFF;
    // Each digit is 3 by 5 cells of Scale pixels.
    static constexpr int Scale = 2;

    void SetMarkers(std::vector<TMarkerLine> markers);
    [[nodiscard]] const std::vector<TMarkerLine>& Markers() const noexcept { return markers_; }

    [[nodiscard]] std::optional<TExtent> Extent(bool) const override { return std::nullopt; }
    [[nodiscard]] bool DateTime(bool) const override { return false; }
    void Draw(TRaster& raster, const TItemView& view) override;
    [[nodiscard]] bool Hit(const TItemView&, int, int) const override { return false; }

private:
    std::vector<TMarkerLine> markers_;
};

} // namespace chart
