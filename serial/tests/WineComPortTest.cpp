// The link's rules that rest on the Windows port, against a real Wine COM port. The rules of
// every platform are tested in ComPortScenarioTest.cpp, which this program runs as well.

#include "serial/ComPort.h"
#include "serial/SerialLine.h"
#include "serial/tests/ReceivedBlocks.h"
#include "serial/tests/WineLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace serial {
namespace {

TEST(WineComPortTest, OpenSetsTheLineOnThePortNamedAsItIs) {
    const testing::TWineLine line;
    const TComPort port(testing::TWineLine::PortNumber, 9);
    EXPECT_EQ(port.Device(), "\\\\.\\COM12");
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

// Windows keeps a port's settings between openers: what a terminal left must not reach the
// stream. Wine keeps them on the port's terminal, where XON/XOFF would take 0x11 and 0x13 out.
TEST(WineComPortTest, AStateLeftByAnotherProgramLetsEveryByteValueThrough) {
    const testing::TWineLine line;
    {
        const HANDLE other = ::CreateFileA("\\\\.\\COM12", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        DCB left{};
        left.DCBlength = sizeof left;
        ASSERT_TRUE(::GetCommState(other, &left));
        left.fOutX = TRUE;
        left.fInX = TRUE;
        left.fNull = TRUE;
        left.fDsrSensitivity = TRUE;
        left.fOutxDsrFlow = TRUE;
        left.fAbortOnError = TRUE;
        ASSERT_TRUE(::SetCommState(other, &left));
        ::CloseHandle(other);
    }

    testing::TReceivedBlocks received;
    TComPort port(testing::TWineLine::PortNumber, 9);
    received.Attach(port);
    std::vector<std::uint8_t> sent;
    for (int round = 0; round < 50; ++round)
        for (int value = 0; value < 256; ++value)
            sent.push_back(static_cast<std::uint8_t>(value));
    line.Write(sent);

    EXPECT_TRUE(testing::WaitFor([&] { return received.All().size() >= sent.size(); },
                                 std::chrono::seconds(10)));
    EXPECT_EQ(received.All(), sent);
    EXPECT_TRUE(received.Errors.empty());

    DCB settings{};
    settings.DCBlength = sizeof settings;
    const HANDLE watcher =
        ::CreateFileA("\\\\.\\COM12", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(watcher, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(::GetCommState(watcher, &settings));
    ::CloseHandle(watcher);
    EXPECT_FALSE(settings.fOutX);
    EXPECT_FALSE(settings.fInX);
    EXPECT_FALSE(settings.fOutxDsrFlow);
    EXPECT_FALSE(settings.fOutxCtsFlow);
    EXPECT_NE(settings.XonChar, settings.XoffChar);
}

// A read asked for more than is queued waits, with no time-outs, for bytes that never come,
// as a read of a driver that lost the port does: it is cancelled after a bounded wait instead
// of holding the reader, and whoever closes the port, forever.
TEST(WineComPortTest, AReadThatNeverCompletesEndsWithTheBytesItGot) {
    const testing::TWineLine line;
    auto port = std::make_unique<TSerialLine>(testing::TWineLine::PortNumber, "COM12", nullptr);
    const std::vector<std::uint8_t> sent = {1, 2, 3, 4, 5};
    line.Write(sent);
    line.WaitUntilQueued(static_cast<int>(sent.size()), false);

    struct TRead {
        std::array<std::uint8_t, 10> Bytes{};
        std::atomic<std::size_t> Got{0};
        std::atomic<bool> Ended{false};
    };
    const auto read = std::make_shared<TRead>();
    std::thread([read, &line = *port] {
        read->Got = line.ReadQueued(read->Bytes.data(), read->Bytes.size());
        read->Ended = true;
    }).detach();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!read->Ended && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    if (!read->Ended) {
        // The read holds the port: leave it to the reading thread.
        static_cast<void>(port.release());
        FAIL() << "the read never ended";
    }
    EXPECT_LE(read->Got, sent.size());
    EXPECT_TRUE(std::equal(read->Bytes.begin(), read->Bytes.begin() + read->Got, sent.begin()));
}

// COM14 is a plain file (scripts/wine-com-line.py). Each attempt fails at its own step: one
// that kept the port would make the next fail at the opening.
TEST(WineComPortTest, ConstructionFailuresQuoteThePortNameAndHoldNothing) {
    const std::pair<std::uint8_t, const char*> cases[] = {
        {20, "Error opening port \\\\.\\COM20"},
        {14, "Error setting port \\\\.\\COM14 state"},
        {14, "Error setting port \\\\.\\COM14 state"},
    };
    for (const auto& [number, text] : cases) {
        try {
            TComPort port(number, 9);
            ADD_FAILURE() << text;
        } catch (const EComPortError& e) {
            EXPECT_STREQ(e.what(), text);
        }
    }
}

} // namespace
} // namespace serial

int main(int argc, char** argv) {
    serial::SetWindowThread(serial::testing::TestWindowThread());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
