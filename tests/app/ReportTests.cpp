// The printable report: its texts are the tabs' texts, and a real browser (headless Chromium)
// prints it on one or two A4 pages with every text in them.

#include "AppTestSupport.h"
#include "app/Report.h"
#include "app/TabTexts.h"
#include "config/ConfigFile.h"
#include "runtime/TextFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace imconf;
using namespace imconf::testing;

namespace {

// Every kind of link entry, four nodes filling the 24 indicators, and texts to escape.
LoadedConfig Sample()
{
    ModuleConfig config;
    const std::uint16_t kinds[] = {0x0000, 0x0205, 0x1205, 0x2217, 0x3203, 0x4203, 0x0A05, 0x0105};
    for (std::size_t i = 0; i < kIndicatorCount; ++i)
        config.Links[i] = i < std::size(kinds) ? kinds[i] : static_cast<std::uint16_t>(i);
    config.Links[23] = 0xFFFF;
    config.Nodes = {{22, 1}, {8, 5}, {9, 7}, {9, 247}};
    LoadedConfig loaded;
    loaded.Config = config;
    loaded.Origin = ReadOrigin{"2026-12-10T11:20:00Z", "ttyUSB0 <&>", 6, 19200};
    EXPECT_FALSE(ToModel(config, loaded.Model));
    return loaded;
}

std::string Shell(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

// Headless Chromium on a page: a temporary profile and home, every network request sent to a
// closed port, bounded in time. Empty when chromium is not there.
bool Chromium(const TempDir& dir, const std::string& page, const std::string& flag)
{
    const std::string command =
        "HOME='" + dir.File("home") + "' timeout 120 chromium --headless --no-sandbox " +
        "--disable-gpu --user-data-dir='" + dir.File("profile") +
        "' --no-first-run --no-default-browser-check --disable-extensions --disable-sync "
        "--disable-background-networking --proxy-server=socks5://127.0.0.1:9 "
        "--no-pdf-header-footer " +
        flag + " 'file://" + page + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace

TEST(Report, TheTablesCarryTheTabsTextsEscaped)
{
    const LoadedConfig config = Sample();
    const std::string html = ReportHtml(config, "site <1>.json");
    EXPECT_NE(html.find("<td>ttyUSB0 &lt;&amp;&gt;</td>"), std::string::npos);
    EXPECT_NE(html.find("site &lt;1&gt;.json"), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("http"), std::string::npos) << "nothing from the network";
    EXPECT_NE(html.find("<td>19200</td>"), std::string::npos);
    EXPECT_NE(html.find(">&lt;ОТКЛ.&gt;<"), std::string::npos);
    for (std::size_t i = 0; i < kIndicatorCount; ++i)
        EXPECT_NE(html.find("<td>" + tabtexts::LinkIndicator(i) + "</td><td>" +
                            (config.Model.LinkTable[i] == 0x0A05 || i == 23
                                 ? std::string("&lt;ОТКЛ.&gt;")
                                 : LinkEntryText(config.Model.LinkTable[i])) +
                            "</td>"),
                  std::string::npos)
            << i;
    // Each zone with its indicator, as the zone grid shows it, and each node once.
    const NodeRecord& last = config.Model.NodeTable[3];
    EXPECT_NE(html.find(">" + tabtexts::ZoneName(last.Loops[1]) + "</td><td>24</td>"),
              std::string::npos);
    EXPECT_NE(html.find("rowspan=\"16\">001</td>"), std::string::npos);

    const std::string csv = ReportCsv(config, "site.json");
    EXPECT_NE(csv.find("module,site.json,6,19200,ttyUSB0 <&>,2026-12-10T11:20:00Z\r\n"),
              std::string::npos);
    EXPECT_NE(csv.find("link,24,<ОТКЛ.>\r\n"), std::string::npos);
    EXPECT_NE(csv.find("node,03," + *tabtexts::NodeType(9) + ",247," +
                       tabtexts::ZoneName(last.Loops[1]) + ",24\r\n"),
              std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 2 + 1 + 24 + 1 + 24);
}

TEST(Report, ChromiumPrintsItOnOneOrTwoA4PagesWithEveryText)
{
    if (Shell("command -v chromium").empty() || Shell("command -v pdftotext").empty())
        GTEST_SKIP() << "chromium or poppler-utils is not installed";
    TempDir dir;
    const LoadedConfig config = Sample();
    const std::string page = dir.File("report.html");
    ASSERT_FALSE(WriteTextFile(page, ReportHtml(config, "site.json")));
    ASSERT_TRUE(Chromium(dir, page, "--print-to-pdf='" + dir.File("report.pdf") + "'"));

    const std::string info = Shell("pdfinfo '" + dir.File("report.pdf") + "'");
    EXPECT_TRUE(info.find("Pages:           1\n") != std::string::npos ||
                info.find("Pages:           2\n") != std::string::npos)
        << info;
    EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
    const std::string text = Shell("pdftotext '" + dir.File("report.pdf") + "' -");
    for (std::size_t i = 0; i < kIndicatorCount; ++i)
        EXPECT_NE(text.find(LinkEntryText(config.Model.LinkTable[i])), std::string::npos) << i;
    for (int n = 0; n < config.Model.NodeCount; ++n) {
        const NodeRecord& node = config.Model.NodeTable[static_cast<std::size_t>(n)];
        for (int k = 0; k < tabtexts::ZoneCount(node.TypeCode); ++k)
            EXPECT_NE(text.find(node.Loops[static_cast<std::size_t>(k)].Label.substr(0, 10)),
                      std::string::npos);
    }
    EXPECT_NE(text.find("ttyUSB0 <&>"), std::string::npos);

    // And as a picture (the user guide's docs/guide/report.png is made this way).
    ASSERT_TRUE(Chromium(dir, page,
                         "--window-size=794,1123 --screenshot='" + dir.File("report.png") + "'"));
    std::string png;
    ASSERT_FALSE(ReadTextFile(dir.File("report.png"), png));
    EXPECT_GT(png.size(), 10000u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
}
