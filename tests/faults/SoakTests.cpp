// A long run of whole operations through the real serial component against the simulator
// process, with every fault kind injected at random: every operation ends within its bound
// and in one of its own endings, the failures match the faults the simulator injected, and
// memory does not grow. Run under ThreadSanitizer, it also shows the hand-over between the
// port's monitoring thread and the window's thread free of races.

#include "FaultRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

using namespace imconf;
using namespace imconf::faults;

namespace {

std::size_t TransactionTarget()
{
    if (const char* text = std::getenv("IMCONF_SOAK_TRANSACTIONS")) {
        const long value = std::strtol(text, nullptr, 10);
        if (value > 0)
            return static_cast<std::size_t>(value);
    }
    return 10000;
}

// What the simulator's log says: requests heard, replies spoiled, faults by kind.
struct SimLog {
    std::size_t requests = 0;
    std::size_t spoiled = 0;  // replies with at least one fault
    std::map<std::string, std::size_t> fired;
};

SimLog ReadSimLog(const std::string& path)
{
    SimLog log;
    std::ifstream in(path);
    std::string line;
    bool current = false;
    while (std::getline(in, line)) {
        if (line.rfind("imconf-sim: <- ", 0) == 0) {
            ++log.requests;
            current = false;
        } else if (line.rfind("imconf-sim: fault: ", 0) == 0) {
            ++log.fired[line.substr(19)];
            if (!current)
                ++log.spoiled;
            current = true;
        }
    }
    return log;
}

struct Tally {
    std::size_t ok = 0;
    std::size_t failed = 0;
};

std::string Dump(const std::vector<std::string>& lines)
{
    std::ostringstream out;
    for (const auto& l : lines)
        out << "\n  [" << l << "]";
    return out.str();
}

class Soak {
public:
    Soak(PortWindow& w) : w_(w) {}

    // A configuration read or write: one of its three endings.
    void Sequence(bool read)
    {
        TButton& button = read ? w_.F().TeButton5 : w_.F().TeButton2;
        const char* title = read ? kReadTitle : kWriteTitle;
        button.Click();
        ASSERT_TRUE(w_.RunToIdle(15s)) << (read ? "read" : "write") << " did not end; state "
                                       << int(w_.state.OperationState) << Dump(w_.Trace());
        TForm1& f = w_.F();
        const auto& trace = w_.Trace();
        if (f.TeMemo1.Visible()) {
            // Ended by its own ending (success or a failed step 1 to 3): panes switched back.
            ASSERT_FALSE(f.TeMemo2.Visible());
            ASSERT_FALSE(f.TeProgressBar1.Visible());
            ASSERT_EQ(trace.size(), 2u) << Dump(trace);
            ASSERT_EQ(trace[0], title);
            if (trace[1] == kOk) {
                ++sequences_.ok;
            } else {
                ASSERT_EQ(trace[1], kError);
                ++sequences_.failed;
            }
        } else {
            // The last step failed with OperationState already 0: the engine's own line in the
            // hidden trace pane, the operation pane and the bar still shown.
            ASSERT_TRUE(f.TeMemo2.Visible());
            ASSERT_TRUE(f.TeProgressBar1.Visible());
            ASSERT_EQ(f.TeMemo2.Lines.Items(), std::vector<std::string>{title});
            const std::string& last = trace.back();
            ASSERT_TRUE(last == kTimeOutLine || last == kCrcErrorLine) << Dump(trace);
            ++sequences_.failed;
        }
    }

    // A single-register command with no operation running.
    void Command(bool block)
    {
        const bool checked = w_.F().TeCheckBox1.Checked();
        (block ? w_.F().TeButton3 : w_.F().Sound_Butt).Click();
        ASSERT_TRUE(w_.RunToIdle(5s)) << "command did not end" << Dump(w_.Trace());
        const std::string last = w_.LastLine();
        ASSERT_EQ(w_.Trace().front().rfind("TX : ", 0), 0u) << Dump(w_.Trace());
        if (last == kOk) {
            ++commands_.ok;
        } else {
            ASSERT_TRUE(last == kTimeOutLine || last == kCrcErrorLine) << Dump(w_.Trace());
            ++commands_.failed;
        }
        if (block) {
            ASSERT_EQ(w_.F().TeCheckBox1.Checked(), last == kOk ? !checked : checked)
                << "the block state follows the acknowledged echoes only";
        }
    }

    // The bus search for the module at address 1.
    void Search()
    {
        w_.F().CustomItem5->Click();
        ASSERT_TRUE(w_.RunToIdle(60s)) << "search did not end at " << int(w_.state.DeviceAddress);
        ASSERT_EQ(w_.F().CustomItem5->Caption(), "Start");
        ASSERT_FALSE(w_.F().TeProgressBar1.Visible());
        const auto& trace = w_.Trace();
        const std::string found =
            "   : ОБНАРУЖЕН ПРИБОР <СР.-ПУИ -МОДУЛЬ ИНДИКАЦИИ V.2> ПО АДРЕСУ 001";
        if (std::find(trace.begin(), trace.end(), found) != trace.end()) {
            ASSERT_EQ(w_.state.DeviceAddress, 1);
            ++searches_.ok;
        } else {
            // A spoiled probe reply: the search goes on; a late reply may still be taken for
            // a later address, otherwise nothing answers up to 247.
            ++searches_.failed;
            w_.F().TeSpinEdit1.SetValue(1);
            ASSERT_EQ(w_.state.DeviceAddress, 1);
        }
        ASSERT_FALSE(w_.port.Connected()) << "the port is closed after the search";
    }

    Tally sequences_, commands_, searches_;

private:
    PortWindow& w_;
};

}  // namespace

TEST(Soak, TransactionsWithEveryFaultKindEndInTheirSpecifiedStates)
{
    const std::size_t target = TransactionTarget();
    PrivateRuntimeDir runtime;
    // The fastest speed; no pacing, so the reply follows the request at once. Late replies
    // come 500 ms late: after the time-out of a one-register request, before that of a
    // block write.
    SimRun sim(runtime.Path(), "soak1",
               {"--address", "1", "--baud", "57600", "--think", "1", "--verbose", "--seed",
                "20250611", "--fault-rate", "drop:0.002", "--fault-rate", "crc:0.002",
                "--fault-rate", "short:0.002", "--fault-rate", "garbage:0.002", "--fault-rate",
                "late:0.002:500"});
    ASSERT_TRUE(sim.Running());
    PortWindow w("soak1");
    ASSERT_EQ(w.port.Port(), "soak1");
    w.F().BR_57600->Click();
    ASSERT_EQ(w.state.BaudIndex, 7);
    w.F().CustomItem7->Click();  // 100 ms a probe
    w.F().TeSpinEdit1.SetValue(1);
    ASSERT_EQ(w.state.DeviceAddress, 1);

    // Something to write: two nodes and a few link entries.
    w.F().TePopupMenu1.Items.Item(0).Item(0).Click();
    w.F().TePopupMenu1.Items.Item(0).Item(2).Click();
    ASSERT_EQ(w.config.NodeCount, 2);

    Soak soak(w);
    std::size_t rssEarly = 0;
    std::size_t cycle = 0;
    const std::size_t searchEvery = std::max<std::size_t>(target / 5, 500);
    std::size_t nextSearch = searchEvery;
    const double cpuStart = ProcessCpuSeconds();
    const Micros start = w.loop.Now();
    while (w.line.writes < target) {
        const std::size_t before = w.line.writes;
        // Per 32 operations: a read, a write, ten block and twenty sound-off commands.
        const std::size_t step = cycle++ % 32;
        if (step == 0)
            soak.Sequence(true);
        else if (step == 1)
            soak.Sequence(false);
        else if (step % 3 == 0)
            soak.Command(true);
        else
            soak.Command(false);
        if (::testing::Test::HasFatalFailure())
            return;
        ASSERT_GT(w.line.writes, before) << "every operation sends";
        ASSERT_EQ(w.state.CommandDeferred, 0);
        ASSERT_FALSE(w.port.Connected()) << "the port is closed while idle";
        if (w.line.writes >= nextSearch) {
            nextSearch += searchEvery;
            soak.Search();
            if (::testing::Test::HasFatalFailure())
                return;
        }
        if (rssEarly == 0 && w.line.writes >= target / 10)
            rssEarly = ResidentBytes();
    }
    const double seconds = static_cast<double>((w.loop.Now() - start).count()) / 1e6;
    const std::size_t rssEnd = ResidentBytes();

    // The last request may still be in the simulator's log buffer; it flushes every line.
    w.loop.RunFor(200ms);
    ASSERT_EQ(sim.Stop(), 0);
    const SimLog log = ReadSimLog(sim.StderrPath());
    const std::size_t failures =
        soak.sequences_.failed + soak.commands_.failed + soak.searches_.failed;
    const std::size_t late = log.fired.count("late") ? log.fired.at("late") : 0;
    std::printf("soak: %zu transactions in %.1f s (%.1f ms each), CPU %.1f s\n", w.line.writes,
                seconds, 1000.0 * seconds / static_cast<double>(w.line.writes),
                ProcessCpuSeconds() - cpuStart);
    std::printf(
        "soak: sequences %zu ok / %zu failed, commands %zu ok / %zu failed, searches %zu / %zu\n",
        soak.sequences_.ok, soak.sequences_.failed, soak.commands_.ok, soak.commands_.failed,
        soak.searches_.ok, soak.searches_.failed);
    std::printf("soak: simulator heard %zu requests, spoiled %zu replies:", log.requests,
                log.spoiled);
    for (const auto& [kind, count] : log.fired)
        std::printf(" %s %zu", kind.c_str(), count);
    std::printf("\nsoak: resident %.1f MB after %zu transactions, %.1f MB at the end\n",
                static_cast<double>(rssEarly) / 1048576.0, target / 10,
                static_cast<double>(rssEnd) / 1048576.0);

    EXPECT_EQ(log.requests, w.line.writes) << "every request reached the simulator as one frame";
    // Each spoiled reply fails the transaction it answers, and that failure ends its
    // operation. A late reply also holds back the reply behind it (one request answered at
    // a time) and may spoil the next transaction too, or fail none when it came within the
    // time-out of a block write.
    EXPECT_LE(failures, log.spoiled + 2 * late);
    EXPECT_GE(failures + late, log.spoiled);
    EXPECT_GT(soak.sequences_.ok, soak.sequences_.failed);
    if (target >= 5000) {
        for (const char* kind : {"drop", "crc", "short", "garbage", "late"})
            EXPECT_GT(log.fired.count(kind) ? log.fired.at(kind) : 0u, 0u) << kind;
    }
    // Memory does not grow with the number of transactions.
    EXPECT_LE(rssEnd, rssEarly + std::max<std::size_t>(rssEarly / 10, 8u << 20));
}
