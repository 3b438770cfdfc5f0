// imconf-cli's commands in virtual time against the in-process module simulator.

#include "CliRig.h"

#include "cli/ConfigFile.h"
#include "cli/TextFiles.h"
#include "firmware/Firmware.h"
#include "modbus/Crc16.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <random>

using namespace imconf;
using namespace imconf::testing;

namespace {

// Registers of the configuration, as a module holds them.
std::vector<std::uint16_t> ConfigRegisters(const sim::TModuleSimulator& module)
{
    std::vector<std::uint16_t> values;
    for (std::uint16_t r = sim::reg::LinkFirst; r <= sim::reg::Last; ++r)
        values.push_back(*module.Module().Get(r));
    return values;
}

void SetUpModule(sim::TModuleSimulator& module,
                 std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> nodes,
                 std::uint16_t linkBase)
{
    auto& m = module.Module();
    for (std::uint16_t i = 0; i < kIndicatorCount; ++i)
        ASSERT_EQ(m.Set(static_cast<std::uint16_t>(sim::reg::LinkFirst + i),
                        static_cast<std::uint16_t>(linkBase + i)),
                  "");
    std::uint16_t i = 0;
    for (const auto& [type, address] : nodes) {
        ASSERT_EQ(m.Set(static_cast<std::uint16_t>(sim::reg::NodeTypesFirst + i), type), "");
        ASSERT_EQ(m.Set(static_cast<std::uint16_t>(sim::reg::NodeAddressesFirst + i), address), "");
        ++i;
    }
    ASSERT_EQ(m.Set(sim::reg::NodeCount, i), "");
}

std::string GoodFile()
{
    cli::ModuleConfig config;
    config.Links = StartLinkTable();
    config.Nodes = {{22, 1}, {8, 2}};
    return cli::WriteConfigText(config, std::nullopt);
}

}  // namespace

TEST(CliClone, ReadIntoAFileAndWriteItIntoAnotherModuleGivesEqualRegisters)
{
    ScratchDir dir;
    const std::string file = dir.File("module.json");
    CliRig a(6);
    SetUpModule(a.module, {{22, 1}, {8, 12}, {9, 13}, {3, 40}}, 0x0200);
    ASSERT_EQ(a.module.Module().Set(sim::reg::LinkFirst + 5, 0x1A07), "");
    CliRig b(6);
    SetUpModule(b.module, {{24, 7}}, 0x0010);
    ASSERT_NE(ConfigRegisters(a.module), ConfigRegisters(b.module));

    ASSERT_EQ(a.Run({"--address", "6", "read", "-o", file}), cli::status::Done) << a.err;
    ASSERT_EQ(b.Run({"--address", "6", "write", file}), cli::status::Done) << b.err;
    EXPECT_EQ(ConfigRegisters(b.module), ConfigRegisters(a.module));
    EXPECT_EQ(b.Run({"--address", "6", "diff", file}), cli::status::Done) << b.out;

    // The file names where it came from and reads as the window shows the module.
    const cli::LoadedConfig loaded = cli::LoadConfigFile(file);
    ASSERT_TRUE(loaded.Ok()) << loaded.Error;
    ASSERT_TRUE(loaded.Origin);
    EXPECT_EQ(loaded.Origin->Port, "COM1");
    EXPECT_EQ(loaded.Origin->Address, 6);
    EXPECT_EQ(loaded.Model.NodeTable[3].Loops[1].IndicatorIndex, 23)
        << "the last loop on the last indicator";
}

TEST(CliClone, AWriteThatDoesNotReadBackAsWrittenFailsWithTheDifference)
{
    ScratchDir dir;
    const std::string file = dir.File("c.json");
    ASSERT_FALSE(cli::WriteTextFile(file, GoodFile()));
    CliRig rig;
    // A module that takes the node writes but keeps its count register.
    rig.line.Intercept = [&rig](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
        if (frame.size() == 8 && frame[1] == 0x06 && frame[2] == 0x01 && frame[3] == 0x20) {
            sim::TReply echo;
            echo.bytes.assign(frame.begin(), frame.end());
            return echo;
        }
        return std::nullopt;
    };
    EXPECT_EQ(rig.Run({"write", file}), cli::status::Module);
    EXPECT_NE(rig.err.find("nodes: module 0, file 2"), std::string::npos) << rig.err;
}

TEST(CliFile, ABadFileIsRefusedWithItsFieldAndNothingReachesTheModule)
{
    ScratchDir dir;
    const std::string file = dir.File("bad.json");
    std::string text = GoodFile();
    text.replace(text.find("\"address\":2"), 11, "\"address\":300");
    ASSERT_FALSE(cli::WriteTextFile(file, text));
    CliRig rig;
    EXPECT_EQ(rig.Run({"write", file}), cli::status::Usage);
    EXPECT_NE(rig.err.find("nodes[1].address: 300 is not in 1..247"), std::string::npos) << rig.err;
    EXPECT_TRUE(rig.line.Requests().empty());
    EXPECT_EQ(rig.Run({"check", file}), cli::status::Usage);

    // Every limit the module has, named by its field.
    const std::string good = GoodFile();
    auto refusal = [&good](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return cli::ParseConfigText(t).Error;
    };
    EXPECT_EQ(cli::ParseConfigText(good).Error, "");
    EXPECT_EQ(refusal("\"type\":8", "\"type\":12").rfind("nodes[1].type: 12 is no type", 0), 0u);
    EXPECT_EQ(refusal("\"type\":8", "\"type\":22").rfind("nodes[1]: its loops pass the 24", 0), 0u);
    EXPECT_EQ(refusal("\"value\":\"0x0003\"", "\"value\":70000"),
              "links[3].value: 70000 is not in 0..65535");
    EXPECT_EQ(refusal("\"value\":\"0x0003\"", "\"value\":\"0x12G4\""),
              "links[3].value: '0x12G4' is no number");
    EXPECT_EQ(refusal("\"version\": 1", "\"version\": 2"), "version: this program reads version 1");
    EXPECT_EQ(refusal("{\"indicator\":24,\"value\":\"0x0017\",\"text\":\"0023\"}", "")
                  .rfind("file: not JSON", 0),
              0u);
    EXPECT_EQ(refusal("\"nodes\"", "\"nodez\""), "file: unknown field \"nodez\"");
    EXPECT_EQ(refusal("\"value\":\"0x0003\"", "\"value\":1e400"),
              "file: number overflow parsing '1e400'");
    cli::ModuleConfig many;
    many.Nodes.assign(33, {4, 1});
    EXPECT_EQ(cli::ParseConfigText(cli::WriteConfigText(many, std::nullopt)).Error,
              "nodes: 33 nodes; the module takes at most 32");
}

TEST(CliStatus, APortThatCannotBeOpenedIsThreeAndSaysWhy)
{
    CliRig rig;
    rig.line.OpenError = EACCES;
    EXPECT_EQ(rig.Run({"read"}), cli::status::Port);
#ifndef _WIN32
    EXPECT_NE(rig.err.find("dialout"), std::string::npos) << rig.err;
#endif
    rig.line.OpenError = EBUSY;
    EXPECT_EQ(rig.Run({"search"}), cli::status::Port) << "the standing search is stopped";
    EXPECT_EQ(rig.Run({"sound-off"}), cli::status::Port);
}

TEST(CliStatus, AModuleThatDoesNotAnswerIsOne)
{
    CliRig rig(12);
    EXPECT_EQ(rig.Run({"read"}), cli::status::Module);
    EXPECT_NE(rig.err.find("   : ОШИБКА."), std::string::npos) << "the window's own message";
    // The trace as the pane shows it: the placeholder stays only where no reply replaced it.
    // A command that writes first reads the device's identification.
    EXPECT_EQ(rig.Run({"--trace", "sound-off"}), cli::status::Module);
    EXPECT_EQ(rig.err.rfind("TX : F7 03 00 00 00 01 90 9C \nRX :\n   : TIME OUT.\n", 0), 0u)
        << rig.err;
    EXPECT_EQ(rig.Run({"--trace", "--address", "12", "sound-off"}), cli::status::Done);
    EXPECT_EQ(rig.err, "TX : 0C 03 00 00 00 01 85 17 \nRX : 0C 03 02 00 18 95 8F \n   : ОК.\n"
                       "TX : 0C 06 00 24 A5 5A 33 B7 \nRX : 0C 06 00 24 A5 5A 33 B7 \n   : ОК.\n");
    EXPECT_EQ(rig.Run({"--address", "13", "block", "on"}), cli::status::Module);
    EXPECT_EQ(rig.Run({"search", "--delay", "100"}), cli::status::Done);
    EXPECT_EQ(rig.out, "12\n");
    EXPECT_EQ(rig.Run({"--address", "12", "--json", "address", "40"}), cli::status::Done);
    EXPECT_EQ(rig.module.Module().Address(), 40);
    EXPECT_EQ(rig.Run({"--address", "40", "speed", "4800"}), cli::status::Done)
        << "speed after the address command";
}

TEST(CliUpgrade, TheBootloaderGetsTheImage)
{
    ScratchDir dir;
    std::vector<std::uint8_t> image(kImageHeaderSize + 100);
    std::mt19937 random(3);
    for (auto& b : image)
        b = static_cast<std::uint8_t>(random());
    const std::uint16_t crc = Crc16(image.data(), static_cast<std::uint16_t>(kFlashSize));
    image[kFlashSize] = static_cast<std::uint8_t>(crc & 0xFF);  // a sound image
    image[kFlashSize + 1] = static_cast<std::uint8_t>(crc >> 8);
    const std::string file = dir.File("fw.hex");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    CliRig rig;
    rig.module.SetMode(sim::TMode::Bootloader);
    ASSERT_EQ(rig.Run({"upgrade", file}), cli::status::Done) << rig.err;
    EXPECT_TRUE(rig.module.Bootloader().Complete());
    EXPECT_TRUE(std::equal(rig.module.Bootloader().Flash().begin(),
                           rig.module.Bootloader().Flash().end(), image.begin()));
    EXPECT_NE(rig.err.find("   : OK."), std::string::npos);

    rig.module.SetMode(sim::TMode::Modbus);  // no bootloader: six failures, then the window's abort
    EXPECT_EQ(rig.Run({"upgrade", file}), cli::status::Module);
    EXPECT_NE(rig.err.find("Перезапустить пульт в режиме загрузчика"), std::string::npos);
}
