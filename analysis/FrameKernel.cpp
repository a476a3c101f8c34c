#include "analysis/FrameKernel.h"

#include <algorithm>
#include <stdexcept>

namespace analysis::kernel {

namespace {

// The fields' codes with each set, the rest 0: what telemetry::Quantity reads a value from.
telemetry::TFrameFields FieldsWith(TQuantity q, std::size_t code) {
    telemetry::TFrameFields fields{};
    const auto byte = static_cast<std::uint8_t>(code);
    switch (q) {
    case TQuantity::Speed:
        fields.Period = static_cast<std::uint16_t>(code);
        break;
    case TQuantity::Map:
        fields.Map = byte;
        break;
    case TQuantity::Curve:
        fields.CurveNumber = byte;
        break;
    case TQuantity::Temperature:
        fields.Temperature = byte;
        break;
    case TQuantity::Octane:
        fields.OctaneCorrector = byte;
        break;
    default:
        fields.AdvanceCode = byte;
        break;
    }
    return fields;
}

// a * b exactly, as the sum of the rounded product and what the rounding lost.
struct TExactProduct {
    double High;
    double Low;
};
TExactProduct ExactProduct(double a, double b) noexcept {
    const double high = a * b;
    return {high, std::fma(a, b, -high)};
}

} // namespace

std::span<const double> ValuesByCode(TQuantity q) {
    if (!IsField(q))
        throw std::invalid_argument("only a frame's field has a value for each code");
    static const auto tables = [] {
        std::array<std::vector<double>, FieldQuantities.size()> made;
        for (const TQuantity field : FieldQuantities) {
            std::vector<double>& values = made[static_cast<std::size_t>(field)];
            values.resize(field == TQuantity::Speed ? Periods : 256);
            for (std::size_t code = 0; code < values.size(); ++code)
                values[code] = FieldValue(FieldsWith(field, code), field)
                                   .value_or(std::numeric_limits<double>::quiet_NaN());
        }
        return made;
    }();
    return tables[static_cast<std::size_t>(q)];
}

void TCellIndex::Reset(std::uint32_t cells) {
    if (cells < 1 || cells > MostCells)
        throw std::invalid_argument("a count takes 1 to 2^27 cells");
    cells_ = cells;
    std::fill(period_.begin(), period_.end(), 0);
    bytes_ = {};
    used_.reset();
}

void TCellIndex::Filter(const TFrameFilter& filter) {
    CheckFilter(filter);
    KeepCurves(filter.Curves);
    for (const TQuantityRange& range : filter.Ranges)
        Add(range.Quantity, 0, [&](double value) -> std::int64_t {
            return value >= range.Minimum && value <= range.Maximum ? 0 : -1;
        });
}

void TCellIndex::KeepCurves(const std::bitset<256>& curves) {
    constexpr std::size_t CurveField = static_cast<std::size_t>(TQuantity::Curve);
    for (std::size_t code = 0; code < 256; ++code)
        if (!curves.test(code))
            LeaveOut(CurveField, code);
}

void TCellIndex::NeedSpeed() {
    LeaveOut(0, 0);
}

TValueOf::TValueOf(TQuantity q, const TExpectedAdvance* expected)
    : quantity_(q), expected_(expected) {
    if (q == TQuantity::Speed)
        speed_ = ValuesByCode(q);
    if (q == TQuantity::Advance) {
        offset_ = telemetry::AdvanceDegrees(0);
        scale_ = telemetry::AdvanceDegrees(1) - offset_;
    }
    if (q == TQuantity::Deviation && expected == nullptr)
        throw std::invalid_argument("the deviation needs expected curves");
}

// n * sum of squares - sum^2 is n^2 times the variance; with both products exact, the
// difference loses nothing to rounding for whole numbers.
double TMoments::StandardDeviation() const noexcept {
    if (Count == 0)
        return std::numeric_limits<double>::quiet_NaN();
    const auto n = static_cast<double>(Count);
    const TExactProduct a = ExactProduct(n, SumOfSquares);
    const TExactProduct b = ExactProduct(Sum, Sum);
    const double spread = (a.High - b.High) + (a.Low - b.Low);
    return std::sqrt(std::max(spread, 0.0)) / n;
}

} // namespace analysis::kernel
