// imconf-cli's exit status and reason from the ending the operation reports, and the checks
// the command line makes before it talks to the module, in virtual time.

#include "CliRig.h"

#include "cli/ConfigFile.h"
#include "cli/TextFiles.h"
#include "config/Catalogue.h"
#include "modbus/Crc16.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The module refuses (an exception) or damages (a bad CRC) its replies to `function`.
void Spoil(CliRig& rig, std::uint8_t function, bool refuse)
{
    rig.line.Intercept =
        [function, refuse](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
        if (frame[1] != function)
            return std::nullopt;
        std::vector<std::uint8_t> reply{frame[0], static_cast<std::uint8_t>(frame[1] | 0x80), 2, 0,
                                        0};
        PlaceCrc(reply.data(), 3);
        if (!refuse)
            reply[4] ^= 0xFF;
        return sim::TReply{reply, 1ms};
    };
}

}  // namespace

TEST(CliOutcome, TheReasonIsTheEndingTheOperationReported)
{
    {
        CliRig rig;
        Spoil(rig, 0x06, true);
        EXPECT_EQ(rig.Run({"block", "on"}), cli::status::Module);
        EXPECT_TRUE(Has(rig.err, "the block command failed: the device at address 247")) << rig.err;
        EXPECT_TRUE(Has(rig.err, "refused it")) << rig.err;
    }
    {
        CliRig rig;
        Spoil(rig, 0x06, false);
        EXPECT_EQ(rig.Run({"sound-off"}), cli::status::Module);
        EXPECT_TRUE(Has(rig.err, "the line is poor")) << rig.err;
    }
    {
        // The read's third step is answered cut short, then the module goes silent.
        CliRig rig;
        rig.module.Faults().Add({sim::TFaultKind::Short, 3, 0.0, 0});
        EXPECT_EQ(rig.Run({"read"}), cli::status::Module);
        EXPECT_TRUE(Has(rig.err, "the line is poor")) << rig.err;
        EXPECT_FALSE(Has(rig.err, "did not answer")) << rig.err;
    }
    {
        CliRig rig(12);
        EXPECT_EQ(rig.Run({"--json", "read"}), cli::status::Module);
        EXPECT_TRUE(Has(rig.out, "did not answer")) << rig.out;
    }
}

TEST(CliForeignDevice, IsWrittenOnlyWithForceAndReadSaysWhatItIs)
{
    ScratchDir dir;
    const std::string file = dir.File("c.json");
    CliRig source;
    ASSERT_EQ(source.Run({"read", "-o", file}), cli::status::Done) << source.err;

    CliRig rig;
    rig.module.AddDevice(5, 77);
    auto writes = [&rig] {
        std::size_t count = 0;
        for (const auto& request : rig.line.Requests())
            count += request.bytes[1] != 0x03 ? 1 : 0;
        return count;
    };
    for (const std::vector<std::string>& command :
         std::vector<std::vector<std::string>>{{"write", file},
                                               {"address", "9"},
                                               {"speed", "4800"},
                                               {"block", "on"},
                                               {"sound-off"}}) {
        std::vector<std::string> args{"--address", "5"};
        args.insert(args.end(), command.begin(), command.end());
        EXPECT_EQ(rig.Run(args), cli::status::Module) << command[0];
        EXPECT_TRUE(Has(rig.err, "the device at address 5 is no indication module: its "
                                 "identification is 77"))
            << rig.err;
        EXPECT_EQ(writes(), 0u) << command[0];
    }
    EXPECT_EQ(rig.Run({"--address", "5", "read"}), cli::status::Module);
    EXPECT_TRUE(Has(rig.err, "identification is 77")) << rig.err;
    EXPECT_EQ(rig.out, "");

    EXPECT_EQ(rig.Run({"--address", "5", "--force", "sound-off"}), cli::status::Done) << rig.err;
    EXPECT_EQ(writes(), 1u);
    // The module itself is written as before.
    EXPECT_EQ(rig.Run({"block", "on"}), cli::status::Done) << rig.err;
}

TEST(CliUsage, JsonUsageErrorsAndIntegers)
{
    CliRig rig;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--json", "block", "maybe"}, {"--json", "--address", "300", "read"}, {"--json"}}) {
        EXPECT_EQ(rig.Run(args), cli::status::Usage) << args.back();
        const auto result = nlohmann::json::parse(rig.out, nullptr, false);
        ASSERT_TRUE(result.is_object()) << rig.out;
        EXPECT_EQ(result.value("status", 0), cli::status::Usage);
        EXPECT_FALSE(result.value("error", "").empty()) << rig.out;
    }
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--address", "2.5", "read"}, {"address", "1e2"}, {"search", "--delay", "150.0"}}) {
        EXPECT_EQ(rig.Run(args), cli::status::Usage);
        EXPECT_TRUE(Has(rig.err, "must be an integer")) << rig.err;
    }
    EXPECT_TRUE(rig.line.Requests().empty());
}

TEST(CliUsage, WhatANewUserIsTold)
{
    ScratchDir dir;
    const std::string file = dir.File("c.json");
    CliRig rig;
    ASSERT_EQ(rig.Run({"read", "-o", file}), cli::status::Done) << rig.err;
    ASSERT_EQ(rig.Run({"diff", file}), cli::status::Done);
    EXPECT_TRUE(Has(rig.out, "no difference")) << rig.out;

    // A file that cannot be written is found out before the module is read.
    const std::size_t before = rig.line.Requests().size();
    EXPECT_EQ(rig.Run({"read", "-o", dir.File("no-folder/c.json")}), cli::status::Usage);
    EXPECT_EQ(rig.line.Requests().size(), before);

    ASSERT_EQ(rig.Run({"speed", "4800", "--pc-follows"}), cli::status::Done) << rig.err;
    EXPECT_TRUE(Has(rig.out, "--baud 4800")) << rig.out;

    cli::ModuleConfig twins;
    twins.Links = StartLinkTable();
    twins.Nodes = {{22, 5}, {8, 6}, {9, 5}};
    ASSERT_FALSE(cli::WriteTextFile(file, cli::WriteConfigText(twins, std::nullopt)));
    EXPECT_EQ(rig.Run({"check", file}), cli::status::Done);
    EXPECT_TRUE(Has(rig.err, "warning: nodes[0] and nodes[2] are both at address 5")) << rig.err;
}
