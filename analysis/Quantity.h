#pragma once

// The quantities the analysis of a recording reads off its frames, each in its own unit, and
// the filters the analysis page shares among its plot, its table and its band counts. No Qt:
// the recording tool computes with the same rules as the window.

#include "telemetry/Telemetry.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace analysis {

// The first six are a frame's fields in the chart's series order: engine speed in об/мин from
// the period (a period of 0 has none), MAP, curve number, temperature and octane corrector as
// decoded, advance in degrees. Deviation is the advance minus the expected advance of the
// frame's curve at its engine speed (ExpectedCurves.h): there only where expected curves are
// given, and not for a frame whose curve has none. Frame is the frame's number: a value to
// colour or average by, which the window shows as the time of that frame.
enum class TQuantity : std::uint8_t {
    Speed,
    Map,
    Curve,
    Temperature,
    Octane,
    Advance,
    Deviation,
    Frame,
};

inline constexpr std::array<TQuantity, 6> FieldQuantities = {
    TQuantity::Speed,       TQuantity::Map,    TQuantity::Curve,
    TQuantity::Temperature, TQuantity::Octane, TQuantity::Advance};

// One of the six that a single field of the frame gives.
[[nodiscard]] constexpr bool IsField(TQuantity q) noexcept {
    return q <= TQuantity::Advance;
}

// The names of the recording tool's options and CSV columns: "rpm", "map", "curve",
// "temperature", "octane", "advance" (the columns of telmira-dcc csv), "deviation", "frame".
[[nodiscard]] std::string_view QuantityName(TQuantity q) noexcept;
[[nodiscard]] std::optional<TQuantity> QuantityNamed(std::string_view name) noexcept;

// A field quantity of a frame; none for the speed of a period of 0.
[[nodiscard]] std::optional<double> FieldValue(const telemetry::TFrameFields& frame,
                                               TQuantity q) noexcept;

// Frames First to End - 1; every frame by default.
struct TFrameRange {
    std::int64_t First = 0;
    std::int64_t End = std::numeric_limits<std::int64_t>::max();

    [[nodiscard]] bool Empty() const noexcept { return End <= First; }
    [[nodiscard]] bool Contains(std::int64_t frame) const noexcept {
        return frame >= First && frame < End;
    }
    // Frames in both; empty ranges stay empty.
    [[nodiscard]] TFrameRange Within(TFrameRange other) const noexcept {
        return {std::max(First, other.First), std::min(End, other.End)};
    }
    bool operator==(const TFrameRange&) const = default;
};

// A field quantity from Minimum to Maximum, both included; an open end is an infinity.
struct TQuantityRange {
    TQuantity Quantity = TQuantity::Temperature;
    double Minimum = -std::numeric_limits<double>::infinity();
    double Maximum = std::numeric_limits<double>::infinity();
    bool operator==(const TQuantityRange&) const = default;
};

// The frames the analysis page takes: a frame passes when its number lies in Frames, its curve
// number is one of Curves, and each range holds its value (a frame with no value for a range's
// quantity, a period of 0 for a speed range, does not pass).
struct TFrameFilter {
    std::bitset<256> Curves = std::bitset<256>().set();
    std::vector<TQuantityRange> Ranges;
    TFrameRange Frames;

    [[nodiscard]] bool Passes(std::int64_t frame, const telemetry::TFrameFields& fields) const;
    bool operator==(const TFrameFilter&) const = default;
};

// Raises std::invalid_argument when a range is not of a field quantity or is NaN.
void CheckFilter(const TFrameFilter& filter);

} // namespace analysis
