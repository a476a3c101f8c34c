#include "analysis/Selection.h"
#include "analysis/RecordingFrameTimes.h"
#include "analysis/tests/TestFrames.h"
#include "telemetry/tests/CompanionFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace analysis {
namespace {

using telemetry::TFrameFields;

TQuantityFigures PlainFigures(const std::vector<telemetry::TDecodedFrame>& frames,
                              TFrameRange range, TQuantity q) {
    std::vector<double> values;
    for (const telemetry::TDecodedFrame& f : frames)
        if (range.Contains(f.Number))
            if (const auto v = test::PlainValue(f, q))
                values.push_back(*v);
    if (values.empty())
        return {};
    TQuantityFigures figures;
    figures.Frames = static_cast<std::int64_t>(values.size());
    figures.Minimum = *std::min_element(values.begin(), values.end());
    figures.Maximum = *std::max_element(values.begin(), values.end());
    for (const double v : values)
        figures.Mean += v / static_cast<double>(values.size());
    double squares = 0;
    for (const double v : values)
        squares += (v - figures.Mean) * (v - figures.Mean);
    figures.StandardDeviation = std::sqrt(squares / static_cast<double>(values.size()));
    return figures;
}

void ExpectNear(const TQuantityFigures& got, const TQuantityFigures& expected) {
    EXPECT_EQ(got.Frames, expected.Frames);
    EXPECT_EQ(got.Minimum, expected.Minimum);
    EXPECT_EQ(got.Maximum, expected.Maximum);
    EXPECT_NEAR(got.Mean, expected.Mean, 1e-9 * std::fabs(expected.Mean));
    EXPECT_NEAR(got.StandardDeviation, expected.StandardDeviation, 1e-9 * std::fabs(expected.Mean));
}

// Times 1/640 s apart, with a gap of a minute before frame GapAt: a reconnect.
class TTimesWithAGap final : public TFrameTimes {
public:
    static constexpr std::int64_t GapAt = 1000;
    std::optional<telemetry::TByteTime> FrameTime(std::int64_t frame) const override {
        return telemetry::TByteTime{frame / 640.0 + (frame >= GapAt ? 60 : 0), true};
    }
};

TEST(SelectionFigures, MatchAPlainScanOfEachQuantity) {
    const auto table = test::SimulatedTable(41, 50000, true);
    const auto frames = test::AllFrames(*table);
    for (const TFrameRange range : {TFrameRange{0, table->Rows()}, TFrameRange{12345, 23456},
                                    TFrameRange{4095, 4097}, TFrameRange{49000, 1 << 30}}) {
        SCOPED_TRACE(range.First);
        const TSelectionFigures figures = SelectionFigures(*table, range);
        EXPECT_EQ(figures.Frames, range.Within({0, table->Rows()}));
        EXPECT_EQ(figures.Seconds, std::nullopt);
        for (std::size_t q = 0; q < FieldQuantities.size(); ++q) {
            SCOPED_TRACE(QuantityName(FieldQuantities[q]));
            ExpectNear(figures.Quantities[q],
                       PlainFigures(frames, figures.Frames, FieldQuantities[q]));
        }
    }
}

TEST(SelectionFigures, OneFrameHasItsValuesAndNoSpreadOrDuration) {
    const auto table = test::TableOf({{9216, 1, 2, 3, 4, 5}, {4660, 10, 20, 30, 40, 50}});
    const TTimesWithAGap times;
    const TSelectionFigures figures = SelectionFigures(*table, {1, 2}, &times);
    EXPECT_EQ(figures.Seconds, 0);
    const double speed = 27648000.0 / 4660;
    EXPECT_EQ(figures.Quantities[0], (TQuantityFigures{1, speed, speed, speed, 0}));
    EXPECT_EQ(figures.Quantities[5], (TQuantityFigures{1, 14.4140625, 14.4140625, 14.4140625, 0}));
    EXPECT_EQ(SelectionCsv(figures),
              "quantity,first_frame,last_frame,frames,seconds,min,max,mean,std,timing\n"
              "rpm,1,1,1,0,5933.0472103004295,5933.0472103004295,5933.0472103004295,0,measured\n"
              "map,1,1,1,0,10,10,10,0,measured\n"
              "curve,1,1,1,0,20,20,20,0,measured\n"
              "temperature,1,1,1,0,30,30,30,0,measured\n"
              "octane,1,1,1,0,40,40,40,0,measured\n"
              "advance,1,1,1,0,14.4140625,14.4140625,14.4140625,0,measured\n");
}

TEST(SelectionFigures, DurationSpansAReconnectGapAndSpeedSkipsPeriodZero) {
    std::vector<TFrameFields> frames(2000, TFrameFields{9216, 1, 2, 3, 4, 5});
    frames[1500].Period = 0;
    const auto table = test::TableOf(frames);
    const TTimesWithAGap times;
    const TSelectionFigures figures = SelectionFigures(*table, {900, 1100}, &times);
    EXPECT_DOUBLE_EQ(*figures.Seconds, 199 / 640.0 + 60);
    EXPECT_EQ(SelectionFigures(*table, {1400, 1600}).Quantities[0].Frames, 199);
    EXPECT_EQ(SelectionFigures(*table, {1400, 1600}).Quantities[1].Frames, 200);
    const TSelectionFigures onlyZero = SelectionFigures(*table, {1500, 1501});
    EXPECT_EQ(onlyZero.Quantities[0], TQuantityFigures{});
    EXPECT_NE(SelectionCsv(onlyZero).find("\nrpm,1500,1500,0,,,,,,\n"), std::string::npos)
        << SelectionCsv(onlyZero);
}

TEST(SelectionFigures, ASelectionPastTheEndHasNoFrames) {
    const auto table = test::TableOf({{9216, 1, 2, 3, 4, 5}});
    const TSelectionFigures figures = SelectionFigures(*table, {5, 10});
    EXPECT_TRUE(figures.Frames.Empty());
    EXPECT_EQ(figures.Quantities[5].Frames, 0);
    EXPECT_NE(SelectionCsv(figures).find("\nadvance,,,0,,,,,,\n"), std::string::npos);
}

// A recording whose session died after its first second: the companion times that second at
// half the line's rate, the rest is estimated on from it.
TEST(SelectionFigures, DurationIsMeasuredOnlyWhereTheCompanionTimedBothEnds) {
    const auto recording = sim::GenerateRecording(3, 1280, false);
    const auto table = test::DecodedTable(recording);
    telemetry::testing::TCompanionBuilder companion(recording);
    companion.Start().Checkpoint(0, 0).Checkpoint(5760, 2'000'000);
    telemetry::TCompanionCheck check({telemetry::TCompanionBytes::TFound::Read, companion.bytes});
    check.Feed(recording);
    const telemetry::TRecordingTimes times = check.Finish();
    ASSERT_EQ(times.State(), telemetry::TCompanionState::CutOff);
    const TRecordingFrameTimes frameTimes(times, *table);

    const TSelectionFigures timed = SelectionFigures(*table, {0, 640}, &frameTimes);
    EXPECT_TRUE(timed.Measured);
    EXPECT_DOUBLE_EQ(*timed.Seconds, 639 * 9 * 2.0 / 5760) << "at the companion's pace";
    EXPECT_NE(SelectionCsv(timed).find(",measured\n"), std::string::npos);

    const TSelectionFigures across = SelectionFigures(*table, {600, 700}, &frameTimes);
    EXPECT_FALSE(across.Measured) << "its last frame came after the last checkpoint";
    EXPECT_DOUBLE_EQ(*across.Seconds, 39 * 9 * 2.0 / 5760 + 60 * 9 / 5760.0);
    EXPECT_NE(SelectionCsv(across).find(",estimated\n"), std::string::npos);

    const telemetry::TRecordingTimes none(recording.size(), telemetry::TCompanionState::Missing);
    const TRecordingFrameTimes lineRate(none, *table);
    const TSelectionFigures estimated = SelectionFigures(*table, {600, 700}, &lineRate);
    EXPECT_FALSE(estimated.Measured);
    EXPECT_DOUBLE_EQ(*estimated.Seconds, 99 * 9 / 5760.0) << "at the line rate";
}

} // namespace
} // namespace analysis
