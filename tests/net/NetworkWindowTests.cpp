// The window over a network port chosen from the Port menu entry of the user's list, against
// imconf-sim serving the module over TCP.

#include "AppTestSupport.h"
#include "runtime/StdEventLoop.h"
#include "serial/ComPortLine.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

TEST(NetworkWindow, ReadsAndWritesTheModuleOfTheUserListsPortMenuEntry)
{
    testsupport::TSimProcess sim(
        {"--tcp", "0", "--address", "247", "--net-delay", "10", "--split", "20"});
    ASSERT_TRUE(sim.Running());
    RealPortWindow w;
    w.dir.Write("network-ports.txt", "# bench\n  " + sim.Pty() + "\nnot a port\n");
    ApplyToolPortSettings(w.port);
    w.ports.ports = std::vector<SystemPort>{{"ttyS0", "uart"}};
    w.form.emplace(TForm1Environment{w.loop, w.state, w.config, w.comLine, w.dialogs, w.ports,
                                     w.screen, w.dir.File("comports.txt"), w.dir.Path().string()});
    w.form->SetNetworkPortsFile(w.dir.File("network-ports.txt"));
    struct : OperationObserver {
        std::vector<OperationOutcome> ended;
        void OperationEnded(const OperationOutcome& outcome) override { ended.push_back(outcome); }
    } outcomes;
    w.form->Observers.Add(outcomes);
    w.form->FormCreate();
    w.form->FormActivate();
    TForm1& f = *w.form;
    ASSERT_EQ(f.PORT1->Count(), 2u);
    EXPECT_EQ(f.PORT1->Item(0).Caption(), "ttyS0");
    ASSERT_EQ(f.PORT1->Item(1).Caption(), sim.Pty());

    f.PORT1->Item(1).Click();
    EXPECT_EQ(f.StatusBar1.PanelText(0), sim.Pty());
    f.TeButton5.Click();
    ASSERT_TRUE(w.RunToIdle(30s));
    ASSERT_EQ(w.LastLine(), "   : ОК.");
    EXPECT_TRUE(w.port.Connected()) << "the connection is kept between operations";

    w.config.LinkTable[3] = 0x1203;
    f.TeButton2.Click();
    ASSERT_TRUE(w.RunToIdle(30s));
    ASSERT_EQ(w.LastLine(), "   : ОК.");
    w.config.Reset();
    f.TeButton5.Click();
    ASSERT_TRUE(w.RunToIdle(30s));
    EXPECT_EQ(w.config.LinkTable[3], 0x1203);

    // The menu keeps the choice when it is built again; the upgrade is refused up front.
    f.BuildPortMenu();
    EXPECT_TRUE(f.PORT1->Item(1).Checked());
    w.dialogs.fileAnswers = {w.dir.File("image.hex")};
    f.CustomItem24Click();
    EXPECT_NE(w.LastLine().find("19200"), std::string::npos) << w.LastLine();
    EXPECT_EQ(w.dialogs.fileAnswers.size(), 1u) << "refused before the file is asked for";
    ASSERT_FALSE(outcomes.ended.empty());
    EXPECT_EQ(outcomes.ended.back().operation, OperationKind::Upgrade);
    EXPECT_EQ(outcomes.ended.back().result, OutcomeKind::PortError);
    w.form->Observers.Remove(outcomes);
}
