// The Qt shell over the headless window, on the offscreen platform: geometry, texts, and that
// input reaches the headless controls and their changes reach the widgets.

#include "qt/GridWidget.h"
#include "qt/Look.h"
#include "qt/MainWindow.h"
#include "qt/QtEventLoop.h"

#include "WindowShell.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTest>

#include <cstdlib>

extern "C" const char* __asan_default_options()
{
    // Qt and fontconfig keep caches until the process ends.
    return "detect_leaks=0";
}

using namespace imconf;
using namespace imconf::testing;

namespace {

// The window on a machine with COM1 and ttyUSB0.
struct Shell : WindowShell {
    Shell() : WindowShell(1080, {"COM1", "ttyUSB0"}) {}
};

}  // namespace

TEST(QtShell, EveryControlSitsAtItsHeadlessBounds)
{
    Shell shell;
    TForm1& f = *shell.form;
    EXPECT_EQ(shell.window->windowTitle().toStdString(), f.Caption());
    EXPECT_EQ(shell.window->ClientArea()->size(), QSize(514, 538));
    for (const TControl* control : std::initializer_list<const TControl*>{
             &f.TeGroupBox1, &f.TePageControl1, &f.TeGroupBox2, &f.TeLabel5, &f.TeSpinEdit1,
             &f.TeButton1, &f.TeButton5, &f.TeButton2, &f.TeMemo1, &f.TeProgressBar1,
             &f.TeCheckBox1, &f.Sound_Butt, &f.StatusBar1, &f.NodesGrid, &f.ZoneGrid,
             &f.LINK_Grid}) {
        QWidget* widget = shell.window->WidgetOf(*control);
        ASSERT_NE(widget, nullptr) << control->Name();
        EXPECT_EQ(widget->objectName().toStdString(), control->Name());
        EXPECT_EQ(widget->geometry(),
                  QRect(control->Left(), control->Top(), control->Width(), control->Height()))
            << control->Name();
    }
    const auto* tabs = shell.Find<QTabWidget>("TePageControl1");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabText(0).toStdString(), "РЕЖИМ <MASTER>");
    EXPECT_EQ(tabs->tabText(1).toStdString(), "РЕЖИМ <SLAVE>");
    const auto* memo = shell.Find<QPlainTextEdit>("TeMemo1");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->toPlainText().toStdString(), "TX :\nRX :");
    EXPECT_FALSE(shell.window->WidgetOf(f.TeMemo2)->isVisible());
    QAction* crypt = shell.window->ActionOf(*f.CustomItem27);
    ASSERT_NE(crypt, nullptr);
    EXPECT_FALSE(crypt->isVisible());
}

TEST(QtShell, HeadlessChangesShowAndInputReachesTheHandlers)
{
    Shell shell;
    TForm1& f = *shell.form;
    f.TeMemo1.Lines.Add("   : ОК.");
    f.TeProgressBar1.SetVisible(true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(shell.Find<QPlainTextEdit>("TeMemo1")->toPlainText().endsWith(
        QString::fromUtf8("   : ОК.")));
    EXPECT_TRUE(shell.window->WidgetOf(f.TeProgressBar1)->isVisible());

    QAction* fast = shell.window->ActionOf(*f.BR_57600);
    ASSERT_NE(fast, nullptr);
    fast->trigger();
    EXPECT_EQ(f.StatusBar1.PanelText(1), "BaudRate = 57600");
    EXPECT_TRUE(fast->isChecked());

    auto* spin = shell.window->WidgetOf(f.TeSpinEdit1)->findChild<QLineEdit*>();
    ASSERT_NE(spin, nullptr);
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, "12");
    EXPECT_EQ(f.TeSpinEdit1.Text().back(), '2');
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_EQ(f.TeSpinEdit1.Value(), std::stoi(f.TeSpinEdit1.Text()));

    // A click on a link cell selects its entry; a row of the node grid is painted from the model.
    auto* link = dynamic_cast<qtui::GridWidget*>(shell.window->WidgetOf(f.LINK_Grid));
    ASSERT_NE(link, nullptr);
    const TRect cell = f.LINK_Grid.CellRect(7, 3);
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(cell.Left + 5, cell.Top + 5));
    EXPECT_EQ(f.LinkGroup * 8 + f.LinkRow, 18);
    f.AddNodeClick(22);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.NodesGrid.Cell(2, 1), "001");
    EXPECT_EQ(shell.window->WidgetOf(f.NodesGrid)->width(), f.NodesGrid.Width());
}

TEST(QtShell, DoubleClickOpensTheAddressEditorOverTheCell)
{
    Shell shell;
    TForm1& f = *shell.form;
    f.AddNodeClick(22);
    f.AddNodeClick(8);
    QCoreApplication::processEvents();
    ASSERT_EQ(f.NodesGrid.RowCount(), 3);
    auto* grid = dynamic_cast<qtui::GridWidget*>(shell.window->WidgetOf(f.NodesGrid));
    ASSERT_NE(grid, nullptr);
    const TRect cell = f.NodesGrid.CellRect(2, 1);
    QTest::mouseClick(grid, Qt::LeftButton, {}, QPoint(cell.Left + 5, cell.Top + 5));
    QTest::mouseDClick(grid, Qt::LeftButton, {}, QPoint(cell.Left + 5, cell.Top + 5));
    EXPECT_EQ(f.Config.SelectedNode, 0);
    // The editor opens on the 50 ms tick of its timer.
    QWidget* editor = shell.window->WidgetOf(f.AddrEdit);
    ASSERT_NE(editor, nullptr);
    for (int i = 0; i < 100 && !editor->isVisible(); ++i)
        QTest::qWait(10);
    ASSERT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->geometry(),
              QRect(f.AddrEdit.Left(), f.AddrEdit.Top(), f.AddrEdit.Width(), f.AddrEdit.Height()));
    auto* line = editor->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->hasSelectedText());
    QTest::keyClick(line, Qt::Key_Up);  // 2 belongs to the other node
    EXPECT_EQ(f.AddrEdit.Text(), "3");
    EXPECT_EQ(f.NodesGrid.Cell(2, 1), "003");
    QTest::keyClick(line, Qt::Key_Return);
    EXPECT_FALSE(f.AddrEdit.Visible());
    QCoreApplication::processEvents();
    EXPECT_FALSE(editor->isVisible());
}

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    qtui::ApplyLook(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
