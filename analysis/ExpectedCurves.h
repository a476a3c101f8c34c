#pragma once

// The advance a tuner expects of each curve number, as points (engine speed, degrees), the
// curve file that keeps them, and the rule that reads an expected advance off them.
//
// Curve file: UTF-8 text, the header line "curve,rpm,advance", then one line per point: the
// curve number (a whole number 0 to 255), the engine speed in об/мин (a number from 0 to
// 1,000,000) and the advance in degrees (a number from -360 to 360), with a point for the
// decimals. Within these limits the expected advance between two points is always a number;
// beyond them its formula could overflow. The points of a curve
// come in any order; two of one curve never share a speed. Blank lines, spaces around values,
// CR LF line ends and a byte order mark are taken. Written with the curves in ascending order
// and each curve's points by speed, each number in the shortest text that reads back the same.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace analysis {

struct TCurvePoint {
    double Rpm;
    double Advance;
    bool operator==(const TCurvePoint&) const = default;
};

// A curve or a curve file that breaks a rule, or a curve file that cannot be read or written.
// The message is for the user (Russian) and names the line of the file where there is one.
class ECurveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr char CurveFileHeader[] = "curve,rpm,advance";
inline constexpr double MostCurveRpm = 1'000'000;
inline constexpr double MostCurveAdvance = 360;

// The expected advance of points sorted by speed (at least one) at engine speed rpm: before
// the first point the first point's advance, after the last the last's, and between two
// neighbouring points a and b, exactly as
//   a.Advance + (b.Advance - a.Advance) * (rpm - a.Rpm) / (b.Rpm - a.Rpm)
// is evaluated from left to right in double precision (at a point's own speed, its advance).
[[nodiscard]] double Interpolate(std::span<const TCurvePoint> points, double rpm) noexcept;

class TExpectedCurves {
public:
    // The curve's points, in any order; none removes the curve. Raises ECurveError, and changes
    // nothing, when a speed is not from 0 to MostCurveRpm, an advance not from -MostCurveAdvance
    // to MostCurveAdvance (or either is not finite), or two points share a speed.
    void SetCurve(std::uint8_t curve, std::vector<TCurvePoint> points);

    // The curve's points by speed; none where the curve number has no curve.
    [[nodiscard]] std::span<const TCurvePoint> Points(std::uint8_t curve) const noexcept {
        return curves_[curve];
    }
    [[nodiscard]] bool Has(std::uint8_t curve) const noexcept { return !curves_[curve].empty(); }
    [[nodiscard]] bool Empty() const noexcept;
    // Interpolate over the curve; none where the curve number has no curve.
    [[nodiscard]] std::optional<double> Expected(std::uint8_t curve, double rpm) const noexcept;

    bool operator==(const TExpectedCurves&) const = default;

private:
    std::array<std::vector<TCurvePoint>, 256> curves_;
};

// The curves of a curve file's text. Raises ECurveError naming the first line that breaks a
// rule: a missing or wrong header, a line without exactly three values, a value that is not a
// number (or not a curve number), a negative speed, a speed a curve already has; and for a file
// with no points.
[[nodiscard]] TExpectedCurves ParseCurveFile(std::string_view text);
[[nodiscard]] std::string CurveFileText(const TExpectedCurves& curves);

// The file's curves; raises ECurveError when it cannot be read or breaks a rule.
[[nodiscard]] TExpectedCurves ReadCurveFile(const std::filesystem::path& path);
// Writes the curves into a new file beside path and then puts it in path's place, so that a
// failed write leaves the file that was there. Raises ECurveError when that fails.
void WriteCurveFile(const std::filesystem::path& path, const TExpectedCurves& curves);

// A finite number written with a point for the decimals, the whole text and nothing else (a
// leading '+' allowed): how curve files and telmira-dcc's options read numbers.
[[nodiscard]] std::optional<double> Number(std::string_view text);

} // namespace analysis
