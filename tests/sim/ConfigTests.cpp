#include "SimConfig.h"
#include "SimOptions.h"

#include "config/Catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

using namespace imconf::sim;

namespace {

TConfig Parse(const std::string& text)
{
    std::istringstream in(text);
    return ParseConfig(in, "module.cfg");
}

}  // namespace

TEST(SimConfig, NamesNumbersAndRuns)
{
    const TConfig config =
        Parse("# a module at 12 with two nodes\n"
              "\n"
              "address = 12\n"
              "  speed=6   # 19200\n"
              "id = 0x0007\n"
              "block = 255\n"
              "node_count = 2\n"
              "node_type[0] = 22\n"
              "node_address[ 1 ] = 0x11\n"
              "link[22] = 0x0205 0x1205 7 8\n"  // runs on into the unused part of the link area
              "0x0141 = 3\n"
              "289 = 24\n");
    ASSERT_TRUE(config.Ok()) << config.error;
    TModbusSlave slave;
    ApplyConfig(config, slave);
    EXPECT_EQ(slave.Address(), 12);
    EXPECT_EQ(slave.Baud(), 19200u);
    EXPECT_EQ(slave.Get(reg::Id), 7);
    EXPECT_TRUE(slave.Blocked());
    EXPECT_EQ(slave.Get(reg::NodeCount), 2);
    EXPECT_EQ(slave.Get(reg::NodeTypesFirst), 24);  // "289 = 24" came after node_type[0]
    EXPECT_EQ(slave.Get(reg::NodeAddressesFirst), 3);
    EXPECT_EQ(slave.Get(reg::NodeAddressesFirst + 1), 0x11);
    EXPECT_EQ(slave.Get(reg::LinkFirst + 21), 21);
    EXPECT_EQ(slave.Get(reg::LinkFirst + 22), 0x0205);
    EXPECT_EQ(slave.Get(reg::LinkFirst + 23), 0x1205);
    EXPECT_EQ(slave.Get(reg::LinkFirst + 25), 8);
    ASSERT_EQ(config.entries.size(), 13u);
    EXPECT_EQ(config.entries.back().line, 12u);
}

TEST(SimConfig, ErrorsNameTheLine)
{
    struct TCase {
        const char* text;
        const char* expected;  // the whole message
    };
    const TCase cases[] = {
        {"address = 5\nspeed = 9\n", "module.cfg:2: register 0x0002: speed code must be 1..8"},
        {"# ok\nnode_count = 33\n", "module.cfg:2: register 0x0120: node count must be 0..32"},
        {"0x0024 = 0xA55A\n",
         "module.cfg:1: register 0x0024: sound off is a command, not a setting"},
        {"3 = 1\n", "module.cfg:1: register 0x0003: register is not in the map"},
        {"0x0160 = 1 2\n", "module.cfg:1: register 0x0161: register is not in the map"},
        {"address 5\n", "module.cfg:1: expected REGISTER = VALUE"},
        {"= 5\n", "module.cfg:1: register missing before '='"},
        {"address =   # none\n", "module.cfg:1: value missing after '='"},
        {"id = 70000\n", "module.cfg:1: bad value '70000' (0..65535, decimal or 0x hex)"},
        {"frob = 1\n", "module.cfg:1: unknown register name 'frob'"},
        {"link = 1\n", "module.cfg:1: link needs an index, e.g. link[0]"},
        {"link[32] = 1\n", "module.cfg:1: index of 'link' must be 0..31"},
        {"link[1 = 1\n", "module.cfg:1: bad index in 'link[1'"},
        {"0x1G = 1\n", "module.cfg:1: bad register number '0x1G'"},
    };
    for (const auto& c : cases) {
        const TConfig config = Parse(c.text);
        EXPECT_EQ(config.error, c.expected) << c.text;
        EXPECT_TRUE(config.entries.empty()) << c.text;
    }
    const TConfig missing = LoadConfigFile("/nonexistent/module.cfg");
    EXPECT_EQ(missing.error, "/nonexistent/module.cfg: cannot open the file");
}

TEST(SimOptions, CommandLine)
{
    const TParsedOptions good = ParseOptions({"--address",
                                              "200",
                                              "--id=7",
                                              "--baud",
                                              "19200",
                                              "--bootloader",
                                              "--fault",
                                              "drop:3",
                                              "--fault-rate",
                                              "late:0.5:200",
                                              "--device",
                                              "12:7",
                                              "--device=13:24",
                                              "--any-baud",
                                              "--pace",
                                              "--no-announce",
                                              "--seed",
                                              "42",
                                              "--think",
                                              "0",
                                              "--name",
                                              "mod",
                                              "-v",
                                              "--echo",
                                              "--usb-latency",
                                              "16"});
    ASSERT_EQ(good.error, "");
    const TSimOptions& o = good.options;
    EXPECT_EQ(o.address, 200);
    EXPECT_EQ(o.id, 7);
    EXPECT_EQ(o.baud, 19200u);
    EXPECT_TRUE(o.bootloader && o.pace && o.verbose);
    EXPECT_FALSE(o.strictBaud || o.announce);
    ASSERT_EQ(o.faults.size(), 2u);
    EXPECT_EQ(o.faults[0].everyN, 3u);
    EXPECT_EQ(o.faults[1].kind, TFaultKind::Late);
    EXPECT_EQ(o.faults[1].arg, 200u);
    ASSERT_EQ(o.devices.size(), 2u);
    EXPECT_EQ(o.devices[1].first, 13);
    EXPECT_EQ(o.devices[1].second, 24);
    EXPECT_EQ(o.seed, 42u);
    EXPECT_EQ(o.thinkMs, 0u);
    EXPECT_EQ(o.name, "mod");
    EXPECT_TRUE(o.echo);
    EXPECT_EQ(o.usbLatencyMs, 16u);
    EXPECT_TRUE(ParseOptions({}).options.strictBaud);
    EXPECT_FALSE(ParseOptions({}).options.echo);
    EXPECT_EQ(ParseOptions({}).options.usbLatencyMs, 0u);

    for (const auto& bad : std::vector<std::vector<std::string>>{{"--address", "0"},
                                                                 {"--address", "248"},
                                                                 {"--address"},
                                                                 {"--baud", "1000"},
                                                                 {"--device", "12"},
                                                                 {"--device", "0:7"},
                                                                 {"--fault", "drop:0"},
                                                                 {"--name", "a/b"},
                                                                 {"--pace=1"},
                                                                 {"--echo=1"},
                                                                 {"--usb-latency", "1001"},
                                                                 {"--frobnicate"}}) {
        EXPECT_NE(ParseOptions(bad).error, "") << bad[0];
    }
    EXPECT_NE(UsageText("imconf-sim").find("--fault-rate KIND:P"), std::string::npos);
}

// The module ./run.sh serves: the tool's first read at its start address takes every node
// (within the 24 indicators) and shows link entries of every kind.
TEST(SimConfig, DemoModuleShowsEverything)
{
    const TConfig config = LoadConfigFile(IMCONF_DEMO_CONFIG);
    ASSERT_TRUE(config.Ok()) << config.error;
    TModbusSlave slave;
    ApplyConfig(config, slave);
    EXPECT_EQ(slave.Address(), 247);

    const unsigned count = *slave.Get(reg::NodeCount);
    std::set<unsigned> types;
    unsigned loops = 0;
    for (unsigned i = 0; i < count; ++i) {
        const auto type = static_cast<std::uint8_t>(
            *slave.Get(static_cast<std::uint16_t>(reg::NodeTypesFirst + i)));
        EXPECT_NE(imconf::LoopCountOf(type), 0) << "node " << i << " has no catalogue type";
        types.insert(type);
        loops += imconf::LoopCountOf(type);
    }
    EXPECT_GE(types.size(), 3u);
    EXPECT_LE(loops, 24u);

    // The kind of a link entry is in its high byte.
    auto kind = [](unsigned high) -> std::string {
        switch (high) {
        case 0x00:
        case 0x01: return "zone";
        case 0x02: return "device";
        case 0x12: return "A";
        case 0x22: return "B";
        case 0x32: return "C";
        case 0x42: return "D";
        default: return "off";
        }
    };
    std::set<std::string> kinds;
    for (std::uint16_t i = 0; i < 24; ++i)
        kinds.insert(kind(*slave.Get(static_cast<std::uint16_t>(reg::LinkFirst + i)) >> 8));
    EXPECT_EQ(kinds, (std::set<std::string>{"zone", "device", "A", "B", "C", "D", "off"}));
}
