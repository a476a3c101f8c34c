// The link's rules that hold on every platform, against the platform's own line (TestLine.h):
// a pseudo-terminal here, a Wine COM port on Windows.

#include "serial/ComPort.h"
#include "serial/tests/ReceivedBlocks.h"
#ifdef _WIN32
#include "serial/tests/win32/TestLine.h"
#else
#include "serial/tests/posix/TestLine.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>

namespace serial {
namespace {

using testing::Joined;
using testing::Pattern;
using testing::RunPosted;
using testing::TTestLine;
using testing::WaitFor;

constexpr std::uint8_t Port = TTestLine::PortNumber;

class ComPortScenario : public ::testing::Test {
protected:
    TTestLine line;
    testing::TReceivedBlocks received;

    std::unique_ptr<TComPort> Open(std::uint8_t threshold = 9, bool attach = true) {
        auto port = std::make_unique<TComPort>(Port, threshold);
        if (attach)
            received.Attach(*port);
        return port;
    }
};

class ThresholdScenario : public ComPortScenario, public ::testing::WithParamInterface<int> {};

TEST_P(ThresholdScenario, FewerBytesThanTheThresholdWaitForMore) {
    const auto threshold = static_cast<std::size_t>(GetParam());
    const auto port = Open(static_cast<std::uint8_t>(threshold));
    const auto sent = Pattern(threshold);
    line.Write(std::span(sent).first(threshold - 1));
    line.WaitUntilQueued(static_cast<int>(threshold - 1), true);
    line.Write(std::span(sent).last(1));
    ASSERT_TRUE(WaitFor([&] { return !received.Blocks.empty(); }));
    ASSERT_EQ(received.Blocks.size(), 1u);
    EXPECT_EQ(received.Blocks[0], sent);
}

TEST_P(ThresholdScenario, StreamArrivesWholeAndInOrderInBlocksOfAtLeastTheThreshold) {
    const auto threshold = static_cast<std::size_t>(GetParam());
    const auto port = Open(static_cast<std::uint8_t>(threshold));
    const auto sent = Pattern(300'000);
    for (std::size_t at = 0; at < sent.size(); at += 4099)
        line.Write(std::span(sent).subspan(at, std::min<std::size_t>(4099, sent.size() - at)));
    // A last fragment shorter than the threshold stays queued.
    ASSERT_TRUE(WaitFor([&] {
        const auto queued = static_cast<std::size_t>(line.Queued());
        return received.All().size() + queued == sent.size() && queued < threshold;
    }));

    const auto all = received.All();
    EXPECT_TRUE(std::equal(all.begin(), all.end(), sent.begin()));
    for (const auto& block : received.Blocks)
        EXPECT_GE(block.size(), threshold);
}

INSTANTIATE_TEST_SUITE_P(Thresholds, ThresholdScenario, ::testing::Values(1, 9, 255));

TEST_F(ComPortScenario, BlocksReadBeforeAHandlerIsAttachedAreKeptAndHandedOverFirst) {
    auto port = Open(20, false);
    const std::vector<std::uint8_t> early(20, 0x01), later(20, 0x02), last(20, 0x03);
    line.WriteAndWaitUntilRead(early, false);
    // The reader takes the next block only after the window thread has run the hand-over
    // of the first one, with no handler attached; the second one's may still wait.
    line.WriteAndWaitUntilRead(later, true);
    received.Attach(*port);
    ASSERT_TRUE(WaitFor([&] { return received.All().size() == 40; }))
        << "handed over once attached, with nothing more arriving";
    line.Write(last);
    ASSERT_TRUE(WaitFor([&] { return received.All().size() == 60; }));
    EXPECT_EQ(received.All(), Joined({early, later, last}));
}

TEST_F(ComPortScenario, DrainHandsOverEverythingReceivedAtOnceAndThenReadsNoMore) {
    auto port = Open(20, false);
    const std::vector<std::uint8_t> first(20, 0x01), second(20, 0x02), queued(5, 0x03);
    line.WriteAndWaitUntilRead(first, false);
    line.WriteAndWaitUntilRead(second, true); // kept, or read and waiting for its hand-over
    received.Attach(*port);                   // the kept blocks' hand-over is not run yet
    line.Write(queued);
    line.WaitUntilQueued(5, false);

    port->Drain();
    EXPECT_EQ(received.All(), Joined({first, second, queued}));
    EXPECT_EQ(line.Queued(), 0);

    line.Write(Pattern(20));
    line.WaitUntilQueued(20, true);
    EXPECT_EQ(received.All().size(), 45u);
    EXPECT_TRUE(received.Errors.empty());
}

TEST_F(ComPortScenario, DrainTakesABlockWaitingForItsHandOver) {
    auto port = Open();
    const auto sent = Pattern(9);
    line.WriteAndWaitUntilRead(sent, false);
    port->Drain();
    EXPECT_EQ(received.All(), sent);
    RunPosted();
    EXPECT_EQ(received.Blocks.size(), 1u) << "the queued hand-over handed the block over again";
}

TEST_F(ComPortScenario, HandlerThatThrowsIsReportedOnceAndReadingStops) {
    auto port = Open();
    int calls = 0;
    port->SetOnData([&](std::span<const std::uint8_t>) {
        ++calls;
        throw std::runtime_error("Error writing file rec.dcc: No space left on device");
    });
    line.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return !received.Errors.empty(); }));

    line.Write(Pattern(30));
    line.WaitUntilQueued(30, true);
    RunPosted();
    EXPECT_EQ(line.Queued(), 30) << "the reader went on reading after the handler failed";
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(received.Errors,
              std::vector<std::string>{"Error writing file rec.dcc: No space left on device"});
    port->Drain();
    EXPECT_EQ(calls, 1) << "draining hands a failed handler nothing";
}

TEST_F(ComPortScenario, LineThatGoesAwayIsReportedOnce) {
    auto port = Open();
    line.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return received.Blocks.size() == 1; }));
    line.GoAway();
    ASSERT_TRUE(WaitFor([&] { return !received.Errors.empty(); }));
    RunPosted();
    EXPECT_EQ(received.Errors, std::vector<std::string>{"Error clearing port \\\\.\\COM12"});
    EXPECT_NO_THROW(port->Drain());
    port.reset();
    EXPECT_EQ(received.Errors.size(), 1u);
}

TEST_F(ComPortScenario, TwoDigitPortInUseIsRefusedAndTheRefusalHoldsNothing) {
    auto first = Open();
    EXPECT_EQ(first->Name(), "\\\\.\\COM12");
    try {
        TComPort second(Port, 9);
        FAIL() << "a port in use was opened twice";
    } catch (const EComPortError& e) {
        EXPECT_STREQ(e.what(), "Error opening port \\\\.\\COM12");
    }
    line.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return received.Blocks.size() == 1; }))
        << "the refusal disturbed the owner";

    first.reset();
    auto again = Open();
    line.Write(Pattern(9));
    EXPECT_TRUE(WaitFor([&] { return received.Blocks.size() == 2; }));
}

TEST_F(ComPortScenario, DestructionDropsAHandOverAlreadyQueued) {
    auto port = Open();
    line.WriteAndWaitUntilRead(Pattern(9), false);
    port.reset();
    RunPosted();
    EXPECT_TRUE(received.Blocks.empty());
}

TEST_F(ComPortScenario, HandlersMayDestroyTheirPort) {
    std::unique_ptr<TComPort> port = Open();
    port->SetOnData([&](std::span<const std::uint8_t> block) {
        received.Blocks.emplace_back(block.begin(), block.end());
        port.reset();
    });
    line.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return port == nullptr; }));
    line.Write(Pattern(9));
    RunPosted();
    EXPECT_EQ(received.Blocks.size(), 1u);

    port = Open();
    port->OnError = [&](const std::string& message) {
        received.Errors.push_back(message);
        port.reset();
    };
    line.GoAway();
    ASSERT_TRUE(WaitFor([&] { return port == nullptr; }));
    EXPECT_EQ(received.Errors.size(), 1u);
}

} // namespace
} // namespace serial
