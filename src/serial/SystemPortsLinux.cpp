#include "serial/SystemPorts.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "serial/PortFile.h"

namespace imconf {

namespace {

constexpr int kMaxWalkLevels = 16;  // how far up from a tty's device a USB device is sought
constexpr std::size_t kMaxAttrBytes = 256;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

// The entry names of a folder, "." and ".." left out; nullopt when it cannot be read.
std::optional<std::vector<std::string>> ListDir(const std::string& dir)
{
    const DirPtr handle(::opendir(dir.c_str()));
    if (!handle)
        return std::nullopt;
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(handle.get());
        if (entry == nullptr) {
            if (errno != 0)
                return std::nullopt;
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    return names;
}

bool IsDir(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsSymlink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool ExistsNoFollow(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::optional<std::string> ReadLink(const std::string& path)
{
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size())
        return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    return target;
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentDir(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::optional<std::string> RealPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    std::string out = resolved;
    std::free(resolved);
    return out;
}

// The base name of the link's target ("driver" -> ".../drivers/serial8250" gives "serial8250").
std::string LinkTargetName(const std::string& link)
{
    const auto target = ReadLink(link);
    return target ? BaseName(*target) : std::string();
}

// Makes an attribute text fit for display: invalid UTF-8 bytes and control characters become
// '?', and blanks at both ends are removed.
std::string CleanText(std::string text)
{
    if (!IsValidUtf8(text)) {
        for (char& ch : text)
            if (static_cast<unsigned char>(ch) >= 0x80)
                ch = '?';
    }
    for (char& ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            ch = c == '\t' || c == '\n' || c == '\r' ? ' ' : '?';
    }
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// A small sysfs attribute, cleaned up; nullopt when it is missing or cannot be read. Only
// regular files are read, without blocking.
std::optional<std::string> ReadAttribute(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text(kMaxAttrBytes, '\0');
    ssize_t n;
    do {
        n = ::read(fd, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0)
        return std::nullopt;
    text.resize(static_cast<std::size_t>(n));
    return CleanText(std::move(text));
}

// The `type` attribute as a number; nullopt when missing or not a number.
std::optional<long> ReadType(const std::string& ttyDir)
{
    const auto text = ReadAttribute(ttyDir + "/type");
    if (!text || text->empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text->c_str(), &end, 10);
    if (errno != 0 || end == text->c_str() || *end != '\0')
        return std::nullopt;
    return value;
}

class SysfsReader {
public:
    explicit SysfsReader(std::string ttyDir) : ttyDir_(std::move(ttyDir))
    {
        // Devices live beside the class folders: /sys/class/tty -> /sys. Walks up from a
        // device never leave this root.
        root_ = RealPath(ttyDir_ + "/../..").value_or("/");
    }

    // nullopt when the tty class folder cannot be read.
    std::optional<std::vector<SystemPort>> Read() const
    {
        const auto names = ListDir(ttyDir_);
        if (!names)
            return std::nullopt;
        std::vector<SystemPort> ports;
        for (const std::string& name : *names) {
            // sysfs writes a '/' of a device name as '!'; such a device is not /dev/<name>.
            if (!IsUsablePortName(name) || name.find('!') != std::string::npos)
                continue;
            const std::string dir = ttyDir_ + "/" + name;
            if (!IsSymlink(dir + "/device") || !IsDir(dir + "/device"))
                continue;  // no real device behind it
            const auto type = ReadType(dir);
            if (type && *type == 0)
                continue;  // a UART placeholder
            ports.push_back({name, Describe(dir, type.value_or(0))});
        }
        std::sort(ports.begin(), ports.end(), [](const SystemPort& a, const SystemPort& b) {
            return NaturalPortLess(a.name, b.name);
        });
        return ports;
    }

private:
    bool InsideRoot(const std::string& path) const
    {
        if (root_ == "/")
            return path != "/";
        return path.size() > root_.size() && path.compare(0, root_.size(), root_) == 0 &&
               path[root_.size()] == '/';
    }

    std::string Describe(const std::string& ttyDir, long type) const
    {
        const auto device = RealPath(ttyDir + "/device");
        if (!device)
            return {};
        if (auto usb = DescribeUsb(*device))
            return *usb;

        // The kernel's serial-base layer puts a port and a controller device between the tty
        // and the hardware; the hardware is what the user knows.
        std::string hw = *device;
        for (int level = 0; level < kMaxWalkLevels; ++level) {
            if (LinkTargetName(hw + "/subsystem") != "serial-base")
                break;
            const std::string parent = ParentDir(hw);
            if (!InsideRoot(parent))
                break;
            hw = parent;
        }
        std::string text = LinkTargetName(hw + "/subsystem");
        const std::string driver = LinkTargetName(hw + "/driver");
        if (!driver.empty())
            text += (text.empty() ? "" : " ") + driver;
        const std::string uart = UartTypeName(type);
        if (!uart.empty())
            text += (text.empty() ? "" : ", ") + uart;
        return text;
    }

    // The USB device above a tty's device: the first folder up the chain with idVendor and
    // idProduct.
    std::optional<std::string> DescribeUsb(const std::string& device) const
    {
        std::string dir = device;
        for (int level = 0; level < kMaxWalkLevels && InsideRoot(dir); ++level) {
            const auto vendor = ReadAttribute(dir + "/idVendor");
            const auto product = ReadAttribute(dir + "/idProduct");
            if (vendor && product) {
                std::string text = ReadAttribute(dir + "/product").value_or("");
                const std::string maker = ReadAttribute(dir + "/manufacturer").value_or("");
                if (!maker.empty())
                    text += (text.empty() ? "" : " — ") + maker;
                if (text.empty())
                    text = "USB";
                return text + " (" + *vendor + ":" + *product + ")";
            }
            dir = ParentDir(dir);
        }
        return std::nullopt;
    }

    std::string ttyDir_;
    std::string root_;
};

// Symbolic links in the announced folder whose target exists.
std::vector<SystemPort> ReadAnnounced(const std::string& dir)
{
    std::vector<SystemPort> ports;
    if (!UseAnnouncedDir(dir))
        return ports;
    const auto names = ListDir(dir);
    if (!names)
        return ports;  // no folder, no virtual ports
    for (const std::string& name : *names) {
        if (!IsUsablePortName(name))
            continue;
        const std::string link = dir + "/" + name;
        if (!IsSymlink(link) || !Exists(link))
            continue;  // not a link, or a dangling one
        // The serial component opens /dev/<name> in preference to an announced link of the
        // same name, so such a link could never be used.
        if (ExistsNoFollow("/dev/" + name))
            continue;
        const auto target = ReadLink(link);
        ports.push_back({name, "virtual port -> " + CleanText(target.value_or(""))});
    }
    std::sort(ports.begin(), ports.end(), [](const SystemPort& a, const SystemPort& b) {
        return NaturalPortLess(a.name, b.name);
    });
    return ports;
}

}  // namespace

LinuxSystemPortList::LinuxSystemPortList(std::string sysfsTtyDir, std::string announcedDir)
    : sysfsTtyDir_(std::move(sysfsTtyDir)),
      announcedDir_(std::move(announcedDir))
{
}

std::optional<std::vector<SystemPort>> LinuxSystemPortList::Read()
{
    auto ports = SysfsReader(sysfsTtyDir_).Read();
    if (!ports)
        return std::nullopt;
    std::set<std::string> listed;
    for (const SystemPort& port : *ports)
        listed.insert(port.name);
    for (SystemPort& port : ReadAnnounced(announcedDir_)) {
        if (listed.insert(port.name).second)
            ports->push_back(std::move(port));
    }
    return ports;
}

std::unique_ptr<ISystemPortList> MakeSystemPortList()
{
    return std::make_unique<LinuxSystemPortList>();
}

}  // namespace imconf
