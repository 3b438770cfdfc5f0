// The operations through the adapters engineers really use, in virtual time: one that hands
// each request back before the reply (local echo), a USB adapter that delivers received bytes
// in bursts (16 ms latency timer, 62-byte packets), and one that does both.

#include "AppTestSupport.h"
#include "modbus/Engine.h"

#include <gtest/gtest.h>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

struct Adapter {
    const char* name;
    sim::TAdapter adapter;
};
const Adapter kAdapters[] = {{"echo", {true, Micros(0)}},
                             {"usb", {false, sim::kUsualUsbLatency}},
                             {"echo+usb", {true, sim::kUsualUsbLatency}}};

struct Rig : WindowRig {
    explicit Rig(const sim::TAdapter& adapter, bool bootloader = false)
    {
        line.Adapter = adapter;
        if (bootloader)
            module.SetMode(sim::TMode::Bootloader);
        Create();
        form->FormActivate();
        // Every echo line the trace pane shows, however briefly.
        form->TeMemo1.Lines.Subscribe([this] {
            const auto& lines = form->TeMemo1.Lines;
            const bool echo = !lines.Empty() && lines.Last() == kEchoLine;
            if (echo && !lastWasEcho_)
                ++echoLines;
            lastWasEcho_ = echo;
        });
    }
    TForm1& F() { return *form; }
    sim::TModbusSlave& Module() { return module.Module(); }
    bool RunToIdle(Micros limit = 120s)
    {
        return loop.RunUntil(
            [this] {
                return state.OperationState == opstate::Idle &&
                       !form->Engine.TransactionInFlight() && !form->Timer_Wait.Enabled();
            },
            limit);
    }
    // Runs the operation a person started to its end, and the moment before the next press
    // (a reply that repeats the request may still be on the line when the first copy ended the
    // transaction of a port not yet known to echo).
    bool Settle()
    {
        const bool idle = RunToIdle();
        loop.Advance(100ms);
        return idle;
    }
    std::string Last() const { return form->TeMemo1.Lines.Last(); }

    int echoLines = 0;

private:
    bool lastWasEcho_ = false;
};

}  // namespace

TEST(Adapters, ReadWriteAndReadBackGiveTheConfiguration)
{
    for (const Adapter& a : kAdapters) {
        SCOPED_TRACE(a.name);
        Rig rig(a.adapter);
        for (std::uint16_t i = 0; i < 24; ++i)
            ASSERT_EQ(rig.Module().Set(static_cast<std::uint16_t>(0x0100 + i),
                                       static_cast<std::uint16_t>(0x0200 + i)),
                      "");
        ASSERT_EQ(rig.Module().Set(0x0121, 22), "");
        ASSERT_EQ(rig.Module().Set(0x0141, 10), "");
        ASSERT_EQ(rig.Module().Set(0x0120, 1), "");

        rig.F().TeButton5.Click();
        ASSERT_TRUE(rig.RunToIdle());
        EXPECT_EQ(rig.Last(), "   : ОК.");
        EXPECT_EQ(rig.config.LinkTable[23], 0x0217);
        ASSERT_EQ(rig.config.NodeCount, 1);
        EXPECT_EQ(rig.config.NodeTable[0].TypeCode, 22);
        EXPECT_EQ(rig.config.NodeTable[0].Address, 10);

        rig.config.AddNode(9);
        rig.config.LinkTable[3] = 0x3207;
        rig.F().TeButton2.Click();
        ASSERT_TRUE(rig.RunToIdle());
        EXPECT_EQ(rig.Last(), "   : ОК.");
        EXPECT_EQ(rig.Module().Get(0x0103), 0x3207);
        EXPECT_EQ(rig.Module().Get(0x0122), 9);
        EXPECT_EQ(rig.Module().Get(0x0120), 2);

        rig.config.NodeCount = 0;
        rig.F().TeButton5.Click();
        ASSERT_TRUE(rig.RunToIdle());
        EXPECT_EQ(rig.Last(), "   : ОК.");
        EXPECT_EQ(rig.config.NodeCount, 2);
        EXPECT_EQ(rig.config.NodeTable[1].TypeCode, 9);
        // Said once for the port, not at every transaction.
        EXPECT_EQ(rig.echoLines, a.adapter.echo ? 1 : 0);
    }
}

TEST(Adapters, SearchFindsTheModuleBehindEmptyAddresses)
{
    for (const Adapter& a : kAdapters) {
        SCOPED_TRACE(a.name);
        Rig rig(a.adapter);
        rig.Module().Set(0x0001, 4);
        rig.F().CustomItem7->Click();  // 100 ms an address
        rig.F().CustomItem5->Click();
        ASSERT_TRUE(rig.RunToIdle());
        EXPECT_EQ(rig.line.Requests().size(), 4u);
        EXPECT_EQ(rig.state.DeviceAddress, 4);
        const auto& lines = rig.F().TeMemo1.Lines.Items();
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[1], "RX : 04 03 02 00 18 74 4E ");  // the reply alone, not the echo
        EXPECT_EQ(rig.Last(), "   : ОК.");
        EXPECT_EQ(rig.echoLines, a.adapter.echo ? 1 : 0);
    }
}

TEST(Adapters, CommandsWhoseReplyRepeatsTheRequestThenARead)
{
    // The commands come first, while nothing is known of the adapter yet.
    for (const Adapter& a : kAdapters) {
        SCOPED_TRACE(a.name);
        Rig rig(a.adapter);
        rig.F().Sound_Butt.Click();
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.Last(), "   : ОК.");
        rig.F().Sound_Butt.Click();  // the same request again
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.Last(), "   : ОК.");
        EXPECT_EQ(rig.Module().SoundOffCount(), 2u);
        rig.F().TeButton3.Click();
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.Last(), "   : ОК.");
        EXPECT_TRUE(rig.Module().Blocked());
        rig.F().TeSpinEdit2.SetValue(5);
        rig.F().TeButton1.Click();
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.Last(), "   : ОК.");
        EXPECT_EQ(rig.state.DeviceAddress, 5);
        EXPECT_EQ(rig.Module().Address(), 5);

        rig.F().TeButton5.Click();
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.Last(), "   : ОК.");
        EXPECT_EQ(rig.echoLines, a.adapter.echo ? 1 : 0);
    }
}

TEST(Adapters, FirmwareUpgradeCompletes)
{
    std::vector<std::uint8_t> file(14338 + 100);
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 8));
    for (const Adapter& a : kAdapters) {
        SCOPED_TRACE(a.name);
        Rig rig(a.adapter, true);
        const std::string path = rig.dir.File("fw.hex");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        rig.dialogs.fileAnswer = path;
        rig.F().CustomItem24->Click();
        ASSERT_TRUE(rig.RunToIdle());
        EXPECT_EQ(rig.F().TeMemo1.Lines.Items(),
                  (std::vector<std::string>{"   : firmware upgrade...", "   : OK."}));
        EXPECT_EQ(rig.line.Requests().size(), 37u);  // 28 pages, 6 + 1 blocks, the closing
        EXPECT_TRUE(rig.module.Bootloader().Complete());
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + 14336,
                               rig.module.Bootloader().Flash().begin()));
        EXPECT_EQ(rig.echoLines, a.adapter.echo ? 1 : 0);
    }
}
