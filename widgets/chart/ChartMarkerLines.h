#pragma once

// Markers the user set on a plot whose X values count frames: a thin vertical line through
// the plot at each marked frame, with the marker's number in a small box at the top, so that
// a moment marked while driving is found again at the desk. The session's own events (the port
// lost, bytes skipped) stand apart: a dashed line of another colour, with no number. Drawn
// under the series, with digits of its own: a marker costs a line and a few fills however many
// there are.

#include "widgets/chart/ChartItem.h"

#include <QRgb>

#include <vector>

namespace chart {

struct TMarkerLine {
    double Frame;
    int Number;         // drawn at the top of the plot; an event's is not drawn
    bool Event = false; // the session's own, not the user's
    friend bool operator==(const TMarkerLine&, const TMarkerLine&) = default;
};

class TMarkerLines final : public TPlotItem {
public:
    static constexpr QRgb LineColour = 0xFFC06000;
    static constexpr QRgb BoxColour = 0xFFFFFFFF;
    static constexpr QRgb EventColour = 0xFF7030A0;
    // An event's line: Dash pixels drawn, Dash left out, from the top of the plot down.
    static constexpr int Dash = 3;
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
