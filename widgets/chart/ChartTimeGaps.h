#pragma once

// The gaps of a timeline drawn across the plot of a time axis over frames: where the stream
// stood still, a pale band between the frames on either side, with dotted edges, so that a
// pause or a reconnect shows where the frame count hides it. Drawn under the series.

#include "widgets/chart/ChartItem.h"
#include "widgets/chart/ChartTimeline.h"

#include <QRgb>

#include <memory>

namespace chart {

class TTimeGaps final : public TPlotItem {
public:
    // A band is at least this wide, however close the frames around it stand.
    static constexpr int MinimumWidth = 5;
    static constexpr QRgb BandColour = 0xFFE4E4E4;
    static constexpr QRgb EdgeColour = 0xFF808080;

    explicit TTimeGaps(std::shared_ptr<const TTimeline> timeline)
        : timeline_(std::move(timeline)) {}

    [[nodiscard]] std::optional<TExtent> Extent(bool) const override { return std::nullopt; }
    [[nodiscard]] bool DateTime(bool) const override { return false; }
    void Draw(TRaster& raster, const TItemView& view) override;
    [[nodiscard]] bool Hit(const TItemView&, int, int) const override { return false; }

private:
    std::shared_ptr<const TTimeline> timeline_;
};

} // namespace chart
