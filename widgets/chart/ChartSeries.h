#pragma once

// The point store of a chart series: X and Y value lists kept in X order, one colour and
// one optional label per point, lazily recomputed value statistics, and the hooks around
// adding and clearing.

#include "store/ValueStore.h"
#include "widgets/chart/ChartItem.h"
#include "widgets/chart/ChartPen.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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

    [[nodiscard]] std::size_t Count() const noexcept { return store_.size(); }
    [[nodiscard]] double Value(std::size_t index) const; // raises EListError out of range
    [[nodiscard]] double operator[](std::size_t index) const noexcept {
        return store_[index] * multiplier_;
    }
    void SetValue(std::size_t index, double value);

    // The stored values, unscaled (a read gives them times Multiplier), for readers that
    // visit many: drawing, export. Besides single values and copies of stretches it answers
    // for whole stretches at little cost however long they are: their extremes, where they
    // leave a range of values, where a value falls in an ascending list.
    [[nodiscard]] const store::TValueStore& Stored() const noexcept { return store_; }

    // Entries the list may hold before it grows by the growth rule, which limits its length.
    [[nodiscard]] std::size_t Capacity() const noexcept { return capacity_; }

    [[nodiscard]] const TValueStatistics& Statistics() const;
    [[nodiscard]] double MinValue() const;
    [[nodiscard]] double MaxValue() const;

    // The index the ordered insertion rule puts value at.
    [[nodiscard]] std::size_t InsertionIndex(double value) const noexcept;

    // True while no stored value is below the one before it, and none is NaN, which ordered
    // insertion keeps and only SetValue can break; drawing may then search the list instead
    // of scanning it.
    [[nodiscard]] bool Ascending() const noexcept { return ascending_; }

    // Changing the values, as the series that holds the list does it for all its lists
    // together, which keeps them the same length: each change is split, as the store's are,
    // into a step that may fail and changes nothing and a step that cannot fail.
    //
    // Room for the first of values, for all lists of a series or none: says how many fit
    // (at least one); raises EListError or EOutOfMemory and changes no value.
    [[nodiscard]] std::size_t Prepare(std::span<const double> values);
    void Append(std::span<const double> values) noexcept; // at most what Prepare allowed
    // The same for the values run[from], run[from + 1], ...
    [[nodiscard]] std::size_t PrepareSteps(const store::TSteps& run, std::size_t from,
                                           std::size_t count);
    void AppendSteps(const store::TSteps& run, std::size_t from, std::size_t count) noexcept;
    // An insertion of value at index, made aside and then put in place.
    struct TInsertion {
        store::TValueStore Rest;
        std::size_t FirstBlock;
    };
    [[nodiscard]] TInsertion PrepareInsert(std::size_t index, double value);
    void CommitInsert(TInsertion&& insertion, std::size_t index, double value) noexcept;
    // Empties the list and gives its storage back.
    void Clear() noexcept;

private:
    // Room in the capacity for one more entry, at least.
    void GrowCapacity();
    // Extremes as the statistics rule finds them, from the store's summaries.
    [[nodiscard]] store::TExtremes StoredExtremes() const noexcept;

    store::TValueStore store_;
    std::size_t capacity_ = 0;
    bool ascending_ = true;
    double multiplier_ = 1.0;
    mutable TValueStatistics statistics_;
    mutable bool statisticsStale_ = true;
};

// A series' point store, drawn as an item of a plot: it tells its owner (the chart that
// takes it) when what it shows changes.
class TChartSeries : public chart::TPlotItem {
public:
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
    int AddPoint(double x, double y, const std::string& label = {}, TColor colour = clDefault);
    // The points (firstX + i stepX, ys[i]) in order, each stored as AddPoint stores it with
    // no label and this colour, with one repaint request for them all. On failure the points
    // before the one that failed stay stored. X values in equal steps (a frame counter) cost
    // next to nothing to store.
    void AddPoints(double firstX, double stepX, std::span<const double> ys, TColor colour);
    void Clear();

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

    // Bytes held by the point storage (allocated, not only used).
    [[nodiscard]] std::size_t StorageBytes() const noexcept;

    // As an item: the extremes of the X or Y values, by the statistics rule.
    [[nodiscard]] std::optional<chart::TExtent> Extent(bool horizontal) const override;
    [[nodiscard]] bool DateTime(bool horizontal) const override;
    [[nodiscard]] std::vector<chart::TPointLabel> PointLabels(bool horizontal) const override;
    [[nodiscard]] bool FirstPointLabelled() const override;

private:
    // Whether x goes at the end by the ordered insertion rule, after `last`.
    [[nodiscard]] bool Appends(double x, double last) const noexcept;
    // Whether every point of xs[0] to xs[count - 1] goes at the end.
    [[nodiscard]] bool AllAppend(const store::TSteps& xs, std::size_t count) const noexcept;
    // AddPoint without the repaint request.
    int Add(double x, double y, const std::string& label, TColor colour);
    void InsertColor(std::size_t index, TColor colour) noexcept;     // room for two more runs
    void InsertLabel(std::size_t index, std::string label) noexcept; // room for one more

    std::vector<TColorRun> colorRuns_;
    std::vector<std::pair<std::size_t, std::string>> labels_; // sorted by point index
};

// Points joined by lines, in the colours of the points the segments end at.
class TLineSeries : public TChartSeries {
public:
    std::string ValueFormat = "#,##0.###";
    std::string PercentFormat = "##0.## %";
    bool ShowInLegend = true;
    TChartPen LinePen;
    bool PointerVisible = false;
    bool Stairs = false;
    bool InvertedStairs = false;

    // Stairs keep their line's width clear of the axes' ends.
    [[nodiscard]] int AxisMargin() const override { return Stairs ? LinePen.Width : 0; }
    void Draw(chart::TRaster& raster, const chart::TItemView& view) override;
    [[nodiscard]] bool Hit(const chart::TItemView& view, int x, int y) const override;
};
