#include "ComPort.h"
#include "PortFolder.h"
#include "Pty.h"
#include "ShortReads.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace serial {
namespace {

using testing::TPty;
using testing::TShortReads;
using testing::TTempRuntimeDir;
using testing::WaitFor;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed = 0) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) % 251);
    return bytes;
}

class ComPortTest : public ::testing::Test {
protected:
    TTempRuntimeDir runtime;
    TPty pty;
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::string> errors;

    std::unique_ptr<TComPort> Open(std::uint8_t number, std::uint8_t threshold = 9,
                                   bool attach = true) {
        pty.LinkAs(number);
        auto port = std::make_unique<TComPort>(number, threshold);
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

TEST_F(ComPortTest, OpenSetsTheLineAndKeepsTheDriversOtherSettings) {
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &before), 0);
    before.c_cflag |= CSTOPB | CRTSCTS;
    before.c_iflag |= IXOFF | IXON | ICRNL;
    before.c_lflag |= ICANON | ECHO;
    ::cfsetispeed(&before, B9600);
    ::cfsetospeed(&before, B9600);
    ASSERT_EQ(::tcsetattr(pty.Master(), TCSANOW, &before), 0);

    const auto port = Open(3);

    termios after{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &after), 0);
    EXPECT_EQ(::cfgetispeed(&after), B57600);
    EXPECT_EQ(::cfgetospeed(&after), B57600);
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(after.c_cflag & PARENB);
    EXPECT_FALSE(after.c_cflag & CSTOPB) << "one stop bit";
    EXPECT_FALSE(after.c_lflag & (ICANON | ECHO)) << "raw input, nothing echoed";
    EXPECT_FALSE(after.c_iflag & (IXON | ICRNL | PARMRK)) << "no input byte translated";
    EXPECT_EQ(after.c_cc[VMIN], 1);
    EXPECT_EQ(after.c_cc[VTIME], 0);
    EXPECT_TRUE(after.c_cflag & CRTSCTS) << "flow control stays as the driver had it";
    EXPECT_TRUE(after.c_iflag & IXOFF);
}

TEST_F(ComPortTest, PurgeDiscardsWhatTheDriverHeldBeforeOpening) {
    termios raw{};
    ASSERT_EQ(::tcgetattr(pty.Master(), &raw), 0);
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(pty.Master(), TCSANOW, &raw), 0);
    pty.Write(Pattern(20, 1));
    ASSERT_TRUE(WaitFor([&] { return pty.Queued() == 20; }));
    const auto port = Open(3);
    EXPECT_EQ(pty.Queued(), 0);
    const auto sent = Pattern(9, 2);
    pty.Write(sent);
    ASSERT_TRUE(WaitFor([&] { return !blocks.empty(); }));
    EXPECT_EQ(Received(), sent);
}

class ThresholdTest : public ComPortTest, public ::testing::WithParamInterface<int> {};

TEST_P(ThresholdTest, FewerBytesThanTheThresholdWaitForMore) {
    const int threshold = GetParam();
    const auto port = Open(3, static_cast<std::uint8_t>(threshold));
    const auto sent = Pattern(static_cast<std::size_t>(threshold));
    pty.Write(std::span(sent).first(static_cast<std::size_t>(threshold - 1)));
    ASSERT_TRUE(WaitFor([&] { return pty.Queued() == threshold - 1; }));
    pty.Write(std::span(sent).last(1));
    ASSERT_TRUE(WaitFor([&] { return !blocks.empty(); }));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0], sent);
}

TEST_P(ThresholdTest, StreamArrivesWholeAndInOrderInBlocksOfAtLeastTheThreshold) {
    const auto threshold = static_cast<std::size_t>(GetParam());
    const auto port = Open(3, static_cast<std::uint8_t>(threshold));
    const auto sent = Pattern(300'000);
    for (std::size_t at = 0; at < sent.size(); at += 4099)
        pty.Write(std::span(sent).subspan(at, std::min<std::size_t>(4099, sent.size() - at)));
    ASSERT_TRUE(WaitFor([&] { return Received().size() + threshold > sent.size(); }));

    const auto received = Received();
    EXPECT_TRUE(std::equal(received.begin(), received.end(), sent.begin()));
    for (const auto& block : blocks)
        EXPECT_GE(block.size(), threshold);
    EXPECT_EQ(static_cast<std::size_t>(pty.Queued()), sent.size() - received.size())
        << "a last fragment shorter than the threshold stays queued";
}

INSTANTIATE_TEST_SUITE_P(Thresholds, ThresholdTest, ::testing::Values(1, 9, 255));

std::vector<std::uint8_t> Joined(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(ComPortTest, BlocksReadBeforeAHandlerIsAttachedAreKeptAndHandedOverFirst) {
    auto port = Open(3, 20, false);
    const std::vector<std::uint8_t> early(20, 0x01), later(20, 0x02), last(20, 0x03);
    pty.WriteAndWaitUntilRead(early, false);
    // The reader takes the next block only after the window thread has run the hand-over
    // of the first one, with no handler attached; the second one's may still wait.
    pty.WriteAndWaitUntilRead(later, true);
    Attach(*port);
    ASSERT_TRUE(WaitFor([&] { return Received().size() == 40; }))
        << "handed over once attached, with nothing more arriving";
    pty.Write(last);
    ASSERT_TRUE(WaitFor([&] { return Received().size() == 60; }));
    EXPECT_EQ(Received(), Joined({early, later, last}));
}

TEST_F(ComPortTest, DrainHandsOverEverythingReceivedAtOnceAndThenReadsNoMore) {
    auto port = Open(3, 20, false);
    const std::vector<std::uint8_t> first(20, 0x01), second(20, 0x02), queued(5, 0x03);
    pty.WriteAndWaitUntilRead(first, false);
    pty.WriteAndWaitUntilRead(second, true); // kept, or read and waiting for its hand-over
    Attach(*port);                           // the kept blocks' hand-over is not run yet
    pty.Write(queued);
    pty.WaitUntilQueued(5, false);

    port->Drain();
    EXPECT_EQ(Received(), Joined({first, second, queued}));
    EXPECT_EQ(pty.Queued(), 0);

    pty.Write(Pattern(20));
    pty.WaitUntilQueued(20, true);
    EXPECT_EQ(Received().size(), 45u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ComPortTest, HandlerThatThrowsIsReportedOnceAndReadingStops) {
    auto port = Open(3);
    int calls = 0;
    port->SetOnData([&](std::span<const std::uint8_t>) {
        ++calls;
        throw std::runtime_error("Error writing file rec.dcc: No space left on device");
    });
    pty.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));

    const auto more = Pattern(30);
    pty.Write(more);
    ASSERT_TRUE(WaitFor([&] { return pty.Queued() == 30; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(pty.Queued(), 30) << "the reader went on reading after the handler failed";
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(errors,
              std::vector<std::string>{"Error writing file rec.dcc: No space left on device"});
    port->Drain();
    EXPECT_EQ(calls, 1) << "draining hands a failed handler nothing";
}

TEST_F(ComPortTest, LineThatGoesAwayIsReportedOnce) {
    auto port = Open(5);
    pty.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return blocks.size() == 1; }));
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(errors, std::vector<std::string>{"Error clearing port \\\\.\\COM5"});
    EXPECT_NO_THROW(port->Drain());
    port.reset();
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(ComPortTest, TwoDigitPortInUseIsRefusedAndTheRefusalHoldsNothing) {
    auto first = Open(12);
    EXPECT_EQ(first->Name(), "\\\\.\\COM12");
    try {
        TComPort second(12, 9);
        FAIL() << "a port in use was opened twice";
    } catch (const EComPortError& e) {
        EXPECT_STREQ(e.what(), "Error opening port \\\\.\\COM12");
    }
    pty.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return blocks.size() == 1; })) << "the refusal disturbed the owner";

    EXPECT_TRUE(pty.Exclusive());
    first.reset();
    EXPECT_FALSE(pty.Exclusive()) << "the terminal stays locked against others after closing";
    auto again = Open(12);
    pty.Write(Pattern(9));
    EXPECT_TRUE(WaitFor([&] { return blocks.size() == 2; }));
}

TEST_F(ComPortTest, ConstructionFailuresQuoteThePortName) {
    const auto folder = runtime.Path() / "telmira" / "ports";
    pty.LinkAs(1);
    std::filesystem::create_symlink("/nonexistent/device", folder / "COM25");
    std::ofstream(runtime.Path() / "plain-file") << "not a terminal";
    std::filesystem::create_symlink(runtime.Path() / "plain-file", folder / "COM7");

    const std::pair<std::uint8_t, const char*> cases[] = {
        {25, "Error opening port \\\\.\\COM25"},
        {7, "Error setting port \\\\.\\COM7 state"},
    };
    for (const auto& [number, text] : cases) {
        try {
            TComPort port(number, 9);
            ADD_FAILURE() << text;
        } catch (const EComPortError& e) {
            EXPECT_STREQ(e.what(), text);
        }
    }
    TComPort unaffected(1, 9); // the failed attempts hold nothing that is in the way
}

TEST_F(ComPortTest, ReadsShorterThanTheCountedBytesAreRepeatedUntilAllAreIn) {
    const TShortReads shortReads(4);
    const auto port = Open(3);
    const auto sent = Pattern(100);
    pty.Write(sent);
    ASSERT_TRUE(WaitFor([&] { return Received().size() + 9 > sent.size(); }));
    const auto received = Received();
    EXPECT_TRUE(std::equal(received.begin(), received.end(), sent.begin()));
    for (const auto& block : blocks)
        EXPECT_GE(block.size(), 9u);
}

TEST_F(ComPortTest, PortFolderThatIsNotPrivateRefusesThePortAndSaysWhyOnStandardError) {
    pty.LinkAs(4);
    const auto folder = PortFolder();
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    ::testing::internal::CaptureStderr();
    try {
        TComPort port(4, 9);
        ADD_FAILURE() << "a port was opened through a folder that others can write to";
    } catch (const EComPortError& e) {
        EXPECT_STREQ(e.what(), "Error opening port \\\\.\\COM4");
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(folder.string() + " is writable by other users"), std::string::npos)
        << said;
}

TEST_F(ComPortTest, DestructionDropsAHandOverAlreadyQueued) {
    auto port = Open(3);
    pty.WriteAndWaitUntilRead(Pattern(9), false);
    port.reset();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(blocks.empty());
}

TEST_F(ComPortTest, HandlersMayDestroyTheirPort) {
    std::unique_ptr<TComPort> port = Open(3);
    port->SetOnData([&](std::span<const std::uint8_t> block) {
        blocks.emplace_back(block.begin(), block.end());
        port.reset();
    });
    pty.Write(Pattern(9));
    ASSERT_TRUE(WaitFor([&] { return port == nullptr; }));
    pty.Write(Pattern(9));
    QCoreApplication::processEvents();
    EXPECT_EQ(blocks.size(), 1u);

    port = Open(3);
    port->OnError = [&](const std::string& message) {
        errors.push_back(message);
        port.reset();
    };
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return port == nullptr; }));
    EXPECT_EQ(errors.size(), 1u);
}

} // namespace
} // namespace serial
