#include "ChartSeries.h"

#include "Chart.h"

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

} // namespace

void TChartValueList::SetMultiplier(double multiplier) noexcept {
    if (multiplier == multiplier_)
        return;
    multiplier_ = multiplier;
    statisticsStale_ = true;
    Invalidate(0);
}

double TChartValueList::Value(std::size_t index) const {
    if (index >= values_.size())
        IndexOutOfBounds(index);
    return (*this)[index];
}

void TChartValueList::SetValue(std::size_t index, double value) {
    if (index >= values_.size())
        IndexOutOfBounds(index);
    values_[index] = value;
    statisticsStale_ = true;
    if ((index > 0 && values_[index - 1] > value) ||
        (index + 1 < values_.size() && value > values_[index + 1]))
        ascending_ = false;
    Invalidate(index);
}

const TValueStatistics& TChartValueList::Statistics() const {
    if (!statisticsStale_)
        return statistics_;
    TValueStatistics s;
    if (!values_.empty()) {
        s = FirstValue(values_[0] * multiplier_);
        for (std::size_t i = 1; i < values_.size(); ++i)
            Accumulate(s, values_[i] * multiplier_);
    }
    statistics_ = s;
    statisticsStale_ = false;
    return statistics_;
}

std::size_t TChartValueList::InsertionIndex(double value) const noexcept {
    const std::size_t n = values_.size();
    if (Order == TChartListOrder::loNone || n == 0)
        return n;
    std::size_t i = n;
    if (Order == TChartListOrder::loAscending) {
        while (i > 0 && values_[i - 1] > value)
            --i;
    } else {
        while (i > 0 && values_[i - 1] < value)
            --i;
    }
    return i;
}

void TChartValueList::InsertAt(std::size_t index, double value) noexcept {
    const std::size_t n = values_.size();
    if ((index > 0 && values_[index - 1] > value) || (index < n && value > values_[index]))
        ascending_ = false;
    if (index == n)
        ExtendStatistics(value);
    else
        statisticsStale_ = true;
    values_.insert(index, value);
    Invalidate(index);
}

void TChartValueList::ExtendStatistics(double value) noexcept {
    if (statisticsStale_)
        return;
    // An append extends the current statistics in the order a full pass would.
    const double v = value * multiplier_;
    if (values_.empty())
        statistics_ = FirstValue(v);
    else
        Accumulate(statistics_, v);
}

void TChartValueList::Invalidate(std::size_t from) noexcept {
    if (blocks_.size() > from / BlockSize)
        blocks_.resize(from / BlockSize);
}

const std::vector<TChartValueList::TBlockRange>& TChartValueList::BlockRanges() const {
    const std::size_t complete = values_.size() / BlockSize;
    if (blocks_.size() < complete) {
        std::vector<TBlockRange>& blocks = blocks_;
        auto grow = [&blocks](std::size_t more) { chart::Reserve(blocks, more); };
        grow(complete - blocks.size());
        while (blocks.size() < complete) {
            const double* v = values_.data() + blocks.size() * BlockSize;
            TBlockRange r{v[0], v[0]};
            bool nan = false;
            for (std::size_t i = 0; i < BlockSize; ++i) {
                r.Min = std::min(r.Min, v[i]);
                r.Max = std::max(r.Max, v[i]);
                nan |= std::isnan(v[i]);
            }
            if (nan)
                r.Min = std::numeric_limits<double>::quiet_NaN();
            blocks.push_back(r);
        }
    }
    return blocks_;
}

void TChartValueList::Clear() noexcept {
    values_.Release();
    chart::Release(blocks_);
    ascending_ = true;
    statisticsStale_ = true;
}

int TChartSeries::AddPointSlowly(double x, double y, const std::string& label, TColor colour) {
    if (OnBeforeAdd && !OnBeforeAdd(*this))
        return -1;

    // Room first in every sequence, so that a failure leaves all of them as they were.
    XValues.ReserveOneMore();
    YValues.ReserveOneMore();
    if (colorRuns_.size() + 2 > colorRuns_.capacity())
        chart::Reserve(colorRuns_, 2); // an insertion inside a run splits it
    if (!label.empty())
        chart::Reserve(labels_, 1);

    const std::size_t count = XValues.Count();
    std::size_t index;
    const TChartListOrder order = XValues.Order;
    const bool appends = count == 0 || order == TChartListOrder::loNone ||
                         (order == TChartListOrder::loAscending ? x >= XValues.values_.back()
                                                                : x <= XValues.values_.back());
    if (appends) {
        // The program's X is a frame counter: every add lands here.
        index = count;
        XValues.Append(x);
        YValues.Append(y);
        if (colorRuns_.empty() || colorRuns_.back().Color != colour)
            colorRuns_.push_back({index, colour});
        if (!label.empty())
            labels_.emplace_back(index, label);
    } else {
        index = XValues.InsertionIndex(x);
        XValues.InsertAt(index, x);
        YValues.InsertAt(index, y);
        InsertColor(index, colour);
        InsertLabel(index, label);
    }

    if (OnAfterAdd)
        OnAfterAdd(*this, static_cast<int>(index));
    if (active_)
        Repaint();
    return static_cast<int>(index);
}

void TChartSeries::InsertColor(std::size_t index, TColor colour) {
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

void TChartSeries::InsertLabel(std::size_t index, const std::string& label) {
    auto at = std::lower_bound(labels_.begin(), labels_.end(), index,
                               [](const auto& entry, std::size_t i) { return entry.first < i; });
    for (auto it = at; it != labels_.end(); ++it)
        ++it->first;
    if (!label.empty())
        labels_.insert(at, {index, label});
}

void TChartSeries::Clear() {
    XValues.Clear();
    YValues.Clear();
    chart::Release(colorRuns_);
    chart::Release(labels_);
    if (OnClearValues)
        OnClearValues(*this);
    if (active_)
        Repaint();
}

void TChartSeries::SetActive(bool active) {
    if (active == active_)
        return;
    active_ = active;
    Repaint();
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

std::size_t TChartSeries::StorageBytes() const noexcept {
    std::size_t bytes = XValues.values_.bytes() + YValues.values_.bytes() +
                        (XValues.blocks_.capacity() + YValues.blocks_.capacity()) *
                            sizeof(TChartValueList::TBlockRange) +
                        colorRuns_.capacity() * sizeof(TColorRun) +
                        labels_.capacity() * sizeof(labels_[0]);
    for (const auto& entry : labels_)
        bytes += entry.second.capacity();
    return bytes;
}

void TChartSeries::Repaint() const {
    if (parentChart_)
        parentChart_->RequestRepaint();
}
