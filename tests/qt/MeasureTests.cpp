// The self-measurement options of the imconf executable (--first-paint, --measure), which
// scripts/performance.sh reads: the executable is run as a child process on the offscreen
// platform, against imconf-sim announced as COM1.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>

using namespace imconf::testsupport;
using namespace std::chrono_literals;

namespace {

// The child's "key: value" lines until its stdout ends.
std::map<std::string, std::string> KeyLines(TChild& child, std::chrono::milliseconds timeout)
{
    std::map<std::string, std::string> values;
    for (;;) {
        const std::string line = child.ReadLine(timeout);
        if (line.empty())
            return values;
        const auto colon = line.find(": ");
        if (colon != std::string::npos)
            values[line.substr(0, colon)] = line.substr(colon + 2);
    }
}

// Qt and fontconfig keep caches until the process ends: a sanitizer build's child would
// report them as leaks and exit with an error.
void NoLeakReportsInChildren()
{
    const char* current = std::getenv("ASAN_OPTIONS");
    const std::string options =
        current != nullptr && *current != '\0' ? std::string(current) + ":" : "";
    ::setenv("ASAN_OPTIONS", (options + "detect_leaks=0").c_str(), 1);
}

double Number(const std::map<std::string, std::string>& values, const std::string& key)
{
    const auto it = values.find(key);
    return it == values.end() ? -1 : std::atof(it->second.c_str());
}

}  // namespace

TEST(MeasureOptions, FirstPaintPrintsTheStartUpTimeAndExits)
{
    NoLeakReportsInChildren();
    TTempDir runtime;
    TChild child({IMCONF_EXE, "--first-paint"}, runtime.Path(), runtime.Path() + "/stderr");
    ASSERT_TRUE(child.Started());
    const auto values = KeyLines(child, 30s);
    EXPECT_EQ(child.Wait(10s), 0);
    ASSERT_EQ(values.count("first-paint-ms"), 1u);
    ASSERT_EQ(values.count("first-paint-epoch-us"), 1u);
    const double sinceStart = Number(values, "first-paint-ms");
    const double sinceInit = Number(values, "first-paint-after-init-ms");
    EXPECT_GT(sinceInit, 0);
    // The process started before its static initialisation; the start has the clock tick's
    // resolution of 10 ms.
    EXPECT_GE(sinceStart, sinceInit - 10);
    EXPECT_EQ(values.count("read-ms"), 0u) << "--first-paint does not read the configuration";
}

TEST(MeasureOptions, MeasureReadsTheConfigurationThenReportsMemoryAndIdleCpu)
{
    NoLeakReportsInChildren();
    TSimProcess sim({"--name", "COM1", "--pace"});
    ASSERT_TRUE(sim.Running());
    TChild child({IMCONF_EXE, "--measure", "1"}, sim.RuntimeDir(),
                 sim.RuntimeDir() + "/imconf.stderr");
    ASSERT_TRUE(child.Started());
    const auto values = KeyLines(child, 30s);
    EXPECT_EQ(child.Wait(10s), 0);
    EXPECT_EQ(values.count("first-paint-ms"), 1u);
    ASSERT_EQ(values.count("read-outcome"), 1u);
    EXPECT_EQ(values.at("read-outcome"), "   : ОК.");
    // The paced line alone takes 246 bytes at 9600 baud, 256 ms, for the four read steps.
    EXPECT_GE(Number(values, "read-ms"), 256);
    const double rss = Number(values, "vmrss-kb");
    EXPECT_GT(rss, 1000);
    EXPECT_GE(Number(values, "vmhwm-kb"), rss);
    EXPECT_GE(Number(values, "idle-wall-ms"), 990);
    EXPECT_GE(Number(values, "idle-cpu-ms"), 0);
    EXPECT_EQ(values.count("idle-cpu-percent"), 1u);
}

TEST(MeasureOptions, BadMeasureValuesAreRefused)
{
    NoLeakReportsInChildren();
    for (const char* value : {"0", "601", "ten"}) {
        std::string output;
        TTempDir folder;
        EXPECT_EQ(RunProgram({IMCONF_EXE, "--measure", value}, output, 30s, folder.Path()), 2)
            << value;
        EXPECT_NE(output.find(std::string("imconf: bad --measure value: ") + value),
                  std::string::npos)
            << output;
    }
    std::string output;
    TTempDir folder;
    EXPECT_EQ(RunProgram({IMCONF_EXE, "--measure"}, output, 30s, folder.Path()), 2);
    EXPECT_NE(output.find("imconf: unknown option: --measure"), std::string::npos) << output;
}

TEST(MeasureOptions, HelpNeedsNoDisplay)
{
    NoLeakReportsInChildren();
    // No platform a window could open on: the help must not need one.
    const std::string platform =
        std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::unsetenv("DISPLAY");
    std::string output;
    TTempDir folder;
    const int status = RunProgram({IMCONF_EXE, "--help"}, output, 30s, folder.Path());
    ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    if (!display.empty())
        ::setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Usage: imconf"), std::string::npos) << output;
}
