#include "serial/PortMap.h"
#include "serial/PortFolder.h"
#include "serial/tests/Pty.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace serial {
namespace {

namespace fs = std::filesystem;
using Kind = TPortTarget::TKind;

// A made-up /dev: tty nodes are links to /dev/null, a character device like a real one.
class PortMapTest : public ::testing::Test {
protected:
    testing::TTempRuntimeDir runtime;
    fs::path dev = runtime.Path() / "dev";
    fs::path byId = dev / "serial" / "by-id";
    fs::path folder = EnsurePortFolder();

    PortMapTest() { fs::create_directory(dev); }

    void Node(const std::string& name) const { fs::create_symlink("/dev/null", dev / name); }
    void Unplug(const std::string& name) const { fs::remove(dev / name); }
    void ById(const std::string& id, const std::string& node) const {
        fs::create_directories(byId);
        Node(node);
        fs::create_symlink("../../" + node, byId / id);
    }
    void Link(int number) const {
        fs::create_symlink("/dev/null", folder / ("COM" + std::to_string(number)));
    }
    [[nodiscard]] std::vector<TPortTarget> Ports() const { return NumberedPorts(dev, folder); }
};

TEST_F(PortMapTest, AdaptersByIdTakeTheLowestNumbersNoLinkNames) {
    ById("usb-FTDI_FT232R_B-if00-port0", "ttyUSB0");
    ById("usb-FTDI_FT232R_A-if00-port0", "ttyUSB1");
    ById("usb-Arduino_Uno_C-if00", "ttyACM0");
    Node("ttyUSB7"); // a tty node without a by-id entry is not offered when the folder exists
    Link(2);
    Link(4);
    EXPECT_EQ(Ports(), (std::vector<TPortTarget>{
                           {1, byId / "usb-Arduino_Uno_C-if00", Kind::Adapter},
                           {2, folder / "COM2", Kind::Link},
                           {3, byId / "usb-FTDI_FT232R_A-if00-port0", Kind::Adapter},
                           {4, folder / "COM4", Kind::Link},
                           {5, byId / "usb-FTDI_FT232R_B-if00-port0", Kind::Adapter},
                       }));
}

TEST_F(PortMapTest, WithoutByIdTheTtyNodesAreNumberedAcmFirstThenByNumber) {
    for (const char* node : {"ttyUSB10", "ttyUSB2", "ttyACM1", "ttyS0", "ttyUSB02", "ttyUSBx"})
        Node(node);
    Link(1);
    EXPECT_EQ(Ports(), (std::vector<TPortTarget>{
                           {1, folder / "COM1", Kind::Link},
                           {2, dev / "ttyACM1", Kind::Adapter},
                           {3, dev / "ttyUSB2", Kind::Adapter},
                           {4, dev / "ttyUSB10", Kind::Adapter},
                       }));
}

TEST_F(PortMapTest, NumbersFollowTheAdaptersPresentAndComeBackWithThem) {
    ById("usb-B", "ttyUSB0");
    ById("usb-C", "ttyUSB1");
    const auto before = Ports();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[1].Device, byId / "usb-C");

    ById("usb-A", "ttyUSB2");
    EXPECT_EQ(Ports()[0].Device, byId / "usb-A") << "a new adapter is numbered by its name";
    Unplug("ttyUSB2");
    EXPECT_EQ(Ports(), before) << "its entry left dangling while it goes counts for nothing";
    fs::remove(byId / "usb-A");

    Unplug("ttyUSB1");
    EXPECT_EQ(Ports(), (std::vector<TPortTarget>{{1, byId / "usb-B", Kind::Adapter}}));
    fs::remove(byId / "usb-C");
    Node("ttyUSB3");
    fs::create_symlink("../../ttyUSB3", byId / "usb-C");
    EXPECT_EQ(Ports(), before) << "back under another tty name, with its number";
}

TEST_F(PortMapTest, LinksOfAnUntrustedFolderNeitherLeadNorTakeNumbers) {
    ById("usb-A", "ttyUSB0");
    Link(1);
    ::chmod(folder.c_str(), 0777);
    EXPECT_EQ(Ports(), (std::vector<TPortTarget>{{1, byId / "usb-A", Kind::Adapter}}));
    ::chmod(folder.c_str(), 0700);
    EXPECT_EQ(Ports(), (std::vector<TPortTarget>{{1, folder / "COM1", Kind::Link},
                                                 {2, byId / "usb-A", Kind::Adapter}}));
}

TEST_F(PortMapTest, NoAdaptersAndNoLinksNumberNothing) {
    Node("ttyS0");
    EXPECT_TRUE(Ports().empty());
    EXPECT_TRUE(NumberedPorts(runtime.Path() / "no-dev", runtime.Path() / "no-folder").empty());
    EXPECT_EQ(ResolvePort(3, Ports()), (TPortTarget{3, "/dev/ttyS2", Kind::Serial}))
        << "a number nothing else takes is the numbered serial device";
}

} // namespace
} // namespace serial
