#include "telemetry/Telemetry.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

using namespace telemetry;

namespace {

struct Point {
    double x, y;
    std::uint32_t colour;
    bool operator==(const Point&) const = default;
};

using SeriesPoints = std::array<std::vector<Point>, PlotSeriesCount>;

// Each series' points in the order the decoder made them; how they were grouped into
// hand-overs is the decoder's business.
struct RecordingPlot final : TFramePlot {
    SeriesPoints series;
    void AddPoints(int s, double firstX, std::span<const double> ys,
                   std::uint32_t colour) override {
        for (std::size_t i = 0; i < ys.size(); ++i)
            series[s].push_back({firstX + static_cast<double>(i), ys[i], colour});
    }
    std::size_t Count() const {
        std::size_t n = 0;
        for (const auto& points : series)
            n += points.size();
        return n;
    }
};

// Each completed frame with where it ends in the stream, as a frame sink sees them.
struct RecordingSink final : TFrameSink {
    struct Frame {
        TFrameFields fields;
        std::uint64_t end;
        bool operator==(const Frame&) const = default;
    };
    std::vector<Frame> frames;
    std::uint64_t bytes = 0;
    TUnfinishedFrame unfinished{};

    void FramesCompleted(std::span<const TCompletedFrame> completed) override {
        for (const TCompletedFrame& f : completed)
            frames.push_back({f.Fields, bytes + f.End});
    }
    void BlockDecoded(std::size_t n, const TUnfinishedFrame& u) override {
        bytes += n;
        unfinished = u;
    }
};

using Bytes = std::vector<std::uint8_t>;

const Bytes ExampleFrame = {0xFF, 0xFF, 0x12, 0x34, 0x01, 0x02, 0x03, 0x04, 0x05};

class Decoder : public ::testing::Test {
protected:
    void Feed(const Bytes& bytes, DecodeMode mode = DecodeMode::Replay) {
        DecodeBlock(bytes, mode, mode == DecodeMode::Replay ? replayState : values.LiveState,
                    values, &plot);
    }
    TLatestValues values;
    std::uint8_t replayState = 0;
    RecordingPlot plot;
};

TEST_F(Decoder, ExampleFrameGivesEveryFieldAndSixPoints) {
    Feed(ExampleFrame);
    EXPECT_EQ(values.Period, 0x1234);
    EXPECT_EQ(values.Map, 1);
    EXPECT_EQ(values.CurveNumber, 2);
    EXPECT_EQ(values.Temperature, 3);
    EXPECT_EQ(values.OctaneCorrector, 4);
    EXPECT_EQ(values.AdvanceCode, 5);
    EXPECT_EQ(values.FrameCounter, 1);
    EXPECT_EQ(replayState, 0);
    const SeriesPoints expected = {{
        {{0, 27648000.0 / 4660, 0x0000FF}},
        {{0, 10, 0x008000}},
        {{0, 20, 0xFF0000}},
        {{0, 30, 0x8F30F0}},
        {{0, 40, 0x00FFFF}},
        {{0, 650.390625, 0x000000}},
    }};
    EXPECT_EQ(plot.series, expected);
    EXPECT_NEAR(EngineSpeed(values.Period), 5933.05, 0.01);
}

TEST(Conversions, AdvanceIsExactAtBothEnds) {
    EXPECT_EQ(AdvanceDegrees(0), 5.625);
    EXPECT_EQ(AdvanceDegrees(5), 6.50390625);
    EXPECT_EQ(AdvanceDegrees(255), 50.44921875);
    EXPECT_EQ(EngineSpeed(0xFFFF), 27648000.0 / 65535);
}

struct SyncCase {
    const char* rule;
    Bytes bytes;
    std::uint16_t period;
    std::uint8_t advance;
    int frames;
};

void PrintTo(const SyncCase& c, std::ostream* os) {
    *os << c.rule;
}

class Synchronisation : public ::testing::TestWithParam<SyncCase> {};

TEST_P(Synchronisation, FindsFramesOnlyAtSyncPairs) {
    const SyncCase& c = GetParam();
    TLatestValues values;
    std::uint8_t state = 0;
    RecordingPlot plot;
    DecodeBlock(c.bytes, DecodeMode::Replay, state, values, &plot);
    EXPECT_EQ(values.FrameCounter, c.frames);
    EXPECT_EQ(values.Period, c.period);
    EXPECT_EQ(values.AdvanceCode, c.advance);
}

INSTANTIATE_TEST_SUITE_P(
    Decoder, Synchronisation,
    ::testing::Values(SyncCase{"LoneSyncByteFallsBack",
                               {0xFF, 0x12, 0xFF, 0xFF, 0x00, 0x10, 1, 2, 3, 4, 7},
                               0x0010,
                               7,
                               1},
                      SyncCase{"ThirdSyncByteIsThePeriodHighByte",
                               {0xFF, 0xFF, 0xFF, 0x12, 0x34, 1, 2, 3, 4},
                               0xFF12,
                               4,
                               1},
                      SyncCase{
                          "GarbageBeforeTheFirstPairIsSkipped",
                          {0x00, 0x55, 0xFE, 0xFF, 0x01, 0xFF, 0xFF, 0x01, 0x02, 1, 2, 3, 4, 9},
                          0x0102,
                          9,
                          1},
                      SyncCase{"PayloadMayBeSyncBytes",
                               {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0x00, 0x01, 2, 3, 4, 5, 6},
                               0x0001,
                               6,
                               2},
                      SyncCase{"FrameNeedsTwoFreshSyncBytes",
                               {0xFF, 0xFF, 0, 1, 2, 3, 4, 5, 6, 0xFF, 0, 2, 2, 3, 4, 5, 6, 7},
                               0x0001,
                               6,
                               1},
                      SyncCase{"CutShortFrameUpdatesWhatArrived",
                               {0xFF, 0xFF, 0, 1, 2, 3, 4, 5, 6, 0xFF, 0xFF, 0x00, 0x20, 9},
                               0x0020,
                               6,
                               1}),
    [](const auto& info) { return std::string(info.param.rule); });

TEST_F(Decoder, FrameSplitAtEveryOffsetDecodesAsOneBlock) {
    Bytes stream = {0x33, 0xFF};
    for (int k = 0; k < 3; ++k)
        for (std::uint8_t b :
             Bytes{0xFF, 0xFF, 0x10, std::uint8_t(k), 0xFF, 2, 3, 4, std::uint8_t(k)})
            stream.push_back(b);
    Feed(stream, DecodeMode::LivePlotting);
    const SeriesPoints whole = plot.series;
    const TLatestValues wholeValues = values;
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        values = {};
        plot.series = {};
        Feed(Bytes(stream.begin(), stream.begin() + cut), DecodeMode::LivePlotting);
        Feed(Bytes(stream.begin() + cut, stream.end()), DecodeMode::LivePlotting);
        ASSERT_EQ(plot.series, whole) << "cut at " << cut;
        ASSERT_EQ(values.Period, wholeValues.Period);
        ASSERT_EQ(values.FrameCounter, wholeValues.FrameCounter);
    }
}

TEST_F(Decoder, BlocksDecodeAsByteByByte) {
    // Whole frames in a block take a faster road, and its points go over in parts; it must
    // end where the byte road ends.
    std::mt19937 random(11);
    Bytes stream(40000);
    for (auto& b : stream)
        b = random() % 3 ? 0xFF : static_cast<std::uint8_t>(random());
    Feed(stream);
    const SeriesPoints blockPoints = plot.series;
    const TLatestValues blockValues = values;
    const std::uint8_t blockState = replayState;

    TLatestValues byteValues;
    std::uint8_t byteState = 0;
    RecordingPlot bytePlot;
    for (std::uint8_t b : stream)
        DecodeByte(b, DecodeMode::Replay, byteState, byteValues, &bytePlot);
    EXPECT_EQ(bytePlot.series, blockPoints);
    EXPECT_GT(blockPoints[SeriesMap].size(), 1000u) << "more points than one hand-over takes";
    EXPECT_EQ(byteState, blockState);
    EXPECT_EQ(byteValues.FrameCounter, blockValues.FrameCounter);
    EXPECT_EQ(byteValues.Period, blockValues.Period);
    EXPECT_EQ(byteValues.PeriodHigh, blockValues.PeriodHigh);
    EXPECT_GT(blockValues.FrameCounter, 100);
}

TEST_F(Decoder, LiveAndReplayPlotAllSixPointsOfFrameKAtK) {
    Bytes stream;
    for (int k = 0; k < 4; ++k)
        stream.insert(stream.end(), ExampleFrame.begin(), ExampleFrame.end());
    Feed(stream, DecodeMode::LivePlotting);
    const SeriesPoints live = plot.series;
    plot.series = {};
    values.FrameCounter = 0;
    Feed(stream, DecodeMode::Replay);
    EXPECT_EQ(plot.series, live);
    for (const auto& points : live) {
        ASSERT_EQ(points.size(), 4u);
        for (std::size_t k = 0; k < points.size(); ++k)
            EXPECT_EQ(points[k].x, static_cast<double>(k));
    }
}

TEST(DecoderFrames, EveryModeReportsEachFrameWithItsEndAndWhatArrivedOfTheNext) {
    Bytes stream = {0x42};
    stream.insert(stream.end(), ExampleFrame.begin(), ExampleFrame.end());
    stream.insert(stream.end(), {0xFF, 0x00});
    stream.insert(stream.end(), ExampleFrame.begin(), ExampleFrame.end());
    stream.insert(stream.end(), {0xFF, 0xFF, 0x00, 0x00, 7});
    const TFrameFields example = {0x1234, 1, 2, 3, 4, 5};
    for (const DecodeMode mode :
         {DecodeMode::LivePlotting, DecodeMode::LiveRecordingOnly, DecodeMode::Replay}) {
        TLatestValues values;
        std::uint8_t state = 0;
        RecordingSink sink;
        DecodeBlock(stream, mode, state, values, nullptr, &sink);
        EXPECT_EQ(sink.frames, (std::vector<RecordingSink::Frame>{{example, 10}, {example, 21}}));
        EXPECT_EQ(sink.bytes, stream.size());
        EXPECT_EQ(sink.unfinished.Arrived, 2) << "the period 0 and MAP 7 arrived";
        EXPECT_EQ(sink.unfinished.Fields, (TFrameFields{0, 7, 0, 0, 0, 0}));
    }
}

TEST_F(Decoder, RecordingOnlyFollowsTheStreamWithoutPlotting) {
    Feed(ExampleFrame, DecodeMode::LiveRecordingOnly);
    EXPECT_EQ(plot.Count(), 0u);
    EXPECT_EQ(values.FrameCounter, 0);
    EXPECT_EQ(values.Period, 0x1234);
    EXPECT_EQ(values.AdvanceCode, 5);
}

TEST_F(Decoder, ReplayStateIsItsOwn) {
    values.LiveState = 5;
    Feed(ExampleFrame, DecodeMode::Replay);
    EXPECT_EQ(values.LiveState, 5);
    EXPECT_EQ(values.FrameCounter, 1);
}

TEST_F(Decoder, ZeroPeriodPlotsNoSpeedButTheRest) {
    values.Period = 777;
    Feed({0xFF, 0xFF, 0x00, 0x00, 1, 2, 3, 4, 5}, DecodeMode::LivePlotting);
    EXPECT_EQ(values.Period, 0);
    EXPECT_EQ(plot.Count(), 5u);
    EXPECT_TRUE(plot.series[SeriesSpeed].empty());
    EXPECT_EQ(values.FrameCounter, 1);
    Feed(ExampleFrame, DecodeMode::LivePlotting);
    EXPECT_EQ(plot.Count(), 11u) << "the decoder goes on after a zero period";
}

} // namespace
