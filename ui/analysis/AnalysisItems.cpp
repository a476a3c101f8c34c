#include "ui/analysis/AnalysisItems.h"

#include "widgets/chart/ChartRaster.h"

#include <QColor>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace analysis_view {

namespace {

// Steps of the shading between one frame and the most on a pixel, and of the colour scale.
constexpr int ShadeLevels = 64;
constexpr int ColourLevels = 64;

int Level(std::uint32_t frames, std::uint32_t mostFrames) noexcept {
    if (mostFrames <= 1)
        return 0;
    const double t = std::log1p(static_cast<double>(frames) - 1) /
                     std::log1p(static_cast<double>(mostFrames) - 1);
    return std::clamp(static_cast<int>(t * (ShadeLevels - 1) + 0.5), 0, ShadeLevels - 1);
}

// Level 0: the lightest, one frame.
const std::vector<QRgb>& DensityPalette() {
    static const std::vector<QRgb> palette = [] {
        std::vector<QRgb> p(ShadeLevels);
        for (int i = 0; i < ShadeLevels; ++i) {
            const double t = static_cast<double>(i) / (ShadeLevels - 1);
            p[i] = qRgb(static_cast<int>(150 * (1 - t)), static_cast<int>(170 * (1 - t)),
                        static_cast<int>(255 - 145 * t));
        }
        return p;
    }();
    return palette;
}

const std::vector<QRgb>& ComparedPalette() {
    static const std::vector<QRgb> palette = [] {
        std::vector<QRgb> p(ShadeLevels);
        for (int i = 0; i < ShadeLevels; ++i) {
            const double t = static_cast<double>(i) / (ShadeLevels - 1);
            p[i] = qRgb(static_cast<int>(255 - 125 * t), static_cast<int>(170 * (1 - t)),
                        static_cast<int>(240 - 120 * t));
        }
        return p;
    }();
    return palette;
}

// Blue for the low end of the colour scale through green to red for the high end; the more
// frames, the darker.
const std::vector<QRgb>& ColourPalette() {
    static const std::vector<QRgb> palette = [] {
        std::vector<QRgb> p(static_cast<std::size_t>(ColourLevels) * ShadeLevels);
        for (int c = 0; c < ColourLevels; ++c)
            for (int i = 0; i < ShadeLevels; ++i) {
                const double t = static_cast<double>(i) / (ShadeLevels - 1);
                const double hue = (1 - static_cast<double>(c) / (ColourLevels - 1)) * 240 / 360;
                p[static_cast<std::size_t>(c) * ShadeLevels + i] =
                    QColor::fromHsvF(static_cast<float>(hue), static_cast<float>(0.55 + 0.45 * t),
                                     static_cast<float>(1 - 0.5 * t))
                        .rgb();
            }
        return p;
    }();
    return palette;
}

} // namespace

analysis::TDensityAxis GridAxis(analysis::TQuantity q, const chart::TAxisMap& map) {
    const int length = map.Length();
    const double half = length > 0 ? 0.5 * map.Range() / length : 0;
    return {q, map.Minimum - half, map.Maximum + half, length + 1};
}

analysis::TGridPoint GridPoint(const chart::TItemView& view, QPoint p) noexcept {
    return {p.x() - view.X.Start + 0.5, view.Y.End - p.y() + 0.5};
}

QPoint ScreenPoint(const chart::TItemView& view, analysis::TGridPoint p) noexcept {
    return {view.X.Start + static_cast<int>(std::floor(p.X)),
            view.Y.End - static_cast<int>(std::floor(p.Y))};
}

QRgb DensityShade(std::uint32_t frames, std::uint32_t mostFrames) noexcept {
    return DensityPalette()[static_cast<std::size_t>(Level(frames, mostFrames))];
}

QRgb ComparedShade(std::uint32_t frames, std::uint32_t mostFrames) noexcept {
    return ComparedPalette()[static_cast<std::size_t>(Level(frames, mostFrames))];
}

QRgb ColouredShade(std::uint32_t frames, std::uint32_t mostFrames, double share) noexcept {
    const int c =
        std::clamp(static_cast<int>(share * (ColourLevels - 1) + 0.5), 0, ColourLevels - 1);
    return ColourPalette()[static_cast<std::size_t>(c) * ShadeLevels +
                           static_cast<std::size_t>(Level(frames, mostFrames))];
}

// ---------------------------------------------------------------------------------------
// The density

void TDensityItem::SetChoice(const analysis::TDensityLayout& layout,
                             const analysis::TExpectedAdvance* expected,
                             std::optional<analysis::TValueExtent> colourRange) {
    layout_ = layout;
    expected_ = expected;
    colourRange_ = colourRange;
    Recount();
}

void TDensityItem::SetColourRange(std::optional<analysis::TValueExtent> colourRange) {
    colourRange_ = colourRange;
    Notify(chart::TChange::Content);
}

void TDensityItem::SetExtents(std::optional<chart::TExtent> x, std::optional<chart::TExtent> y) {
    x_ = x;
    y_ = y;
    Notify(chart::TChange::Content);
}

void TDensityItem::Recount() {
    recount_ = true;
    Notify(chart::TChange::Content);
}

void TDensityItem::Draw(chart::TRaster& raster, const chart::TItemView& view) {
    if (view.X.Length() <= 0 || view.Y.Length() <= 0 || view.X.Range() <= 0 || view.Y.Range() <= 0)
        return;
    analysis::TDensityLayout layout = layout_;
    layout.X = GridAxis(layout_.X.Quantity, view.X);
    layout.Y = GridAxis(layout_.Y.Quantity, view.Y);
    try {
        if (!density_) {
            density_ = std::make_unique<analysis::TDensity>(layout, expected_);
        } else if (recount_ || !(density_->Layout() == layout)) {
            density_->Reset(layout, expected_);
        }
    } catch (const std::invalid_argument&) {
        // A choice the rules refuse (the deviation without curves) draws no frames.
        density_.reset();
        return;
    }
    recount_ = false;
    density_->Extend(table_);

    const analysis::TDensity& d = *density_;
    const std::uint32_t most = d.MostFrames();
    const bool coloured = d.Layout().Colour.has_value() && colourRange_.has_value();
    const double low = coloured ? colourRange_->Minimum : 0;
    const double range = coloured ? colourRange_->Maximum - colourRange_->Minimum : 0;
    const std::span<const std::uint32_t> counts = d.Counts();
    for (int y = 0; y < d.Height(); ++y) {
        const std::uint32_t* row = counts.data() + static_cast<std::size_t>(y) * d.Width();
        const int screenY = view.Y.End - y;
        for (int x = 0; x < d.Width(); ++x) {
            if (row[x] == 0)
                continue;
            QRgb shade = 0;
            const std::optional<double> mean = coloured ? d.ColourMean(x, y) : std::nullopt;
            if (mean)
                shade = ColouredShade(row[x], most, range > 0 ? (*mean - low) / range : 0.5);
            else
                shade = shade_(row[x], most);
            const int screenX = view.X.Start + x;
            raster.Fill({screenX, screenY, screenX + 1, screenY + 1}, shade);
        }
    }
}

// ---------------------------------------------------------------------------------------
// The expected curves

void TCurvesItem::Set(const analysis::TExpectedCurves& curves, const std::bitset<256>& shown,
                      double tolerance, bool deviation) {
    curves_ = curves;
    shown_ = shown;
    tolerance_ = tolerance;
    deviation_ = deviation;
    Notify(chart::TChange::Content);
}

QRgb TCurvesItem::CurveColour(std::uint8_t curve) noexcept {
    static constexpr QRgb Colours[] = {qRgb(220, 0, 0),   qRgb(0, 150, 0),   qRgb(230, 120, 0),
                                       qRgb(160, 0, 160), qRgb(0, 150, 160), qRgb(120, 80, 0)};
    return Colours[curve % std::size(Colours)];
}

void TCurvesItem::Draw(chart::TRaster& raster, const chart::TItemView& view) {
    // Axes without a range (no frame yet) place every value on one row: a curve drawn there
    // would read as a line at 0°.
    if (view.X.Range() <= 0 || view.Y.Range() <= 0)
        return;
    // A line along the plot's columns through the rows of value(x) (none: no line there).
    auto line = [&](auto value, QRgb colour, bool dashed) {
        std::optional<QPoint> last;
        for (int column = view.X.Start; column <= view.X.End; ++column) {
            const double y = value(view.X.ToValue(column));
            const QPoint p(column, view.Y.ToPixel(y));
            if (last && (!dashed || (column / 4) % 2 == 0))
                raster.Line(last->x(), last->y(), p.x(), p.y(), colour);
            last = p;
        }
    };
    const QRgb bandColour = qRgb(90, 90, 90);
    if (deviation_) {
        if (curves_.Empty())
            return;
        line([](double) { return 0.0; }, qRgb(220, 0, 0), false);
        line([&](double) { return tolerance_; }, bandColour, true);
        line([&](double) { return -tolerance_; }, bandColour, true);
        return;
    }
    for (int c = 0; c < 256; ++c) {
        const auto curve = static_cast<std::uint8_t>(c);
        if (!shown_[curve] || !curves_.Has(curve))
            continue;
        auto expected = [&](double rpm) { return *curves_.Expected(curve, rpm); };
        const QRgb colour = CurveColour(curve);
        line([&](double rpm) { return expected(rpm) + tolerance_; }, colour, true);
        line([&](double rpm) { return expected(rpm) - tolerance_; }, colour, true);
        line(expected, colour, false);
    }
}

// ---------------------------------------------------------------------------------------
// The chosen frame

void TChosenItem::SetFrame(std::optional<std::int64_t> frame) {
    if (frame == frame_)
        return;
    frame_ = frame;
    Notify(chart::TChange::Content);
}

void TChosenItem::Draw(chart::TRaster& raster, const chart::TItemView& view) {
    const analysis::TDensity* density = density_.Density();
    if (!frame_ || !density)
        return;
    const std::optional<telemetry::TDecodedFrame> frame = table_.Frame(*frame_);
    if (!frame)
        return;
    const std::optional<analysis::TGridPoint> place = density->Place(*frame_, *frame);
    if (!place)
        return;
    const QPoint p = ScreenPoint(view, *place);
    const QRgb red = qRgb(230, 0, 0);
    constexpr int Arm = 7;
    raster.Line(p.x() - Arm, p.y(), p.x() + Arm + 1, p.y(), red);
    raster.Line(p.x(), p.y() - Arm, p.x(), p.y() + Arm + 1, red);
    // A square ring, one pixel wide, around the cross' middle.
    constexpr int Ring = 4;
    raster.Line(p.x() - Ring, p.y() - Ring, p.x() + Ring, p.y() - Ring, red);
    raster.Line(p.x() + Ring, p.y() - Ring, p.x() + Ring, p.y() + Ring, red);
    raster.Line(p.x() + Ring, p.y() + Ring, p.x() - Ring, p.y() + Ring, red);
    raster.Line(p.x() - Ring, p.y() + Ring, p.x() - Ring, p.y() - Ring, red);
}

} // namespace analysis_view
