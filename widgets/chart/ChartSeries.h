#pragma once

// The point store of a chart series: X and Y value lists kept in X order, one colour and
// one optional label per point, lazily recomputed value statistics, and the hooks around
// adding and clearing.

#include "ValueBuffer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class TChart;

// Colours are 0x00BBGGRR; two values above that range are markers.
using TColor = std::uint32_t;
inline constexpr TColor clDefault = 0x20000000; // the series colour applies
inline constexpr TColor clNone = 0x1FFFFFFF;    // a null point: stored, counted, never drawn

// Raised by the point sequences ("List capacity out of bounds (%d)",
// "List index out of bounds (%d)").
class EListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EOutOfMemory : public std::runtime_error {
public:
    EOutOfMemory() : std::runtime_error("Out of memory") {}
};

namespace chart {

// Entries a point sequence may hold.
inline constexpr std::size_t MaxListSize = 134217727;

// The capacity a full sequence grows to: by a quarter above 64, by 16 from 9 to 64,
// by 4 up to 8. Raises EListError when that passes MaxListSize.
[[nodiscard]] std::size_t GrownCapacity(std::size_t capacity);

// Grows v by the sequence growth rule until `more` further elements fit without a
// reallocation.
template <typename T> void Reserve(std::vector<T>& v, std::size_t more) {
    std::size_t capacity = v.capacity();
    while (capacity < v.size() + more)
        capacity = GrownCapacity(capacity);
    if (capacity == v.capacity())
        return;
    try {
        v.reserve(capacity);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    } catch (const std::length_error&) {
        throw EOutOfMemory();
    }
}

template <typename T> void Release(std::vector<T>& v) noexcept {
    std::vector<T>().swap(v);
}

} // namespace chart

enum class TChartListOrder { loNone, loAscending, loDescending };

struct TValueStatistics {
    double Minimum = 0;
    double Maximum = 0;
    double Total = 0;
    double TotalABS = 0;
};

// One coordinate of every point. Reads return the stored value times Multiplier.
class TChartValueList {
public:
    TChartValueList(std::string name, TChartListOrder order)
        : Name(std::move(name)), Order(order) {}

    std::string Name;
    TChartListOrder Order;
    bool DateTime = false;

    [[nodiscard]] double Multiplier() const noexcept { return multiplier_; }
    void SetMultiplier(double multiplier) noexcept;

    [[nodiscard]] std::size_t Count() const noexcept { return values_.size(); }
    [[nodiscard]] double Value(std::size_t index) const; // raises EListError out of range
    [[nodiscard]] double operator[](std::size_t index) const noexcept {
        return values_[index] * multiplier_;
    }
    void SetValue(std::size_t index, double value);

    // The raw stored values, unscaled, for drawing loops that apply Multiplier themselves.
    [[nodiscard]] std::span<const double> Raw() const noexcept { return values_.span(); }
    [[nodiscard]] std::size_t Capacity() const noexcept { return values_.capacity(); }

    [[nodiscard]] const TValueStatistics& Statistics() const;
    [[nodiscard]] double MinValue() const { return Statistics().Minimum; }
    [[nodiscard]] double MaxValue() const { return Statistics().Maximum; }

    // The index the ordered insertion rule puts value at.
    [[nodiscard]] std::size_t InsertionIndex(double value) const noexcept;

    // True while the stored values never decrease, which ordered insertion keeps and only
    // SetValue can break; drawing may then search the list instead of scanning it.
    [[nodiscard]] bool Ascending() const noexcept { return ascending_; }

    // Smallest and largest raw value of each complete block of BlockSize values, built on
    // the first call and kept up as values are appended, so that drawing can cover a block
    // that falls into one pixel column without visiting its values. A block holding a NaN
    // has a NaN minimum.
    static constexpr std::size_t BlockSize = 256;
    struct TBlockRange {
        double Min;
        double Max;
    };
    [[nodiscard]] const std::vector<TBlockRange>& BlockRanges() const;

private:
    friend class TChartSeries;
    void ReserveOneMore() {
        if (!values_.HasRoom())
            values_.MakeRoomForOne();
    }
    [[gnu::always_inline]] void Append(double value) noexcept { // room is reserved
        if (!values_.empty() && value < values_.back())
            ascending_ = false;
        if (!statisticsStale_)
            ExtendStatistics(value);
        values_.push_back(value);
    }
    void InsertAt(std::size_t index, double value) noexcept; // room is reserved
    void Clear() noexcept;

    void Invalidate(std::size_t from) noexcept;
    void ExtendStatistics(double value) noexcept;

    chart::TValueBuffer values_;
    mutable std::vector<TBlockRange> blocks_; // the valid leading blocks
    bool ascending_ = true;
    double multiplier_ = 1.0;
    mutable TValueStatistics statistics_;
    mutable bool statisticsStale_ = true;
};

// A series' point store. Series belong to one chart, which they ask for a repaint when
// their visible content changes.
class TChartSeries {
public:
    TChartSeries() = default;
    virtual ~TChartSeries() = default;
    TChartSeries(const TChartSeries&) = delete;
    TChartSeries& operator=(const TChartSeries&) = delete;

    TChartValueList XValues{"X", TChartListOrder::loAscending};
    TChartValueList YValues{"Y", TChartListOrder::loNone};

    TColor SeriesColor = clDefault;
    bool ColorEachPoint = false;

    std::function<bool(TChartSeries& sender)> OnBeforeAdd;
    std::function<void(TChartSeries& sender, int valueIndex)> OnAfterAdd;
    std::function<void(TChartSeries& sender)> OnClearValues;
    // Around the drawing of the series' line in each redraw.
    std::function<void(TChartSeries& sender)> BeforeDrawValues;
    std::function<void(TChartSeries& sender)> AfterDrawValues;

    // Stores one point; returns its index, or -1 when OnBeforeAdd refuses it. An empty
    // label stores no label. On failure (EListError, EOutOfMemory) nothing is stored.
    int AddPoint(double x, double y, const std::string& label = {}, TColor colour = clDefault) {
        // Inline for the common case of a replay or a live session: an unlabelled point
        // appended in X order, with room in every sequence and no hooks.
        const std::size_t count = XValues.Count();
        if (count != 0 && x >= XValues.values_.back() &&
            XValues.Order == TChartListOrder::loAscending && label.empty() && !OnBeforeAdd &&
            !OnAfterAdd && XValues.values_.HasRoom() && YValues.values_.HasRoom() &&
            colorRuns_.back().Color == colour) {
            XValues.Append(x);
            YValues.Append(y);
            if (active_)
                Repaint();
            return static_cast<int>(count);
        }
        return AddPointSlowly(x, y, label, colour);
    }
    void Clear();

    [[nodiscard]] bool Active() const noexcept { return active_; }
    void SetActive(bool active);

    [[nodiscard]] std::size_t Count() const noexcept { return XValues.Count(); }
    [[nodiscard]] double XValue(std::size_t index) const { return XValues.Value(index); }
    [[nodiscard]] double YValue(std::size_t index) const { return YValues.Value(index); }
    // The colour point index is drawn in: its stored colour, with clDefault resolved.
    [[nodiscard]] TColor ValueColor(std::size_t index) const;
    [[nodiscard]] std::string Label(std::size_t index) const;

    // Stored colours as runs of equal colour: each run starts at First and lasts until the
    // next run's First (the last one to the end). Drawing walks these instead of per-point
    // colours; the program gives every point of a series the same colour.
    struct TColorRun {
        std::size_t First;
        TColor Color;
    };
    [[nodiscard]] const std::vector<TColorRun>& ColorRuns() const noexcept { return colorRuns_; }
    [[nodiscard]] TColor ResolveColor(TColor stored, std::size_t index) const noexcept;

    // Bytes held by the point storage (capacity, not count).
    [[nodiscard]] std::size_t StorageBytes() const noexcept;

    [[nodiscard]] TChart* ParentChart() const noexcept { return parentChart_; }

protected:
    void Repaint() const;

private:
    friend class TChart;
    int AddPointSlowly(double x, double y, const std::string& label, TColor colour);
    void InsertColor(std::size_t index, TColor colour);
    void InsertLabel(std::size_t index, const std::string& label);

    bool active_ = true;
    TChart* parentChart_ = nullptr;
    std::vector<TColorRun> colorRuns_;
    std::vector<std::pair<std::size_t, std::string>> labels_; // sorted by point index
};

enum class THorizAxis { aTopAxis, aBottomAxis, aBothHorizAxis, aCustomHorizAxis };
enum class TVertAxis { aLeftAxis, aRightAxis, aBothVertAxis, aCustomVertAxis };

// The pen a line series connects its points with; its colour is replaced per segment.
struct TChartPen {
    bool Visible = true;
    int Width = 1;
    enum class Style {
        psSolid,
        psDash,
        psDot,
        psDashDot,
        psDashDotDot,
        psClear
    } PenStyle = Style::psSolid;
};

class TLineSeries : public TChartSeries {
public:
    THorizAxis HorizAxis = THorizAxis::aBottomAxis;
    TVertAxis VertAxis = TVertAxis::aLeftAxis;
    std::string ValueFormat = "#,##0.###";
    std::string PercentFormat = "##0.## %";
    bool ShowInLegend = true;
    TChartPen LinePen;
    bool PointerVisible = false;
    bool Stairs = false;
    bool InvertedStairs = false;
};
