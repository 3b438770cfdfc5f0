// The port list on Windows: the values of a registry key, read from a scratch key of the
// current user and from the machine's own list.

#include "serial/SystemPorts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

namespace imconf {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;  // name, description

Pairs PairsOf(const std::vector<SystemPort>& ports)
{
    Pairs pairs;
    for (const SystemPort& p : ports)
        pairs.emplace_back(p.name, p.description);
    return pairs;
}

// HKEY_CURRENT_USER\Software\IMConfTest\<unique>, deleted with its values at the end.
class ScratchKey {
public:
    ScratchKey()
        : path_("Software\\IMConfTest\\" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(::GetTickCount64()) + "-" + std::to_string(++count_))
    {
        EXPECT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    ~ScratchKey()
    {
        ::RegCloseKey(key_);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        ::RegDeleteKeyA(HKEY_CURRENT_USER,
                        "Software\\IMConfTest");  // only when no other test holds one
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    void Set(const std::string& name, DWORD type, const std::string& bytes) const
    {
        ASSERT_EQ(::RegSetValueExA(key_, name.c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    // A text value as programs write it, with its terminating NUL.
    void Text(const std::string& name, const std::string& text) const
    {
        Set(name, REG_SZ, text + '\0');
    }

    // The value names in the order the registry itself enumerates them.
    std::vector<std::string> EnumeratedNames() const
    {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD length = sizeof name;
            if (::RegEnumValueA(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                return names;
            names.emplace_back(name, length);
        }
    }

    std::optional<std::vector<SystemPort>> Read() const
    {
        return Win32SystemPortList(path_, RegistryRoot::CurrentUser).Read();
    }
    const std::string& Path() const { return path_; }

private:
    static inline int count_ = 0;
    std::string path_;
    HKEY key_ = nullptr;
};

// The pairs expected from `data` (value name -> port name), in the registry's own order.
Pairs InRegistryOrder(const ScratchKey& key, const std::map<std::string, std::string>& data)
{
    Pairs pairs;
    for (const std::string& name : key.EnumeratedNames()) {
        const auto found = data.find(name);
        if (found != data.end())
            pairs.emplace_back(found->second, name);
    }
    return pairs;
}

TEST(Win32SystemPorts, CaptionIsTheDataInRegistryOrder)
{
    const ScratchKey key;
    key.Text("\\Device\\Serial2", "COM3");
    key.Text("\\Device\\Serial0", "COM1");
    const auto ports = key.Read();
    ASSERT_TRUE(ports);
    const Pairs expected =
        InRegistryOrder(key, {{"\\Device\\Serial2", "COM3"}, {"\\Device\\Serial0", "COM1"}});
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(PairsOf(*ports), expected);
}

TEST(Win32SystemPorts, ValuesThatAreNoPortNameAreLeftOut)
{
    const ScratchKey key;
    key.Text("long", "COM12345");
    key.Set("unterminated", REG_SZ, "COM7");  // no NUL stored: nothing of "COM12345" may follow
    key.Set("inner nul", REG_SZ, std::string("COM9\0junk\0", 10));
    key.Set("expandable", REG_EXPAND_SZ, std::string("COM8\0", 5));
    key.Text("empty", "");
    key.Set("nul only", REG_SZ, std::string("\0\0", 2));
    key.Text("tab", "CO\tM2");
    key.Text("slash", "a/b");
    key.Set("number", REG_DWORD, std::string("\x05\x00\x00\x00", 4));
    key.Set("binary", REG_BINARY, std::string("COM5\0", 5));
    key.Set("list", REG_MULTI_SZ, std::string("COM6\0\0", 6));
    const auto ports = key.Read();
    ASSERT_TRUE(ports);
    EXPECT_EQ(PairsOf(*ports), InRegistryOrder(key, {{"long", "COM12345"},
                                                     {"unterminated", "COM7"},
                                                     {"inner nul", "COM9"},
                                                     {"expandable", "COM8"}}));
    EXPECT_EQ(ports->size(), 4u);
}

TEST(Win32SystemPorts, ManyPortsAllListed)
{
    const ScratchKey key;
    std::map<std::string, std::string> data;
    // Written out of order, names and data of different lengths: the buffers fit the longest.
    for (int i = 40; i >= 1; --i) {
        const std::string name = "\\Device\\VirtualSerial" +
                                 std::string(static_cast<std::size_t>(i % 7), 'x') +
                                 std::to_string(i);
        data[name] = "COM" + std::to_string(i);
        key.Text(name, data[name]);
    }
    const auto ports = key.Read();
    ASSERT_TRUE(ports);
    const Pairs expected = InRegistryOrder(key, data);
    ASSERT_EQ(expected.size(), 40u);
    EXPECT_EQ(PairsOf(*ports), expected);
}

TEST(Win32SystemPorts, MissingKeyIsUnreadableEmptyKeyIsEmpty)
{
    const ScratchKey key;
    const auto empty = key.Read();
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    EXPECT_FALSE(Win32SystemPortList(key.Path() + "\\missing", RegistryRoot::CurrentUser).Read());
    EXPECT_FALSE(
        Win32SystemPortList("Software\\IMConfTest\\no such key", RegistryRoot::CurrentUser).Read());
    // The same path under the machine's root is another key.
    EXPECT_FALSE(Win32SystemPortList(key.Path(), RegistryRoot::LocalMachine).Read());
}

TEST(Win32SystemPorts, ThisMachinesListIsUsable)
{
    // The machine may list ports or not (or refuse full access); whatever it gives is usable
    // and is what the platform's list gives.
    const auto ports = Win32SystemPortList().Read();
    const auto platform = MakeSystemPortList()->Read();
    ASSERT_EQ(ports.has_value(), platform.has_value());
    if (!ports)
        return;
    EXPECT_EQ(PairsOf(*platform), PairsOf(*ports));
    HKEY key = nullptr;
    ASSERT_EQ(
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key),
        ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                 nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_LE(ports->size(), values);
    for (const SystemPort& port : *ports)
        EXPECT_TRUE(IsUsablePortName(port.name)) << port.name;
}

}  // namespace
}  // namespace imconf
