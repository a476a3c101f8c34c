#pragma once

// The library's own: how its counts walk a frame table. Every quantity but the deviation and
// the frame number is one field of a frame, so which cell of a table or a picture a frame goes
// to, and whether the filters pass it, comes from a lookup table per field, built once per
// choice of bins, ranges and filters: a frame costs six lookups and a sum however many filters
// there are, and no value is converted twice.

#include "analysis/ExpectedAdvance.h"
#include "analysis/Quantity.h"
#include "telemetry/FrameTable.h"

#include <array>
#include <bitset>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace analysis::kernel {

inline constexpr std::size_t Periods = 65536;

// A field quantity's value for each code of its field: the period for the speed, a byte for the
// others; NaN where there is none (the speed of a period of 0). Made once for the process.
[[nodiscard]] std::span<const double> ValuesByCode(TQuantity q);

// A frame's cell among Cells() is the sum of one entry for each of its six fields. An entry Out
// leaves every frame with that code out, whatever the others add.
class TCellIndex {
public:
    static constexpr std::uint32_t Out = std::uint32_t{1} << 28;
    // Six entries below this each still sum below Out, and below 2^32 with any Out among them.
    static constexpr std::uint32_t MostCells = std::uint32_t{1} << 27;

    // Leaves every frame out.
    TCellIndex() = default;
    // Every frame in cell 0 of cells (1 to MostCells). Keeps the memory it has.
    void Reset(std::uint32_t cells);

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

    std::uint32_t cells_ = 0;
    std::vector<std::uint32_t> period_ = std::vector<std::uint32_t>(Periods);
    std::array<std::array<std::uint32_t, 256>, 5> bytes_{};
    std::bitset<6> used_; // fields with an entry other than 0
};

template <typename Place> void TCellIndex::Add(TQuantity q, std::uint32_t stride, Place&& place) {
    const auto field = static_cast<std::size_t>(q);
    const std::span<const double> values = ValuesByCode(q);
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

// A quantity's value of a frame as the counts add it up: the speed in об/мин, the byte fields
// as their codes (the value is Scale * code + Offset: exact sums, whatever their length), the
// deviation in degrees, the frame's number.
class TValueOf {
public:
    // expected is needed for the deviation and must outlive this.
    TValueOf(TQuantity q, const TExpectedAdvance* expected);

    // Calls visit with a function (run, i) -> double of the quantity's value, its type the
    // quantity's own: a walk over frames chooses the quantity once, not for each frame.
    template <typename Visit> decltype(auto) Dispatch(Visit&& visit) const {
        using telemetry::TFrameRun;
        switch (quantity_) {
        case TQuantity::Speed:
            return visit([speed = speed_.data()](const TFrameRun& r, std::size_t i) {
                return speed[r.Period(i)];
            });
        case TQuantity::Map:
            return visit(
                [](const TFrameRun& r, std::size_t i) { return static_cast<double>(r.Map(i)); });
        case TQuantity::Curve:
            return visit([](const TFrameRun& r, std::size_t i) {
                return static_cast<double>(r.CurveNumber(i));
            });
        case TQuantity::Temperature:
            return visit([](const TFrameRun& r, std::size_t i) {
                return static_cast<double>(r.Temperature(i));
            });
        case TQuantity::Octane:
            return visit([](const TFrameRun& r, std::size_t i) {
                return static_cast<double>(r.OctaneCorrector(i));
            });
        case TQuantity::Advance:
            return visit([](const TFrameRun& r, std::size_t i) {
                return static_cast<double>(r.AdvanceCode(i));
            });
        case TQuantity::Deviation:
            return visit([expected = expected_](const TFrameRun& r, std::size_t i) {
                return expected->Deviation(r, i);
            });
        case TQuantity::Frame:
            break;
        }
        return visit([](const TFrameRun& r, std::size_t i) {
            return static_cast<double>(r.First + static_cast<std::int64_t>(i));
        });
    }
    // The value of what operator() added up.
    [[nodiscard]] double Value(double added) const noexcept { return added * scale_ + offset_; }
    // The same of a spread: a standard deviation.
    [[nodiscard]] double Spread(double added) const noexcept { return added * scale_; }

private:
    TQuantity quantity_;
    std::span<const double> speed_;
    const TExpectedAdvance* expected_;
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
