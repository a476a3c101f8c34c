#include "analysis/BinnedTable.h"

#include "telemetry/DecodedFrame.h"

#include <array>
#include <cmath>
#include <stdexcept>

namespace analysis {

namespace {

constexpr std::array<std::string_view, 5> StatisticNames = {"mean", "min", "max", "std", "count"};

// An edge this close below To starts no bin of its own.
double EdgeSlack(const TSpeedBins& bins) noexcept {
    return bins.Step * 1e-9;
}

int CheckedRows(const TTableLayout& layout) {
    layout.Speed.Check();
    layout.Map.Check();
    CheckFilter(layout.Filter);
    return layout.Speed.Count();
}

const TExpectedAdvance* ExpectedFor(const TTableLayout& layout, const TExpectedAdvance* expected) {
    if (layout.Quantity == TQuantity::Deviation && expected == nullptr)
        throw std::invalid_argument("the deviation needs expected curves");
    return expected;
}

void AppendEdges(std::string& line, const TBinnedTable& table, int row, int column) {
    const TTableLayout& layout = table.Layout();
    line += telemetry::NumberText(layout.Speed.Lower(row)) + ',' +
            telemetry::NumberText(layout.Speed.Upper(row)) + ',' +
            std::to_string(layout.Map.Lower(column)) + ',' +
            std::to_string(layout.Map.Upper(column)) + ',';
}

} // namespace

void TSpeedBins::Check() const {
    if (!std::isfinite(From) || !std::isfinite(To) || !std::isfinite(Step) || From < 0 ||
        To <= From || Step <= 0)
        throw std::invalid_argument("speed bins need 0 <= FROM < TO and STEP > 0");
    if ((To - From) / Step > MostBins)
        throw std::invalid_argument("speed bins are at most " + std::to_string(MostBins));
}

int TSpeedBins::Count() const noexcept {
    if (!(From >= 0 && Step > 0 && To > From && std::isfinite(To - From) &&
          (To - From) / Step <= MostBins))
        return 0;
    const double last = To - EdgeSlack(*this);
    int n = std::max(1, static_cast<int>(std::ceil((To - From) / Step)));
    while (n > 1 && Lower(n - 1) >= last)
        --n;
    while (Lower(n) < last)
        ++n;
    return n;
}

std::optional<int> TSpeedBins::BinOf(double rpm) const noexcept {
    if (!(rpm >= From && rpm <= To))
        return std::nullopt;
    const int n = Count();
    if (n == 0)
        return std::nullopt;
    int k = std::clamp(static_cast<int>(std::floor((rpm - From) / Step)), 0, n - 1);
    while (k > 0 && rpm < Lower(k))
        --k;
    while (k + 1 < n && rpm >= Lower(k + 1))
        ++k;
    return k;
}

void TMapBins::Check() const {
    if (Count < 1 || Count > 256)
        throw std::invalid_argument("MAP bins are 1 to 256");
}

int TMapBins::BinOf(std::uint8_t map) const noexcept {
    int j = map * Count / 256;
    while (map >= Upper(j))
        ++j;
    return j;
}

std::string_view StatisticName(TStatistic s) noexcept {
    return StatisticNames[static_cast<std::size_t>(s)];
}

std::optional<TStatistic> StatisticNamed(std::string_view name) noexcept {
    for (std::size_t i = 0; i < StatisticNames.size(); ++i)
        if (StatisticNames[i] == name)
            return static_cast<TStatistic>(i);
    return std::nullopt;
}

TBinnedTable::TBinnedTable(const TTableLayout& layout, const TExpectedAdvance* expected)
    : layout_(layout), rows_(CheckedRows(layout)),
      value_(layout.Quantity, ExpectedFor(layout, expected)),
      cells_(static_cast<std::size_t>(rows_ * layout.Map.Count)) {
    index_.Reset(static_cast<std::uint32_t>(cells_.size()));
    index_.Filter(layout.Filter);
    if (layout.Quantity == TQuantity::Deviation)
        index_.KeepCurves(expected->Curves());
    // The period 0 has no speed, and so no bin.
    const TSpeedBins& speed = layout.Speed;
    index_.Add(TQuantity::Speed, static_cast<std::uint32_t>(layout.Map.Count),
               [&](double rpm) -> std::int64_t { return speed.BinOf(rpm).value_or(-1); });
    const TMapBins& map = layout.Map;
    index_.Add(TQuantity::Map, 1,
               [&](double code) { return map.BinOf(static_cast<std::uint8_t>(code)); });
}

// Frames that follow each other mostly stay in one cell: its moments are kept in registers,
// as scalars of a run's own, until a frame goes to another cell, so that a frame waits on no
// store of the one before it.
void TBinnedTable::Extend(const telemetry::TFrameTable& table, std::int64_t end) {
    end = std::min(end, table.Rows());
    if (end <= counted_)
        return;
    value_.Dispatch([&](auto valueOf) {
        table.ForEachRun(counted_, end, [&](const telemetry::TFrameRun& whole) {
            const TFrameRange frames = layout_.Filter.Frames.Within(
                {whole.First, whole.First + static_cast<std::int64_t>(whole.Count)});
            if (frames.Empty())
                return;
            const telemetry::TFrameRun run{
                frames.First, static_cast<std::size_t>(frames.End - frames.First),
                whole.Rows + static_cast<std::size_t>(frames.First - whole.First) *
                                 telemetry::TFrameRun::RowSize};
            std::uint32_t cell = 0;
            kernel::TMoments in = cells_[cell];
            std::uint64_t count = in.Count;
            double first = in.First, sum = in.Sum, squares = in.SumOfSquares;
            double least = in.Minimum, most = in.Maximum;
            const auto put = [&] { cells_[cell] = {count, first, sum, squares, least, most}; };
            kernel::ForEachCellOfRun(
                run, index_, [&](std::uint32_t c, const telemetry::TFrameRun& r, std::size_t i) {
                    if (c != cell) {
                        put();
                        cell = c;
                        in = cells_[cell];
                        count = in.Count;
                        first = in.First;
                        sum = in.Sum;
                        squares = in.SumOfSquares;
                        least = in.Minimum;
                        most = in.Maximum;
                    }
                    const double v = valueOf(r, i);
                    if (count++ == 0)
                        first = v;
                    const double d = v - first;
                    sum += d;
                    squares += d * d;
                    least = v < least ? v : least;
                    most = v > most ? v : most;
                });
            put();
        });
    });
    counted_ = end;
}

std::optional<double> TBinnedTable::Value(int row, int column, TStatistic s) const noexcept {
    const kernel::TMoments& cell = cells_[Cell(row, column)];
    if (cell.Count == 0)
        return std::nullopt;
    switch (s) {
    case TStatistic::Mean:
        return value_.Value(cell.Mean());
    case TStatistic::Minimum:
        return value_.Value(cell.Minimum);
    case TStatistic::Maximum:
        return value_.Value(cell.Maximum);
    case TStatistic::StandardDeviation:
        return value_.Spread(cell.StandardDeviation());
    case TStatistic::Count:
        break;
    }
    return static_cast<double>(cell.Count);
}

std::optional<double> Difference(const TBinnedTable& a, const TBinnedTable& b, int row, int column,
                                 TStatistic s) {
    if (a.Layout().Speed != b.Layout().Speed || a.Layout().Map != b.Layout().Map ||
        a.Layout().Quantity != b.Layout().Quantity)
        throw std::invalid_argument("A minus B needs the same bins and quantity in both");
    const auto valueA = a.Value(row, column, s);
    const auto valueB = b.Value(row, column, s);
    if (!valueA || !valueB)
        return std::nullopt;
    return *valueA - *valueB;
}

std::string TableCsv(const TBinnedTable& table, TStatistic s) {
    std::string text = "speed_from,speed_to,map_from,map_to,frames,value\n";
    for (int row = 0; row < table.Rows(); ++row)
        for (int column = 0; column < table.Columns(); ++column) {
            const auto value = table.Value(row, column, s);
            if (!value)
                continue;
            AppendEdges(text, table, row, column);
            text += std::to_string(table.Frames(row, column)) + ',' +
                    telemetry::NumberText(*value) + '\n';
        }
    return text;
}

std::string DifferenceCsv(const TBinnedTable& a, const TBinnedTable& b, TStatistic s) {
    std::string text = "speed_from,speed_to,map_from,map_to,frames_a,frames_b,value\n";
    for (int row = 0; row < a.Rows(); ++row)
        for (int column = 0; column < a.Columns(); ++column) {
            const auto value = Difference(a, b, row, column, s);
            if (!value)
                continue;
            AppendEdges(text, a, row, column);
            text += std::to_string(a.Frames(row, column)) + ',' +
                    std::to_string(b.Frames(row, column)) + ',' + telemetry::NumberText(*value) +
                    '\n';
        }
    return text;
}

} // namespace analysis
