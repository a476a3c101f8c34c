#include "telemetry/LinkHealth.h"
#include "telemetry/Telemetry.h"
#include "tools/sim/Simulator.h"

#include <gtest/gtest.h>

#include <vector>

namespace telemetry {
namespace {

using namespace std::chrono_literals;
using TClock = TLinkHealth::TClock;

// Feeds a stream to the decoder in blocks of the given sizes, as the session does.
void FeedInBlocks(const std::vector<std::uint8_t>& stream, const std::vector<std::size_t>& sizes,
                  TLinkHealth& health, TLatestValues& values, TClock::time_point now) {
    std::size_t at = 0;
    for (std::size_t i = 0; at < stream.size(); ++i) {
        const std::size_t size = std::min(sizes[i % sizes.size()], stream.size() - at);
        const std::span<const std::uint8_t> block(stream.data() + at, size);
        const std::size_t frames =
            DecodeBlock(block, DecodeMode::LiveRecordingOnly, values.LiveState, values, nullptr);
        health.Block(size, frames, values.LiveState, now);
        at += size;
    }
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
        TLatestValues values;
        FeedInBlocks(stream, sizes, health, values, start);
        const TLinkReport report = health.Report(start);
        EXPECT_EQ(report.BytesRecorded, stream.size());
        EXPECT_EQ(report.Frames, frames.size());
        EXPECT_EQ(report.SkippedBytes, noise.LeadingBytes + noise.GarbageBytes)
            << "the cut frame at the end is still being received";
    }
}

TEST(LinkHealthTest, FrameRateCountsTheFramesOfTheLastSecond) {
    const auto start = TClock::now();
    TLinkHealth health(start);
    health.Block(90, 10, 0, start + 100ms);
    health.Block(95, 10, 5, start + 600ms);
    health.Block(4, 1, 0, start + 1050ms);
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
};

class LinkStateTest : public ::testing::TestWithParam<TStateCase> {};

TEST_P(LinkStateTest, StateFollowsTheLastBlockAndThePort) {
    const TStateCase& c = GetParam();
    const auto start = TClock::now();
    TLinkHealth health(start);
    for (const auto at : c.blocks)
        health.Block(9, 1, 0, start + at);
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
        TStateCase{"PortBackThatSendsNothingIsNoData",
                   {500ms},
                   600ms,
                   5000ms,
                   6100ms,
                   TLinkState::NoData}),
    [](const auto& info) { return std::string(info.param.rule); });

} // namespace
} // namespace telemetry
