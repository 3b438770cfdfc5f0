// The port list on Linux: sysfs and the announced ports.

#include "serial/PortNames.h"
#include "serial/SystemPorts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "TempDir.h"

namespace imconf {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A fake sysfs: <root>/sys/class/tty/<name> links to a folder under <root>/sys/devices, whose
// `device` link leads to the device folder, as the kernel lays it out.
class FakeSysfs {
public:
    FakeSysfs() { fs::create_directories(TtyDir()); }

    std::string TtyDir() const { return tmp_ / "sys/class/tty"; }
    std::string AnnouncedDir() const { return tmp_ / "announced"; }
    const TempDir& Tmp() const { return tmp_; }

    // A device folder (parents created) with optional bus and driver links.
    std::string Device(const std::string& devPath, const std::string& bus = "",
                       const std::string& driver = "") const
    {
        const std::string dir = tmp_ / ("sys/devices/" + devPath);
        fs::create_directories(dir);
        if (!bus.empty()) {
            const std::string busDir = tmp_ / ("sys/bus/" + bus);
            fs::create_directories(busDir + "/drivers");
            fs::create_symlink(busDir, dir + "/subsystem");
            if (!driver.empty()) {
                fs::create_directories(busDir + "/drivers/" + driver);
                fs::create_symlink(busDir + "/drivers/" + driver, dir + "/driver");
            }
        }
        return dir;
    }

    // A tty under the device `devPath`; no device link when devPath is empty (a virtual tty).
    std::string Tty(const std::string& name, const std::string& devPath,
                    const std::string& type = "") const
    {
        const std::string base = devPath.empty() ? "virtual" : devPath;
        const std::string ttyDir = tmp_ / ("sys/devices/" + base + "/tty/" + name);
        fs::create_directories(ttyDir);
        fs::create_symlink(ttyDir, TtyDir() + "/" + name);
        if (!devPath.empty())
            fs::create_symlink(tmp_ / ("sys/devices/" + devPath), ttyDir + "/device");
        if (!type.empty())
            tmp_.Write("sys/devices/" + base + "/tty/" + name + "/type", type + "\n");
        return ttyDir;
    }

    // A USB device folder with the identification attributes (empty ones are left out).
    std::string UsbDevice(const std::string& devPath, const std::string& vendor,
                          const std::string& product, const std::string& productName,
                          const std::string& manufacturer) const
    {
        const std::string dir = Device(devPath, "usb", "usb");
        const std::string rel = "sys/devices/" + devPath + "/";
        tmp_.Write(rel + "idVendor", vendor + "\n");
        tmp_.Write(rel + "idProduct", product + "\n");
        if (!productName.empty())
            tmp_.Write(rel + "product", productName + "\n");
        if (!manufacturer.empty())
            tmp_.Write(rel + "manufacturer", manufacturer + "\n");
        return dir;
    }

    void Announce(const std::string& name, const std::string& target) const
    {
        fs::create_directories(AnnouncedDir());
        fs::create_symlink(target, AnnouncedDir() + "/" + name);
    }

    std::optional<std::vector<SystemPort>> Read() const
    {
        return LinuxSystemPortList(TtyDir(), AnnouncedDir()).Read();
    }

private:
    TempDir tmp_;
};

std::vector<std::string> Names(const std::vector<SystemPort>& ports)
{
    std::vector<std::string> names;
    for (const SystemPort& p : ports)
        names.push_back(p.name);
    return names;
}

std::string DescriptionOf(const std::vector<SystemPort>& ports, const std::string& name)
{
    for (const SystemPort& p : ports)
        if (p.name == name)
            return p.description;
    ADD_FAILURE() << name << " not listed";
    return {};
}

// Kernel layout of a legacy UART: tty -> serial-base port -> serial-base controller -> pnp.
void AddPnpUart(const FakeSysfs& sys, const std::string& name, const std::string& node,
                const std::string& type)
{
    sys.Device("pnp0/" + node, "pnp", "serial");
    sys.Device("pnp0/" + node + "/" + node + ":0", "serial-base", "ctrl");
    const std::string port = "pnp0/" + node + "/" + node + ":0/" + node + ":0.0";
    sys.Device(port, "serial-base", "port");
    sys.Tty(name, port, type);
}

TEST(SystemPorts, ListsRealDevicesInNaturalOrder)
{
    const FakeSysfs sys;
    AddPnpUart(sys, "ttyS0", "00:01", "4");
    AddPnpUart(sys, "ttyS2", "00:02", "4");
    AddPnpUart(sys, "ttyS10", "00:03", "14");
    // Placeholders of the 8250 driver: a device link, but type 0.
    sys.Device("platform/serial8250", "platform", "serial8250");
    sys.Tty("ttyS1", "platform/serial8250", "0");
    sys.Tty("ttyS3", "platform/serial8250", "0");
    // Virtual consoles and the like: no device link.
    sys.Tty("tty0", "");
    sys.Tty("tty1", "");
    sys.Tty("console", "");
    sys.Tty("ptmx", "");
    // A device link that leads nowhere.
    const std::string broken = sys.Tty("ttyS4", "");
    fs::create_symlink(sys.Tmp() / "sys/devices/gone", broken + "/device");
    // USB adapters (no type attribute at all).
    sys.UsbDevice("pci0000:00/usb1/1-2", "0403", "6001", "FT232R USB UART", "FTDI");
    sys.Device("pci0000:00/usb1/1-2/1-2:1.0", "usb", "ftdi_sio");
    sys.Device("pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
    sys.Tty("ttyUSB0", "pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0");
    sys.UsbDevice("pci0000:00/usb1/1-3", "1234", "5678", "Modem", "");
    sys.Device("pci0000:00/usb1/1-3/1-3:1.0", "usb", "cdc_acm");
    sys.Tty("ttyACM0", "pci0000:00/usb1/1-3/1-3:1.0");
    // A type attribute that is not a number does not hide the port.
    sys.Device("platform/uart-x", "platform", "uart-x");
    sys.Tty("ttyAMA0", "platform/uart-x", "garbage");

    const auto ports = sys.Read();
    ASSERT_TRUE(ports);
    EXPECT_EQ(Names(*ports), (std::vector<std::string>{"ttyACM0", "ttyAMA0", "ttyS0", "ttyS2",
                                                       "ttyS10", "ttyUSB0"}));
    EXPECT_EQ(DescriptionOf(*ports, "ttyUSB0"), "FT232R USB UART — FTDI (0403:6001)");
    EXPECT_EQ(DescriptionOf(*ports, "ttyACM0"), "Modem (1234:5678)");
    EXPECT_EQ(DescriptionOf(*ports, "ttyS0"), "pnp serial, 16550A");
    EXPECT_EQ(DescriptionOf(*ports, "ttyS10"), "pnp serial, NS16550A");
    EXPECT_EQ(DescriptionOf(*ports, "ttyAMA0"), "platform uart-x");
}

TEST(SystemPorts, UsbDescriptionWithoutNames)
{
    const FakeSysfs sys;
    sys.UsbDevice("usb1/1-1", "067b", "2303", "", "");
    sys.Device("usb1/1-1/1-1:1.0/ttyUSB3", "usb-serial", "pl2303");
    sys.Tty("ttyUSB3", "usb1/1-1/1-1:1.0/ttyUSB3");
    sys.UsbDevice("usb1/1-4", "10c4", "ea60", "", "Silicon Labs");
    sys.Device("usb1/1-4/1-4:1.0/ttyUSB4");
    sys.Tty("ttyUSB4", "usb1/1-4/1-4:1.0/ttyUSB4");

    const auto ports = sys.Read();
    ASSERT_TRUE(ports);
    EXPECT_EQ(DescriptionOf(*ports, "ttyUSB3"), "USB (067b:2303)");
    EXPECT_EQ(DescriptionOf(*ports, "ttyUSB4"), "Silicon Labs (10c4:ea60)");
}

TEST(SystemPorts, UsbSearchStaysInsideSysfs)
{
    // idVendor/idProduct above the sysfs root must not be taken for a USB device.
    const FakeSysfs sys;
    sys.Tmp().Write("idVendor", "dead\n");
    sys.Tmp().Write("idProduct", "beef\n");
    sys.Device("platform/uart0", "platform", "uart");
    sys.Tty("ttyAMA0", "platform/uart0");
    const auto ports = sys.Read();
    ASSERT_TRUE(ports);
    EXPECT_EQ(DescriptionOf(*ports, "ttyAMA0"), "platform uart");
}

TEST(SystemPorts, AnnouncedPortsFollowSysfsPorts)
{
    const FakeSysfs sys;
    AddPnpUart(sys, "ttyS0", "00:01", "4");
    const std::string live = sys.Tmp().Write("pts/5", "");
    sys.Announce("sim247", live);
    sys.Announce("sim10", live);
    sys.Announce("sim9", live);
    sys.Announce("gone", sys.Tmp() / "pts/99");  // dangling
    sys.Announce("ttyS0", live);                 // already listed
    sys.Announce("null", live);                  // /dev/null would be opened instead
    sys.Announce("bad\x01name", live);           // not a usable name
    sys.Tmp().Write("announced/plainfile", "");  // not a link

    const auto ports = sys.Read();
    ASSERT_TRUE(ports);
    EXPECT_EQ(Names(*ports), (std::vector<std::string>{"ttyS0", "sim9", "sim10", "sim247"}));
    EXPECT_EQ(DescriptionOf(*ports, "sim247"), "virtual port -> " + live);
    EXPECT_EQ(DescriptionOf(*ports, "ttyS0"), "pnp serial, 16550A");
}

TEST(SystemPorts, UnreadableOnlyWithoutTheTtyFolder)
{
    const FakeSysfs sys;
    // No announced folder, no ttys: readable and empty.
    auto ports = sys.Read();
    ASSERT_TRUE(ports);
    EXPECT_TRUE(ports->empty());

    // Announced ports alone still make a list.
    sys.Announce("sim247", sys.Tmp().Write("pts/1", ""));
    ports = sys.Read();
    ASSERT_TRUE(ports);
    EXPECT_EQ(Names(*ports), (std::vector<std::string>{"sim247"}));

    EXPECT_FALSE(LinuxSystemPortList(sys.Tmp() / "no/such/dir", sys.AnnouncedDir()).Read());
    const std::string file = sys.Tmp().Write("notadir", "");
    EXPECT_FALSE(LinuxSystemPortList(file, sys.AnnouncedDir()).Read());
}

// Standard error while `call` runs.
template <typename F>
std::string StderrOf(F&& call)
{
    std::fflush(stderr);
    std::FILE* file = std::tmpfile();
    const int saved = ::dup(2);
    ::dup2(::fileno(file), 2);
    call();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text.push_back(static_cast<char>(c));
    std::fclose(file);
    return text;
}

TEST(SystemPorts, AnnouncedFolderAnotherUserCouldHaveMadeIsIgnored)
{
    const FakeSysfs sys;
    const std::string folder = sys.AnnouncedDir();
    sys.Announce("COM1", sys.Tmp().Write("pts/1", ""));
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    std::optional<std::vector<SystemPort>> ports;
    EXPECT_EQ(StderrOf([&] { ports = sys.Read(); }), "");
    EXPECT_EQ(Names(ports.value()), (std::vector<std::string>{"COM1"}));

    const auto ignored = [&](const std::string& line) {
        EXPECT_EQ(StderrOf([&] { ports = sys.Read(); }), "imconf: ignoring " + line + "\n");
        EXPECT_TRUE(ports.value().empty()) << line;
    };
    ASSERT_EQ(::chmod(folder.c_str(), 0720), 0);
    ignored(folder + ": writable by group or others");
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(sys.Tmp().Path().c_str(), 0707), 0);  // the folder it is in
    ignored(sys.Tmp().Path() + ": writable by group or others");
    ASSERT_EQ(::chmod(sys.Tmp().Path().c_str(), 0700), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
        ignored(folder + ": not owned by you");
        ASSERT_EQ(::chown(folder.c_str(), 0, 0), 0);
    }
    // A link to a folder of someone else's choosing.
    fs::rename(folder, sys.Tmp() / "real");
    fs::create_directory_symlink(sys.Tmp() / "real", folder);
    ignored(folder + ": a symbolic link");
}

TEST(PortNames, AnnouncedPortsAreOpenedOnlyFromAFolderOfOurOwn)
{
    const TempDir runtime;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved != nullptr ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const std::string folder = runtime / "imconf";
    const std::string link = runtime / "imconf/ports/COM77";
    fs::create_directories(runtime / "imconf/ports");
    fs::create_symlink(runtime.Write("pts/7", ""), link);

    EXPECT_EQ(ResolvePortPath("COM77"), link);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    std::string resolved;
    EXPECT_EQ(StderrOf([&] { resolved = ResolvePortPath("COM77"); }),
              "imconf: ignoring " + folder + ": writable by group or others\n");
    EXPECT_EQ(resolved, "/dev/COM77");

    if (saved != nullptr)
        ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(SystemPorts, ThisMachineListsNoVirtualTerminals)
{
    const TempDir tmp;
    const std::string announced = tmp / "ports";
    if (::access("/sys/class/tty", R_OK) != 0)
        GTEST_SKIP() << "no sysfs here";
    const auto ports = LinuxSystemPortList("/sys/class/tty", announced).Read();
    ASSERT_TRUE(ports);
    for (const SystemPort& p : *ports) {
        EXPECT_TRUE(IsUsablePortName(p.name)) << p.name;
        EXPECT_NE(p.name, "tty");
        EXPECT_NE(p.name, "tty0");
        EXPECT_NE(p.name, "console");
        EXPECT_NE(p.name, "ptmx");
    }
}

}  // namespace
}  // namespace imconf
