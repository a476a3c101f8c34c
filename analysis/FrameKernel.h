#pragma once

// The library's own: how its counts walk a frame table. Every quantity but the deviation and
// the frame number is one field of a frame, so which cell of a table or a picture a frame goes
// to, and whether the filters pass it, comes from a lookup table per field, built once per
// choice of bins, ranges and filters: a frame costs six lookups and a sum however many filters
// there are, and no value is converted twice.

#include "analysis/ExpectedCurves.h"
#include "analysis/Quantity.h"
#include "telemetry/FrameTable.h"

#include <array>
#include <bitset>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace analysis::kernel {

inline constexpr std::size_t Periods = 65536;

// A field quantity's value for each code of its field: the period for the speed, a byte for the
// others; NaN where there is none (the speed of a period of 0).
[[nodiscard]] std::vector<double> ValuesByCode(TQuantity q);

// A frame's cell among Cells() is the sum of one entry for each of its six fields. An entry Out
// leaves every frame with that code out, whatever the others add.
class TCellIndex {
public:
    static constexpr std::uint32_t Out = std::uint32_t{1} << 28;
    // Six entries below this each still sum below Out, and below 2^32 with any Out among them.
    static constexpr std::uint32_t MostCells = std::uint32_t{1} << 27;

    // Every frame in cell 0 of cells (1 to MostCells).
    explicit TCellIndex(std::uint32_t cells);

    // Leaves out the frames the filter's curves and ranges do not pass (its frames are the
    // walk's business).
    void Filter(const TFrameFilter& filter);
    // Leaves out the frames whose curve number is not in curves.
    void KeepCurves(const std::bitset<256>& curves);
    // Leaves out the frames with a period of 0.
    void NeedSpeed();
    // Adds stride times the place place(value) gives a field quantity's value (a whole number
    // from 0), and leaves out the frames whose value has none (place returns a negative).
    template <typename Place> void Add(TQuantity q, std::uint32_t stride, Place&& place);

    [[nodiscard]] std::uint32_t Cells() const noexcept { return cells_; }

    template <typename Take>
    friend void ForEachCellOfRun(const telemetry::TFrameRun& run, const TCellIndex& index,
                                 Take&& take);

private:
    // Field 0 is the period; 1 to 5 the bytes after it, in the frame's order.
    std::uint32_t& Entry(std::size_t field, std::size_t code) {
        return field == 0 ? period_[code] : bytes_[field - 1][code];
    }
    [[nodiscard]] std::size_t Codes(std::size_t field) const { return field == 0 ? Periods : 256; }
    void LeaveOut(std::size_t field, std::size_t code) {
        Entry(field, code) = Out;
        used_.set(field);
    }

    std::uint32_t cells_;
    std::vector<std::uint32_t> period_;
    std::array<std::array<std::uint32_t, 256>, 5> bytes_{};
    std::bitset<6> used_; // fields with an entry other than 0
};

template <typename Place> void TCellIndex::Add(TQuantity q, std::uint32_t stride, Place&& place) {
    const auto field = static_cast<std::size_t>(q);
    const std::vector<double> values = ValuesByCode(q);
    for (std::size_t code = 0; code < Codes(field); ++code) {
        if (Entry(field, code) == Out)
            continue;
        const double value = values[code];
        const std::int64_t at = std::isnan(value) ? -1 : place(value);
        if (at < 0)
            LeaveOut(field, code);
        else
            Entry(field, code) += static_cast<std::uint32_t>(at) * stride;
    }
    used_.set(field);
}

// Calls take(cell, run, i) for each frame i of run that index does not leave out, in order.
template <typename Take>
void ForEachCellOfRun(const telemetry::TFrameRun& run, const TCellIndex& index, Take&& take) {
    const std::uint32_t* period = index.period_.data();
    const auto& bytes = index.bytes_;
    const std::uint32_t cells = index.cells_;
    // A field that no choice touched adds 0 to every frame: its lookup is left out.
    std::array<bool, 6> used;
    for (std::size_t field = 0; field < used.size(); ++field)
        used[field] = index.used_[field];
    for (std::size_t i = 0; i < run.Count; ++i) {
        std::uint32_t cell = used[0] ? period[run.Period(i)] : 0;
        if (used[1])
            cell += bytes[0][run.Map(i)];
        if (used[2])
            cell += bytes[1][run.CurveNumber(i)];
        if (used[3])
            cell += bytes[2][run.Temperature(i)];
        if (used[4])
            cell += bytes[3][run.OctaneCorrector(i)];
        if (used[5])
            cell += bytes[4][run.AdvanceCode(i)];
        if (cell < cells)
            take(cell, run, i);
    }
}

// ForEachCellOfRun over the runs of frames, in order.
template <typename Take>
void ForEachCell(const telemetry::TFrameTable& table, TFrameRange frames, const TCellIndex& index,
                 Take&& take) {
    table.ForEachRun(frames.First, frames.End,
                     [&](const telemetry::TFrameRun& run) { ForEachCellOfRun(run, index, take); });
}

// The expected advance of each curve number that has an expected curve (and that keep holds)
// by period: what ExpectedCurves' rule gives at the period's engine speed. NaN for a period of 0
// and for the other curve numbers.
class TExpectedByPeriod {
public:
    TExpectedByPeriod(const TExpectedCurves& curves, const std::bitset<256>& keep);
    TExpectedByPeriod(const TExpectedByPeriod&) = delete;
    TExpectedByPeriod& operator=(const TExpectedByPeriod&) = delete;

    [[nodiscard]] const std::bitset<256>& Curves() const noexcept { return curves_; }
    [[nodiscard]] double Expected(std::uint8_t curve, std::uint16_t period) const noexcept {
        return byPeriod_[curve][period];
    }
    // The frame's advance minus its expected advance.
    [[nodiscard]] double Deviation(const telemetry::TFrameRun& run, std::size_t i) const noexcept {
        return telemetry::AdvanceDegrees(run.AdvanceCode(i)) -
               byPeriod_[run.CurveNumber(i)][run.Period(i)];
    }

private:
    std::bitset<256> curves_;
    std::vector<double> tables_; // Periods entries for none, then for each of curves_
    std::array<const double*, 256> byPeriod_;
};

// A quantity's value of a frame as the counts add it up: the speed in об/мин, the byte fields
// as their codes (the value is Scale * code + Offset: exact sums, whatever their length), the
// deviation in degrees, the frame's number.
class TValueOf {
public:
    // expected is needed for the deviation and must outlive this.
    TValueOf(TQuantity q, const TExpectedByPeriod* expected);

    [[nodiscard]] double operator()(const telemetry::TFrameRun& run, std::size_t i) const noexcept {
        switch (quantity_) {
        case TQuantity::Speed:
            return speed_[run.Period(i)];
        case TQuantity::Map:
            return run.Map(i);
        case TQuantity::Curve:
            return run.CurveNumber(i);
        case TQuantity::Temperature:
            return run.Temperature(i);
        case TQuantity::Octane:
            return run.OctaneCorrector(i);
        case TQuantity::Advance:
            return run.AdvanceCode(i);
        case TQuantity::Deviation:
            return expected_->Deviation(run, i);
        case TQuantity::Frame:
            break;
        }
        return static_cast<double>(run.First + static_cast<std::int64_t>(i));
    }
    // The value of what operator() added up.
    [[nodiscard]] double Value(double added) const noexcept { return added * scale_ + offset_; }
    // The same of a spread: a standard deviation.
    [[nodiscard]] double Spread(double added) const noexcept { return added * scale_; }

private:
    TQuantity quantity_;
    std::vector<double> speed_;
    const TExpectedByPeriod* expected_;
    double scale_ = 1;
    double offset_ = 0;
};

// Count, mean, spread, smallest and largest of values added one at a time. The sums are of
// each value minus the first, so that a spread small beside the values keeps its digits, and
// equal values have none at all.
struct TMoments {
    std::uint64_t Count = 0;
    double First = 0;
    double Sum = 0;          // of value - First
    double SumOfSquares = 0; // of (value - First)^2
    double Minimum = std::numeric_limits<double>::infinity();
    double Maximum = -std::numeric_limits<double>::infinity();

    void Add(double v) noexcept {
        if (Count++ == 0)
            First = v;
        const double d = v - First;
        Sum += d;
        SumOfSquares += d * d;
        Minimum = v < Minimum ? v : Minimum;
        Maximum = v > Maximum ? v : Maximum;
    }
    [[nodiscard]] double Mean() const noexcept { return First + Sum / static_cast<double>(Count); }
    // Of the population; NaN without values.
    [[nodiscard]] double StandardDeviation() const noexcept;
};

} // namespace analysis::kernel
