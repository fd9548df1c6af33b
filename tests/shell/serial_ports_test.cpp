#include "shell/serial_ports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/pty_pair.h"
#include "support/text_file.h"

namespace norvex {
namespace {

namespace fs = std::filesystem;

// A sysfs look-alike: class/tty/NAME/device links into devices/, whose driver links point
// into bus/BUS/drivers/DRIVER, as the kernel lays them out; beside it a dev/ folder with the
// serial/by-id links udev makes.
class FakeSysfs {
public:
    FakeSysfs() {
        fs::create_directories(root_ / "class" / "tty");
        fs::create_directories(Dev() + "/serial/by-id");
    }
    std::string Root() const { return root_.string(); }
    std::string Dev() const { return (root_ / "dev").string(); }
    std::string ById(const std::string& link) const { return Dev() + "/serial/by-id/" + link; }

    // udev's relative link, as in /dev/serial/by-id.
    void AddStableName(const std::string& link, const std::string& tty) {
        fs::create_symlink("../../" + tty, ById(link));
    }

    // A tty with no hardware behind it (virtual console, ptmx).
    void AddBareTty(const std::string& name) { fs::create_directories(TtyDir(name)); }

    // A tty whose device is bound to driver on bus.
    void AddTty(const std::string& name, const std::string& bus, const std::string& driver) {
        fs::path dev = root_ / "devices" / ("dev-" + name);
        fs::create_directories(dev);
        Bind(dev, bus, driver);
        AddBareTty(name);
        fs::create_directory_symlink(dev, TtyDir(name) / "device");
    }

    // A legacy UART slot the way recent kernels show it: the tty's device is a serial-base
    // port under the UART's platform device; `type` is 0 when no UART answered.
    void AddUartSlot(const std::string& name, int type) {
        fs::path platform = root_ / "devices" / ("platform-" + name);
        fs::path port = platform / (name + ":0") / (name + ":0.0");
        fs::create_directories(port);
        Bind(platform, "platform", "serial8250");
        Bind(platform / (name + ":0"), "serial-base", "ctrl");
        Bind(port, "serial-base", "port");
        AddBareTty(name);
        fs::create_directory_symlink(port, TtyDir(name) / "device");
        std::ofstream(TtyDir(name) / "type") << type << "\n";
    }

private:
    fs::path TtyDir(const std::string& name) const { return root_ / "class" / "tty" / name; }
    void Bind(const fs::path& dev, const std::string& bus, const std::string& driver) {
        fs::path drv = root_ / "bus" / bus / "drivers" / driver;
        fs::create_directories(drv);
        fs::create_directory_symlink(drv, dev / "driver");
    }
    test::TempDir dir_;
    fs::path root_ = dir_.Path();
};

TEST(EnumSerialPorts, ListsAdaptersByStableNameRealUartsAndNullModemsInNaturalOrder) {
    FakeSysfs sys;
    sys.AddTty("ttyUSB0", "usb-serial", "ftdi_sio");
    sys.AddTty("ttyUSB1", "usb-serial", "ch341-uart");  // no by-id link: the kernel name
    sys.AddTty("ttyACM0", "usb", "cdc_acm");
    sys.AddStableName("usb-FTDI_FT232R_A1-if00-port0", "ttyUSB0");
    sys.AddStableName("usb-Acme_Modem_7-if00", "ttyACM0");
    sys.AddStableName("usb-Acme_Modem_7-if02", "ttyACM0");  // of two links, the first
    sys.AddBareTty("tnt1");
    sys.AddBareTty("tnt0");
    sys.AddBareTty("tnt");
    sys.AddBareTty("tntx");
    sys.AddUartSlot("ttyS0", 4);
    sys.AddUartSlot("ttyS1", 0);  // slot without a UART
    sys.AddUartSlot("ttyS10", 4);
    sys.AddUartSlot("ttyS2", 4);
    sys.AddBareTty("tty0");
    sys.AddBareTty("ptmx");
    sys.AddBareTty("console");

    const std::string dev = sys.Dev();
    std::vector<SerialPortEntry> expected = {
        {"null-modem", dev + "/tnt0"},
        {"null-modem", dev + "/tnt1"},
        {"cdc_acm", sys.ById("usb-Acme_Modem_7-if00"), dev + "/ttyACM0"},
        {"serial8250", dev + "/ttyS0"},
        {"serial8250", dev + "/ttyS2"},
        {"serial8250", dev + "/ttyS10"},
        {"ftdi_sio", sys.ById("usb-FTDI_FT232R_A1-if00-port0"), dev + "/ttyUSB0"},
        {"ch341-uart", dev + "/ttyUSB1"},
    };
    EXPECT_EQ(EnumSerialPorts(sys.Root(), dev, ""), expected);
    EXPECT_EQ(EnumSerialPorts(sys.Root(), dev, ""), expected) << "the order is stable";
}

TEST(EnumSerialPorts, MissingSysfsGivesNothingAndTheListStopsAt256) {
    EXPECT_TRUE(EnumSerialPorts("/nonexistent/sysfs", "/nonexistent/dev", "").empty());
    FakeSysfs sys;
    for (int i = 0; i < 300; ++i) sys.AddTty("ttyUSB" + std::to_string(i), "usb-serial", "pl2303");
    std::vector<SerialPortEntry> ports = EnumSerialPorts(sys.Root(), sys.Dev(), "");
    ASSERT_EQ(ports.size(), kMaxSerialPorts);
    EXPECT_EQ(ports.front().portName, sys.Dev() + "/ttyUSB0");
    EXPECT_EQ(ports.back().portName, sys.Dev() + "/ttyUSB255");
}

TEST(EnumSerialPorts, AddsCharacterDevicesNamedByPathOrGlob) {
    test::PtyPair a, b;
    ASSERT_TRUE(a.Ok() && b.Ok());
    FakeSysfs sys;
    sys.AddTty("ttyACM0", "usb", "cdc_acm");
    test::TempDir tmp;
    fs::path dir = tmp.Path();
    fs::create_symlink(a.SlavePath(), dir / "ttyV0");
    fs::create_symlink(b.SlavePath(), dir / "ttyV1");
    std::ofstream(dir / "ttyV2") << "a regular file is no serial port";
    fs::create_symlink(dir / "gone", dir / "ttyV3");  // dangling

    std::string patterns =
        "::" + (dir / "ttyV*").string() + ":" + (dir / "nothere").string() + ":" + a.SlavePath();
    std::vector<SerialPortEntry> expected = {
        {"cdc_acm", sys.Dev() + "/ttyACM0"},
        {a.SlavePath(), (dir / "ttyV0").string(), a.SlavePath()},
        {b.SlavePath(), (dir / "ttyV1").string(), b.SlavePath()},
        {a.SlavePath(), a.SlavePath()},
    };
    EXPECT_EQ(EnumSerialPorts(sys.Root(), sys.Dev(), patterns), expected);
    std::error_code ec;
    fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace norvex
