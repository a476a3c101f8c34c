#pragma once

// A quantity binned by engine speed (rows) and MAP (columns): each cell's frames and the mean,
// smallest, largest and standard deviation of the quantity over them, as a tuner reads an
// ignition map. Filled as frames come (a live session adds what arrived since the last
// update); a change of the statistic shown needs no new count.
//
// Bin edges. Engine speed: bin k holds From + k * Step <= speed < From + (k + 1) * Step (each
// edge computed so in double precision), the last bin ends at To and holds To itself; frames
// slower than From, faster than To, or with a period of 0 (no speed) are in no bin. There are
// as many bins as edges From + k * Step below To, leaving out one within a billionth of a step
// of To, so that a last bin narrower than Step is one only where Step does not divide the range.
// MAP: N bins of whole codes over 0 to 255, bin j holding the codes from floor(256 * j / N) to
// floor(256 * (j + 1) / N) - 1 (N = 16: 16 codes a bin).

#include "analysis/ExpectedAdvance.h"
#include "analysis/FrameKernel.h"
#include "analysis/Quantity.h"
#include "telemetry/FrameTable.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace analysis {

struct TSpeedBins {
    static constexpr int MostBins = 10000;

    double From = 0;
    double To = 7000;
    double Step = 250;

    // Raises std::invalid_argument unless 0 <= From < To, Step > 0, all finite, and there are
    // at most MostBins bins.
    void Check() const;
    // The number of bins; 0 for bins that break the rules.
    [[nodiscard]] int Count() const noexcept;
    [[nodiscard]] double Lower(int bin) const noexcept { return From + bin * Step; }
    [[nodiscard]] double Upper(int bin) const noexcept {
        return bin + 1 < Count() ? Lower(bin + 1) : To;
    }
    // The bin that holds the speed; none outside From to To.
    [[nodiscard]] std::optional<int> BinOf(double rpm) const noexcept;
    bool operator==(const TSpeedBins&) const = default;
};

struct TMapBins {
    int Count = 16;

    // Raises std::invalid_argument unless 1 <= Count <= 256.
    void Check() const;
    [[nodiscard]] int Lower(int bin) const noexcept { return 256 * bin / Count; }
    [[nodiscard]] int Upper(int bin) const noexcept { return Lower(bin + 1); }
    [[nodiscard]] int BinOf(std::uint8_t map) const noexcept;
    bool operator==(const TMapBins&) const = default;
};

enum class TStatistic : std::uint8_t { Mean, Minimum, Maximum, StandardDeviation, Count };

// "mean", "min", "max", "std", "count": the recording tool's names.
[[nodiscard]] std::string_view StatisticName(TStatistic s) noexcept;
[[nodiscard]] std::optional<TStatistic> StatisticNamed(std::string_view name) noexcept;

struct TTableLayout {
    TSpeedBins Speed;
    TMapBins Map;
    // Any quantity; the deviation leaves out the frames whose curve number has no curve.
    TQuantity Quantity = TQuantity::Advance;
    TFrameFilter Filter;
    bool operator==(const TTableLayout&) const = default;
};

class TBinnedTable {
public:
    // expected is needed for the deviation and must then outlive this. Raises
    // std::invalid_argument for bins or a filter that break their rules, or the deviation
    // without expected curves.
    explicit TBinnedTable(const TTableLayout& layout, const TExpectedAdvance* expected = nullptr);

    // Adds the frames from Counted() to end - 1 (clamped to the table) that the filter passes.
    void Extend(const telemetry::TFrameTable& table,
                std::int64_t end = std::numeric_limits<std::int64_t>::max());
    // The frames looked at so far: 0 to Counted() - 1.
    [[nodiscard]] std::int64_t Counted() const noexcept { return counted_; }

    [[nodiscard]] const TTableLayout& Layout() const noexcept { return layout_; }
    [[nodiscard]] int Rows() const noexcept { return rows_; }
    [[nodiscard]] int Columns() const noexcept { return layout_.Map.Count; }
    [[nodiscard]] std::int64_t Frames(int row, int column) const noexcept {
        return static_cast<std::int64_t>(cells_[Cell(row, column)].Count);
    }
    // The statistic of the quantity over the cell's frames (the population's standard
    // deviation; the count as a number); none for an empty cell.
    [[nodiscard]] std::optional<double> Value(int row, int column, TStatistic s) const noexcept;
    // Calls take(frame number) for each frame the cell counts, in order: the frames a click on
    // the cell marks and steps through. table is the one Extend counted.
    template <typename Take>
    void ForEachFrameIn(const telemetry::TFrameTable& table, int row, int column,
                        Take&& take) const;

private:
    [[nodiscard]] std::size_t Cell(int row, int column) const noexcept {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(Columns()) +
               static_cast<std::size_t>(column);
    }

    TTableLayout layout_;
    int rows_;
    kernel::TCellIndex index_;
    kernel::TValueOf value_;
    std::vector<kernel::TMoments> cells_;
    std::int64_t counted_ = 0;
};

template <typename Take>
void TBinnedTable::ForEachFrameIn(const telemetry::TFrameTable& table, int row, int column,
                                  Take&& take) const {
    const auto wanted = static_cast<std::uint32_t>(Cell(row, column));
    kernel::ForEachCell(table, layout_.Filter.Frames.Within({0, counted_}), index_,
                        [&](std::uint32_t cell, const telemetry::TFrameRun& run, std::size_t i) {
                            if (cell == wanted)
                                take(run.First + static_cast<std::int64_t>(i));
                        });
}

// A's statistic minus B's in a cell non-empty in both; none elsewhere. The tables must have the
// same bins and quantity (std::invalid_argument otherwise); their filters may differ.
[[nodiscard]] std::optional<double> Difference(const TBinnedTable& a, const TBinnedTable& b,
                                               int row, int column, TStatistic s);

// What "telmira-dcc table" prints and the window exports: the header
// "speed_from,speed_to,map_from,map_to,frames,value", then a line per non-empty cell, rows by
// engine speed, then MAP, ascending; numbers in the shortest text that reads back the same.
[[nodiscard]] std::string TableCsv(const TBinnedTable& table, TStatistic s);
// The same for A minus B, "speed_from,speed_to,map_from,map_to,frames_a,frames_b,value", for the
// cells non-empty in both.
[[nodiscard]] std::string DifferenceCsv(const TBinnedTable& a, const TBinnedTable& b, TStatistic s);

} // namespace analysis
