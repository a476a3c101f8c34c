#include "analysis/Density.h"

#include "telemetry/DecodedFrame.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
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

const TDensitySpec& Checked(const TDensitySpec& spec) {
    CheckAxis(spec.X);
    CheckAxis(spec.Y);
    CheckFilter(spec.Filter);
    if (static_cast<std::size_t>(spec.X.Pixels) * static_cast<std::size_t>(spec.Y.Pixels) >
        MostGridPixels)
        throw std::invalid_argument("a density grid has at most 2^26 pixels");
    return spec;
}

std::unique_ptr<kernel::TExpectedByPeriod> ExpectedFor(const TDensitySpec& spec,
                                                       const TExpectedCurves* expected) {
    if (spec.X.Quantity != TQuantity::Deviation && spec.Y.Quantity != TQuantity::Deviation &&
        spec.Colour != TQuantity::Deviation)
        return nullptr;
    if (expected == nullptr)
        throw std::invalid_argument("the deviation needs expected curves");
    return std::make_unique<kernel::TExpectedByPeriod>(*expected, spec.Filter.Curves);
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

TDensity::TAxisPlace::TAxisPlace(const TDensityAxis& axis,
                                 const kernel::TExpectedByPeriod* expected)
    : axis_(axis), expected_(expected) {
    if (axis.Quantity == TQuantity::Deviation)
        return;
    byCode_ = kernel::ValuesByCode(axis.Quantity);
    for (double& value : byCode_)
        value = axis.Place(value);
}

double TDensity::TAxisPlace::operator()(const telemetry::TFrameRun& run,
                                        std::size_t i) const noexcept {
    switch (axis_.Quantity) {
    case TQuantity::Speed:
        return byCode_[run.Period(i)];
    case TQuantity::Map:
        return byCode_[run.Map(i)];
    case TQuantity::Curve:
        return byCode_[run.CurveNumber(i)];
    case TQuantity::Temperature:
        return byCode_[run.Temperature(i)];
    case TQuantity::Octane:
        return byCode_[run.OctaneCorrector(i)];
    case TQuantity::Advance:
        return byCode_[run.AdvanceCode(i)];
    default:
        return axis_.Place(expected_->Deviation(run, i));
    }
}

TDensity::TDensity(const TDensitySpec& spec, const TExpectedCurves* expected)
    : spec_(Checked(spec)), expected_(ExpectedFor(spec, expected)),
      index_(static_cast<std::uint32_t>(spec.X.Pixels * spec.Y.Pixels)),
      xPlace_(spec.X, expected_.get()), yPlace_(spec.Y, expected_.get()), counts_(index_.Cells()) {
    index_.Filter(spec.Filter);
    const auto width = static_cast<std::uint32_t>(spec.X.Pixels);
    for (const auto& [axis, stride] : {std::pair{spec.X, std::uint32_t{1}}, {spec.Y, width}}) {
        if (axis.Quantity == TQuantity::Deviation) {
            index_.KeepCurves(expected_->Curves());
            index_.NeedSpeed();
            continue;
        }
        index_.Add(axis.Quantity, stride,
                   [&](double value) { return PixelOf(axis.Place(value), axis.Pixels); });
    }
    if (spec.Colour) {
        colour_.emplace(*spec.Colour, expected_.get());
        coloured_.resize(counts_.size());
        colourSums_.resize(counts_.size());
    }
}

// The index places a frame by its field axes; a deviation axis is placed here.
template <typename Take>
void TDensity::ForEachDrawn(const telemetry::TFrameRun& run, Take&& take) const {
    const bool xDeviation = spec_.X.Quantity == TQuantity::Deviation;
    const bool yDeviation = spec_.Y.Quantity == TQuantity::Deviation;
    const int width = Width();
    kernel::ForEachCellOfRun(run, index_,
                             [&](std::uint32_t cell, const telemetry::TFrameRun& r, std::size_t i) {
                                 if (xDeviation) {
                                     const std::int64_t x = PixelOf(xPlace_(r, i), width);
                                     if (x < 0)
                                         return;
                                     cell += static_cast<std::uint32_t>(x);
                                 }
                                 if (yDeviation) {
                                     const std::int64_t y = PixelOf(yPlace_(r, i), Height());
                                     if (y < 0)
                                         return;
                                     cell += static_cast<std::uint32_t>(y * width);
                                 }
                                 take(cell, r, i);
                             });
}

void TDensity::Extend(const telemetry::TFrameTable& table, std::int64_t end) {
    end = std::min(end, table.Rows());
    if (end <= counted_)
        return;
    const TFrameRange frames = spec_.Filter.Frames.Within({counted_, end});
    std::int64_t drawn = 0;
    std::uint32_t most = mostFrames_;
    std::uint32_t* counts = counts_.data();
    table.ForEachRun(frames.First, frames.End, [&](const telemetry::TFrameRun& run) {
        if (!colour_) {
            ForEachDrawn(run, [&](std::uint32_t cell, const telemetry::TFrameRun&, std::size_t) {
                ++drawn;
                most = std::max(most, ++counts[cell]);
            });
            return;
        }
        ForEachDrawn(run, [&](std::uint32_t cell, const telemetry::TFrameRun& r, std::size_t i) {
            ++drawn;
            most = std::max(most, ++counts[cell]);
            const double value = (*colour_)(r, i);
            if (!std::isnan(value)) {
                ++coloured_[cell];
                colourSums_[cell] += value;
            }
        });
    });
    frames_ += drawn;
    mostFrames_ = most;
    counted_ = end;
}

std::optional<double> TDensity::ColourMean(int x, int y) const noexcept {
    const std::size_t at = At(x, y);
    if (!colour_ || coloured_[at] == 0)
        return std::nullopt;
    return colour_->Value(colourSums_[at] / coloured_[at]);
}

std::optional<TGridPoint> TDensity::Place(std::int64_t frame,
                                          const telemetry::TFrameFields& fields) const {
    if (!spec_.Filter.Frames.Contains(frame))
        return std::nullopt;
    const TOneRow row(fields);
    const telemetry::TFrameRun run{frame, 1, row.Bytes};
    std::optional<TGridPoint> place;
    ForEachDrawn(run, [&](std::uint32_t, const telemetry::TFrameRun& r, std::size_t i) {
        place = TGridPoint{xPlace_(r, i), yPlace_(r, i)};
    });
    return place;
}

std::optional<std::int64_t> TDensity::Nearest(const telemetry::TFrameTable& table, TGridPoint at,
                                              double radius) const {
    std::optional<std::int64_t> nearest;
    double best = radius * radius;
    const TFrameRange frames = spec_.Filter.Frames.Within({0, counted_});
    table.ForEachRun(frames.First, frames.End, [&](const telemetry::TFrameRun& run) {
        ForEachDrawn(run, [&](std::uint32_t, const telemetry::TFrameRun& r, std::size_t i) {
            const double dx = xPlace_(r, i) - at.X;
            const double dy = yPlace_(r, i) - at.Y;
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
    const bool coloured = density.Spec().Colour.has_value();
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
