#include "widgets/chart/Chart.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <random>
#include <vector>

namespace {

struct InsertCase {
    const char* rule;
    TChartListOrder order;
    std::vector<double> stored;
    double added;
    int expectedIndex;
};

void PrintTo(const InsertCase& c, std::ostream* os) {
    *os << c.rule;
}

class OrderedInsertion : public ::testing::TestWithParam<InsertCase> {};

TEST_P(OrderedInsertion, LandsWhereTheRuleSays) {
    const InsertCase& c = GetParam();
    TLineSeries series;
    series.XValues.Order = c.order;
    for (double x : c.stored)
        series.AddPoint(x, 0);
    EXPECT_EQ(series.AddPoint(c.added, 42), c.expectedIndex);
    EXPECT_EQ(series.YValue(c.expectedIndex), 42);
}

INSTANTIATE_TEST_SUITE_P(
    Series, OrderedInsertion,
    ::testing::Values(
        InsertCase{"EmptyGivesZero", TChartListOrder::loAscending, {}, 5, 0},
        InsertCase{"EqualToLastAppends", TChartListOrder::loAscending, {1, 2, 3}, 3, 3},
        InsertCase{"EqualGoesAfterAllEqual", TChartListOrder::loAscending, {1, 2, 2, 3}, 2, 3},
        InsertCase{"SmallerThanAllGoesFirst", TChartListOrder::loAscending, {1, 2}, 0, 0},
        InsertCase{"DescendingAppendsSmaller", TChartListOrder::loDescending, {3, 2}, 2, 2},
        InsertCase{"DescendingInsertsLarger", TChartListOrder::loDescending, {5, 3, 1}, 4, 1},
        InsertCase{"NoneAlwaysAppends", TChartListOrder::loNone, {5, 3}, 4, 2}),
    [](const auto& info) { return std::string(info.param.rule); });

TEST(SeriesStore, ColoursAndLabelsMoveWithTheirPoint) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> xs(0, 20), colours(0, 3);
    TLineSeries series;
    struct Point {
        double x;
        TColor colour;
        std::string label;
    };
    std::vector<Point> model;
    for (int i = 0; i < 2000; ++i) {
        const double x = xs(random);
        const TColor colour = colours(random) == 0 ? clNone : static_cast<TColor>(colours(random));
        const std::string label = i % 7 == 0 ? "p" + std::to_string(i) : "";
        const int index = series.AddPoint(x, i, label, colour);
        auto at = std::upper_bound(model.begin(), model.end(), x,
                                   [](double v, const Point& p) { return v < p.x; });
        ASSERT_EQ(index, at - model.begin());
        model.insert(at, {x, colour, label});
    }
    ASSERT_EQ(series.Count(), model.size());
    for (std::size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(series.XValue(i), model[i].x);
        ASSERT_EQ(series.ValueColor(i), model[i].colour) << i;
        ASSERT_EQ(series.Label(i), model[i].label) << i;
    }
    const auto& runs = series.ColorRuns();
    for (std::size_t r = 1; r < runs.size(); ++r)
        EXPECT_NE(runs[r].Color, runs[r - 1].Color) << "adjacent runs of one colour";
}

TEST(SeriesStore, DefaultColourResolvesToSeriesOrPalette) {
    TLineSeries series;
    series.SeriesColor = 0x123456;
    series.AddPoint(0, 0, "", clDefault);
    series.AddPoint(1, 0, "", 0x00FF00);
    EXPECT_EQ(series.ValueColor(0), 0x123456u);
    EXPECT_EQ(series.ValueColor(1), 0x00FF00u);
    EXPECT_EQ(series.ValueColor(5), 0x123456u) << "beyond the end gives the series colour";
    series.ColorEachPoint = true;
    EXPECT_NE(series.ValueColor(0), clDefault);
}

TEST(SeriesStore, ReadingOutsideTheCountRaises) {
    TLineSeries series;
    series.AddPoint(0, 0);
    EXPECT_THROW((void)series.XValue(1), EListError);
    EXPECT_THROW((void)series.Label(3), EListError);
    try {
        (void)series.YValue(4);
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (4)");
    }
}

TEST(SeriesStore, ClearGivesTheStorageBack) {
    TLineSeries series;
    int cleared = 0;
    series.OnClearValues = [&](TChartSeries&) { ++cleared; };
    for (int i = 0; i < 1000; ++i)
        series.AddPoint(i, i, i % 100 ? "" : "label", 0xFF);
    EXPECT_GT(series.StorageBytes(), 0u);
    series.Clear();
    EXPECT_EQ(series.Count(), 0u);
    EXPECT_EQ(series.StorageBytes(), 0u);
    series.Clear();
    EXPECT_EQ(cleared, 2) << "clearing an empty series runs the same steps";
    EXPECT_EQ(series.AddPoint(3, 1), 0);
}

TEST(SeriesStore, ProgramPointsCostAFewBytes) {
    // Frame numbers and integers times ten, as the decoder gives them.
    TLineSeries series;
    for (int i = 0; i < 100000; ++i)
        series.AddPoint(i, i % 2000 * 10, "", 0x008000);
    EXPECT_LE(series.StorageBytes(), 4u * series.Count());
}

TEST(SeriesStore, LongSeriesKeepEveryValueAcrossStorageChanges) {
    // Long lists seal block after block; an insertion near the start rebuilds them.
    TLineSeries series;
    const std::size_t n = 700000;
    for (std::size_t i = 0; i < n; ++i)
        ASSERT_EQ(
            series.AddPoint(static_cast<double>(i + 1), static_cast<double>(i) * 0.5, "", 0x00FF00),
            static_cast<int>(i));
    EXPECT_EQ(series.AddPoint(0, -1), 0) << "an out-of-order point still moves the others up";
    ASSERT_EQ(series.Count(), n + 1);
    EXPECT_EQ(series.YValue(0), -1);
    for (std::size_t i = 1; i <= n; ++i)
        ASSERT_EQ(series.YValue(i), static_cast<double>(i - 1) * 0.5) << i;
    EXPECT_EQ(series.XValues.MaxValue(), static_cast<double>(n));
    EXPECT_LE(series.StorageBytes(), 12u * series.Count());
    series.Clear();
    EXPECT_EQ(series.StorageBytes(), 0u);
}

TEST(SeriesStore, StatisticsFollowEveryChange) {
    TLineSeries series;
    EXPECT_EQ(series.YValues.MinValue(), 0);
    EXPECT_EQ(series.YValues.MaxValue(), 0);
    series.AddPoint(0, 5);
    series.AddPoint(1, -2);
    series.AddPoint(2, 9);
    EXPECT_EQ(series.YValues.MinValue(), -2);
    EXPECT_EQ(series.YValues.MaxValue(), 9);
    EXPECT_EQ(series.YValues.Statistics().Total, 12);
    EXPECT_EQ(series.YValues.Statistics().TotalABS, 16);
    series.YValues.SetMultiplier(2);
    EXPECT_EQ(series.YValues.MaxValue(), 18);
    EXPECT_EQ(series.YValue(0), 10);
    series.AddPoint(3, 100);
    EXPECT_EQ(series.YValues.MaxValue(), 200);
    series.Clear();
    EXPECT_EQ(series.YValues.MaxValue(), 0);
}

TEST(SeriesStore, HooksRefuseAndReport) {
    TLineSeries series;
    std::vector<int> added;
    bool allow = false;
    series.OnBeforeAdd = [&](TChartSeries&) { return allow; };
    series.OnAfterAdd = [&](TChartSeries&, int index) { added.push_back(index); };
    EXPECT_EQ(series.AddPoint(1, 1), -1);
    EXPECT_EQ(series.Count(), 0u);
    allow = true;
    series.AddPoint(2, 1);
    series.AddPoint(1, 1);
    EXPECT_EQ(added, (std::vector<int>{0, 0}));
}

// AddPoints stores what AddPoint would, point by point, and asks for one repaint.
struct BulkCase {
    const char* rule;
    TChartListOrder order;
    double firstX, stepX;
    bool hooks;
};

void PrintTo(const BulkCase& c, std::ostream* os) {
    *os << c.rule;
}

class BulkAdd : public ::testing::TestWithParam<BulkCase> {};

TEST_P(BulkAdd, StoresWhatAddPointWould) {
    const BulkCase& c = GetParam();
    TLineSeries bulk, single;
    int added = 0;
    for (TLineSeries* s : {&bulk, &single}) {
        s->XValues.Order = c.order;
        s->AddPoint(5, -1, "", 0xFF);
        if (c.hooks)
            s->OnAfterAdd = [&added](TChartSeries&, int) { ++added; };
    }
    std::vector<double> ys(3000);
    for (std::size_t i = 0; i < ys.size(); ++i)
        ys[i] = i % 7 == 0 ? 0.5 * i : static_cast<double>(i % 13);
    bulk.AddPoints(c.firstX, c.stepX, ys, 0x00FF00);
    for (std::size_t i = 0; i < ys.size(); ++i)
        single.AddPoint(c.firstX + static_cast<double>(i) * c.stepX, ys[i], "", 0x00FF00);
    ASSERT_EQ(bulk.Count(), single.Count());
    for (std::size_t i = 0; i < bulk.Count(); ++i) {
        ASSERT_EQ(bulk.XValue(i), single.XValue(i)) << i;
        ASSERT_EQ(bulk.YValue(i), single.YValue(i)) << i;
        ASSERT_EQ(bulk.ValueColor(i), single.ValueColor(i)) << i;
    }
    EXPECT_EQ(bulk.XValues.Ascending(), single.XValues.Ascending());
    EXPECT_EQ(bulk.YValues.MaxValue(), single.YValues.MaxValue());
    EXPECT_EQ(added, c.hooks ? 6000 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Series, BulkAdd,
    ::testing::Values(
        BulkCase{"FrameNumbersAfterTheLast", TChartListOrder::loAscending, 6, 1, false},
        BulkCase{"StartingBeforeTheLastInsert", TChartListOrder::loAscending, 2, 1, false},
        BulkCase{"FallingStepsInsert", TChartListOrder::loAscending, 4000, -1.5, false},
        BulkCase{"FractionalSteps", TChartListOrder::loAscending, 5, 0.1, false},
        BulkCase{"DescendingOrder", TChartListOrder::loDescending, 5, -0.25, false},
        BulkCase{"NoOrder", TChartListOrder::loNone, 0, 3, false},
        BulkCase{"WithHooks", TChartListOrder::loAscending, 6, 1, true}),
    [](const auto& info) { return std::string(info.param.rule); });

// The statistics rule, a value at a time, against what the summaries give.
TEST(SeriesStore, ExtremesFollowTheStatisticsRule) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::vector<double>> lists = {
        {0.0, -0.0, 3}, // an equal value does not replace the first
        {-0.0, 0.0, -5, 7},
        {nan, 1, 2},                   // a NaN first stays both extremes
        {1, nan, -2, nan},             // later NaNs are passed over
        std::vector<double>(5000, 42), // a run of one value
    };
    for (const auto& values : lists) {
        TLineSeries series;
        series.AddPoints(0, 1, values, 0xFF);
        const TValueStatistics& pass = series.YValues.Statistics();
        EXPECT_EQ(std::bit_cast<std::uint64_t>(series.YValues.MinValue()),
                  std::bit_cast<std::uint64_t>(pass.Minimum));
        EXPECT_EQ(std::bit_cast<std::uint64_t>(series.YValues.MaxValue()),
                  std::bit_cast<std::uint64_t>(pass.Maximum));
        series.YValues.SetMultiplier(-2);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(series.YValues.MinValue()),
                  std::bit_cast<std::uint64_t>(series.YValues.Statistics().Minimum));
    }
}

TEST(SeriesStore, OneRepaintForABulkAdd) {
    TChart chart;
    TLineSeries& series = chart.AddSeries();
    chart.resize(100, 50);
    (void)chart.grab();
    const std::vector<double> ys(5000, 1.0);
    series.AddPoints(0, 1, ys, 0xFF);
    EXPECT_TRUE(chart.ImageStale());
    EXPECT_EQ(series.Count(), 5000u);
}

struct GrowthCase {
    std::size_t capacity, grown;
};

TEST(SeriesStore, GrowthRule) {
    for (auto [capacity, grown] : {GrowthCase{0, 4}, GrowthCase{8, 12}, GrowthCase{9, 25},
                                   GrowthCase{64, 80}, GrowthCase{65, 81}, GrowthCase{400, 500}})
        EXPECT_EQ(chart::GrownCapacity(capacity), grown) << capacity;
    try {
        (void)chart::GrownCapacity(120000000);
        ADD_FAILURE() << "grew past the list limit";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List capacity out of bounds (150000000)");
    }
    TLineSeries series;
    for (int i = 0; i < 13; ++i)
        series.AddPoint(i, 0);
    EXPECT_EQ(series.XValues.Capacity(), 28u) << "4, 8, 12, then +16";
}

class ChartRepaint : public ::testing::Test {
protected:
    void Paint() {
        chart.resize(100, 50);
        (void)chart.grab();
        ASSERT_FALSE(chart.ImageStale());
    }
    TChart chart;
    TLineSeries& series = chart.AddSeries();
};

TEST_F(ChartRepaint, ActiveSeriesAsksForRepaint) {
    Paint();
    series.AddPoint(0, 1);
    EXPECT_TRUE(chart.ImageStale());
}

TEST_F(ChartRepaint, InactiveSeriesStoresSilently) {
    series.SetActive(false);
    Paint();
    series.AddPoint(0, 1);
    series.Clear();
    EXPECT_FALSE(chart.ImageStale());
    series.AddPoint(1, 1);
    series.SetActive(true);
    EXPECT_TRUE(chart.ImageStale());
    EXPECT_EQ(series.Count(), 1u);
}

TEST_F(ChartRepaint, SeriesKeepTheirOrderAndGetAColour) {
    TLineSeries& second = chart.AddSeries();
    EXPECT_EQ(&chart.Series(0), &series);
    EXPECT_EQ(&chart.Series(1), &second);
    EXPECT_NE(series.SeriesColor, clDefault);
}

} // namespace
