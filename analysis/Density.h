#pragma once

// The frames of a recording on an XY plot, every one counted: how many fall on each pixel of
// a grid over the plot's ranges, and the mean of a third quantity over them to colour by. The
// plot redraws from these counts after a zoom or a filter change; a live session adds the
// frames that arrived since its last update.
//
// A frame's place on an axis from From to To over Pixels pixels is
//   t = (value - From) * (Pixels / (To - From))
// in double precision (pixel units from the grid's low edge, the left or the bottom); the
// frame is drawn in pixel floor(t) when 0 <= t < Pixels on both axes, and not at all otherwise
// (a value at To lies past the last pixel), nor where it has no value for an axis' quantity.

#include "analysis/ExpectedAdvance.h"
#include "analysis/FrameKernel.h"
#include "analysis/Quantity.h"
#include "telemetry/FrameTable.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace analysis {

struct TDensityAxis {
    static constexpr int MostPixels = 16384;

    TQuantity Quantity = TQuantity::Speed; // a field quantity or the deviation
    double From = 0;
    double To = 7000;
    int Pixels = 700;

    // Pixels per unit of the quantity.
    [[nodiscard]] double Scale() const noexcept { return Pixels / (To - From); }
    [[nodiscard]] double Place(double value) const noexcept { return (value - From) * Scale(); }
    bool operator==(const TDensityAxis&) const = default;
};

struct TDensityLayout {
    TDensityAxis X;
    TDensityAxis Y{TQuantity::Advance, 0, 60, 600};
    // Any quantity; none for a plain count.
    std::optional<TQuantity> Colour = TQuantity::Map;
    TFrameFilter Filter;
    bool operator==(const TDensityLayout&) const = default;
};

// A place on the grid in pixel units: t of the X axis and of the Y axis.
struct TGridPoint {
    double X;
    double Y;
    bool operator==(const TGridPoint&) const = default;
};

class TDensity {
public:
    // expected is needed where an axis or the colour is the deviation, and must then outlive
    // this.
    // Raises std::invalid_argument for axes that break their rules (a quantity an axis cannot
    // take, To <= From, not finite, 1 to MostPixels pixels, at most 2^26 in all), a filter that
    // breaks its rules, or the deviation without expected curves.
    explicit TDensity(const TDensityLayout& layout, const TExpectedAdvance* expected = nullptr);

    // What a new TDensity(layout, expected) would be, in the memory this one has: a redraw after
    // a zoom or a change of filter takes no new pages. Raises as the constructor, and then
    // stays as it was.
    void Reset(const TDensityLayout& layout, const TExpectedAdvance* expected = nullptr);

    // Counts the frames from Counted() to end - 1 (clamped to the table) that the filter passes.
    void Extend(const telemetry::TFrameTable& table,
                std::int64_t end = std::numeric_limits<std::int64_t>::max());
    [[nodiscard]] std::int64_t Counted() const noexcept { return counted_; }

    [[nodiscard]] const TDensityLayout& Layout() const noexcept { return layout_; }
    [[nodiscard]] int Width() const noexcept { return layout_.X.Pixels; }
    [[nodiscard]] int Height() const noexcept { return layout_.Y.Pixels; }
    // Frames per pixel, a row of Width() for each pixel row from the bottom (row 0) up.
    [[nodiscard]] std::span<const std::uint32_t> Counts() const noexcept { return counts_; }
    [[nodiscard]] std::uint32_t Count(int x, int y) const noexcept { return counts_[At(x, y)]; }
    // The most frames on one pixel: the top of the shading's scale.
    [[nodiscard]] std::uint32_t MostFrames() const noexcept { return mostFrames_; }
    // The frames drawn.
    [[nodiscard]] std::int64_t Frames() const noexcept { return frames_; }
    // The colour quantity's mean over the pixel's frames that have it (the speed of a period of 0
    // and the deviation of a curve without a curve are none); none without such frames.
    [[nodiscard]] std::optional<double> ColourMean(int x, int y) const noexcept;

    // Where frame number frame is drawn; none where it is not (filtered out, off the grid).
    [[nodiscard]] std::optional<TGridPoint> Place(std::int64_t frame,
                                                  const telemetry::TFrameFields& fields) const;
    // Of the frames drawn, the one whose place lies nearest to at, no further than radius (pixel
    // units, as on screen: the grid's pixels are the screen's); of frames equally near, the one
    // with the smallest number. None where no frame drawn is that near.
    [[nodiscard]] std::optional<std::int64_t> Nearest(const telemetry::TFrameTable& table,
                                                      TGridPoint at, double radius) const;

private:
    [[nodiscard]] std::size_t At(int x, int y) const noexcept {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(Width()) +
               static_cast<std::size_t>(x);
    }
    // A frame's place on an axis.
    [[nodiscard]] double PlaceOn(const TDensityAxis& axis, const telemetry::TFrameRun& run,
                                 std::size_t i) const noexcept;

    // Calls take(pixel, run, i) for each frame of the run drawn, in order.
    template <typename Take> void ForEachDrawn(const telemetry::TFrameRun& run, Take&& take) const;
    template <bool XDeviation, bool YDeviation, typename Take>
    void ForEachDrawnOf(const telemetry::TFrameRun& run, Take&& take) const;
    // Counts the frames drawn, with the colour's value colourOf(run, i), or none for nullptr.
    template <typename ColourOf>
    void Count(const telemetry::TFrameTable& table, TFrameRange frames, ColourOf colourOf);

    TDensityLayout layout_;
    const TExpectedAdvance* expected_ = nullptr;
    kernel::TCellIndex index_;
    std::optional<kernel::TValueOf> colour_;
    std::vector<std::uint32_t> counts_;
    std::vector<std::uint32_t>
        coloured_; // frames with a colour value, per pixel, where some have none
    std::vector<double> colourSums_;
    std::uint32_t mostFrames_ = 0;
    std::int64_t frames_ = 0;
    std::int64_t counted_ = 0;
};

// What "telmira-dcc density" prints: the header "x,y,frames", with ",colour" where the density
// is coloured, then a line per pixel with frames, rows from the bottom up, each from the left:
// the pixel, its frames and the colour quantity's mean (empty where none of its frames has one).
[[nodiscard]] std::string DensityCsv(const TDensity& density);

} // namespace analysis
