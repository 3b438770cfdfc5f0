// imconf-cli's commands over the whole line: several simulated devices on one line, in
// virtual time.

#include "CliRig.h"

#include "cli/ConfigFile.h"
#include "runtime/TextFiles.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace imconf;
using namespace imconf::testing;

namespace {

constexpr std::uint16_t k19200 = 6;  // speed codes
constexpr std::uint16_t k1200 = 1;

// The configuration registers of a device on the line.
std::vector<std::uint16_t> Registers(const sim::TModbusSlave& device)
{
    std::vector<std::uint16_t> values;
    for (std::uint16_t r = sim::reg::LinkFirst; r <= sim::reg::Last; ++r)
        values.push_back(*device.Get(r));
    return values;
}

// Links base, base + 1, ...; one node of `type` at node address `node`.
void Configure(sim::TModbusSlave& device, std::uint16_t linkBase, std::uint8_t type,
               std::uint8_t node)
{
    for (std::uint16_t i = 0; i < kIndicatorCount; ++i)
        ASSERT_EQ(device.Set(static_cast<std::uint16_t>(sim::reg::LinkFirst + i),
                             static_cast<std::uint16_t>(linkBase + i)),
                  "");
    ASSERT_EQ(device.Set(sim::reg::NodeTypesFirst, type), "");
    ASSERT_EQ(device.Set(sim::reg::NodeAddressesFirst, node), "");
    ASSERT_EQ(device.Set(sim::reg::NodeCount, 1), "");
}

cli::ModuleConfig ConfigOf(const sim::TModbusSlave& device)
{
    cli::ModuleConfig config;
    for (std::uint16_t i = 0; i < kIndicatorCount; ++i)
        config.Links[i] = *device.Get(static_cast<std::uint16_t>(sim::reg::LinkFirst + i));
    for (std::uint16_t i = 0; i < *device.Get(sim::reg::NodeCount); ++i)
        config.Nodes.push_back(
            {static_cast<std::uint8_t>(*device.Get(sim::reg::NodeTypesFirst + i)),
             static_cast<std::uint8_t>(*device.Get(sim::reg::NodeAddressesFirst + i))});
    return config;
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Two modules on one line: the first at 247, the second at 10, both at 9600 baud.
struct TwoModules : CliRig {
    sim::TModbusSlave& second = module.AddDevice(10, sim::reg::ModuleId);
    TwoModules()
    {
        Configure(module.Module(), 0x0100, 22, 3);
        Configure(second, 0x0200, 8, 4);
    }
};

}  // namespace

TEST(CliSweep, AllSpeedsFindsAModuleAtAnUnknownAddressAndSpeed)
{
    CliRig rig(5);
    rig.module.Module().Set(sim::reg::Speed, k19200);
    EXPECT_EQ(rig.Run({"search", "--all-speeds"}), 0) << rig.err;
    EXPECT_EQ(rig.out, "  5  19200  module\n");
}

TEST(CliSweep, AllListsEveryDeviceThatAnswersWithWhatItIs)
{
    CliRig rig;  // the module at 247, 9600 baud
    rig.module.AddDevice(12, 7).Set(sim::reg::Speed, k1200);
    EXPECT_EQ(rig.Run({"search", "--all", "--all-speeds", "--json"}), 0) << rig.err;
    const auto result = nlohmann::json::parse(rig.out);
    ASSERT_EQ(result["devices"].size(), 2u);
    EXPECT_EQ(result["devices"][0]["address"], 247);
    EXPECT_EQ(result["devices"][0]["baud"], 9600);
    EXPECT_EQ(result["devices"][0]["module"], true);
    EXPECT_EQ(result["devices"][1]["address"], 12);
    EXPECT_EQ(result["devices"][1]["baud"], 1200);
    EXPECT_EQ(result["devices"][1]["module"], false);
    EXPECT_EQ(result["devices"][1]["identification"], 7);
    EXPECT_EQ(result["address"], 247);

    // At one speed, a line with only the foreign device finds no module.
    rig.module.Module().Set(sim::reg::Speed, 8);  // 57600
    EXPECT_EQ(rig.Run({"search", "--all", "--baud", "1200"}), 1);
    EXPECT_EQ(rig.out, " 12   1200  foreign device (identification 7)\n");
    EXPECT_NE(rig.err.find("no module answered"), std::string::npos) << rig.err;
}

TEST(CliBackup, EveryModuleOnTheLineGoesIntoAFileOfItsOwnNeverOverwritten)
{
    TwoModules rig;
    ScratchDir dir;
    ASSERT_EQ(rig.Run({"backup", "--dir", dir.File("saved")}), 0) << rig.err;
    const std::string first = dir.File("saved/COM1-247-2026-01-02.json");
    const std::string second = dir.File("saved/COM1-10-2026-01-02.json");
    const cli::LoadedConfig a = cli::LoadConfigFile(first);
    const cli::LoadedConfig b = cli::LoadConfigFile(second);
    ASSERT_TRUE(a.Ok()) << a.Error;
    ASSERT_TRUE(b.Ok()) << b.Error;
    EXPECT_EQ(a.Config, ConfigOf(rig.module.Module()));
    EXPECT_EQ(b.Config, ConfigOf(rig.second));
    ASSERT_TRUE(b.Origin);
    EXPECT_EQ(b.Origin->Address, 10);
    // The table names the file (with the platform's separators).
    EXPECT_NE(rig.out.find("COM1-10-2026-01-02.json"), std::string::npos) << rig.out;

    // The same day again: new files beside the old ones.
    ASSERT_EQ(rig.Run({"backup", "--dir", dir.File("saved")}), 0) << rig.err;
    EXPECT_EQ(FilesIn(dir.path / "saved"),
              (std::vector<std::string>{"COM1-10-2026-01-02-2.json", "COM1-10-2026-01-02.json",
                                        "COM1-247-2026-01-02-2.json", "COM1-247-2026-01-02.json"}));
}

TEST(CliBackup, AModuleFailingHalfWayIsOneAndTheOthersAreSaved)
{
    TwoModules rig;
    // Module 10 does not answer the second step of the read (the node types).
    rig.line.Intercept = [](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
        if (frame.size() >= 4 && frame[0] == 10 && frame[2] == 0x01 && frame[3] == 0x21)
            return sim::TReply{};
        return std::nullopt;
    };
    ScratchDir dir;
    EXPECT_EQ(rig.Run({"backup", "--dir", dir.path.string(), "--json"}), 1);
    EXPECT_EQ(FilesIn(dir.path), std::vector<std::string>{"COM1-247-2026-01-02.json"});
    const auto result = nlohmann::json::parse(rig.out);
    ASSERT_EQ(result["modules"].size(), 2u);
    EXPECT_EQ(result["modules"][0]["address"], 10);
    // It answered the first step: the module is there, the line lost a reply.
    EXPECT_EQ(result["modules"][0]["read"], "replies lost or damaged on the line");
    EXPECT_FALSE(result["modules"][0].contains("file"));
    EXPECT_EQ(result["modules"][1]["address"], 247);
    EXPECT_EQ(result["modules"][1]["read"], "done");
    EXPECT_EQ(result["status"], 1);
}

TEST(CliBackup, KeepsTheSessionLogOfEveryModuleItReads)
{
    TwoModules rig;
    ScratchDir dir;
    const std::string log = dir.File("session.log");
    ASSERT_EQ(rig.Run({"--log", log, "backup", "--dir", dir.File("saved")}), 0) << rig.err;
    std::string text;
    ASSERT_FALSE(ReadTextFile(log, text)) << "no session log";
    EXPECT_NE(text.find(" COM1 9600 247 TX : F7 03 01 00 00 20"), std::string::npos) << text;
    EXPECT_NE(text.find(" COM1 9600 10 TX : 0A 03 01 00 00 20"), std::string::npos) << text;
}

TEST(CliRestore, EachFileGoesToTheModuleAtItsAddressAndOnlyToAModule)
{
    TwoModules rig;
    ScratchDir dir;
    ASSERT_EQ(rig.Run({"backup", "--dir", dir.path.string()}), 0) << rig.err;
    const std::vector<std::uint16_t> saved = Registers(rig.second);
    const std::vector<std::uint16_t> first = Registers(rig.module.Module());
    Configure(rig.second, 0x0300, 22, 9);

    EXPECT_EQ(rig.Run({"restore", dir.File("COM1-10-2026-01-02.json")}), 0) << rig.err;
    EXPECT_EQ(Registers(rig.second), saved);
    EXPECT_EQ(Registers(rig.module.Module()), first);
    EXPECT_NE(rig.out.find("restored to address 10"), std::string::npos) << rig.out;

    // A foreign device at the address given gets nothing, a bad file neither; the good file
    // after them is still restored.
    rig.module.AddDevice(30, 7);
    const std::size_t requests = rig.line.Requests().size();
    EXPECT_EQ(rig.Run({"restore", "--address", "30", dir.File("COM1-10-2026-01-02.json")}), 1);
    EXPECT_EQ(rig.line.Requests().size(), requests + 1);  // the identification read alone
    EXPECT_NE(rig.err.find("no indication module answers at address 30"), std::string::npos);

    Configure(rig.second, 0x0300, 22, 9);
    std::ofstream(dir.File("bad.json")) << "{}";
    EXPECT_EQ(rig.Run({"restore", dir.File("bad.json"), dir.File("COM1-10-2026-01-02.json")}), 2);
    EXPECT_EQ(Registers(rig.second), saved);
}

TEST(CliRestore, AForeignDeviceIsRefusedWithItsIdentificationAndWrittenWithForceAsByWrite)
{
    CliRig rig;
    Configure(rig.module.Module(), 0x0100, 22, 3);
    sim::TModbusSlave& foreign = rig.module.AddDevice(30, 7);
    ScratchDir dir;
    ASSERT_EQ(rig.Run({"backup", "--dir", dir.path.string()}), 0) << rig.err;
    const std::string file = dir.File("COM1-247-2026-01-02.json");
    const std::vector<std::uint16_t> before = Registers(foreign);

    EXPECT_EQ(rig.Run({"--address", "30", "restore", file}), 1);
    EXPECT_NE(rig.err.find("identification 7"), std::string::npos) << rig.err;
    EXPECT_NE(rig.err.find("--force"), std::string::npos) << rig.err;
    EXPECT_EQ(Registers(foreign), before);

    EXPECT_EQ(rig.Run({"--address", "30", "--force", "restore", file}), 0) << rig.err;
    EXPECT_NE(rig.err.find("written anyway (--force)"), std::string::npos) << rig.err;
    EXPECT_EQ(Registers(foreign), Registers(rig.module.Module()));
}
