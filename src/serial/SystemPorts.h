#pragma once
// The machine's list of serial ports, as the "Port" menu shows it.
//
// On Windows the list is the system's registry list of serial ports. On Linux it is made from
// sysfs and from the folder where programs announce virtual ports (serial/PortNames.h).
// Nothing is opened to find out whether a port is there: opening a serial device moves its
// modem lines, so everything is decided from what the system lists.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/PortNames.h"

namespace imconf {

struct SystemPort {
    std::string name;         // the menu caption and the name handed to the serial component
    std::string description;  // a short text for the user, may be empty
};

class ISystemPortList {
public:
    virtual ~ISystemPortList() = default;
    // nullopt: the list cannot be read (counts as unreadable)
    virtual std::optional<std::vector<SystemPort>> Read() = 0;
};

// Reads the tty class folder of sysfs and the announced-ports folder.
//
// Ports from sysfs come first: every tty with a `device` link (a real device behind it;
// virtual consoles, pseudo-terminals and the like have none), except serial ports whose
// `type` attribute says 0, the placeholders that the 8250 driver registers for UARTs that are
// not there. Then every symbolic link in the announced folder whose target exists.
//
// Order: sysfs ports in natural order (NaturalPortLess: ttyACM0, ttyS0, ttyS1, ..., ttyS10,
// ttyUSB0, ...), then the announced ports, also in natural order. Left out: a name that is
// not usable as a port name (IsUsablePortName), a sysfs name with '!' (sysfs writes a '/' of
// the /dev name that way), an announced name that is already listed or that /dev has (the
// serial component would open the /dev entry instead).
//
// Descriptions:
//   - USB adapters: "<product> — <manufacturer> (<idVendor>:<idProduct>)" from the USB device
//     above the tty, e.g. "FT232R USB UART — FTDI (0403:6001)"; missing parts are left out;
//   - other devices: the bus and the driver of the device (above the kernel's serial-base
//     layer), then the UART type when the `type` attribute names one, e.g. "pnp serial,
//     16550A";
//   - announced ports: "virtual port -> <link target>".
//
// The list is unreadable (nullopt) only when the tty class folder cannot be read; a missing
// or unreadable announced folder just adds nothing.
class LinuxSystemPortList : public ISystemPortList {
public:
    explicit LinuxSystemPortList(std::string sysfsTtyDir = "/sys/class/tty",
                                 std::string announcedDir = AnnouncedPortsDir());

    std::optional<std::vector<SystemPort>> Read() override;

private:
    std::string sysfsTtyDir_;
    std::string announcedDir_;
};

// The values of a registry key, one port each: the caption is the value's data (a text such as
// "COM3"), the description the value's name (such as "\Device\Serial0"). Order: the order in
// which the registry enumerates the values, nothing sorted. The key is opened asking for full
// access; where that is refused, or the key is missing, or enumerating its values fails, the
// list is unreadable (nullopt). Values that are not text, and data that is not usable as a
// port name (IsUsablePortName, e.g. empty), are left out; data runs to its first NUL, with or
// without a terminator stored. Texts are taken in the system's ANSI code page and given as
// UTF-8.
//
// `subKey` is under the local machine's root, or under the current user's root when
// `root` says so (a scratch key for tests).
enum class RegistryRoot { LocalMachine, CurrentUser };

class Win32SystemPortList : public ISystemPortList {
public:
    explicit Win32SystemPortList(std::string subKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                 RegistryRoot root = RegistryRoot::LocalMachine);

    std::optional<std::vector<SystemPort>> Read() override;

private:
    std::string subKey_;
    RegistryRoot root_;
};

// This platform's list: the registry list on Windows, sysfs and the announced ports on Linux.
std::unique_ptr<ISystemPortList> MakeSystemPortList();

// Natural order of port names: runs of digits compare by their value, everything else byte by
// byte; names equal in that order (ttyS01, ttyS1) fall back to plain byte order.
bool NaturalPortLess(std::string_view a, std::string_view b);

// A name that can be shown as a caption and opened as a port: not empty, not "." or "..", at
// most 255 bytes, valid UTF-8, no '/', no control characters.
bool IsUsablePortName(std::string_view name);

// The name of a serial UART type as the `type` attribute numbers it (4 -> "16550A");
// empty for 0 and for numbers not known here.
std::string UartTypeName(long type);

}  // namespace imconf
