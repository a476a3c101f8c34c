#include "analysis/Density.h"

#include "telemetry/DecodedFrame.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace analysis {

namespace {

constexpr std::size_t MostGridPixels = std::size_t{1} << 26;

void CheckAxis(const TDensityAxis& axis) {
    if (!IsField(axis.Quantity) && axis.Quantity != TQuantity::Deviation)
        throw std::invalid_argument("a density axis takes a frame's field or the deviation");
    if (!std::isfinite(axis.From) || !std::isfinite(axis.To) || axis.To <= axis.From ||
        !std::isfinite(axis.To - axis.From))
        throw std::invalid_argument("a density axis needs finite FROM < TO");
    if (axis.Pixels < 1 || axis.Pixels > TDensityAxis::MostPixels)
        throw std::invalid_argument("a density axis has 1 to 16384 pixels");
}

void Check(const TDensityLayout& layout) {
    CheckAxis(layout.X);
    CheckAxis(layout.Y);
    CheckFilter(layout.Filter);
    if (static_cast<std::size_t>(layout.X.Pixels) * static_cast<std::size_t>(layout.Y.Pixels) >
        MostGridPixels)
        throw std::invalid_argument("a density grid has at most 2^26 pixels");
}

const TExpectedAdvance* ExpectedFor(const TDensityLayout& layout,
                                    const TExpectedAdvance* expected) {
    const bool deviation = layout.X.Quantity == TQuantity::Deviation ||
                           layout.Y.Quantity == TQuantity::Deviation ||
                           layout.Colour == TQuantity::Deviation;
    if (deviation && expected == nullptr)
        throw std::invalid_argument("the deviation needs expected curves");
    return expected;
}

// The pixel of a place on an axis; negative off the grid (and for NaN).
std::int64_t PixelOf(double t, int pixels) noexcept {
    return t >= 0 && t < pixels ? static_cast<std::int64_t>(t) : -1;
}

// One frame as a frame table row: what the walks read.
struct TOneRow {
    explicit TOneRow(const telemetry::TFrameFields& f)
        : Bytes{static_cast<std::uint8_t>(f.Period & 0xFF),
                static_cast<std::uint8_t>(f.Period >> 8),
                f.Map,
                f.CurveNumber,
                f.Temperature,
                f.OctaneCorrector,
                f.AdvanceCode} {}
    std::uint8_t Bytes[telemetry::TFrameRun::RowSize];
};

} // namespace

double TDensity::PlaceOn(const TDensityAxis& axis, const telemetry::TFrameRun& run,
                         std::size_t i) const noexcept {
    if (axis.Quantity == TQuantity::Deviation)
        return axis.Place(expected_->Deviation(run, i));
    const std::span<const double> values = kernel::ValuesByCode(axis.Quantity);
    switch (axis.Quantity) {
    case TQuantity::Speed:
        return axis.Place(values[run.Period(i)]);
    case TQuantity::Map:
        return axis.Place(values[run.Map(i)]);
    case TQuantity::Curve:
        return axis.Place(values[run.CurveNumber(i)]);
    case TQuantity::Temperature:
        return axis.Place(values[run.Temperature(i)]);
    case TQuantity::Octane:
        return axis.Place(values[run.OctaneCorrector(i)]);
    default:
        return axis.Place(values[run.AdvanceCode(i)]);
    }
}

TDensity::TDensity(const TDensityLayout& layout, const TExpectedAdvance* expected) {
    Reset(layout, expected);
}

void TDensity::Reset(const TDensityLayout& layout, const TExpectedAdvance* expected) {
    Check(layout);
    expected_ = ExpectedFor(layout, expected);
    layout_ = layout;
    const auto width = static_cast<std::uint32_t>(layout.X.Pixels);
    index_.Reset(width * static_cast<std::uint32_t>(layout.Y.Pixels));
    index_.Filter(layout.Filter);
    for (const auto& [axis, stride] :
         {std::pair{&layout.X, std::uint32_t{1}}, {&layout.Y, width}}) {
        if (axis->Quantity == TQuantity::Deviation) {
            index_.KeepCurves(expected_->Curves());
            index_.NeedSpeed();
            continue;
        }
        // Captured by a name of its own: clang 14 refuses to capture a structured binding.
        index_.Add(axis->Quantity, stride,
                   [on = axis](double value) { return PixelOf(on->Place(value), on->Pixels); });
    }
    counts_.assign(index_.Cells(), 0);
    colour_.reset();
    coloured_.clear();
    colourSums_.clear();
    if (layout.Colour) {
        colour_.emplace(*layout.Colour, expected_);
        colourSums_.assign(counts_.size(), 0);
        // Only these may be missing from a frame drawn; every frame has the others.
        if (layout.Colour == TQuantity::Speed || layout.Colour == TQuantity::Deviation)
            coloured_.assign(counts_.size(), 0);
    }
    mostFrames_ = 0;
    frames_ = 0;
    counted_ = 0;
}

// The index places a frame by its field axes; a deviation axis is placed here.
template <bool XDeviation, bool YDeviation, typename Take>
void TDensity::ForEachDrawnOf(const telemetry::TFrameRun& run, Take&& take) const {
    const TDensityAxis& x = layout_.X;
    const TDensityAxis& y = layout_.Y;
    const double xScale = x.Scale(), yScale = y.Scale();
    const auto width = static_cast<std::uint32_t>(Width());
    kernel::ForEachCellOfRun(
        run, index_, [&](std::uint32_t cell, const telemetry::TFrameRun& r, std::size_t i) {
            if constexpr (XDeviation || YDeviation) {
                const double deviation = expected_->Deviation(r, i);
                if constexpr (XDeviation) {
                    const std::int64_t column = PixelOf((deviation - x.From) * xScale, x.Pixels);
                    if (column < 0)
                        return;
                    cell += static_cast<std::uint32_t>(column);
                }
                if constexpr (YDeviation) {
                    const std::int64_t row = PixelOf((deviation - y.From) * yScale, y.Pixels);
                    if (row < 0)
                        return;
                    cell += static_cast<std::uint32_t>(row) * width;
                }
            }
            take(cell, r, i);
        });
}

template <typename Take>
void TDensity::ForEachDrawn(const telemetry::TFrameRun& run, Take&& take) const {
    const bool x = layout_.X.Quantity == TQuantity::Deviation;
    const bool y = layout_.Y.Quantity == TQuantity::Deviation;
    if (x && y)
        ForEachDrawnOf<true, true>(run, take);
    else if (x)
        ForEachDrawnOf<true, false>(run, take);
    else if (y)
        ForEachDrawnOf<false, true>(run, take);
    else
        ForEachDrawnOf<false, false>(run, take);
}

template <typename ColourOf>
void TDensity::Count(const telemetry::TFrameTable& table, TFrameRange frames, ColourOf colourOf) {
    std::uint32_t* counts = counts_.data();
    std::uint32_t* coloured = coloured_.empty() ? nullptr : coloured_.data();
    double* sums = colourSums_.data();
    std::uint32_t most = mostFrames_;
    std::int64_t drawn = 0;
    table.ForEachRun(frames.First, frames.End, [&](const telemetry::TFrameRun& run) {
        ForEachDrawn(run, [&](std::uint32_t at, const telemetry::TFrameRun& r, std::size_t i) {
            ++drawn;
            most = std::max(most, ++counts[at]);
            if constexpr (!std::is_same_v<ColourOf, std::nullptr_t>) {
                const double value = colourOf(r, i);
                if (coloured == nullptr) {
                    sums[at] += value;
                } else if (!std::isnan(value)) {
                    ++coloured[at];
                    sums[at] += value;
                }
            }
        });
    });
    mostFrames_ = most;
    frames_ += drawn;
}

void TDensity::Extend(const telemetry::TFrameTable& table, std::int64_t end) {
    end = std::min(end, table.Rows());
    if (end <= counted_)
        return;
    const TFrameRange frames = layout_.Filter.Frames.Within({counted_, end});
    if (colour_)
        colour_->Dispatch([&](auto colourOf) { Count(table, frames, colourOf); });
    else
        Count(table, frames, nullptr);
    counted_ = end;
}

std::optional<double> TDensity::ColourMean(int x, int y) const noexcept {
    const std::size_t at = At(x, y);
    const std::uint32_t frames = coloured_.empty() ? counts_[at] : coloured_[at];
    if (!colour_ || frames == 0)
        return std::nullopt;
    return colour_->Value(colourSums_[at] / frames);
}

std::optional<TGridPoint> TDensity::Place(std::int64_t frame,
                                          const telemetry::TFrameFields& fields) const {
    if (!layout_.Filter.Frames.Contains(frame))
        return std::nullopt;
    const TOneRow row(fields);
    const telemetry::TFrameRun run{frame, 1, row.Bytes};
    std::optional<TGridPoint> place;
    ForEachDrawn(run, [&](std::uint32_t, const telemetry::TFrameRun& r, std::size_t i) {
        place = TGridPoint{PlaceOn(layout_.X, r, i), PlaceOn(layout_.Y, r, i)};
    });
    return place;
}

std::optional<std::int64_t> TDensity::Nearest(const telemetry::TFrameTable& table, TGridPoint at,
                                              double radius) const {
    std::optional<std::int64_t> nearest;
    double best = radius * radius;
    const TFrameRange frames = layout_.Filter.Frames.Within({0, counted_});
    table.ForEachRun(frames.First, frames.End, [&](const telemetry::TFrameRun& run) {
        ForEachDrawn(run, [&](std::uint32_t, const telemetry::TFrameRun& r, std::size_t i) {
            const double dx = PlaceOn(layout_.X, r, i) - at.X;
            const double dy = PlaceOn(layout_.Y, r, i) - at.Y;
            const double distance = dx * dx + dy * dy;
            if (distance < best || (distance == best && !nearest)) {
                best = distance;
                nearest = r.First + static_cast<std::int64_t>(i);
            }
        });
    });
    return nearest;
}

std::string DensityCsv(const TDensity& density) {
    const bool coloured = density.Layout().Colour.has_value();
    std::string text = coloured ? "x,y,frames,colour\n" : "x,y,frames\n";
    for (int y = 0; y < density.Height(); ++y)
        for (int x = 0; x < density.Width(); ++x) {
            const std::uint32_t frames = density.Count(x, y);
            if (frames == 0)
                continue;
            text += std::to_string(x) + ',' + std::to_string(y) + ',' + std::to_string(frames);
            if (coloured) {
                text += ',';
                if (const auto mean = density.ColourMean(x, y))
                    text += telemetry::NumberText(*mean);
            }
            text += '\n';
        }
    return text;
}

} // namespace analysis
