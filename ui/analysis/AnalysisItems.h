#pragma once

// What the analysis page's plot draws: the recording's frames as a density image over the
// plot's pixels (every frame counted, shaded by how many fall on a pixel, or coloured by the
// mean of a third quantity there), the expected curves with their band, and the chosen frame.

#include "analysis/Density.h"
#include "analysis/ExpectedCurves.h"
#include "analysis/Extent.h"
#include "telemetry/FrameTable.h"
#include "widgets/chart/ChartItem.h"

#include <QPoint>
#include <QRgb>

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>

namespace analysis_view {

// The density grid that covers a plot's axes pixel for pixel: grid pixel i is the column
// X.Start + i (and the row Y.End - i), its values those that the axis' map rounds to it.
[[nodiscard]] analysis::TDensityAxis GridAxis(analysis::TQuantity q, const chart::TAxisMap& map);
// A screen pixel's centre in grid units; the grid place of a frame back on the screen.
[[nodiscard]] analysis::TGridPoint GridPoint(const chart::TItemView& view, QPoint p) noexcept;
[[nodiscard]] QPoint ScreenPoint(const chart::TItemView& view, analysis::TGridPoint p) noexcept;

// The shade of a pixel with frames of mostFrames on the busiest: from light for one frame to
// dark for the most, on a logarithmic scale so that a lone frame shows beside thousands. With
// a colour, its share (0 to 1) along the colour scale's range picks the hue.
[[nodiscard]] QRgb DensityShade(std::uint32_t frames, std::uint32_t mostFrames) noexcept;
[[nodiscard]] QRgb ColouredShade(std::uint32_t frames, std::uint32_t mostFrames,
                                 double share) noexcept;
// The same for the recording compared, B: magenta, a hue that neither of A's shades takes.
[[nodiscard]] QRgb ComparedShade(std::uint32_t frames, std::uint32_t mostFrames) noexcept;

// The frames of a recording's table on the plot.
class TDensityItem final : public chart::TPlotItem {
public:
    using TShade = QRgb (*)(std::uint32_t frames, std::uint32_t mostFrames) noexcept;

    // Pixels without a colour's mean take shade.
    explicit TDensityItem(const telemetry::TFrameTable& table, TShade shade = DensityShade)
        : table_(table), shade_(shade) {}

    // What is counted: the axes' and the colour's quantities and the filter (the layout's axes'
    // ranges and pixels are the plot's business); expected must outlive its use. The colour
    // scale spans colourRange. Counted again at the next drawing.
    void SetChoice(const analysis::TDensityLayout& layout,
                   const analysis::TExpectedAdvance* expected,
                   std::optional<analysis::TValueExtent> colourRange);
    // The colour scale's range alone: nothing is counted again.
    void SetColourRange(std::optional<analysis::TValueExtent> colourRange);
    // The data's ranges along the axes, which automatic axes take.
    void SetExtents(std::optional<chart::TExtent> x, std::optional<chart::TExtent> y);
    // The table was cleared or refilled: everything is counted again at the next drawing (which
    // otherwise counts only the frames added since the last).
    void Recount();

    // The density of the last drawing; none before one.
    [[nodiscard]] const analysis::TDensity* Density() const noexcept { return density_.get(); }
    [[nodiscard]] std::optional<analysis::TValueExtent> ColourRange() const noexcept {
        return colourRange_;
    }

    [[nodiscard]] std::optional<chart::TExtent> Extent(bool horizontal) const override {
        return horizontal ? x_ : y_;
    }
    [[nodiscard]] bool DateTime(bool) const override { return false; }
    void Draw(chart::TRaster& raster, const chart::TItemView& view) override;
    [[nodiscard]] bool Hit(const chart::TItemView&, int, int) const override { return false; }

private:
    const telemetry::TFrameTable& table_;
    TShade shade_;
    analysis::TDensityLayout layout_;
    const analysis::TExpectedAdvance* expected_ = nullptr;
    std::optional<analysis::TValueExtent> colourRange_;
    std::optional<chart::TExtent> x_, y_;
    std::unique_ptr<analysis::TDensity> density_;
    bool recount_ = true;
};

// The expected curves of the curve numbers shown, as lines along the plot's width, with
// the band's edges beside them; against the deviation, the band around 0. Drawn only where
// X is the engine speed and Y the advance or the deviation.
class TCurvesItem final : public chart::TPlotItem {
public:
    void Set(const analysis::TExpectedCurves& curves, const std::bitset<256>& shown,
             double tolerance, bool deviation);

    [[nodiscard]] static QRgb CurveColour(std::uint8_t curve) noexcept;

    [[nodiscard]] std::optional<chart::TExtent> Extent(bool) const override { return {}; }
    [[nodiscard]] bool DateTime(bool) const override { return false; }
    void Draw(chart::TRaster& raster, const chart::TItemView& view) override;
    [[nodiscard]] bool Hit(const chart::TItemView&, int, int) const override { return false; }

private:
    analysis::TExpectedCurves curves_;
    std::bitset<256> shown_;
    double tolerance_ = 1;
    bool deviation_ = false;
};

// A cross with a ring round it at the chosen frame, where the density draws it.
class TChosenItem final : public chart::TPlotItem {
public:
    TChosenItem(const telemetry::TFrameTable& table, const TDensityItem& density)
        : table_(table), density_(density) {}
    void SetFrame(std::optional<std::int64_t> frame);
    [[nodiscard]] std::optional<std::int64_t> Frame() const noexcept { return frame_; }

    [[nodiscard]] std::optional<chart::TExtent> Extent(bool) const override { return {}; }
    [[nodiscard]] bool DateTime(bool) const override { return false; }
    void Draw(chart::TRaster& raster, const chart::TItemView& view) override;
    [[nodiscard]] bool Hit(const chart::TItemView&, int, int) const override { return false; }

private:
    const telemetry::TFrameTable& table_;
    const TDensityItem& density_;
    std::optional<std::int64_t> frame_;
};

} // namespace analysis_view
