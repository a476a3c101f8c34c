#include "telemetry/LinkHealth.h"
#include "telemetry/Telemetry.h"
#include "tools/sim/Simulator.h"

#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <vector>

namespace telemetry {
namespace {

using namespace std::chrono_literals;
using TClock = TLinkHealth::TClock;

// Records a stream in blocks of the given sizes, as the session does.
void FeedInBlocks(const std::vector<std::uint8_t>& stream, const std::vector<std::size_t>& sizes,
                  TLinkHealth& health, TClock::time_point now) {
    std::size_t at = 0;
    for (std::size_t i = 0; at < stream.size(); ++i) {
        const std::size_t size = std::min(sizes[i % sizes.size()], stream.size() - at);
        health.Block(std::span(stream).subspan(at, size), now);
        at += size;
    }
}

// Whole frames, all alike.
std::vector<std::uint8_t> Frames(int count) {
    std::vector<std::uint8_t> bytes;
    for (int k = 0; k < count; ++k)
        bytes.insert(bytes.end(), {0xFF, 0xFF, 0x12, 0x34, 1, 2, 3, 4, 5});
    return bytes;
}

TEST(LinkHealthTest, CountsWholeFramesAndSkippedBytesOfANoisyStreamWhateverTheBlocks) {
    std::vector<sim::TFrameFields> frames;
    sim::TNoiseCounts noise;
    const auto stream = sim::GenerateRecording(21, 20000, true, &frames, &noise);
    ASSERT_GT(noise.GarbageBytes, 0u);
    const std::vector<std::vector<std::size_t>> splits = {
        {stream.size()}, {9}, {10, 3, 17, 1, 400}, {4096}};
    for (const auto& sizes : splits) {
        SCOPED_TRACE(sizes.front());
        const auto start = TClock::now();
        TLinkHealth health(start);
        FeedInBlocks(stream, sizes, health, start);
        const TLinkReport report = health.Report(start);
        EXPECT_EQ(report.BytesRecorded, stream.size());
        EXPECT_EQ(report.Frames, frames.size());
        EXPECT_EQ(report.SkippedBytes, noise.LeadingBytes + noise.GarbageBytes)
            << "the cut frame at the end is still being received";
    }
}

// The figures of a recording, whichever way its bytes are counted: in blocks as they came, or
// from a replay's decoder at the end.
TEST(RecordingFiguresTest, EveryByteIsInAWholeFrameInTheFrameAtTheEndOrSkipped) {
    const struct {
        const char* rule;
        std::vector<std::uint8_t> bytes;
        TRecordingFigures figures;
    } cases[] = {
        {"nothing", {}, {0, 0, 0, 0}},
        {"a lone 0xFF at the end may start a frame: it is not skipped", {0x01, 0xFF}, {2, 0, 1, 1}},
        {"0xFF and a byte that is not one are skipped", {0xFF, 0x01, 0xFF}, {3, 0, 2, 1}},
        {"a third 0xFF is the period's first byte", {0xFF, 0xFF, 0xFF}, {3, 0, 0, 3}},
        {"a frame and the start of another",
         {0xFF, 0xFF, 0x12, 0x34, 1, 2, 3, 4, 5, 0xFF, 0xFF, 7},
         {12, 1, 0, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        for (std::size_t split = 0; split <= c.bytes.size(); ++split) {
            TFigureCount count;
            EXPECT_EQ(count.Add(std::span(c.bytes).first(split)) +
                          count.Add(std::span(c.bytes).subspan(split)),
                      c.figures.Frames);
            EXPECT_EQ(count.Figures(), c.figures) << "split at " << split;
        }
        TLatestValues values;
        std::uint8_t state = 0;
        DecodeBlock(c.bytes, DecodeMode::Replay, state, values, nullptr);
        EXPECT_EQ(FiguresOf(c.bytes.size(), static_cast<std::uint64_t>(values.FrameCounter), state),
                  c.figures);
    }
}

TEST(LinkHealthTest, FrameRateCountsTheFramesOfTheLastSecond) {
    const auto start = TClock::now();
    TLinkHealth health(start);
    const std::vector<std::uint8_t> stream = Frames(21);
    health.Block(std::span(stream).first(90), start + 100ms);       // 10 frames
    health.Block(std::span(stream).subspan(90, 95), start + 600ms); // 10 and a half
    health.Block(std::span(stream).subspan(185), start + 1050ms);   // the rest of one

    EXPECT_EQ(health.Report(start + 1050ms).FrameRate, 21u);
    EXPECT_EQ(health.Report(start + 1100ms).FrameRate, 11u) << "the first block is a second old";
    EXPECT_EQ(health.Report(start + 2049ms).FrameRate, 1u);
    EXPECT_EQ(health.Report(start + 2050ms).FrameRate, 0u);
    EXPECT_EQ(health.Report(start + 2050ms).Frames, 21u) << "the totals stay";
}

// The state at a moment after the port opened at 0 s.
struct TStateCase {
    const char* rule;
    std::vector<std::chrono::milliseconds> blocks; // when blocks came
    std::optional<std::chrono::milliseconds> lost, back;
    std::chrono::milliseconds at;
    TLinkState expected;
    bool stopped = false;
};

class LinkStateTest : public ::testing::TestWithParam<TStateCase> {};

TEST_P(LinkStateTest, StateFollowsTheLastBlockAndThePort) {
    const TStateCase& c = GetParam();
    const auto start = TClock::now();
    TLinkHealth health(start);
    const std::vector<std::uint8_t> frame = Frames(1);
    for (const auto at : c.blocks)
        health.Block(frame, start + at);
    if (c.stopped)
        health.RecordingStopped();
    if (c.lost)
        health.PortLost();
    if (c.back)
        health.PortBack(start + *c.back);
    EXPECT_EQ(health.Report(start + c.at).State, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Timeline, LinkStateTest,
    ::testing::Values(
        TStateCase{
            "SilenceAfterOpeningIsReceivingForASecond", {}, {}, {}, 1000ms, TLinkState::Receiving},
        TStateCase{
            "SilenceOfMoreThanASecondAfterOpeningIsNoData", {}, {}, {}, 1001ms, TLinkState::NoData},
        TStateCase{"BlockWithinTheSecondIsReceiving",
                   {500ms, 1900ms},
                   {},
                   {},
                   2800ms,
                   TLinkState::Receiving},
        TStateCase{"SilenceAfterTheLastBlockIsNoData", {500ms}, {}, {}, 1600ms, TLinkState::NoData},
        TStateCase{"LostPortIsWaitedFor", {500ms}, 600ms, {}, 700ms, TLinkState::WaitingForPort},
        TStateCase{"PortBackCountsSilenceFromItsReturn",
                   {500ms},
                   600ms,
                   5000ms,
                   5900ms,
                   TLinkState::Receiving},
        TStateCase{
            "PortBackThatSendsNothingIsNoData", {500ms}, 600ms, 5000ms, 6100ms, TLinkState::NoData},
        TStateCase{"FailedWriteStopsTheRecordingWhateverThePortDoes",
                   {500ms},
                   600ms,
                   {},
                   700ms,
                   TLinkState::Stopped,
                   true}),
    [](const auto& info) { return std::string(info.param.rule); });

} // namespace
} // namespace telemetry
