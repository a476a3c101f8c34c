#include "widgets/chart/Chart.h"
#include "widgets/chart/ChartLabels.h"
#include "widgets/chart/ChartTimeGaps.h"
#include "widgets/chart/ChartTimeline.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

#include <memory>
#include <utility>
#include <vector>

namespace {

using chart::TTimeline;

TEST(TimeLabelStep, RoundStepsFromASecondToAnHourThenWholeHours) {
    struct {
        double range;
        int capacity;
        double step;
    } cases[] = {
        {3, 10, 1},         {19, 10, 2},       {41, 10, 5},       {99, 10, 10},
        {101, 10, 15},      {151, 10, 30},     {301, 10, 60},     {1201, 10, 300},
        {6001, 10, 900},    {9001, 10, 1800},  {18001, 10, 3600}, {36001, 10, 7200},
        {72001, 10, 18000}, {1e6, 10, 180000}, {0, 10, 1},        {59, 0, 60},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chart::TimeLabelStep(c.range, c.capacity), c.step)
            << c.range << " s in " << c.capacity << " labels";
}

TEST(TimeLabelText, MinutesAndSecondsOrHoursMinutesAndSeconds) {
    EXPECT_EQ(chart::ElapsedText(0, false), "0:00");
    EXPECT_EQ(chart::ElapsedText(135, false), "2:15");
    EXPECT_EQ(chart::ElapsedText(59.6, false), "1:00") << "rounded to the nearest second";
    EXPECT_EQ(chart::ElapsedText(3725, false), "62:05") << "minutes go on without hours";
    EXPECT_EQ(chart::ElapsedText(3725, true), "1:02:05");
    EXPECT_EQ(chart::ElapsedText(135, true), "0:02:15");
    EXPECT_EQ(chart::ElapsedText(-5, false), "-0:05");
    EXPECT_EQ(chart::ElapsedText(-0.2, false), "0:00");
    EXPECT_EQ(chart::FrameTimeText(135.0625, false), "2:15.063");
    EXPECT_EQ(chart::FrameTimeText(59.9996, false), "1:00.000") << "carries into the minute";
    EXPECT_EQ(chart::FrameTimeText(3600.5, true), "1:00:00.500");
}

// A steady stream of 640 frames a second, a pause of three seconds after frame 1279, then
// the stream again.
TTimeline Paused() {
    TTimeline timeline;
    for (int frame = 0; frame < 1280; ++frame)
        timeline.Add(frame, frame / 640.0);
    for (int frame = 1280; frame < 3200; ++frame)
        timeline.Add(frame, 3 + frame / 640.0);
    return timeline;
}

TEST(Timeline, ASteadyStreamCostsAKnotForEachChangeOfPaceAndTimesReadBack) {
    const TTimeline timeline = Paused();
    EXPECT_EQ(timeline.Knots().size(), 4u) << "two steady stretches and a gap between them";
    EXPECT_DOUBLE_EQ(timeline.Seconds(640), 1.0);
    EXPECT_DOUBLE_EQ(timeline.Seconds(1279), 1279 / 640.0);
    EXPECT_DOUBLE_EQ(timeline.Seconds(1280), 5.0);
    EXPECT_DOUBLE_EQ(timeline.Seconds(3840), 9.0) << "the last pace goes on past the end";
    EXPECT_DOUBLE_EQ(timeline.Frame(1.0), 640);
    EXPECT_DOUBLE_EQ(timeline.Frame(6.0), 1920);
    EXPECT_TRUE(timeline.InGap(3.0));
    EXPECT_FALSE(timeline.InGap(1.5));
    EXPECT_FALSE(timeline.InGap(6.0));

    const auto gaps = timeline.Gaps(0, 3199);
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].First, 1279);
    EXPECT_NEAR(gaps[0].Seconds, 3 + 1 / 640.0, 1e-9);
    EXPECT_TRUE(timeline.Gaps(1300, 3199).empty());

    TTimeline late;
    late.Add(10, 1);
    late.Add(5, 2);
    EXPECT_EQ(late.Knots().size(), 1u) << "a frame that goes back is ignored";
    EXPECT_DOUBLE_EQ(late.Seconds(10 + 640), 1 + 640 * chart::SecondsPerFrame);
    EXPECT_DOUBLE_EQ(TTimeline().Seconds(7), 0);
}

// The gaps asked for are those a plain walk over neighbouring knots finds, at the edges of
// the frames asked for too; a step of exactly GapSeconds is none.
TEST(Timeline, GapsAreThoseBetweenNeighbouringKnots) {
    TTimeline timeline;
    double seconds = 0;
    for (int frame = 0; frame < 2000; ++frame) {
        seconds += frame % 97 == 96 ? 0.5 + frame % 3 * 0.25 : frame % 7 ? 1 / 640.0 : 1 / 600.0;
        timeline.Add(frame, seconds);
    }
    const std::vector<chart::TTimeKnot>& knots = timeline.Knots();
    const std::pair<double, double> asked[] = {{0, 1999},    {95, 95},     {96, 96}, {97, 193},
                                               {95.5, 96.5}, {1999, 5000}, {-10, -1}};
    std::size_t found = 0;
    for (const auto& [first, last] : asked) {
        std::vector<chart::TTimeGap> walked;
        for (std::size_t i = 0; i + 1 < knots.size(); ++i)
            if (knots[i].Frame >= first && knots[i].Frame <= last &&
                knots[i + 1].Frame - knots[i].Frame <= 1 &&
                knots[i + 1].Seconds - knots[i].Seconds > chart::GapSeconds)
                walked.push_back({knots[i].Frame, knots[i + 1].Seconds - knots[i].Seconds});
        EXPECT_EQ(timeline.Gaps(first, last), walked) << first << " to " << last;
        found += walked.size();
    }
    EXPECT_GT(found, 10u);
}

// A bottom axis over frames 0 to 3199 on 640 pixels, labelled by time.
struct TimeAxis : ::testing::Test {
    std::shared_ptr<TTimeline> timeline = std::make_shared<TTimeline>(Paused());
    TChartAxis axis{TAxisKind::Bottom};
    TimeAxis() {
        TAxisPlacement placement = axis.Placement();
        placement.Map = {0, 3199, 0, 640};
        axis.Place(placement);
        axis.SetLabelEngine(std::make_shared<chart::TTimeLabels>(timeline));
    }
    std::vector<QString> Texts(double step) const {
        std::vector<QString> texts;
        const auto walk = axis.LabelEngine().Walk(axis.LabelScale(), step, {});
        for (const chart::TAxisLabel& label : walk.Labels)
            texts.push_back(axis.LabelText(label.Value));
        return texts;
    }
};

TEST_F(TimeAxis, LabelsStandAtTheirSecondsFramesAndNoneInsideAGap) {
    const auto walk = axis.LabelEngine().Walk(axis.LabelScale(), 1, {});
    std::vector<double> frames;
    for (const chart::TAxisLabel& label : walk.Labels)
        frames.push_back(label.Value);
    // 0:00 and 0:01 before the pause (frame 1279 is at 1.998 s), 0:05 to 0:07 after it; 0:02
    // to 0:04 fall inside the gap.
    EXPECT_EQ(frames, (std::vector<double>{1920 + 640, 1920, 1280, 640, 0}));
    EXPECT_EQ(Texts(1), (std::vector<QString>{"0:07", "0:06", "0:05", "0:01", "0:00"}));
    EXPECT_EQ(axis.LabelStep(640), 1) << "seconds fit 640 pixels";

    timeline->Clear();
    *timeline = TTimeline(true);
    timeline->Add(0, 0);
    timeline->Add(3199, 3199 * chart::SecondsPerFrame);
    EXPECT_EQ(axis.LabelText(640), "≈0:01");
}

TEST_F(TimeAxis, HoursShowOnceTheAxisReachesAnHour) {
    *timeline = TTimeline();
    timeline->Add(0, 0);
    timeline->Add(3199, 3700);
    EXPECT_EQ(axis.LabelText(3199), "1:01:40");
    EXPECT_EQ(axis.LabelText(0), "0:00:00");
}

TEST(TimeAxisPicture, AGapShowsAsABandAcrossThePlotAndOnlyThere) {
    TChart chart;
    chart.resize(700, 300);
    TLineSeries& series = chart.AddSeries();
    std::vector<double> ys(3200, 10);
    series.AddPoints(0, 1, ys, 0x000000);
    const auto timeline = std::make_shared<TTimeline>(Paused());
    chart::TTimeGaps gaps(timeline);
    chart.AddDecoration(gaps);
    chart.BottomAxis().SetLabelEngine(std::make_shared<chart::TTimeLabels>(timeline));
    const QImage& picture = chart.Draw();

    const chart::TAxisMap& x = chart.BottomAxis().Map();
    const chart::TRectI plot = chart.PlotRect();
    const int row = plot.Top + plot.Height() / 4; // clear of the line, which lies at mid-height
    const int gapLeft = x.ToPixel(1279), gapRight = x.ToPixel(1280);
    int banded = 0;
    for (int column = plot.Left + 1; column < plot.Right - 1; ++column) {
        if (picture.pixel(column, row) == chart::TTimeGaps::BandColour) {
            EXPECT_GE(column, gapLeft - chart::TTimeGaps::MinimumWidth) << column;
            EXPECT_LE(column, gapRight + chart::TTimeGaps::MinimumWidth) << column;
            ++banded;
        }
    }
    EXPECT_GE(banded, chart::TTimeGaps::MinimumWidth - 2) << "the band between its edges";

    // Without the decoration the same plot has no band: it is the gap's, not the axis'.
    chart.RemoveDecoration(gaps);
    const QImage& plain = chart.Draw();
    for (int column = gapLeft - 3; column <= gapRight + 3; ++column)
        EXPECT_NE(plain.pixel(column, row), chart::TTimeGaps::BandColour) << column;
}

// A gap that ends just before a round time, after one that began just after one: the labels on
// either side stand a few pixels apart, or just a label's width, and only one of them is drawn,
// or both with room between them.
TEST(TimeAxisPicture, LabelsOnEitherSideOfAGapNeverRunTogether) {
    TChart chart;
    chart.resize(700, 300);
    TLineSeries& series = chart.AddSeries();
    std::vector<double> ys(12800, 10);
    series.AddPoints(0, 1, ys, 0x000000);
    chart.Draw();
    const chart::TAxisMap& x = chart.BottomAxis().Map();
    const int widest = QFontMetrics(chart.BottomAxis().LabelsFont()).horizontalAdvance("0:00");
    // 0:08 is frame 5120, the last before the gap 5151; 0:12 the frame `apart` pixels on.
    for (const int apart : {10, widest, widest + 1}) {
        double twelve = 5152;
        while (x.ToPixel(twelve) - x.ToPixel(5120) < apart)
            ++twelve;
        const auto timeline = std::make_shared<TTimeline>();
        timeline->Add(0, 0);
        timeline->Add(5151, 5151 / 640.0);
        timeline->Add(5152, 12 - (twelve - 5152) / 640.0);
        timeline->Add(12799, 12 + (12799 - twelve) / 640.0);
        chart.BottomAxis().SetLabelEngine(std::make_shared<chart::TTimeLabels>(timeline));
        const QImage& picture = chart.Draw();

        // The labels under the plot: ink with no more than three blank columns inside, each
        // no wider than one label.
        const chart::TRectI plot = chart.PlotRect();
        int first = -1, last = -100, longest = 0, runs = 0;
        for (int column = 0; column < picture.width(); ++column) {
            bool ink = false;
            for (int row = plot.Bottom + 6; row < picture.height() && !ink; ++row)
                ink = qGray(picture.pixel(column, row)) < 128;
            if (!ink)
                continue;
            if (column - last > 4) {
                first = column;
                ++runs;
            }
            last = column;
            longest = std::max(longest, last - first + 1);
        }
        EXPECT_GT(runs, 5) << "the axis is labelled";
        EXPECT_LE(longest, widest + 2) << "two labels drawn into each other, " << apart << " px";
    }
}

// An hour's recording with estimated times ends on a round time: its last label, "≈1:00:00",
// stands at the plot's right edge, close to the picture's side, and is drawn whole inside it.
TEST(TimeAxisPicture, TheLastLabelAtThePicturesSideIsDrawnWhole) {
    TChart chart;
    chart.resize(700, 300);
    chart.SetMargins({1, 0, 1, 6}); // the telemetry chart's narrow sides
    TLineSeries& series = chart.AddSeries();
    std::vector<double> ys(3601, 10);
    series.AddPoints(0, 1, ys, 0x000000);
    const auto timeline = std::make_shared<TTimeline>(true);
    timeline->Add(0, 0);
    timeline->Add(3600, 3600);
    chart.BottomAxis().SetLabelEngine(std::make_shared<chart::TTimeLabels>(timeline));
    const QImage& picture = chart.Draw();
    const chart::TRectI plot = chart.PlotRect();
    const int width = QFontMetrics(chart.BottomAxis().LabelsFont()).horizontalAdvance("≈1:00:00");
    ASSERT_GT(plot.Right + width / 2, picture.width()) << "centred, the label would be cut";

    // The rightmost run of ink under the plot is the last label, all of it.
    int right = -1, left = -1;
    for (int column = picture.width() - 1; column >= 0; --column) {
        bool ink = false;
        for (int row = plot.Bottom + 6; row < picture.height() - 2 && !ink; ++row)
            ink = qGray(picture.pixel(column, row)) < 128;
        if (ink && right < 0)
            right = column;
        if (ink)
            left = column;
        else if (right >= 0 && left - column > 4)
            break;
    }
    ASSERT_GE(right, 0);
    EXPECT_LT(right, picture.width() - 1) << "the label reaches the picture's side";
    EXPECT_GE(right - left + 1, width - 3) << "the label is cut";
}

} // namespace
