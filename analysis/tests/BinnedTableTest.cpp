#include "analysis/BinnedTable.h"
#include "analysis/tests/TestFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace analysis {
namespace {

using telemetry::TFrameFields;

// Periods whose engine speed is a whole multiple of 250 об/мин: 27648000 / p exactly.
constexpr std::uint16_t Rpm500 = 55296, Rpm750 = 36864, Rpm6000 = 4608, Rpm6750 = 4096;

// The cell of a frame found by walking the edges one by one, as the README states them.
std::optional<std::pair<int, int>> PlainCell(double rpm, std::uint8_t map, const TTableLayout& s) {
    const int n = s.Speed.Count();
    std::optional<int> row;
    for (int k = 0; k < n && !row; ++k) {
        const double lower = s.Speed.From + k * s.Speed.Step;
        const double upper = k + 1 < n ? s.Speed.From + (k + 1) * s.Speed.Step : s.Speed.To;
        if (rpm >= lower && (rpm < upper || (k == n - 1 && rpm == upper)))
            row = k;
    }
    if (!row)
        return std::nullopt;
    for (int j = 0; j < s.Map.Count; ++j)
        if (map >= 256 * j / s.Map.Count && map < 256 * (j + 1) / s.Map.Count)
            return std::pair{*row, j};
    return std::nullopt;
}

struct TPlainCell {
    std::vector<double> Values;
    [[nodiscard]] double Statistic(TStatistic s) const {
        const double n = static_cast<double>(Values.size());
        double mean = 0;
        for (const double v : Values)
            mean += v / n;
        double squares = 0;
        for (const double v : Values)
            squares += (v - mean) * (v - mean) / n;
        switch (s) {
        case TStatistic::Mean:
            return mean;
        case TStatistic::Minimum:
            return *std::min_element(Values.begin(), Values.end());
        case TStatistic::Maximum:
            return *std::max_element(Values.begin(), Values.end());
        case TStatistic::StandardDeviation:
            return std::sqrt(squares);
        case TStatistic::Count:
            break;
        }
        return n;
    }
};

std::map<std::pair<int, int>, TPlainCell> PlainTable(const telemetry::TFrameTable& table,
                                                     const TTableLayout& layout,
                                                     const TExpectedCurves* curves = nullptr) {
    std::map<std::pair<int, int>, TPlainCell> cells;
    for (const telemetry::TDecodedFrame& f : test::AllFrames(table)) {
        if (f.Period == 0 || !test::PlainPasses(f, layout.Filter))
            continue;
        const auto cell = PlainCell(27648000.0 / f.Period, f.Map, layout);
        const auto value = test::PlainValue(f, layout.Quantity, curves);
        if (cell && value)
            cells[*cell].Values.push_back(*value);
    }
    return cells;
}

void ExpectSameAsPlain(const TBinnedTable& table, const telemetry::TFrameTable& frames,
                       const TExpectedCurves* curves = nullptr) {
    const auto plain = PlainTable(frames, table.Layout(), curves);
    std::int64_t cellsSeen = 0;
    for (int row = 0; row < table.Rows(); ++row)
        for (int column = 0; column < table.Columns(); ++column) {
            SCOPED_TRACE(testing::Message() << "cell " << row << ',' << column);
            const auto p = plain.find({row, column});
            if (p == plain.end()) {
                EXPECT_EQ(table.Frames(row, column), 0);
                EXPECT_EQ(table.Value(row, column, TStatistic::Mean), std::nullopt);
                continue;
            }
            ++cellsSeen;
            ASSERT_EQ(table.Frames(row, column),
                      static_cast<std::int64_t>(p->second.Values.size()));
            for (const TStatistic s : {TStatistic::Mean, TStatistic::Minimum, TStatistic::Maximum,
                                       TStatistic::StandardDeviation, TStatistic::Count}) {
                const double expected = p->second.Statistic(s);
                EXPECT_NEAR(*table.Value(row, column, s), expected,
                            1e-9 * std::max(1.0, std::fabs(expected)))
                    << StatisticName(s);
            }
        }
    EXPECT_EQ(cellsSeen, static_cast<std::int64_t>(plain.size()));
}

TEST(SpeedBins, EdgesAreFromPlusKStepsAndTheLastEndsAtTo) {
    struct TCase {
        const char* rule;
        TSpeedBins bins;
        int count;
        double lastLower;
    };
    for (const TCase& c : {
             TCase{"the default: 28 bins of 250", {}, 28, 6750},
             {"a step that does not divide: a narrower last bin", {0, 7000, 300}, 24, 6900},
             {"an edge a rounding below To starts no bin", {0, 0.3, 0.1}, 3, 0.2},
             {"an edge a rounding above To", {0, 0.7, 0.1}, 7, 0.6000000000000001},
             {"one bin", {1000, 1500, 5000}, 1, 1000},
         }) {
        SCOPED_TRACE(c.rule);
        ASSERT_EQ(c.bins.Count(), c.count);
        EXPECT_EQ(c.bins.Lower(c.count - 1), c.lastLower);
        EXPECT_EQ(c.bins.Upper(c.count - 1), c.bins.To);
    }
}

TEST(SpeedBins, AnEdgeBelongsToTheBinAboveAndToItselfToTheLast) {
    const TSpeedBins bins{500, 6000, 250};
    EXPECT_EQ(bins.BinOf(500), 0);
    EXPECT_EQ(bins.BinOf(749.9999999999999), 0);
    EXPECT_EQ(bins.BinOf(750), 1);
    EXPECT_EQ(bins.BinOf(5999.999), 21);
    EXPECT_EQ(bins.BinOf(6000), 21);
    EXPECT_EQ(bins.BinOf(6000.000000000001), std::nullopt);
    EXPECT_EQ(bins.BinOf(499.99999999999994), std::nullopt);
    // Edges that From + k * Step does not hit exactly are still compared as computed.
    const TSpeedBins thirds{0, 1, 0.1};
    for (int k = 1; k < thirds.Count(); ++k) {
        EXPECT_EQ(thirds.BinOf(thirds.Lower(k)), k);
        EXPECT_EQ(thirds.BinOf(std::nextafter(thirds.Lower(k), 0)), k - 1);
    }
}

TEST(SpeedBins, RulesBrokenAreRefused) {
    for (const TSpeedBins& bad :
         {TSpeedBins{-1, 7000, 250}, TSpeedBins{7000, 7000, 250}, TSpeedBins{0, 7000, 0},
          TSpeedBins{0, 7000, -250}, TSpeedBins{0, NAN, 250}, TSpeedBins{0, 7000, 0.5}}) {
        EXPECT_THROW(bad.Check(), std::invalid_argument);
        EXPECT_EQ(bad.Count(), 0);
    }
}

TEST(MapBins, WholeCodesInNearlyEqualBins) {
    EXPECT_EQ(TMapBins{}.BinOf(15), 0);
    EXPECT_EQ(TMapBins{}.BinOf(16), 1);
    EXPECT_EQ(TMapBins{}.BinOf(255), 15);
    EXPECT_EQ(TMapBins{}.Upper(15), 256);
    const TMapBins three{3};
    EXPECT_EQ(three.Lower(1), 85);
    EXPECT_EQ(three.Lower(2), 170);
    for (int code = 0; code < 256; ++code) {
        const int bin = three.BinOf(static_cast<std::uint8_t>(code));
        EXPECT_TRUE(code >= three.Lower(bin) && code < three.Upper(bin)) << code;
    }
    EXPECT_EQ(TMapBins{256}.BinOf(200), 200);
    EXPECT_THROW(TMapBins{0}.Check(), std::invalid_argument);
    EXPECT_THROW(TMapBins{257}.Check(), std::invalid_argument);
}

TEST(BinnedTable, FramesOnEdgesGoToTheBinAboveAndTheLastTakesItsTop) {
    TTableLayout layout;
    layout.Speed = {500, 6000, 250};
    const auto table = test::TableOf({
        {Rpm500, 15, 0, 0, 0, 10},    // the first bin's lower edge, MAP bin 0's last code
        {Rpm750, 16, 0, 0, 0, 20},    // the second bin's lower edge, MAP bin 1's first code
        {Rpm6000, 255, 0, 0, 0, 30},  // To itself: the last bin
        {Rpm6750, 0, 0, 0, 0, 40},    // faster than To: none
        {0, 0, 0, 0, 0, 50},          // a period of 0: none
        {Rpm500 + 1, 0, 0, 0, 0, 60}, // a hair slower than From: none
    });
    TBinnedTable binned(layout);
    binned.Extend(*table);
    EXPECT_EQ(TableCsv(binned, TStatistic::Count),
              "speed_from,speed_to,map_from,map_to,frames,value\n"
              "500,750,0,16,1,1\n"
              "750,1000,16,32,1,1\n"
              "5750,6000,240,256,1,1\n");
    EXPECT_EQ(TableCsv(binned, TStatistic::Mean),
              "speed_from,speed_to,map_from,map_to,frames,value\n"
              "500,750,0,16,1,7.3828125\n"
              "750,1000,16,32,1,9.140625\n"
              "5750,6000,240,256,1,10.8984375\n");
}

TEST(BinnedTable, EveryStatisticOfEveryQuantityMatchesAPlainScanUnderEachFilter) {
    const auto frames = test::SimulatedTable(7, 60000, true);
    for (const TFrameFilter& filter : test::SampleFilters(frames->Rows()))
        for (const TQuantity q : {TQuantity::Speed, TQuantity::Map, TQuantity::Temperature,
                                  TQuantity::Advance, TQuantity::Frame}) {
            SCOPED_TRACE(QuantityName(q));
            TTableLayout layout;
            layout.Quantity = q;
            layout.Filter = filter;
            TBinnedTable table(layout);
            table.Extend(*frames);
            ExpectSameAsPlain(table, *frames);
        }
}

TEST(BinnedTable, ACellsFramesAreThoseItCountsUnderEachFilter) {
    const auto frames = test::SimulatedTable(9, 30000, true);
    for (const TFrameFilter& filter : test::SampleFilters(frames->Rows())) {
        TTableLayout layout;
        layout.Speed = {1000, 3000, 500};
        layout.Map = TMapBins{4};
        layout.Filter = filter;
        TBinnedTable table(layout);
        table.Extend(*frames, 20000);
        std::map<std::pair<int, int>, std::vector<std::int64_t>> plain;
        std::int64_t number = 0;
        for (const telemetry::TDecodedFrame& f : test::AllFrames(*frames)) {
            const std::int64_t frame = number++;
            if (frame >= 20000 || f.Period == 0 || !test::PlainPasses(f, filter))
                continue;
            if (const auto cell = PlainCell(27648000.0 / f.Period, f.Map, layout))
                plain[*cell].push_back(frame);
        }
        for (int row = 0; row < table.Rows(); ++row)
            for (int column = 0; column < table.Columns(); ++column) {
                std::vector<std::int64_t> marked;
                table.ForEachFrameIn(*frames, row, column,
                                     [&](std::int64_t frame) { marked.push_back(frame); });
                EXPECT_EQ(marked, plain[std::pair(row, column)]) << "cell " << row << ',' << column;
                EXPECT_EQ(static_cast<std::int64_t>(marked.size()), table.Frames(row, column));
            }
    }
}

TEST(BinnedTable, OtherBinsMatchAPlainScan) {
    const auto frames = test::SimulatedTable(8, 40000, true);
    for (const auto& [speed, map] : {std::pair{TSpeedBins{400, 6500, 333.3}, TMapBins{5}},
                                     {TSpeedBins{0, 10000, 10000}, TMapBins{1}},
                                     {TSpeedBins{600, 800, 0.5}, TMapBins{256}}}) {
        TTableLayout layout;
        layout.Speed = speed;
        layout.Map = map;
        TBinnedTable table(layout);
        table.Extend(*frames);
        ExpectSameAsPlain(table, *frames);
    }
}

TEST(BinnedTable, DeviationLeavesOutCurvesWithoutAnExpectedCurve) {
    const auto frames = test::SimulatedTable(9, 60000, true);
    TExpectedCurves curves;
    curves.SetCurve(0, {{800, 9}, {3000, 30}, {5000, 34}});
    curves.SetCurve(2, {{2000, 20}});
    curves.SetCurve(255, {{1000, 45}, {4000, 5}});
    const TExpectedAdvance advance(curves);
    for (const TFrameFilter& filter : test::SampleFilters(frames->Rows())) {
        TTableLayout layout;
        layout.Quantity = TQuantity::Deviation;
        layout.Filter = filter;
        TBinnedTable table(layout, &advance);
        table.Extend(*frames);
        ExpectSameAsPlain(table, *frames, &curves);
    }
    TTableLayout layout;
    layout.Quantity = TQuantity::Deviation;
    EXPECT_THROW(TBinnedTable{layout}, std::invalid_argument) << "no curves";
}

TEST(BinnedTable, AddingFramesAsTheyComeGivesTheWholeCount) {
    const auto frames = test::SimulatedTable(10, 30000, false);
    TTableLayout layout;
    layout.Filter.Frames = {5000, 25000};
    TBinnedTable whole(layout);
    whole.Extend(*frames);
    TBinnedTable live(layout);
    for (std::int64_t end : {0, 1, 4999, 5000, 5001, 12345, 12345, 24999, 30000, 40000}) {
        live.Extend(*frames, end);
        EXPECT_EQ(live.Counted(), std::min<std::int64_t>(end, frames->Rows()));
    }
    live.Extend(*frames, 100); // nothing goes back
    EXPECT_EQ(TableCsv(live, TStatistic::StandardDeviation),
              TableCsv(whole, TStatistic::StandardDeviation));
    EXPECT_EQ(TableCsv(live, TStatistic::Mean), TableCsv(whole, TStatistic::Mean));
}

TEST(BinnedTable, EqualValuesHaveNoSpreadHoweverMany) {
    std::vector<TFrameFields> same(100000, TFrameFields{9216, 100, 1, 90, 0, 255});
    same.push_back({9216, 100, 1, 90, 0, 254});
    const auto frames = test::TableOf(same);
    TTableLayout layout;
    TBinnedTable table(layout);
    table.Extend(*frames, 100000);
    const int row = 12, column = 6; // 3000 об/мин, MAP 96 to 111
    EXPECT_EQ(table.Value(row, column, TStatistic::StandardDeviation), 0);
    EXPECT_EQ(table.Value(row, column, TStatistic::Mean), 50.44921875);
    table.Extend(*frames);
    EXPECT_GT(*table.Value(row, column, TStatistic::StandardDeviation), 0);
}

TEST(TableDifference, AMinusBInCellsNonEmptyInBoth) {
    const auto a = test::SimulatedTable(11, 150000, true);
    const auto b = test::SimulatedTable(12, 150000, false);
    TTableLayout layout;
    layout.Speed = {0, 7000, 500};
    layout.Map = {8};
    TBinnedTable tableA(layout), tableB(layout);
    tableA.Extend(*a);
    tableB.Extend(*b);
    const auto plainA = PlainTable(*a, layout), plainB = PlainTable(*b, layout);
    std::string expected = "speed_from,speed_to,map_from,map_to,frames_a,frames_b,value\n";
    int both = 0;
    for (const auto& [cell, inA] : plainA) {
        const auto inB = plainB.find(cell);
        if (inB == plainB.end())
            continue;
        ++both;
        const double difference =
            inA.Statistic(TStatistic::Maximum) - inB->second.Statistic(TStatistic::Maximum);
        expected += telemetry::NumberText(cell.first * 500.0) + ',' +
                    telemetry::NumberText(cell.first * 500.0 + 500) + ',' +
                    std::to_string(cell.second * 32) + ',' + std::to_string(cell.second * 32 + 32) +
                    ',' + std::to_string(inA.Values.size()) + ',' +
                    std::to_string(inB->second.Values.size()) + ',' +
                    telemetry::NumberText(difference) + '\n';
        EXPECT_NEAR(*Difference(tableA, tableB, cell.first, cell.second, TStatistic::Mean),
                    inA.Statistic(TStatistic::Mean) - inB->second.Statistic(TStatistic::Mean),
                    1e-9);
    }
    EXPECT_GT(both, 5);
    EXPECT_LT(both, static_cast<int>(plainA.size())) << "some cells of A alone";
    EXPECT_EQ(DifferenceCsv(tableA, tableB, TStatistic::Maximum), expected);

    TTableLayout other = layout;
    other.Map = {16};
    TBinnedTable tableC(other);
    EXPECT_THROW((void)DifferenceCsv(tableA, tableC, TStatistic::Mean), std::invalid_argument);
}

} // namespace
} // namespace analysis
