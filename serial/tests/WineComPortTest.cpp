// The link's rules that rest on the Windows port, against a real Wine COM port. The rules of
// every platform are tested in ComPortScenarioTest.cpp, which this program runs as well.

#include "serial/ComPort.h"
#include "serial/tests/WineLine.h"

#include <gtest/gtest.h>

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
