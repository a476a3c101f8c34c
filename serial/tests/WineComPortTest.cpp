// The link's rules on Windows, against a real Wine COM port on a pseudo-terminal pair.

#include "ComPort.h"
#include "WineLine.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace serial {
namespace {

using testing::TestWindowThread;
using testing::TWineLine;
using testing::WaitFor;

constexpr std::uint8_t Port = TWineLine::PortNumber;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed = 0) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) % 251);
    return bytes;
}

std::vector<std::uint8_t> Joined(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class WineComPortTest : public ::testing::Test {
protected:
    TWineLine line;
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::string> errors;

    std::unique_ptr<TComPort> Open(std::uint8_t threshold = 9, bool attach = true) {
        auto port = std::make_unique<TComPort>(Port, threshold);
        if (attach)
            Attach(*port);
        return port;
    }

    void Attach(TComPort& port) {
        port.SetOnData([this](std::span<const std::uint8_t> block) {
            blocks.emplace_back(block.begin(), block.end());
        });
        port.OnError = [this](const std::string& message) { errors.push_back(message); };
    }

    [[nodiscard]] std::vector<std::uint8_t> Received() const {
        std::vector<std::uint8_t> all;
        for (const auto& b : blocks)
            all.insert(all.end(), b.begin(), b.end());
        return all;
    }
};

TEST_F(WineComPortTest, OpenSetsTheLineByTheNameItself) {
    const auto port = Open();
    EXPECT_EQ(port->Name(), "\\\\.\\COM12");
    EXPECT_EQ(port->Device(), "\\\\.\\COM12");
    const HANDLE watcher =
        ::CreateFileA("\\\\.\\COM12", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(watcher, INVALID_HANDLE_VALUE);
    DCB settings{};
    settings.DCBlength = sizeof settings;
    ASSERT_TRUE(::GetCommState(watcher, &settings));
    ::CloseHandle(watcher);
    EXPECT_EQ(settings.BaudRate, 57600u);
    EXPECT_EQ(settings.ByteSize, 8);
    EXPECT_EQ(settings.Parity, NOPARITY);
    EXPECT_EQ(settings.StopBits, ONESTOPBIT);
}

class WineThresholdTest : public WineComPortTest, public ::testing::WithParamInterface<int> {};

TEST_P(WineThresholdTest, FewerBytesThanTheThresholdWaitForMore) {
    const auto threshold = static_cast<std::size_t>(GetParam());
    const auto port = Open(static_cast<std::uint8_t>(threshold));
    const auto sent = Pattern(threshold);
    line.Write(std::span(sent).first(threshold - 1));
    line.WaitUntilQueued(static_cast<int>(threshold - 1), true);
    EXPECT_TRUE(blocks.empty());
    line.Write(std::span(sent).last(1));
    ASSERT_TRUE(WaitFor([&] { return !blocks.empty(); }));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], sent);
}

TEST_P(WineThresholdTest, StreamArrivesWholeAndInOrderInBlocksOfAtLeastTheThreshold) {
    const auto threshold = static_cast<std::size_t>(GetParam());
    const auto port = Open(static_cast<std::uint8_t>(threshold));
    const auto sent = Pattern(100'000);
    for (std::size_t at = 0; at < sent.size(); at += 4099)
        line.Write(std::span(sent).subspan(at, std::min<std::size_t>(4099, sent.size() - at)));
    ASSERT_TRUE(WaitFor([&] {
        return Received().size() + static_cast<std::size_t>(line.Queued()) == sent.size() &&
               static_cast<std::size_t>(line.Queued()) < threshold;
    }));

    const auto received = Received();
    EXPECT_TRUE(std::equal(received.begin(), received.end(), sent.begin()));
    for (const auto& block : blocks)
        EXPECT_GE(block.size(), threshold);
}

INSTANTIATE_TEST_SUITE_P(Thresholds, WineThresholdTest, ::testing::Values(1, 9, 255));

TEST_F(WineComPortTest, BlocksReadBeforeAHandlerIsAttachedAreKeptAndHandedOverFirst) {
    auto port = Open(20, false);
    const std::vector<std::uint8_t> early(20, 0x01), later(20, 0x02), last(20, 0x03);
    line.WriteAndWaitUntilRead(early, false);
    line.WriteAndWaitUntilRead(later, true);
    Attach(*port);
    ASSERT_TRUE(WaitFor([&] { return Received().size() == 40; }));
    line.Write(last);
    ASSERT_TRUE(WaitFor([&] { return Received().size() == 60; }));
    EXPECT_EQ(Received(), Joined({early, later, last}));
}

TEST_F(WineComPortTest, DrainHandsOverEverythingReceivedAtOnceAndThenReadsNoMore) {
    auto port = Open(20, false);
    const std::vector<std::uint8_t> first(20, 0x01), second(20, 0x02), queued(5, 0x03);
    line.WriteAndWaitUntilRead(first, false);
    line.WriteAndWaitUntilRead(second, true);
    Attach(*port);
    line.Write(queued);
    line.WaitUntilQueued(5, false);

    port->Drain();
    EXPECT_EQ(Received(), Joined({first, second, queued}));
    EXPECT_EQ(line.Queued(), 0);

    line.Write(Pattern(20));
    line.WaitUntilQueued(20, true);
    EXPECT_EQ(Received().size(), 45u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(WineComPortTest, HandlerThatThrowsIsReportedOnceAndReadingStops) {
    auto port = Open();
    int calls = 0;
    port->SetOnData([&](std::span<const std::uint8_t>) {
        ++calls;
        throw std::runtime_error("Error writing file rec.dcc: No space left on device");
    });
    line.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));

    line.Write(Pattern(30));
    line.WaitUntilQueued(30, true);
    TestWindowThread().RunPosted();
    EXPECT_EQ(line.Queued(), 30) << "the reader went on reading after the handler failed";
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(errors,
              std::vector<std::string>{"Error writing file rec.dcc: No space left on device"});
    port->Drain();
    EXPECT_EQ(calls, 1) << "draining hands a failed handler nothing";
}

TEST_F(WineComPortTest, LineThatGoesAwayIsReportedOnce) {
    auto port = Open();
    line.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return blocks.size() == 1; }));
    line.CloseController();
    ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
    TestWindowThread().RunPosted();
    EXPECT_EQ(errors, std::vector<std::string>{"Error clearing port \\\\.\\COM12"});
    EXPECT_NO_THROW(port->Drain());
    port.reset();
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(WineComPortTest, PortInUseIsRefusedAndTheRefusalHoldsNothing) {
    auto first = Open();
    try {
        TComPort second(Port, 9);
        FAIL() << "a port in use was opened twice";
    } catch (const EComPortError& e) {
        EXPECT_STREQ(e.what(), "Error opening port \\\\.\\COM12");
    }
    line.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return blocks.size() == 1; })) << "the refusal disturbed the owner";

    first.reset();
    auto again = Open();
    line.Write(Pattern(9));
    EXPECT_TRUE(WaitFor([&] { return blocks.size() == 2; }));
}

TEST_F(WineComPortTest, PortThatIsAbsentIsRefused) {
    try {
        TComPort absent(20, 9);
        FAIL() << "an absent port was opened";
    } catch (const EComPortError& e) {
        EXPECT_STREQ(e.what(), "Error opening port \\\\.\\COM20");
    }
}

TEST_F(WineComPortTest, DestructionDropsAHandOverAlreadyQueued) {
    auto port = Open();
    line.WriteAndWaitUntilRead(Pattern(9), false);
    port.reset();
    TestWindowThread().RunPosted();
    EXPECT_TRUE(blocks.empty());
}

TEST_F(WineComPortTest, DrainTakesABlockWaitingForItsHandOver) {
    auto port = Open();
    const auto sent = Pattern(9);
    line.WriteAndWaitUntilRead(sent, false);
    port->Drain();
    EXPECT_EQ(Received(), sent);
    port.reset();
    TestWindowThread().RunPosted();
    EXPECT_EQ(blocks.size(), 1u) << "the queued hand-over ran after the drain";
}

TEST_F(WineComPortTest, HandlersMayDestroyTheirPort) {
    std::unique_ptr<TComPort> port = Open();
    port->SetOnData([&](std::span<const std::uint8_t> block) {
        blocks.emplace_back(block.begin(), block.end());
        port.reset();
    });
    line.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return port == nullptr; }));
    line.Write(Pattern(9));
    TestWindowThread().RunPosted();
    EXPECT_EQ(blocks.size(), 1u);

    port = Open();
    port->OnError = [&](const std::string& message) {
        errors.push_back(message);
        port.reset();
    };
    line.CloseController();
    ASSERT_TRUE(WaitFor([&] { return port == nullptr; }));
    EXPECT_EQ(errors.size(), 1u);
}

} // namespace
} // namespace serial

int main(int argc, char** argv) {
    serial::SetWindowThread(serial::testing::TestWindowThread());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
