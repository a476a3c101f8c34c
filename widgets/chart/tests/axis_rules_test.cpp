#include "widgets/chart/Chart.h"
#include "widgets/chart/ChartRules.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>

#include <algorithm>

namespace {

using namespace chart;

TEST(LabelStep, ZeroToThousandOn950PixelsWith30PixelLabels) {
    const int capacity = LabelCapacity(950, 30, 10);
    EXPECT_EQ(capacity, 29) << "round(950 / 33)";
    const double step = ValueLabelStep(1000, capacity, 0, 10);
    EXPECT_EQ(step, 50);
    const TAxisMap map{0, 1000, 0, 950};
    const TLabelWalk walk = WalkLabels(map, step, {});
    ASSERT_EQ(walk.Labels.size(), 21u);
    EXPECT_EQ(walk.Labels.front().Value, 1000) << "the walk runs from the top down";
    EXPECT_EQ(walk.Labels.back().Value, 0);
    EXPECT_EQ(walk.Labels.front().Pixel, 950);
    EXPECT_EQ(walk.Ticks.size(), 21u);
}

TEST(LabelStep, AdvancesThroughOneTwoFive) {
    const double from[] = {1, 2, 5, 10, 20, 1e-12, 2e-12, 5e-12, 0.5, 7};
    const double to[] = {2, 5, 10, 20, 50, 2e-12, 5e-12, 1e-11, 1, 10};
    for (std::size_t i = 0; i < std::size(from); ++i)
        EXPECT_EQ(NextLabelStep(from[i]), to[i]) << from[i];
}

TEST(LabelStep, SmallRangeClimbsFromTheSmallestStep) {
    // 0.5 needs 1e-12 -> ... -> 0.05 for 10 labels; a range below 1 never starts at 1.
    EXPECT_DOUBLE_EQ(ValueLabelStep(0.5, 10, 0, 10), 0.05);
    EXPECT_EQ(ValueLabelStep(0.5, 0, 0, 10), MinimumStep) << "no room at all";
    EXPECT_EQ(ValueLabelStep(1000, 29, 0, 0), 1) << "without separation the start step stays";
    EXPECT_EQ(ValueLabelStep(1000, 29, 100, 10), 100) << "Increment is the smallest step";
    EXPECT_EQ(LabelCapacity(950, 0, 10), 1);
}

TEST(LabelStep, DateTimeStepsComeFromTheTable) {
    const double minute = 60 * OneSecond;
    EXPECT_DOUBLE_EQ(DateTimeLabelStep(60 * minute, 10, 0), 10 * minute);
    EXPECT_DOUBLE_EQ(DateTimeLabelStep(10 * OneSecond, 20, 0), OneSecond);
    EXPECT_DOUBLE_EQ(DateTimeLabelStep(3000, 2, 0), 1460) << "doubles beyond a year";
    EXPECT_DOUBLE_EQ(DateTimeLabelStep(1, 0, 0), OneSecond);
    EXPECT_EQ(DateTimeSteps().size(), 25u);
}

TEST(LabelWalk, CalendarUnitsSnapToDaysMonthsAndYears) {
    EXPECT_EQ(CalendarUnit(1, 0.5), 1) << "from the increment's entry up";
    EXPECT_EQ(CalendarUnit(1, 20), 30);
    EXPECT_EQ(CalendarUnit(1.5, 1), 0) << "an increment off the table walks plainly";
    // 2024-03-20 12:00 down to 2023-12-01: monthly labels on the 1st.
    const double top = QDate(1899, 12, 30).daysTo(QDate(2024, 3, 20)) + 0.5;
    const double bottom = QDate(1899, 12, 30).daysTo(QDate(2023, 12, 1));
    const TLabelWalk months = WalkCalendarLabels({bottom, top, 0, 400}, 30, {});
    ASSERT_EQ(months.Labels.size(), 4u);
    EXPECT_EQ(months.Labels.front().Value, top - 19.5);
    EXPECT_EQ(months.Labels.back().Value, bottom);
    const TLabelWalk halves = WalkCalendarLabels({bottom, top, 0, 400}, 15, {});
    EXPECT_EQ(halves.Labels.size(), 8u) << "the 15th and the 1st of each month";
    EXPECT_EQ(WalkCalendarLabels({bottom, top, 0, 400}, 365, {}).Labels.size(), 1u);
}

TEST(LabelWalk, ZeroRangeDrawsOneLabelAtTheCentre) {
    const TAxisMap map{7, 7, 100, 301, false};
    const TLabelWalk walk = WalkLabels(map, ValueLabelStep(0, 5, 0, 10), {});
    ASSERT_EQ(walk.Labels.size(), 1u);
    EXPECT_EQ(walk.Labels[0].Value, 7);
    EXPECT_EQ(walk.Labels[0].Pixel, 200);
}

TEST(LabelWalk, TenThousandStepsSuppressLabelsAndTicks) {
    const TAxisMap map{0, 10000, 0, 500};
    EXPECT_TRUE(WalkLabels(map, 1, {}).Labels.empty());
    const TLabelWalk many = WalkLabels({0, 9999, 0, 500}, 1, {});
    EXPECT_EQ(many.Labels.size(), 10000u);
    EXPECT_EQ(many.Ticks.size(), MaxTicks) << "the tick list never overflows";
}

TEST(LabelWalk, KeepsTheLabelOnANegativeMinimum) {
    const TLabelWalk walk = WalkLabels({-100, 100, 0, 200}, 50, {});
    ASSERT_EQ(walk.Labels.size(), 5u);
    EXPECT_EQ(walk.Labels.back().Value, -100);
}

TEST(LabelWalk, LabelsStayOnTheAxisAtTheNarrowestRange) {
    // Zooming ends on ranges of 1e-10, where the walk's allowance for rounding below the
    // minimum spans several axis lengths once the values are in the thousands.
    for (const double minimum : {1000.0, 20000.0, -5000.0, 0.0}) {
        for (const bool horizontal : {true, false}) {
            SCOPED_TRACE(testing::Message() << minimum << (horizontal ? " across" : " upright"));
            const TAxisMap map{minimum, minimum + 1e-10, 10, 410, horizontal};
            const TLabelWalk walk = WalkLabels(map, ValueLabelStep(map.Range(), 20, 0, 10), {});
            ASSERT_FALSE(walk.Labels.empty());
            const auto off = [](int pixel) { return pixel < 10 || pixel > 410; };
            EXPECT_EQ(std::count_if(walk.Labels.begin(), walk.Labels.end(),
                                    [&](const TAxisLabel& label) { return off(label.Pixel); }),
                      0)
                << "labels off the axis, of " << walk.Labels.size();
            EXPECT_EQ(std::count_if(walk.Ticks.begin(), walk.Ticks.end(), off), 0);
        }
    }
}

TEST(LabelWalk, LabelsOffAxisEndsAndTicksWithoutLabels) {
    TLabelWalkOptions inside;
    inside.LabelsOnAxis = false;
    const TLabelWalk walk = WalkLabels({0, 100, 0, 100}, 25, inside);
    EXPECT_EQ(walk.Labels.size(), 3u) << "0 and 100 sit on the ends";
    TLabelWalkOptions ticksOnly;
    ticksOnly.Labels = false;
    EXPECT_TRUE(WalkLabels({0, 100, 0, 100}, 25, ticksOnly).Ticks.empty());
    ticksOnly.TickOnLabelsOnly = false;
    EXPECT_EQ(WalkLabels({0, 100, 0, 100}, 25, ticksOnly).Ticks.size(), 5u);
}

TEST(LabelWalk, FirstLabelIsAMultipleOfTheStepUnlessAskedOtherwise) {
    EXPECT_EQ(WalkLabels({3, 97, 0, 100}, 10, {}).Labels.front().Value, 90);
    TLabelWalkOptions plain;
    plain.RoundFirstLabel = false;
    EXPECT_EQ(WalkLabels({3, 97, 0, 100}, 10, plain).Labels.front().Value, 97);
}

struct PixelCase {
    const char* rule;
    TAxisMap map;
    double value;
    int pixel;
};

TEST(AxisMap, ValueToPixel) {
    const PixelCase cases[] = {
        {"TiesRoundToEvenDown", {0, 10, 0, 5}, 1, 0},
        {"TiesRoundToEvenUp", {0, 10, 0, 5}, 3, 2},
        {"VerticalCountsFromTheEnd", {0, 10, 0, 5, false}, 3, 3},
        {"InvertedHorizontalCountsFromTheEnd", {0, 10, 0, 10, true, true}, 2, 8},
        {"InvertedVerticalCountsFromTheStart", {0, 10, 0, 10, false, true}, 2, 2},
        {"ZeroRangeGoesToTheCentre", {5, 5, 10, 21}, 123, 15},
        {"FarValuesGoToTheCentre", {0, 1e-9, 0, 1000}, 1e9, 500},
        {"OutsideTheRangeExtrapolates", {0, 100, 10, 110}, 200, 210},
    };
    for (const PixelCase& c : cases)
        EXPECT_EQ(c.map.ToPixel(c.value), c.pixel) << c.rule;
}

TEST(AxisMap, PixelToValue) {
    const TAxisMap horizontal{0, 100, 10, 110};
    EXPECT_DOUBLE_EQ(horizontal.ToValue(35), 25);
    const TAxisMap vertical{0, 100, 10, 110, false};
    EXPECT_DOUBLE_EQ(vertical.ToValue(35), 75);
    EXPECT_EQ((TAxisMap{0, 100, 10, 10}).ToValue(35), 0) << "an axis shorter than a pixel";
    for (int p = 10; p <= 110; p += 7)
        EXPECT_EQ(horizontal.ToPixel(horizontal.ToValue(p)), p);
}

TEST(Layout, PlotRectangleFromMargins) {
    EXPECT_EQ(PlotRectFromMargins(1001, 473, {1, 0, 1, 6}, 0), (TRectI{10, 0, 991, 445}));
    EXPECT_EQ(PlotRectFromMargins(100, 100, {50, 0, 50, 0}, 0), (TRectI{50, 0, 150, 100}))
        << "an empty width becomes the control width";
    EXPECT_EQ(PlotRectFromMargins(100, 100, {60, 0, 60, 0}, 0), (TRectI{60, 0, 61, 100}))
        << "a reversed width becomes one pixel";
    EXPECT_EQ(IntersectOrKeep({0, 0, 10, 10}, {20, 0, 30, 10}), (TRectI{0, 0, 10, 10}));
}

TEST(MinorTicks, BetweenAndBeyondTheMajorTicks) {
    const std::vector<int> minor = MinorTickPixels({400, 300, 200}, 3, 150, 450, false);
    const std::vector<int> expected = {325, 350, 375, 225, 250, 275, 425, 175};
    EXPECT_EQ(minor, expected) << "ticks outside (150, 450) are dropped";
    EXPECT_EQ(MinorTickPixels({400, 300}, 3, 0, 1000, true).size(), 3u)
        << "logarithmic axes add none beyond the ends";
    EXPECT_TRUE(MinorTickPixels({}, 3, 0, 1000, false).empty());
}

struct TextCase {
    double value;
    const char* c;
    const char* russian;
};

TEST(LabelText, NumberFormatWithTheLocaleSeparators) {
    const QString format = QStringLiteral("#,##0.###");
    const TextCase cases[] = {
        {1000, "1,000", "1\u00a0000"}, {1234.5678, "1,234.568", "1\u00a0234,568"},
        {-0.5, "-0.5", "-0,5"},        {0.0004, "0", "0"},
        {-0.0004, "0", "0"},           {1e6, "1,000,000", "1\u00a0000\u00a0000"},
        {12.5, "12.5", "12,5"},        {999.9996, "1,000", "1\u00a0000"},
    };
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    for (const TextCase& c : cases) {
        EXPECT_EQ(FormatFloat(c.value, format, QLocale::c()), QString::fromUtf8(c.c)) << c.value;
        EXPECT_EQ(FormatFloat(c.value, format, russian), QString::fromUtf8(c.russian)) << c.value;
    }
    EXPECT_EQ(FormatFloat(3.1, QStringLiteral("0.00 V"), QLocale::c()), "3.10 V");
}

TEST(LabelText, DateTimeFormat) {
    const double ninetySeconds = 90 * OneSecond;
    EXPECT_EQ(FormatDateTime(ninetySeconds, QStringLiteral("nn:ss"), 1, QLocale::c()), "01:30");
    EXPECT_EQ(FormatDateTime(2.5, QStringLiteral("dd.mm.yyyy hh:nn"), 3, QLocale::c()),
              "01.01.1900 12:00");
    EXPECT_EQ(FormatDateTime(-1, QStringLiteral("nn:ss"), 1, QLocale::c()), "")
        << "negative date-times have no text";
}

class AxisProperties : public ::testing::Test {
protected:
    TChart chart;
    TChartAxis& axis = chart.LeftAxis();
};

TEST_F(AxisProperties, InconsistentValuesRaise) {
    axis.SetMaximum(10);
    auto message = [](auto&& f) {
        try {
            f();
        } catch (const AxisException& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
    };
    EXPECT_EQ(message([&] { axis.SetMinimum(11); }), "Axis Minimum Value must be <= Maximum");
    EXPECT_EQ(message([&] { axis.SetMaximum(-1); }), "Axis Maximum Value must be >= Minimum");
    EXPECT_EQ(message([&] { axis.SetIncrement(-1); }), "Axis increment must be >= 0");
    EXPECT_EQ(message([&] { axis.SetLabelsSeparation(-1); }),
              "Labels Separation % must be greater than 0");
    EXPECT_EQ(axis.Maximum(), 10);
}

TEST_F(AxisProperties, BothEndsAtOnceNeverFail) {
    axis.SetMinMax(5, 1);
    EXPECT_EQ(axis.Minimum(), 1);
    EXPECT_EQ(axis.Maximum(), 5);
    EXPECT_FALSE(axis.Automatic() || axis.AutomaticMinimum() || axis.AutomaticMaximum());
    axis.SetMinMax(3, 3);
    EXPECT_EQ(axis.Maximum(), 3 + 1e-10);
}

TEST_F(AxisProperties, AutomaticFlagsFollowEachOther) {
    axis.SetAutomaticMinimum(false);
    EXPECT_FALSE(axis.Automatic());
    EXPECT_TRUE(axis.AutomaticMaximum());
    axis.SetAutomaticMinimum(true);
    EXPECT_TRUE(axis.Automatic()) << "both ends automatic again";
    axis.SetAutomatic(false);
    EXPECT_FALSE(axis.AutomaticMinimum() || axis.AutomaticMaximum());
}

TEST_F(AxisProperties, RealChangesAskForARepaint) {
    chart.resize(200, 100);
    chart.Draw();
    axis.SetTickLength(axis.TickLength());
    EXPECT_FALSE(chart.ImageStale()) << "storing the same value does nothing";
    axis.SetTickLength(axis.TickLength() + 1);
    EXPECT_TRUE(chart.ImageStale());
}

} // namespace
