// The link's rules that rest on the POSIX port: the terminal's settings and exclusive use, the
// port folder, and reads the driver gives short. The rules of every platform are tested in
// ComPortScenarioTest.cpp.

#include "serial/ComPort.h"
#include "serial/PortFolder.h"
#include "serial/tests/Pty.h"
#include "serial/tests/ReceivedBlocks.h"
#include "serial/tests/ShortReads.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace serial {
namespace {

using testing::Pattern;
using testing::TPty;
using testing::TShortReads;
using testing::TTempRuntimeDir;
using testing::WaitFor;

class ComPortTest : public ::testing::Test {
protected:
    TTempRuntimeDir runtime;
    TPty pty;
    testing::TReceivedBlocks received;

    std::unique_ptr<TComPort> Open(std::uint8_t number) {
        pty.LinkAs(number);
        auto port = std::make_unique<TComPort>(number, 9);
        received.Attach(*port);
        return port;
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
    ASSERT_TRUE(WaitFor([&] { return !received.Blocks.empty(); }));
    EXPECT_EQ(received.All(), sent);
}

TEST_F(ComPortTest, TerminalTakenForExclusiveUseIsHandedBackOnClose) {
    auto port = Open(3);
    EXPECT_TRUE(pty.Exclusive());
    port.reset();
    EXPECT_FALSE(pty.Exclusive()) << "the terminal stays locked against others after closing";
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

// A session that lost its port opens the number again only onto the device it lost, and keeps
// what that device sent since it came back.
TEST_F(ComPortTest, ReopeningTakesOnlyTheLostDeviceAndKeepsWhatItQueued) {
    TDeviceIdentity lost;
    {
        const auto port = Open(3);
        lost = port->Identity();
        EXPECT_EQ(lost.Device, PortFolder() / "COM3");
    }
    const auto early = Pattern(20, 1);
    pty.Write(early);
    ASSERT_TRUE(WaitFor([&] { return pty.Queued() == 20; }));
    EXPECT_THROW(TComPort(3, 9, lost), EComPortError) << "the node is back under the old link";
    EXPECT_FALSE(pty.Exclusive());
    EXPECT_EQ(pty.Queued(), 20) << "and nothing of it was touched";

    pty.LinkAs(3); // made anew
    TComPort again(3, 9, lost);
    received.Attach(again);
    const auto later = Pattern(9, 2);
    pty.Write(later);
    ASSERT_TRUE(WaitFor([&] { return received.All().size() == 29; }));
    auto sent = early;
    sent.insert(sent.end(), later.begin(), later.end());
    EXPECT_EQ(received.All(), sent) << "nothing purged";
    EXPECT_NE(again.Identity().Entry, lost.Entry);
}

// A terminal window's pseudo-terminal reads what its user types; a link to it leads nowhere.
TEST_F(ComPortTest, AnotherProgramsTerminalIsRefusedSayingWhy) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t shell = ::fork();
    ASSERT_GE(shell, 0);
    if (shell == 0) {
        // A session of its own, whose terminal the slave becomes on being opened.
        ::setsid();
        const int terminal = ::open(pty.SlavePath().c_str(), O_RDWR);
        const char opened = terminal >= 0 ? 1 : 0;
        [[maybe_unused]] const auto told = ::write(ready[1], &opened, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char opened = 0;
    ASSERT_EQ(::read(ready[0], &opened, 1), 1);
    ::close(ready[0]);
    pty.LinkAs(5);
    try {
        TComPort port(5, 9);
        ADD_FAILURE() << "opened the terminal of another program";
    } catch (const EComPortError& e) {
        EXPECT_STREQ(e.what(), "Error opening port \\\\.\\COM5");
        EXPECT_EQ(e.Explanation(), pty.SlavePath() + " — терминал другой программы (например, "
                                                     "окна терминала), а не линия контроллера.");
    }
    ::kill(shell, SIGKILL);
    ::waitpid(shell, nullptr, 0);
    EXPECT_EQ(opened, 1);
    EXPECT_NO_THROW(TComPort(5, 9)) << "once nobody has it for a terminal";
}

TEST_F(ComPortTest, ReadsShorterThanTheCountedBytesAreRepeatedUntilAllAreIn) {
    const TShortReads shortReads(4);
    const auto port = Open(3);
    const auto sent = Pattern(100);
    pty.Write(sent);
    ASSERT_TRUE(WaitFor([&] { return received.All().size() + 9 > sent.size(); }));
    const auto all = received.All();
    EXPECT_TRUE(std::equal(all.begin(), all.end(), sent.begin()));
    for (const auto& block : received.Blocks)
        EXPECT_GE(block.size(), 9u);
}

TEST_F(ComPortTest, PortFolderThatIsNotPrivateRefusesThePortAndSaysWhyToTheUserAndOnStandardError) {
    pty.LinkAs(4);
    const auto folder = PortFolder();
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    ::testing::internal::CaptureStderr();
    try {
        TComPort port(4, 9);
        ADD_FAILURE() << "a port was opened through a folder that others can write to";
    } catch (const EComPortError& e) {
        EXPECT_STREQ(e.what(), "Error opening port \\\\.\\COM4");
        EXPECT_EQ(e.Explanation(),
                  "В папку " + folder.string() +
                      " могут писать другие пользователи. Через такую папку можно подменить "
                      "порт, поэтому порты не открываются: удалите её или исправьте владельца и "
                      "права доступа.");
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(folder.string() + " is writable by other users"), std::string::npos)
        << said;

    ::testing::internal::CaptureStderr();
    EXPECT_THROW(TComPort(4, 9, TDeviceIdentity{}), EComPortError);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "")
        << "a session trying its port again says it once, not at every try";
}

} // namespace
} // namespace serial
