// The service records: the session log of a window's transactions and operations, its day
// files and their pruning, a log that cannot be written, and a configuration file opened into
// the window.

#include "AppTestSupport.h"
#include "app/SessionLog.h"
#include "app/SessionLogFile.h"
#include "config/ConfigFile.h"
#include "runtime/LogSystem.h"
#include "runtime/TextFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

constexpr const char* kStamp = "2026-12-10T13:03:41.123+01:00";

struct MemoryLog : LogLines {
    std::vector<std::string> days;
    std::string text;
    int writes = 0;
    void Write(const std::string& day, const std::string& lines) override
    {
        days.push_back(day);
        text += lines;
        ++writes;
    }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
    std::vector<std::string> Starting(const std::string& prefix) const
    {
        std::vector<std::string> found;
        for (const std::string& line : Lines())
            if (line.starts_with(prefix))
                found.push_back(line);
        return found;
    }
};

struct LoggedWindow : WindowRig {
    MemoryLog out;
    std::optional<WindowSessionLog> log;
    LoggedWindow()
    {
        ports.Set({"COM7"});
        Create();
        form->FormActivate();
        log.emplace(*form, out, [] { return std::string(kStamp); });
    }
    bool RunToEnd()
    {
        return loop.RunUntil(
            [this] {
                return state.OperationState == opstate::Idle && !form->Engine.TransactionInFlight();
            },
            20s);
    }
    std::string Prefix(int address = 247) const
    {
        return std::string(kStamp) + " COM7 9600 " + std::to_string(address) + " ";
    }
};

// A configuration file with two nodes and a device link.
std::string GoodFile()
{
    std::string links;
    for (int i = 0; i < 24; ++i)
        links += std::string(i == 0 ? "" : ", ") +
                 "{\"value\": " + std::to_string(i == 3 ? 0x1205 : i) + "}";
    return "{\"format\": \"imconf-configuration\", \"version\": 1, \"links\": [" + links +
           "], \"nodes\": [{\"type\": 22, \"address\": 3}, {\"type\": 8, \"address\": 9}]}";
}

}  // namespace

TEST(SessionLog, AReadLogsEachRequestReplyAndOutcomeWithTimePortSpeedAndAddress)
{
    LoggedWindow w;
    w.form->TeButton5.Click();
    ASSERT_TRUE(w.RunToEnd());
    ASSERT_EQ(w.form->TeMemo1.Lines.Last(), "   : ОК.");

    const auto lines = w.out.Lines();
    const auto tx = w.out.Starting(w.Prefix() + "TX : ");
    const auto rx = w.out.Starting(w.Prefix() + "RX : ");
    EXPECT_EQ(tx.size(), 4u);
    EXPECT_EQ(rx.size(), 4u);
    EXPECT_EQ(w.out.Starting(w.Prefix() + "   : ОК.").size(), 4u);
    EXPECT_EQ(tx.front(), w.Prefix() + "TX : F7 03 01 00 00 20 51 78") << "the link area first";
    // The 69-byte reply spans four trace lines in the pane and one line in the log.
    EXPECT_EQ(rx.front().size(), (w.Prefix() + "RX : ").size() + 69 * 3 - 1);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], w.Prefix() + "START read");
    EXPECT_EQ(lines[1], tx[0]);
    EXPECT_EQ(lines[2], rx[0]);
    EXPECT_EQ(lines[3], w.Prefix() + "   : ОК.");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), w.Prefix() + "END read: done, address 247"),
              1);
    for (const std::string& day : w.out.days)
        EXPECT_EQ(day, "2026-12-10");
}

TEST(SessionLog, AFailedWriteLogsItsRequestTheFailureAndTheEndingOnce)
{
    LoggedWindow w;
    w.state.DeviceAddress = 5;  // nobody answers there
    w.form->TeButton2.Click();
    ASSERT_TRUE(w.RunToEnd());

    const auto lines = w.out.Lines();
    EXPECT_EQ(lines.front(), w.Prefix(5) + "START write");
    const auto tx = w.out.Starting(w.Prefix(5) + "TX : ");
    ASSERT_EQ(tx.size(), 1u) << "the write stops at its first step";
    // The 57-byte function-16 frame is three pane lines, one log line.
    EXPECT_EQ(tx[0].size(), (w.Prefix(5) + "TX : ").size() + 57 * 3 - 1);
    EXPECT_EQ(w.out.Starting(w.Prefix(5) + "RX").size(), 0u) << "no reply, no placeholder";
    // The ending the pane shows, each line once.
    ASSERT_FALSE(w.form->TeMemo1.Lines.Empty());
    for (const std::string& pane : w.form->TeMemo1.Lines.Items())
        EXPECT_EQ(std::count(lines.begin(), lines.end(), w.Prefix(5) + pane), 1) << pane;
    EXPECT_EQ(lines.back(), w.Prefix(5) + "END write: no answer, address 5");
}

TEST(SessionLog, AnUpgradeLogsItsImageFileAndSizeAndItsEnding)
{
    LoggedWindow w;
    w.module.SetMode(sim::TMode::Bootloader);
    const std::string image = w.dir.File("fw.hex");
    ASSERT_FALSE(WriteTextFile(image, std::string(14338, '\x5A')));
    w.dialogs.fileAnswer = image;
    w.form->CustomItem24->Click();
    ASSERT_TRUE(w.RunToEnd());
    ASSERT_EQ(w.form->TeMemo1.Lines.Last(), "   : OK.");

    const auto lines = w.out.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(lines.front().ends_with(" START upgrade: " + image + ", 14338 bytes"))
        << lines.front();
    EXPECT_TRUE(lines[lines.size() - 2].ends_with(" 247    : OK.")) << lines[lines.size() - 2];
    EXPECT_EQ(lines.back(), w.Prefix() + "END upgrade: done, address 247");

    // Gone with its window's log: nothing more is written.
    w.log.reset();
    w.form->TeButton5.Click();
    ASSERT_TRUE(w.RunToEnd());
    EXPECT_EQ(w.out.Lines().size(), lines.size());
}

TEST(SessionLog, LocalTimeStampIsIsoWithMillisecondsAndOffset)
{
    const auto time = std::chrono::system_clock::time_point(1'765'371'821'123ms);
    const std::string stamp = LocalTimeStamp(time);
    EXPECT_TRUE(
        std::regex_match(stamp, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.123[+-]\d\d:\d\d)")))
        << stamp;
}

TEST(SessionLogFile, OneFileADayAppendedAcrossRuns)
{
    TempDir dir;
    const std::string folder = dir.File("state/imconf/log");
    {
        auto file = SessionLogFile::Daily(folder, nullptr);
        file.Write("2026-12-09", "a\n");
        file.Write("2026-12-10", "b\n");
    }
    auto again = SessionLogFile::Daily(folder, nullptr);
    again.Write("2026-12-10", "c\n");
    std::string text;
    ASSERT_FALSE(ReadTextFile(folder + "/imconf-2026-12-09.log", text));
    EXPECT_EQ(text, "a\n");
    ASSERT_FALSE(ReadTextFile(folder + "/imconf-2026-12-10.log", text));
    EXPECT_EQ(text, "b\nc\n");
}

TEST(SessionLogFile, AfterAReadInTheWindowTheDayFileHoldsItsRequestsRepliesAndOutcomes)
{
    LoggedWindow w;
    w.log.reset();
    const std::string folder = w.dir.File("log");
    const auto log = StartWindowLog(*w.form, folder, nullptr);
    ASSERT_TRUE(log);
    w.form->TeButton5.Click();
    ASSERT_TRUE(w.RunToEnd());
    const std::string today = LocalTimeStamp(std::chrono::system_clock::now()).substr(0, 10);
    std::string text;
    ASSERT_FALSE(ReadTextFile(folder + "/" + SessionLogFile::DayFileName(today), text));
    EXPECT_NE(text.find(" COM7 9600 247 TX : F7 03 01 00 00 20 51 78\n"), std::string::npos);
    EXPECT_NE(text.find(" COM7 9600 247 RX : F7 03 40 "), std::string::npos);
    EXPECT_NE(text.find(" COM7 9600 247    : ОК.\n"), std::string::npos);
    EXPECT_FALSE(StartWindowLog(*w.form, std::nullopt, nullptr)) << "no folder, no log";
}

TEST(SessionLogFile, PruningDropsOldDaysThenTheOldestUntilTheFolderIsSmallEnough)
{
    TempDir dir;
    const auto day = [&dir](const std::string& date, std::size_t bytes) {
        dir.Write("imconf-" + date + ".log", std::string(bytes, 'x'));
    };
    day("2026-09-10", 10);  // 91 days before: goes
    day("2026-09-11", 10);  // 90 days before: stays
    day("2026-12-01", 10);
    day("2026-12-10", 10);  // today
    dir.Write("notes.txt", "kept");
    dir.Write("imconf-2020-01-01.txt", "kept");
    PruneLogFolder(dir.Path().string(), "2026-12-10");
    const auto exists = [&dir](const std::string& name) {
        return std::filesystem::exists(dir.Path() / name);
    };
    EXPECT_FALSE(exists("imconf-2026-09-10.log"));
    EXPECT_TRUE(exists("imconf-2026-09-11.log"));
    EXPECT_TRUE(exists("notes.txt"));
    EXPECT_TRUE(exists("imconf-2020-01-01.txt"));

    // Over the size: the oldest go first, today's stays even when it alone is too big.
    PruneLogFolder(dir.Path().string(), "2026-12-10", 90, 25);
    EXPECT_FALSE(exists("imconf-2026-09-11.log"));
    EXPECT_TRUE(exists("imconf-2026-12-01.log"));
    EXPECT_TRUE(exists("imconf-2026-12-10.log"));
    PruneLogFolder(dir.Path().string(), "2026-12-10", 90, 5);
    EXPECT_FALSE(exists("imconf-2026-12-01.log"));
    EXPECT_TRUE(exists("imconf-2026-12-10.log"));
}

TEST(SessionLogFile, ALogThatCannotBeWrittenIsToldOnceAndTheReadGoesOn)
{
    TempDir dir;
    dir.Write("file", "in the way");
    std::vector<std::string> told;
    const auto tell = [&told](const std::string& text) { told.push_back(text); };
    LoggedWindow w;
    w.log.reset();
    // A folder under a file: it cannot be made.
    FormLogFile blocked(*w.form, SessionLogFile::Daily(dir.File("file/log"), tell));
    w.form->TeButton5.Click();
    ASSERT_TRUE(w.RunToEnd());
    EXPECT_EQ(w.form->TeMemo1.Lines.Last(), "   : ОК.");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(dir.File("file/log")), std::string::npos) << told[0];

    // A full disk: the write fails, once told, and the file is left alone after it.
    if (!std::filesystem::exists("/dev/full"))
        return;
    auto full = SessionLogFile::Single("/dev/full", tell);
    full.Write("2026-12-10", "line\n");
    full.Write("2026-12-10", "line\n");
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[1].find("Disk full"), std::string::npos) << told[1];
}

TEST(OpenConfigFile, TheGridsShowTheFileAsAfterAReadAndKeepItThroughTheActivation)
{
    WindowRig rig;
    rig.dir.Write("site.json", GoodFile());
    TForm1& f = rig.Create();
    ASSERT_TRUE(f.OpenConfigFile(rig.dir.File("site.json")));
    f.FormActivate();  // the window's own first activation comes after
    EXPECT_EQ(rig.config.NodeCount, 2);
    EXPECT_EQ(f.NodesGrid.RowCount(), 3);
    EXPECT_EQ(f.NodesGrid.Cell(2, 2), "009");
    EXPECT_EQ(f.ZoneGrid.RowCount(), 17) << "the first node's 16 zones";
    EXPECT_EQ(f.LINK_Grid.Cell(1, 4), "ПР.-05 /A");
    EXPECT_EQ(f.LINK_Grid.Cell(4, 1), "0008");
    EXPECT_TRUE(rig.dialogs.errors.empty());
}

TEST(OpenConfigFile, ABadFileIsRefusedWithTheCheckMessageAndTheWindowStaysEmpty)
{
    WindowRig rig;
    std::string bad = GoodFile();
    bad.replace(bad.find("\"address\": 9"), 12, "\"address\": 300");
    rig.dir.Write("bad.json", bad);
    TForm1& f = rig.Create();
    EXPECT_FALSE(f.OpenConfigFile(rig.dir.File("bad.json")));
    f.FormActivate();
    ASSERT_EQ(rig.dialogs.errors.size(), 1u);
    EXPECT_EQ(rig.dialogs.errors[0],
              rig.dir.File("bad.json") + ": nodes[1].address: 300 is not in 1..247");
    EXPECT_EQ(rig.config.NodeCount, 0);
    EXPECT_EQ(f.LINK_Grid.Cell(1, 4), "0003");
}
