#include "widgets/chart/ChartSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace chart {

std::size_t GrownCapacity(std::size_t capacity) {
    std::size_t delta = capacity > 64 ? capacity / 4 : capacity > 8 ? 16 : 4;
    std::size_t grown = capacity + delta;
    if (grown > MaxListSize)
        throw EListError("List capacity out of bounds (" + std::to_string(grown) + ")");
    return grown;
}

} // namespace chart

namespace {

[[noreturn]] void IndexOutOfBounds(std::size_t index) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

// The statistics of a list's first value, and of one more value: a value below the minimum
// lowers it, else one above the maximum raises it.
TValueStatistics FirstValue(double v) noexcept {
    return {v, v, v, std::fabs(v)};
}

void Accumulate(TValueStatistics& s, double v) noexcept {
    if (v < s.Minimum)
        s.Minimum = v;
    else if (v > s.Maximum)
        s.Maximum = v;
    s.Total += v;
    s.TotalABS += std::fabs(v);
}

// Colours for clDefault points of a series that colours each point by its index.
constexpr TColor Palette[] = {0x0000FF, 0x00FF00, 0xFFFF00, 0xFF0000, 0xFFFFFF,
                              0x808080, 0xFF00FF, 0x008080, 0x800000, 0x008000,
                              0x000080, 0x808000, 0x800080, 0x000000, 0x00FFFF};

[[noreturn]] void OutOfMemory() {
    throw EOutOfMemory();
}

} // namespace

void TChartValueList::SetMultiplier(double multiplier) noexcept {
    if (multiplier == multiplier_)
        return;
    multiplier_ = multiplier;
    statisticsStale_ = true;
}

double TChartValueList::Value(std::size_t index) const {
    if (index >= Count())
        IndexOutOfBounds(index);
    return (*this)[index];
}

void TChartValueList::SetValue(std::size_t index, double value) {
    if (index >= Count())
        IndexOutOfBounds(index);
    try {
        store_.Set(index, value);
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    }
    statisticsStale_ = true;
    if ((index > 0 && !(value >= store_[index - 1])) ||
        (index + 1 < Count() && !(store_[index + 1] >= value)) || value != value)
        ascending_ = false;
}

const TValueStatistics& TChartValueList::Statistics() const {
    if (!statisticsStale_)
        return statistics_;
    TValueStatistics s;
    const std::size_t n = Count();
    double buffer[256];
    for (std::size_t i = 0; i < n; i += std::size(buffer)) {
        const std::size_t m = std::min(std::size(buffer), n - i);
        store_.Copy(i, {buffer, m});
        for (std::size_t j = 0; j < m; ++j) {
            const double v = buffer[j] * multiplier_;
            if (i + j == 0)
                s = FirstValue(v);
            else
                Accumulate(s, v);
        }
    }
    statistics_ = s;
    statisticsStale_ = false;
    return statistics_;
}

store::TExtremes TChartValueList::StoredExtremes() const noexcept {
    // The rule lowers the minimum for a value below it and raises the maximum for one
    // above: the first of the least values and of the greatest, NaNs aside, unless the very
    // first value is a NaN, which then stays both.
    const double first = store_[0];
    if (first != first)
        return {first, first, true};
    return store_.Extremes(0, Count());
}

double TChartValueList::MinValue() const {
    // Over the stored values themselves the summaries give what the full pass would.
    if (multiplier_ != 1.0 || Count() == 0)
        return Statistics().Minimum;
    return StoredExtremes().Min;
}

double TChartValueList::MaxValue() const {
    if (multiplier_ != 1.0 || Count() == 0)
        return Statistics().Maximum;
    return StoredExtremes().Max;
}

std::size_t TChartValueList::InsertionIndex(double value) const noexcept {
    const std::size_t n = Count();
    if (Order == TChartListOrder::loNone || n == 0)
        return n;
    std::size_t i = n;
    if (Order == TChartListOrder::loAscending) {
        while (i > 0 && store_[i - 1] > value)
            --i;
    } else {
        while (i > 0 && store_[i - 1] < value)
            --i;
    }
    return i;
}

void TChartValueList::GrowCapacity() {
    if (capacity_ == Count())
        capacity_ = chart::GrownCapacity(capacity_);
}

std::size_t TChartValueList::Prepare(std::span<const double> values) {
    GrowCapacity();
    try {
        return std::min(capacity_ - Count(), store_.Prepare(values));
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    }
}

std::size_t TChartValueList::PrepareSteps(const store::TSteps& run, std::size_t from,
                                          std::size_t count) {
    GrowCapacity();
    try {
        return std::min(capacity_ - Count(), store_.PrepareSteps(run, from, count));
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    }
}

void TChartValueList::AppendSteps(const store::TSteps& run, std::size_t from,
                                  std::size_t count) noexcept {
    if (count == 0)
        return;
    // Equal steps of finite values never go down when the step does not.
    const double first = run[from];
    if (!(store_.empty() ? first == first : first >= store_.back()) ||
        (count > 1 && !(run.Step >= 0 && std::isfinite(run.First) && std::isfinite(run.Step))))
        ascending_ = false;
    store_.AppendSteps(run, from, count);
    statisticsStale_ = true;
}

void TChartValueList::Append(std::span<const double> values) noexcept {
    if (values.empty())
        return;
    if (ascending_) {
        double previous = store_.empty() ? values[0] : store_.back();
        for (const double v : values) {
            if (!(v >= previous))
                ascending_ = false;
            previous = v;
        }
    }
    store_.Append(values);
    statisticsStale_ = true;
}

TChartValueList::TInsertion TChartValueList::PrepareInsert(std::size_t index, double value) {
    GrowCapacity();
    try {
        TInsertion insertion{{}, 0};
        insertion.Rest = store_.PrepareInsert(index, value, insertion.FirstBlock);
        return insertion;
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    }
}

void TChartValueList::CommitInsert(TInsertion&& insertion, std::size_t index,
                                   double value) noexcept {
    const std::size_t n = Count();
    if ((index > 0 && !(value >= store_[index - 1])) || (index < n && !(store_[index] >= value)) ||
        value != value)
        ascending_ = false;
    store_.CommitInsert(std::move(insertion.Rest), insertion.FirstBlock);
    statisticsStale_ = true;
}

void TChartValueList::Clear() noexcept {
    store_.Release();
    capacity_ = 0;
    ascending_ = true;
    statisticsStale_ = true;
}

bool TChartSeries::Appends(double x, double last) const noexcept {
    switch (XValues.Order) {
    case TChartListOrder::loNone:
        return true;
    case TChartListOrder::loAscending:
        return x >= last;
    case TChartListOrder::loDescending:
        return x <= last;
    }
    return true;
}

int TChartSeries::AddPoint(double x, double y, const std::string& label, TColor colour) {
    const int index = Add(x, y, label, colour);
    if (index >= 0 && Active())
        Notify(chart::TChange::Points);
    return index;
}

int TChartSeries::Add(double x, double y, const std::string& label, TColor colour) {
    if (OnBeforeAdd && !OnBeforeAdd(*this))
        return -1;

    // Everything that can fail comes first, so that a failure leaves all sequences as
    // they were.
    const std::size_t count = XValues.Count();
    const double xs[] = {x}, ys[] = {y};
    std::string stored = label;
    if (!stored.empty())
        chart::Reserve(labels_, 1);
    if (colorRuns_.size() + 2 > colorRuns_.capacity())
        chart::Reserve(colorRuns_, 2); // an insertion inside a run splits it

    std::size_t index = count;
    if (count == 0 || Appends(x, XValues.Stored().back())) {
        // The program's X is a frame counter: every add lands here.
        (void)XValues.Prepare(xs);
        (void)YValues.Prepare(ys);
        XValues.Append(xs);
        YValues.Append(ys);
        if (colorRuns_.empty() || colorRuns_.back().Color != colour)
            colorRuns_.push_back({index, colour});
        if (!stored.empty())
            labels_.emplace_back(index, std::move(stored));
    } else {
        index = XValues.InsertionIndex(x);
        TChartValueList::TInsertion xInsertion = XValues.PrepareInsert(index, x);
        TChartValueList::TInsertion yInsertion = YValues.PrepareInsert(index, y);
        XValues.CommitInsert(std::move(xInsertion), index, x);
        YValues.CommitInsert(std::move(yInsertion), index, y);
        InsertColor(index, colour);
        InsertLabel(index, std::move(stored));
    }

    if (OnAfterAdd)
        OnAfterAdd(*this, static_cast<int>(index));
    return static_cast<int>(index);
}

bool TChartSeries::AllAppend(const store::TSteps& xs, std::size_t count) const noexcept {
    if (count == 0 || (Count() > 0 && !Appends(xs[0], XValues.Stored().back())))
        return count == 0;
    // Equal steps of finite values follow the step's sign.
    const bool finite = std::isfinite(xs.First) && std::isfinite(xs.Step);
    switch (XValues.Order) {
    case TChartListOrder::loNone:
        return true;
    case TChartListOrder::loAscending:
        return count == 1 || (finite && xs.Step >= 0);
    case TChartListOrder::loDescending:
        return count == 1 || (finite && xs.Step <= 0);
    }
    return true;
}

void TChartSeries::AddPoints(double firstX, double stepX, std::span<const double> ys,
                             TColor colour) {
    const store::TSteps xs{firstX, stepX};
    const std::size_t n = ys.size();
    const bool appends = !OnBeforeAdd && !OnAfterAdd && AllAppend(xs, n);
    std::size_t done = 0;
    try {
        if (appends) {
            // A replay's or a live block's points: appended list by list, a tail's worth
            // at a time.
            while (done < n) {
                std::size_t fit = XValues.PrepareSteps(xs, done, n - done);
                fit = YValues.Prepare(ys.subspan(done, fit));
                if (colorRuns_.empty() || colorRuns_.back().Color != colour) {
                    chart::Reserve(colorRuns_, 1);
                    colorRuns_.push_back({Count(), colour});
                }
                XValues.AppendSteps(xs, done, fit);
                YValues.Append(ys.subspan(done, fit));
                done += fit;
            }
        } else {
            for (; done < n; ++done)
                (void)Add(xs[done], ys[done], {}, colour);
        }
    } catch (...) {
        if (done > 0 && Active())
            Notify(chart::TChange::Points);
        throw;
    }
    if (n > 0 && Active())
        Notify(chart::TChange::Points);
}

void TChartSeries::InsertColor(std::size_t index, TColor colour) noexcept {
    // Split the run that holds index so that a run starts there, shift everything from
    // index on by one, put the new point's own run in front, then merge equal neighbours.
    auto at = std::upper_bound(colorRuns_.begin(), colorRuns_.end(), index,
                               [](std::size_t i, const TColorRun& r) { return i < r.First; });
    auto holder = at - 1; // runs start at 0, so index lies in some run
    if (holder->First != index)
        at = colorRuns_.insert(at, {index, holder->Color});
    else
        at = holder;
    for (auto it = at; it != colorRuns_.end(); ++it)
        ++it->First;
    at = colorRuns_.insert(at, {index, colour});
    if (at + 1 != colorRuns_.end() && (at + 1)->Color == colour)
        colorRuns_.erase(at + 1);
    if (at != colorRuns_.begin() && (at - 1)->Color == colour)
        colorRuns_.erase(at);
}

void TChartSeries::InsertLabel(std::size_t index, std::string label) noexcept {
    auto at = std::lower_bound(labels_.begin(), labels_.end(), index,
                               [](const auto& entry, std::size_t i) { return entry.first < i; });
    for (auto it = at; it != labels_.end(); ++it)
        ++it->first;
    if (!label.empty())
        labels_.insert(at, {index, std::move(label)});
}

void TChartSeries::Clear() {
    XValues.Clear();
    YValues.Clear();
    chart::Release(colorRuns_);
    chart::Release(labels_);
    if (OnClearValues)
        OnClearValues(*this);
    if (Active())
        Notify(chart::TChange::Content);
}

TColor TChartSeries::ResolveColor(TColor stored, std::size_t index) const noexcept {
    if (stored != clDefault)
        return stored;
    if (ColorEachPoint)
        return Palette[index % std::size(Palette)];
    return SeriesColor;
}

TColor TChartSeries::ValueColor(std::size_t index) const {
    if (index >= Count())
        return SeriesColor;
    auto run = std::upper_bound(colorRuns_.begin(), colorRuns_.end(), index,
                                [](std::size_t i, const TColorRun& r) { return i < r.First; });
    return ResolveColor((run - 1)->Color, index);
}

std::string TChartSeries::Label(std::size_t index) const {
    if (index >= Count())
        IndexOutOfBounds(index);
    auto at = std::lower_bound(labels_.begin(), labels_.end(), index,
                               [](const auto& entry, std::size_t i) { return entry.first < i; });
    return at != labels_.end() && at->first == index ? at->second : std::string();
}

std::optional<chart::TExtent> TChartSeries::Extent(bool horizontal) const {
    if (Count() == 0)
        return std::nullopt;
    const TChartValueList& values = horizontal ? XValues : YValues;
    return chart::TExtent{values.MinValue(), values.MaxValue()};
}

bool TChartSeries::DateTime(bool horizontal) const {
    return (horizontal ? XValues : YValues).DateTime;
}

std::vector<chart::TPointLabel> TChartSeries::PointLabels(bool horizontal) const {
    std::vector<chart::TPointLabel> labels;
    labels.reserve(labels_.size());
    for (const auto& [index, text] : labels_)
        labels.push_back({horizontal ? XValues[index] : YValues[index], text});
    return labels;
}

bool TChartSeries::FirstPointLabelled() const {
    return !labels_.empty() && labels_.front().first == 0;
}

std::size_t TChartSeries::StorageBytes() const noexcept {
    std::size_t bytes = XValues.Stored().Bytes() + YValues.Stored().Bytes() +
                        colorRuns_.capacity() * sizeof(TColorRun) +
                        labels_.capacity() * sizeof(labels_[0]);
    for (const auto& entry : labels_)
        bytes += entry.second.capacity();
    return bytes;
}
