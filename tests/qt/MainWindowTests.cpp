// The main window over the headless form: the window itself, the texts as rendered and that
// they fit, the menu bar's press before its menus open, the spin editor's, the grids' and the
// drop-down list's input, the activation, the small-screen fit, and the Qt dialogs.

#include "qt/ControlWidgets.h"
#include "qt/Look.h"
#include "qt/MainWindow.h"
#include "qt/QtDialogs.h"
#include "qt/QtEventLoop.h"

#include "WindowShell.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <fstream>

using namespace imconf;
using namespace imconf::testing;

namespace {

std::vector<std::string> Captions(const QMenu* menu)
{
    std::vector<std::string> captions;
    if (menu != nullptr) {
        for (const QAction* action : menu->actions())
            captions.push_back(action->text().toStdString());
    }
    return captions;
}

void ClosePopups()
{
    while (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}

}  // namespace

TEST(MainWindow, IsAFixedWindowWithoutMaximiseShowingTheStartTexts)
{
    WindowShell shell;
    MainWindow& w = *shell.window;
    TForm1& f = *shell.form;
    EXPECT_EQ(w.size(), QSize(514, 538));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(w.windowTitle().toStdString(),
              "СИРТА - МОДУЛЬ ИНДИКАЦИИ   (MODBUS-RTU)   V2.1 -2025");

    EXPECT_EQ(shell.Find<QGroupBox>("TeGroupBox1")->title(), "");
    EXPECT_EQ(shell.Find<QGroupBox>("TeGroupBox2")->title().toStdString(),
              "  ПАРАМЕТРЫ ИНТЕРФЕЙСА  ");
    EXPECT_EQ(shell.Find<QGroupBox>("TeGroupBox2")->parentWidget()->objectName(), "TeTabSheet3");
    EXPECT_EQ(shell.Find<QLabel>("TeLabel4")->text().toStdString(), "СКОРОСТЬ ПЕРЕДАЧИ");
    EXPECT_EQ(shell.Find<QLabel>("TeLabel5")->text().toStdString(), "АДРЕС ПРИБОРА - 247");
    EXPECT_EQ(shell.Find<QPushButton>("TeButton5")->text().toStdString(), "&ЧТЕНИЕ КОНФИГА");
    EXPECT_EQ(shell.Find<QPushButton>("TeButton2")->text().toStdString(), "&ЗАПИСЬ КОНФИГА");
    EXPECT_EQ(shell.Find<QPushButton>("TeButton1")->text().toStdString(), "-->");
    EXPECT_EQ(shell.Find<QPushButton>("TeButton3")->text().toStdString(), "БЛОК.");
    EXPECT_EQ(shell.Find<QPushButton>("TeButton3")->toolTip().toStdString(),
              "Отключение звук. сигнализации");
    for (const char* name : {"TeButton5", "TeButton2", "TeButton3", "Sound_Butt"})
        EXPECT_FALSE(shell.Find<QPushButton>(name)->icon().isNull()) << name;
    EXPECT_EQ(shell.Find<QPushButton>("Sound_Butt")->text(), "");
    EXPECT_EQ(shell.Find<QPushButton>("Sound_Butt")->toolTip().toStdString(),
              "Отключение звук. сигнализации");
    EXPECT_FALSE(shell.Find<QCheckBox>("TeCheckBox1")->isEnabled());
    EXPECT_FALSE(shell.Find<QCheckBox>("TeCheckBox1")->isChecked());
    EXPECT_EQ(shell.Find<QComboBox>("TeSComboBox1")->currentText(), "9600");
    EXPECT_EQ(shell.Find<QComboBox>("TeSComboBox1")->count(), 8);
    EXPECT_EQ(shell.Find<QLineEdit>("TeSpinEdit1.Edit")->text(), "247");
    EXPECT_EQ(shell.Find<QLineEdit>("TeSpinEdit2.Edit")->text(), "247");
    EXPECT_EQ(shell.Find<QLineEdit>("TeSpinEdit1.Edit")->alignment() & Qt::AlignHCenter,
              Qt::AlignHCenter);
    EXPECT_FALSE(shell.Find<QProgressBar>("TeProgressBar1")->isVisible());
    EXPECT_FALSE(shell.Find<QProgressBar>("TeProgressBar1")->isTextVisible());

    EXPECT_EQ(shell.Panel(0), "COM1");
    EXPECT_EQ(shell.Panel(1), "BaudRate = 9600");
    EXPECT_EQ(shell.Panel(2), "DEVICE : A = 247; Baud = 9600");
    EXPECT_EQ(shell.Find<QWidget>("StatusBar1")->geometry(), QRect(0, 517, 514, 21));
    EXPECT_EQ(shell.Find<QLabel>("StatusBar1.Panel0")->width(), 48);
    EXPECT_EQ(shell.Find<QLabel>("StatusBar1.Panel1")->x(), 50);
    EXPECT_EQ(shell.Find<QLabel>("StatusBar1.Panel2")->geometry().right(), 513);
    EXPECT_TRUE(shell.Find<QLabel>("StatusBar1.Panel1")->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(shell.Find<QLabel>("StatusBar1.Panel2")->alignment() & Qt::AlignLeft);

    // The menus, with the start speed's mark; "Crypt Image" hidden.
    std::vector<std::string> top;
    for (const QAction* action : w.MenuBar()->actions())
        top.push_back(action->text().toStdString());
    EXPECT_EQ(top, (std::vector<std::string>{"Connection", "Search", "Tools"}));
    EXPECT_EQ(Captions(shell.MenuOf(*f.PORT1)), (std::vector<std::string>{"COM3", "COM1"}));
    EXPECT_TRUE(w.ActionOf(*f.PORT1->Item(1).Find(f.PORT1->Item(1).Name()))->isChecked());
    for (TMenuItem* item : f.BaudItems)
        EXPECT_EQ(w.ActionOf(*item)->isChecked(), item == f.BR_9600) << item->Name();
    EXPECT_EQ(Captions(shell.MenuOf(*f.CustomItem6)),
              (std::vector<std::string>{"100ms", "150ms", "200ms", "250ms", "300ms", "350ms"}));
    EXPECT_TRUE(w.ActionOf(*f.CustomItem8)->isChecked());
    EXPECT_TRUE(w.ActionOf(*f.CustomItem26)->isSeparator());
    EXPECT_FALSE(w.ActionOf(*f.CustomItem27)->isVisible());
    EXPECT_FALSE(w.ActionOf(*f.CustomItem27)->isEnabled());
}

TEST(MainWindow, CaptionsFitTheirControlsInCyrillicCapableFonts)
{
    WindowShell shell;
    const QFontInfo memoFont(shell.Find<QPlainTextEdit>("TeMemo1")->font());
    EXPECT_TRUE(memoFont.family() == "Liberation Mono" || memoFont.family() == "DejaVu Sans Mono")
        << memoFont.family().toStdString();
    EXPECT_EQ(memoFont.pixelSize(), 11);
    EXPECT_EQ(shell.Find<QPlainTextEdit>("TeMemo1")->palette().color(QPalette::Text),
              QColor(0, 0, 255));
    const QFontInfo comboFont(shell.Find<QComboBox>("TeSComboBox1")->font());
    EXPECT_TRUE(comboFont.family() == "Liberation Sans" || comboFont.family() == "DejaVu Sans")
        << comboFont.family().toStdString();

    auto width = [](const QWidget* widget, const QString& text) {
        return QFontMetrics(widget->font()).horizontalAdvance(qtui::StripMnemonic(text));
    };
    for (const char* name : {"TeLabel4", "TeLabel5"}) {
        const auto* label = shell.Find<QLabel>(name);
        EXPECT_LE(width(label, label->text()), label->width()) << name;
        EXPECT_GE(QFontInfo(label->font()).pixelSize(), 9) << name;
    }
    for (const char* name : {"TeButton5", "TeButton2", "TeButton3", "TeButton1"}) {
        const auto* button = shell.Find<QPushButton>(name);
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        EXPECT_LE(width(button, button->text()) + icon + 8, button->width()) << name;
    }
    const auto* group = shell.Find<QGroupBox>("TeGroupBox2");
    EXPECT_LE(width(group, group->title()), group->width() - 16);
    const auto* tabs = shell.Find<QTabWidget>("TePageControl1");
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_LE(width(tabs->tabBar(), tabs->tabText(i)), tabs->tabBar()->tabRect(i).width()) << i;
    for (int i = 0; i < 3; ++i) {
        const auto* panel =
            shell.window->findChild<QLabel*>("StatusBar1.Panel" + QString::number(i));
        EXPECT_LE(width(panel, panel->text()), panel->contentsRect().width() - 2 * panel->indent())
            << i;
    }
    // The menu bar's items fit its 152 pixels: no extension button.
    QMenuBar* bar = shell.window->MenuBar();
    for (QAction* action : bar->actions())
        EXPECT_LE(bar->actionGeometry(action).right(), bar->width() - 1)
            << action->text().toStdString();
}

TEST(MainWindow, HeadlessChangesShowInTheWidgets)
{
    WindowShell shell;
    TForm1& f = *shell.form;
    f.StatusBar1.SetPanelText(2, "DEVICE : А = 5; Baud = 19200");
    EXPECT_EQ(shell.Panel(2), "DEVICE : А = 5; Baud = 19200");
    f.TeLabel5.SetCaption("АДРЕС ПРИБОРА - 005");
    EXPECT_EQ(shell.Find<QLabel>("TeLabel5")->text().toStdString(), "АДРЕС ПРИБОРА - 005");
    f.TeSpinEdit2.SetValue(5);
    EXPECT_EQ(shell.Find<QLineEdit>("TeSpinEdit2.Edit")->text(), "5");
    f.TeSComboBox1.SetItemIndex(5);
    EXPECT_EQ(shell.Find<QComboBox>("TeSComboBox1")->currentText(), "19200");
    f.TeCheckBox1.SetChecked(true);
    EXPECT_TRUE(shell.Find<QCheckBox>("TeCheckBox1")->isChecked());

    f.ShowOperationPanes(0, 5, 1, "   : чтение конфигурации модуля...");
    auto* progress = shell.Find<QProgressBar>("TeProgressBar1");
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 5);
    EXPECT_EQ(progress->value(), 1);
    EXPECT_FALSE(shell.Find<QWidget>("TeMemo1")->isVisible());
    EXPECT_TRUE(shell.Find<QWidget>("TeMemo2")->isVisible());
    EXPECT_EQ(shell.Find<QPlainTextEdit>("TeMemo2")->toPlainText().toStdString(),
              "   : чтение конфигурации модуля...");
    f.TeProgressBar1.SetPosition(4);
    EXPECT_EQ(progress->value(), 4);
    // The bar lies over the panes.
    QWidget* box = shell.Find<QWidget>("TeGroupBox1");
    const QPoint overlap = progress->geometry().center();
    EXPECT_EQ(box->childAt(overlap) == progress || progress->isAncestorOf(box->childAt(overlap)),
              true);
    f.ShowTracePane();
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(shell.Find<QWidget>("TeMemo1")->isVisible());

    // Many lines: the last one stays in view.
    for (int i = 0; i < 40; ++i)
        f.TeMemo1.Lines.Add("line " + std::to_string(i));
    auto* memo = shell.Find<QPlainTextEdit>("TeMemo1");
    EXPECT_EQ(memo->verticalScrollBar()->value(), memo->verticalScrollBar()->maximum());
    EXPECT_GT(memo->verticalScrollBar()->maximum(), 0);
    EXPECT_TRUE(memo->toPlainText().endsWith("line 38\nline 39"));
    f.TeMemo1.Lines.Clear();
    f.TeMemo1.Lines.Add("TX : F7 03");
    EXPECT_EQ(memo->toPlainText(), "TX : F7 03");

    // The menu tree: a caption change and new port entries.
    f.CustomItem5->SetCaption("Stop");
    EXPECT_EQ(shell.window->ActionOf(*f.CustomItem5)->text(), "Stop");
    f.PORT1->Clear();
    EXPECT_TRUE(Captions(shell.MenuOf(*f.PORT1)).empty());
    shell.ports.Set({"ttyUSB0"});
    f.BuildPortMenu();
    EXPECT_EQ(Captions(shell.MenuOf(*f.PORT1)), (std::vector<std::string>{"ttyUSB0"}));
    EXPECT_EQ(shell.Panel(0), "ttyUSB0");
}

TEST(MainWindow, APressOnTheMenuBarRebuildsThePortListBeforeAMenuOpens)
{
    WindowShell shell;
    TForm1& f = *shell.form;
    QMenuBar* bar = shell.window->MenuBar();
    shell.ports.Set({"COM3", "COM1", "COM4"});
    const int reads = shell.ports.reads;
    QAction* connection = shell.window->ActionOf(*f.CustomItem1);
    ASSERT_NE(connection, nullptr);
    QTest::mousePress(bar, Qt::LeftButton, {}, bar->actionGeometry(connection).center());
    EXPECT_EQ(shell.ports.reads, reads + 1);
    EXPECT_EQ(Captions(shell.MenuOf(*f.PORT1)), (std::vector<std::string>{"COM3", "COM1", "COM4"}));
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 1000));
    ClosePopups();

    // A click on an entry goes to its handler; the right button counts as a press too.
    shell.window->ActionOf(*f.PORT1->Find("PortItem2"))->trigger();
    EXPECT_EQ(shell.Panel(0), "COM4");
    shell.ports.Set({"COM4", "COM9"});
    QTest::mousePress(bar, Qt::RightButton, {}, QPoint(bar->width() - 2, bar->height() / 2));
    QTest::mouseRelease(bar, Qt::RightButton, {}, QPoint(bar->width() - 2, bar->height() / 2));
    ClosePopups();
    EXPECT_EQ(Captions(shell.MenuOf(*f.PORT1)), (std::vector<std::string>{"COM4", "COM9"}));
    EXPECT_TRUE(shell.window->ActionOf(f.PORT1->Item(0))->isChecked());
    EXPECT_FALSE(shell.window->ActionOf(f.PORT1->Item(1))->isChecked());

    // A menu click whose handler refuses keeps the mark where the item has it.
    QAction* delay = shell.window->ActionOf(*f.CustomItem8);
    f.CustomItem8->SetEnabled(false);
    delay->setEnabled(true);  // as if the click raced the change
    delay->trigger();
    EXPECT_EQ(delay->isChecked(), f.CustomItem8->Checked());
}

TEST(MainWindow, TheSpinEditorForwardsTypingEnterAndItsButtons)
{
    WindowShell shell;
    TForm1& f = *shell.form;
    std::vector<int> keys;
    auto original = f.TeSpinEdit1.OnKeyPress;
    f.TeSpinEdit1.OnKeyPress = [&](char& key) {
        keys.push_back(key);
        if (original)
            original(key);
    };
    auto* edit = shell.Find<QLineEdit>("TeSpinEdit1.Edit");
    edit->setFocus();
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(f.TeSpinEdit1.Text(), "");
    QTest::keyClicks(edit, "12x");
    EXPECT_EQ(f.TeSpinEdit1.Text(), "12");
    EXPECT_EQ(edit->text(), "12");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(keys, (std::vector<int>{8, 8, 8, '1', '2', 'x', 13}));
    EXPECT_EQ(f.TeSpinEdit1.Text(), "12");

    QTest::mouseClick(shell.Find<QToolButton>("TeSpinEdit1.Up"), Qt::LeftButton);
    EXPECT_EQ(f.TeSpinEdit1.Text(), "13");
    EXPECT_EQ(edit->text(), "13");
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(f.TeSpinEdit1.Text(), "12");

    // Typing into a selection is the editor's own edit; the text reaches the control whole.
    edit->selectAll();
    QTest::keyClicks(edit, "5");
    EXPECT_EQ(f.TeSpinEdit1.Text(), "5");
    QTest::keyClicks(edit, "6789");
    EXPECT_EQ(f.TeSpinEdit1.Text(), "567");
    EXPECT_EQ(edit->text(), "567");
    QTest::keyClick(edit, Qt::Key_Return);  // clamps into 1..247
    EXPECT_EQ(f.TeSpinEdit1.Text(), "247");
    EXPECT_EQ(edit->text(), "247");
    edit->setCursorPosition(1);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(f.TeSpinEdit1.Text(), "27");
}

TEST(MainWindow, PastesAndRightClicksReachTheControls)
{
    WindowShell shell;
    TForm1& f = *shell.form;
    auto* edit = shell.Find<QLineEdit>("TeSpinEdit1.Edit");
    edit->setFocus();
    QGuiApplication::clipboard()->setText("125");
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClick(edit, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(edit->selectedText(), "47");
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(f.TeSpinEdit1.Text(), "212") << "two of the pasted digits fit in place of 47";
    EXPECT_EQ(edit->text(), "212");
    EXPECT_EQ(edit->cursorPosition(), 3);

    // The popup opens where the grid was clicked and leaves the selection alone.
    f.AddNodeClick(22);
    f.AddNodeClick(8);
    QWidget* grid = shell.window->WidgetOf(f.NodesGrid);
    ASSERT_EQ(f.Config.SelectedNode, 1);
    const TRect cell = f.NodesGrid.CellRect(1, 1);
    QString opened;
    QPoint openedAt;
    QTimer::singleShot(0, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            opened = menu->objectName();
            openedAt = menu->pos();
        }
        ClosePopups();
    });
    QTest::mouseClick(grid, Qt::RightButton, {}, QPoint(cell.Left + 3, cell.Top + 3));
    EXPECT_EQ(opened, "TePopupMenu1");
    EXPECT_EQ(openedAt, grid->mapToGlobal(QPoint(cell.Left + 3, cell.Top + 3)));
    EXPECT_EQ(f.Config.SelectedNode, 1) << "the last node added stays the target";
}

TEST(MainWindow, TheSpeedListOpensOnFocusAndForwardsTheUsersChoice)
{
    WindowShell shell;
    TForm1& f = *shell.form;
    int changes = 0;
    auto original = f.TeSComboBox1.OnChange;
    f.TeSComboBox1.OnChange = [&] {
        ++changes;
        if (original)
            original();
    };
    f.TePageControl1.SetActivePageIndex(1);
    auto* combo = shell.Find<QComboBox>("TeSComboBox1");
    ASSERT_TRUE(combo->isVisible());
    combo->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([combo] { return combo->view()->isVisible(); }, 2000));
    QTest::keyClick(combo->view(), Qt::Key_Down);
    QTest::keyClick(combo->view(), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([combo] { return !combo->view()->isVisible(); }, 2000));
    EXPECT_EQ(f.TeSComboBox1.ItemIndex(), 4);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(combo->currentText(), "14400");
    // Focus coming back from the list does not open it again.
    QTest::qWait(20);
    EXPECT_FALSE(combo->view()->isVisible());
}

TEST(MainWindow, OnlyTheFirstActivationRunsTheActivationSteps)
{
    WindowShell shell;
    TForm1& f = *shell.form;
    ASSERT_EQ(shell.window->FormActivations(), 1);
    EXPECT_TRUE(f.TeMenuBar1.Focused());
    EXPECT_TRUE(shell.window->MenuBar()->hasFocus());

    // A modal box over the window and back: Qt activates the window again, the shell does
    // not run the activation steps for it.
    QtDialogs dialogs(&*shell.window);
    QTimer::singleShot(50, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(dialogs.AskYesNoWarning("Сменить скорость обмена COM-порта ПК?"));
    shell.window->activateWindow();
    QTest::qWait(20);
    EXPECT_EQ(shell.window->FormActivations(), 1);
}

TEST(MainWindow, OnALowScreenTheWindowIsCutAndScrolls)
{
    WindowShell shell(400);
    EXPECT_EQ(shell.window->height(), 400 - 25 - 30);
    EXPECT_EQ(shell.window->width(), 514 + 17);
    auto* scroll = shell.window->findChild<QScrollArea*>("Form1.Scroll");
    ASSERT_NE(scroll, nullptr);
    EXPECT_TRUE(scroll->verticalScrollBar()->isVisible());
    EXPECT_EQ(shell.window->ClientArea()->size(), QSize(514, 538));
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    EXPECT_LT(shell.window->ClientArea()->y(), 0);
}

TEST(QtDialogs, TheQuestionBoxIsAWarningWithYesAndNoOnly)
{
    QWidget owner;
    owner.setWindowTitle("owner");
    QtDialogs dialogs(&owner);
    QMessageBox::Icon icon{};
    QList<QAbstractButton*> buttons;
    QString text;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        icon = box->icon();
        buttons = box->buttons();
        text = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(dialogs.AskYesNoWarning("Сменить скорость обмена COM-порта ПК?"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons.size(), 2);
    EXPECT_EQ(text.toStdString(), "Сменить скорость обмена COM-порта ПК?");

    QTimer::singleShot(50, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            icon = box->icon();
            text = box->text();
            box->accept();
        }
    });
    dialogs.ShowError("Access violation");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(text, "Access violation");
}

TEST(QtDialogs, TheFileDialogTakesTitleNameFilterAndFolder)
{
    TempDir dir;
    dir.Write("image.hex", "x");
    QtDialogs dialogs;
    QString title, directory, filter;
    QTimer::singleShot(100, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        title = dialog->windowTitle();
        directory = dialog->directory().absolutePath();
        filter = dialog->nameFilters().join(";;");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const auto chosen = dialogs.OpenFile(
        {"Открыть файл прошивки", "image.hex", "hex файлы|*.hex", dir.Path().string()});
    EXPECT_EQ(title.toStdString(), "Открыть файл прошивки");
    EXPECT_EQ(directory.toStdString(), std::filesystem::canonical(dir.Path()).string());
    EXPECT_EQ(filter.toStdString(), "hex файлы (*.hex)");
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(std::filesystem::canonical(*chosen),
              std::filesystem::canonical(dir.Path() / "image.hex"));

    QTimer::singleShot(100, [] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    EXPECT_FALSE(dialogs.OpenFile({"t", "", "bin файлы|*.bin", dir.Path().string()}).has_value());
}

TEST(QtDialogs, FiltersAreWrittenTheQtWay)
{
    EXPECT_EQ(ToQtFileFilter("hex файлы|*.hex").toStdString(), "hex файлы (*.hex)");
    EXPECT_EQ(ToQtFileFilter("bin файлы|*.bin|hex файлы|*.hex").toStdString(),
              "bin файлы (*.bin);;hex файлы (*.hex)");
    EXPECT_EQ(ToQtFileFilter("images|*.hex;*.bin").toStdString(), "images (*.hex *.bin)");
    EXPECT_EQ(ToQtFileFilter("").toStdString(), "");
    EXPECT_EQ(ToQtFileFilter("all").toStdString(), "all");
    EXPECT_EQ(ToQtFileFilter("|*.txt").toStdString(), "*.txt");
}
