#pragma once

// The chart's pure rules: plot rectangle from margins, label steps, the value-to-pixel map,
// the label walk, minor tick places and label texts. Nothing here paints.

#include <QLocale>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <vector>

// The axes of a chart, in the list order of every axis rule: the sides of the plot they
// stand on, and the depth axis of three-dimensional views.
enum class TAxisKind { Bottom, Top, Left, Right, Depth };

namespace chart {

// Rounds to the nearest integer, ties to even. Adding and taking away 1.5 * 2^52 leaves
// the double's rounding to do the work (it rounds ties to even); larger magnitudes are
// whole already.
[[nodiscard]] inline double RoundHalfEven(double v) noexcept {
    constexpr double shift = 6755399441055744.0;
    if (!(v > -shift / 4 && v < shift / 4))
        return v;
    return (v + shift) - shift;
}

// A pixel rectangle with exclusive right and bottom edges, as the layout computes it.
struct TRectI {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    [[nodiscard]] int Width() const noexcept { return Right - Left; }
    [[nodiscard]] int Height() const noexcept { return Bottom - Top; }
    [[nodiscard]] bool Contains(int x, int y) const noexcept {
        return x >= Left && x < Right && y >= Top && y < Bottom;
    }
    bool operator==(const TRectI&) const = default;
};

struct TMargins {
    int Left = 3;
    int Top = 4;
    int Right = 3;
    int Bottom = 4;
};

// The plot rectangle of a panel of the given size: margins are percentages of the panel's
// width (left, right) and height (top, bottom), each product rounded, then normalised.
[[nodiscard]] TRectI PlotRectFromMargins(int width, int height, const TMargins& margins,
                                         int borderWidth) noexcept;

// The intersection, or `previous` when the two do not overlap.
[[nodiscard]] TRectI IntersectOrKeep(const TRectI& previous, const TRectI& next) noexcept;

inline constexpr double MinimumStep = 1e-12;
inline constexpr double OneSecond = 1.0 / 86400.0; // date-times count days

// The 1-2-5 sequence: 1 -> 2 -> 5 -> 10 -> 20 ..., at every power of ten.
[[nodiscard]] double NextLabelStep(double step) noexcept;

// How many labels of `labelSize` pixels, plus `separationPercent` of that, fit the axis.
[[nodiscard]] int LabelCapacity(int axisLength, int labelSize, int separationPercent) noexcept;

// The smallest step of the 1-2-5 sequence, from `increment` (or 1, or 1e-12 for ranges
// below 1) upward, that needs no more than `capacity` labels.
[[nodiscard]] double ValueLabelStep(double range, int capacity, double increment,
                                    int separationPercent) noexcept;

// The same for a date-time axis (days), through the table of calendar-friendly steps.
[[nodiscard]] double DateTimeLabelStep(double range, int capacity, double increment) noexcept;

// The date-time step table (days), smallest first.
[[nodiscard]] const std::vector<double>& DateTimeSteps() noexcept;

// An axis' working range and pixel span, with the chart's rounding.
struct TAxisMap {
    double Minimum = 0;
    double Maximum = 0;
    int Start = 0;
    int End = 0;
    bool Horizontal = true;
    bool Inverted = false;
    bool Logarithmic = false;
    double LogarithmicBase = 10;

    [[nodiscard]] double Range() const noexcept { return Maximum - Minimum; }
    [[nodiscard]] int Length() const noexcept { return End - Start; }
    [[nodiscard]] int Centre() const noexcept { return (Start + End) / 2; }
    // Values too far off the axis for a pixel map to the centre; the result may lie far
    // outside the axis but always within the int range.
    [[nodiscard]] int ToPixel(double value) const noexcept;
    [[nodiscard]] double ToValue(double pixel) const noexcept;
    // ToPixel for a linear map, false where the pixel does not follow the value (out of
    // reach, NaN); pixels that do follow it never go back as values grow.
    [[nodiscard]] bool LinearPixel(double value, int& pixel) const noexcept {
        const double range = Range();
        if (range == 0) {
            pixel = Centre();
            return true;
        }
        const double t = (value - Minimum) * Length() / range;
        if (Logarithmic || !(t > -2147483647.0 && t < 2147483647.0))
            return false;
        const double rounded = RoundHalfEven(t);
        const double p = Horizontal != Inverted ? Start + rounded : End - rounded;
        pixel = static_cast<int>(std::clamp(p, -2147483647.0, 2147483647.0));
        return true;
    }
};

struct TLabelWalkOptions {
    bool RoundFirstLabel = true;
    bool LabelsOnAxis = true;
    bool Labels = true;
    bool TickOnLabelsOnly = true;
};

inline constexpr std::size_t MaxTicks = 2000;
inline constexpr double MaxLabelSteps = 10000;

struct TAxisLabel {
    double Value;
    int Pixel;
};

struct TLabelWalk {
    std::vector<TAxisLabel> Labels; // largest value first
    std::vector<int> Ticks;         // major tick pixels, in walk order, at most MaxTicks
};

// The labels of a linear value axis, from the top down.
[[nodiscard]] TLabelWalk WalkLabels(const TAxisMap& map, double step,
                                    const TLabelWalkOptions& options);

// Labels at the given values, largest first, as WalkLabels records its own.
[[nodiscard]] TLabelWalk WalkLabelsAt(const TAxisMap& map, const std::vector<double>& values,
                                      const TLabelWalkOptions& options);

// Labels of a logarithmic axis without an increment: the powers of the base in range.
[[nodiscard]] TLabelWalk WalkLogarithmicLabels(const TAxisMap& map,
                                               const TLabelWalkOptions& options);

// The calendar unit of an exact date-time axis whose increment is one of the table's steps
// (within a second): the first table step from that one up that is not below `step`;
// 0 when the increment is no table step.
[[nodiscard]] double CalendarUnit(double increment, double step) noexcept;

// Labels of a date-time axis walking calendar units: from a day up the first label is cut
// to midnight, and to the 1st or 15th of its month (15 days), the 1st of its month (30 to
// 182 days) or 1 January (365 days); those units step by half-months, by 1, 2, 3, 4 or 6
// months or by a year.
[[nodiscard]] TLabelWalk WalkCalendarLabels(const TAxisMap& map, double unit,
                                            const TLabelWalkOptions& options);

// Minor tick pixels from the major ticks (walk order), strictly inside (start, end).
[[nodiscard]] std::vector<int> MinorTickPixels(const std::vector<int>& ticks, int count, int start,
                                               int end, bool logarithmic);

// A value in a number format of the "#,##0.###" family: '0' a required digit, '#' an
// optional one, ',' in the integer part groups thousands, '.' the decimal separator;
// other characters are kept as they stand. Separators come from the locale.
[[nodiscard]] QString FormatFloat(double value, const QString& format, const QLocale& locale);

// A date-time (days since 1899-12-30) in a format of d, dd, m, mm, yy, yyyy, h, hh,
// n, nn, s, ss, z, zzz, with quoted literals; an m right after an hour is minutes.
// An empty format gives the locale's short date (range above one day) or short time.
[[nodiscard]] QString FormatDateTime(double days, const QString& format, double range,
                                     const QLocale& locale);

} // namespace chart
