// imconf-cli's service records: the session log with --log FILE, the report command.

#include "CliRig.h"

#include "config/ConfigFile.h"
#include "runtime/TextFiles.h"

#include <gtest/gtest.h>

using namespace imconf;
using namespace imconf::testing;

TEST(CliRecords, LogFileHoldsTheReadsRequestsRepliesAndOutcomesAndAReadRecordsItsSpeed)
{
    ScratchDir dir;
    CliRig rig;
    const std::string log = dir.File("session.log");
    ASSERT_FALSE(WriteTextFile(log, "earlier line\n"));
    ASSERT_EQ(rig.Run({"--log", log, "--baud", "9600", "read", "-o", dir.File("m.json")}),
              cli::status::Done)
        << rig.err;
    std::string text;
    ASSERT_FALSE(ReadTextFile(log, text));
    EXPECT_TRUE(text.starts_with("earlier line\n")) << "appended";
    EXPECT_NE(text.find(" COM1 9600 247 TX : F7 03 01 00 00 20 51 78\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find(" COM1 9600 247 RX : F7 03 40 "), std::string::npos);
    EXPECT_NE(text.find(" COM1 9600 247    : ОК.\n"), std::string::npos);

    const LoadedConfig file = LoadConfigFile(dir.File("m.json"));
    ASSERT_TRUE(file.Ok()) << file.Error;
    EXPECT_EQ(file.Origin->Baud, 9600u);

    // A log that cannot be written costs the read nothing and is told once.
    ASSERT_EQ(rig.Run({"--log", dir.File("no/such/folder/x.log"), "read"}), cli::status::Done);
    EXPECT_NE(rig.err.find("the session log cannot be written"), std::string::npos) << rig.err;
}

TEST(CliRecords, ReportWritesThePageOrCsvAndRefusesABadFileAsCheckDoes)
{
    ScratchDir dir;
    CliRig rig;
    ModuleConfig config;
    config.Links = StartLinkTable();
    config.Links[4] = 0x1205;
    config.Nodes = {{24, 3}};
    ASSERT_FALSE(WriteTextFile(dir.File("m.json"), WriteConfigText(config, std::nullopt)));

    ASSERT_EQ(rig.Run({"report", dir.File("m.json"), "-o", dir.File("r.html")}), cli::status::Done)
        << rig.err;
    std::string html;
    ASSERT_FALSE(ReadTextFile(dir.File("r.html"), html));
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
    EXPECT_NE(html.find("<td>05</td><td>ПР.-05 /A</td>"), std::string::npos);

    ASSERT_EQ(rig.Run({"report", "--format", "csv", dir.File("m.json")}), cli::status::Done);
    EXPECT_NE(rig.out.find("link,05,ПР.-05 /A\r\n"), std::string::npos) << rig.out;

    ASSERT_FALSE(WriteTextFile(dir.File("bad.json"), "{\"format\": 1}"));
    ASSERT_EQ(rig.Run({"check", dir.File("bad.json")}), cli::status::Usage);
    const std::string checked = rig.err;
    EXPECT_EQ(rig.Run({"report", dir.File("bad.json"), "-o", dir.File("b.html")}),
              cli::status::Usage);
    EXPECT_EQ(rig.err, checked);
    EXPECT_FALSE(std::filesystem::exists(dir.File("b.html")));
}
