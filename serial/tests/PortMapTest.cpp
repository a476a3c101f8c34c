#include "serial/PortMap.h"
#include "serial/PortFolder.h"
#include "serial/tests/Pty.h"

#include <gtest/gtest.h>

#include <fstream>
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

// A made-up /sys beside the made-up /dev: each adapter's USB device with its interface and tty,
// as the system describes them, and the tty class entry that leads there.
class DeviceIdentityTest : public PortMapTest {
protected:
    fs::path sys = runtime.Path() / "sys";

    // An adapter of serial number serial (none when empty) in socket, its tty as port.
    void Usb(const std::string& tty, const std::string& serial, const std::string& socket = "1-2",
             const std::string& port = "0") const {
        const fs::path device = sys / "devices" / "usb1" / socket;
        const fs::path interface = device / (socket + ":1.0");
        fs::create_directories(interface / tty);
        Attribute(device / "idVendor", "0403");
        Attribute(device / "idProduct", "6001");
        if (!serial.empty())
            Attribute(device / "serial", serial);
        Attribute(interface / "bInterfaceNumber", "00");
        Attribute(interface / tty / "port_number", port);
        fs::create_directories(sys / "class" / "tty" / tty);
        fs::create_symlink(interface / tty, sys / "class" / "tty" / tty / "device");
    }
    // Unplugged: the device's node and entries go, and so does its part of the tree.
    void Unplug(const std::string& tty, const std::string& socket, const std::string& id) const {
        fs::remove(dev / tty);
        if (!id.empty())
            fs::remove(byId / id);
        fs::remove_all(sys / "class" / "tty" / tty);
        fs::remove_all(sys / "devices" / "usb1" / socket);
    }
    static void Attribute(const fs::path& file, const std::string& value) {
        std::ofstream(file) << value << "\n";
    }
    // What port number leads to now.
    [[nodiscard]] TDeviceIdentity Identity(std::uint8_t number) const {
        return IdentifyDevice(ResolvePort(number, Ports()), sys);
    }
};

TEST_F(DeviceIdentityTest, AnAdapterIsKnownAgainUnderAnyNameAndNoOtherAdapterPassesForIt) {
    ById("usb-FTDI_FT232R_A-if00-port0", "ttyUSB0");
    Usb("ttyUSB0", "A");
    const TDeviceIdentity lost = Identity(1);
    ASSERT_TRUE(lost.Adapter);
    EXPECT_EQ(lost.Adapter->Serial, "A");

    Unplug("ttyUSB0", "1-2", "usb-FTDI_FT232R_A-if00-port0");
    ById("usb-FTDI_FT232R_B-if00-port0", "ttyUSB0");
    Usb("ttyUSB0", "B");
    EXPECT_FALSE(SameDevice(lost, Identity(1))) << "another adapter took its number and tty";

    ById("usb-FTDI_FT232R_A-if00-port0", "ttyUSB1");
    Usb("ttyUSB1", "A", "1-3");
    EXPECT_TRUE(SameDevice(lost, Identity(1))) << "back in another socket as ttyUSB1";
    EXPECT_FALSE(SameDevice(lost, Identity(2)));
}

TEST_F(DeviceIdentityTest, AdaptersAlikeAreToldApartByPortOrElseBySocket) {
    // Without /dev/serial/by-id the tty nodes themselves are numbered.
    Node("ttyUSB0");
    Usb("ttyUSB0", "D", "1-2", "0");
    Node("ttyUSB1");
    Usb("ttyUSB1", "D", "1-2", "1");
    EXPECT_FALSE(SameDevice(Identity(1), Identity(2))) << "two ports of one adapter";

    Node("ttyACM0");
    Usb("ttyACM0", "", "1-4");
    const TDeviceIdentity lost = Identity(1);
    ASSERT_EQ(lost.Device, dev / "ttyACM0");
    Unplug("ttyACM0", "1-4", "");
    Node("ttyACM0");
    Usb("ttyACM0", "", "1-5");
    EXPECT_FALSE(SameDevice(lost, Identity(1))) << "one like it, without a serial number, "
                                                   "in another socket";
    Unplug("ttyACM0", "1-5", "");
    Node("ttyACM0");
    Usb("ttyACM0", "", "1-4");
    EXPECT_TRUE(SameDevice(lost, Identity(1))) << "back in its socket";
}

TEST_F(DeviceIdentityTest, ALinkToAnAdapterFollowsTheAdapter) {
    ById("usb-FTDI_FT232R_A-if00-port0", "ttyUSB0");
    Usb("ttyUSB0", "A");
    fs::create_symlink(byId / "usb-FTDI_FT232R_A-if00-port0", folder / "COM7");
    const TDeviceIdentity lost = Identity(7);
    ASSERT_TRUE(lost.Adapter);
    Unplug("ttyUSB0", "1-2", "usb-FTDI_FT232R_A-if00-port0");
    EXPECT_FALSE(SameDevice(lost, Identity(7))) << "gone, its link left dangling";
    ById("usb-FTDI_FT232R_A-if00-port0", "ttyUSB4");
    Usb("ttyUSB4", "A");
    EXPECT_TRUE(SameDevice(lost, Identity(7))) << "back behind the link left in place";
}

// A pseudo-terminal has no identity of its own: the system gives its node to the next program
// that asks for one, and a link left in place by a program that was killed leads there.
TEST_F(DeviceIdentityTest, WithoutAnAdapterOnlyALinkMadeAnewLeadsBack) {
    Link(3);
    const TDeviceIdentity lost = Identity(3);
    EXPECT_FALSE(lost.Adapter);
    EXPECT_FALSE(SameDevice(lost, Identity(3))) << "the node reappeared under the old link";

    fs::create_symlink("/dev/null", folder / "made");
    fs::rename(folder / "made", folder / "COM3");
    EXPECT_TRUE(SameDevice(lost, Identity(3))) << "the link was made anew";

    fs::remove(folder / "COM3");
    EXPECT_EQ(Identity(3).Device, "/dev/ttyS2");
    EXPECT_FALSE(SameDevice(lost, Identity(3))) << "never the numbered serial device meanwhile";
    EXPECT_TRUE(SameDevice(Identity(3), Identity(3))) << "which stays itself";
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
