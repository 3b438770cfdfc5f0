// The window's operations through the real serial component and imconf-sim on a pty.

#include "AppTestSupport.h"
#include "runtime/StdEventLoop.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

// A window over the real port, the std event loop and a simulator process.
struct RealWindow : RealPortWindow {
    testsupport::TSimProcess sim;

    explicit RealWindow(std::vector<std::string> options) : sim(std::move(options))
    {
        Start(sim.Pty());
    }
    bool RunToIdle(Micros limit = 60s) { return RealPortWindow::RunToIdle(limit); }
};

}  // namespace

TEST(WindowEndToEnd, ReadEditWriteAndReadBack)
{
    RealWindow w({"--address", "247", "--pace"});
    ASSERT_TRUE(w.sim.Running());
    EXPECT_EQ(w.port.Port(), w.sim.Pty()) << "the port list chose the simulator";

    w.form->TeButton5.Click();
    ASSERT_TRUE(w.RunToIdle());
    ASSERT_EQ(w.LastLine(), "   : ОК.");
    EXPECT_EQ(w.config.NodeCount, 0);
    EXPECT_EQ(w.config.LinkTable[5], 5);

    // Edit: two nodes through the popup, a link entry through its popup.
    w.form->TePopupMenu1.Items.Item(0).Item(0).Click();  // СИРТА-16И:/16
    w.form->TePopupMenu1.Items.Item(0).Item(2).Click();  // СИРТА-4И:/4
    w.form->LINK_Grid.ClickCell(4, 2);                   // entry 9
    w.form->TePopupMenu2.Items.Item(5).Click();          // ПРИБОР /ПАРАМ. А
    ASSERT_EQ(w.config.LinkTable[9], 0x1209);
    w.form->TeButton2.Click();
    ASSERT_TRUE(w.RunToIdle());
    ASSERT_EQ(w.LastLine(), "   : ОК.");

    const ConfigModel written = w.config;
    w.config.Reset();
    w.form->TeButton5.Click();
    ASSERT_TRUE(w.RunToIdle());
    ASSERT_EQ(w.LastLine(), "   : ОК.");
    EXPECT_EQ(w.config.LinkTable, written.LinkTable);
    ASSERT_EQ(w.config.NodeCount, 2);
    EXPECT_EQ(w.config.NodeTable[0].TypeCode, 22);
    EXPECT_EQ(w.config.NodeTable[1].TypeCode, 8);
    EXPECT_EQ(w.config.NodeTable[1].Address, 2);
    EXPECT_EQ(w.form->LINK_Grid.Cell(4, 2), "ПР.-09 /A");
    EXPECT_FALSE(w.port.Connected());
}

TEST(WindowEndToEnd, SearchFindsTheModuleThenAddressAndSpeedChangeKeepTheLink)
{
    std::mt19937 random(std::random_device{}());
    const int address = std::uniform_int_distribution<int>(2, 12)(random);
    RealWindow w({"--address", std::to_string(address)});
    ASSERT_TRUE(w.sim.Running());
    w.form->CustomItem7->Click();  // 100 ms a probe
    w.form->CustomItem5->Click();
    ASSERT_TRUE(w.RunToIdle());
    ASSERT_EQ(w.state.DeviceAddress, address);
    EXPECT_EQ(w.form->TeSpinEdit1.Value(), address);

    w.form->TeButton5.Click();
    ASSERT_TRUE(w.RunToIdle());
    ASSERT_EQ(w.LastLine(), "   : ОК.") << "a configuration read at the found address";

    w.form->TeSpinEdit2.SetValue(77);
    w.form->TeButton1.Click();
    ASSERT_TRUE(w.RunToIdle());
    ASSERT_EQ(w.state.DeviceAddress, 77);
    w.dialogs.answerYes = true;
    w.form->TeSComboBox1.ChooseByUser(7);  // 57600
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.port.BaudRate(), TBaudRate::br57600);
    w.form->Sound_Butt.Click();
    ASSERT_TRUE(w.RunToIdle());
    EXPECT_EQ(w.LastLine(), "   : ОК.")
        << "still talking to the module at its new address and speed";
}

TEST(WindowEndToEnd, FirmwareUpgradeIntoTheBootloader)
{
    testsupport::TTempDir folder;
    const std::string dump = folder.Path() + "/store.bin";
    RealWindow w({"--bootloader", "--dump", dump});
    ASSERT_TRUE(w.sim.Running());
    std::vector<std::uint8_t> file(14338 + 512);
    std::mt19937 random(7);
    for (auto& b : file)
        b = static_cast<std::uint8_t>(random());
    const std::string path = w.dir.File("fw.hex");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    w.dialogs.fileAnswer = path;
    w.form->CustomItem24->Click();
    ASSERT_TRUE(w.RunToIdle(120s));
    ASSERT_EQ(w.LastLine(), "   : OK.");
    EXPECT_EQ(w.port.BaudRate(), TBaudRate::br9600);

    // The simulator writes its store after the closing frame.
    std::vector<std::uint8_t> stored;
    for (int i = 0; i < 100 && stored.size() < 14336 + 2048; ++i) {
        std::ifstream in(dump, std::ios::binary);
        stored.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (stored.size() < 14336 + 2048)
            std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(stored.size(), 14336u + 2048u);
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + 14336, stored.begin()));
    for (std::size_t i = 0; i < 506; ++i)
        ASSERT_EQ(stored[14336 + i], file[14338 + i]) << i;
    EXPECT_EQ(stored[14336 + 506], file[14336]);
    EXPECT_EQ(stored[14336 + 511], file[14337]);
}
