// imconf-screens: the user guide's pictures, taken from the running tool. The tool talks to
// module simulators through its real serial component and is driven through its own input
// paths: mouse and key events to its widgets, and the controls' handlers through
// TForm1::HandleEvent. Pictures of open menus and dialogs are taken from the screen, so this
// runs on an X display (scripts/screenshot.sh starts Xvfb and the simulators).
//
// Usage: imconf-screens FOLDER
//   The port "COM1" must lead to a module at address 6 with a sample configuration, the port
//   "COM2" to a module in its bootloader. The upgrade image is written next to this program,
//   where the file dialog opens.

#include "app/ExecutableDir.h"
#include "app/Form1.h"
#include "firmware/Firmware.h"
#include "qt/Look.h"
#include "qt/ToolWindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace imconf;

namespace {

constexpr std::uint8_t kModuleAddress = 6;
constexpr std::uint8_t kNewAddress = 12;
constexpr int kSpeed19200 = 5;
constexpr int kDeadlineMs = 40000;

// Steps run one after another; each calls Next() (directly or from a timer) when it is done.
class Scenario {
public:
    Scenario(QString folder, MainWindow& window) : folder_(std::move(folder)), window_(window) {}

    void Add(std::string name, std::function<void()> step)
    {
        steps_.push_back({std::move(name), std::move(step)});
    }
    void Start()
    {
        QTimer::singleShot(0, &window_, [this] { Next(); });
        // A step that waits in a menu or dialog no one closes must not hang the run.
        QTimer::singleShot(kDeadlineMs, &window_, [this] {
            std::fprintf(stderr, "imconf-screens: gave up in the step \"%s\"\n",
                         steps_[index_ - 1].name.c_str());
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                std::fprintf(stderr, "imconf-screens: a box is open: %s\n",
                             box->text().toStdString().c_str());
            else if (QWidget* modal = QApplication::activeModalWidget())
                std::fprintf(stderr, "imconf-screens: a %s is open\n",
                             modal->metaObject()->className());
            std::_Exit(1);
        });
    }
    void Next()
    {
        if (index_ >= steps_.size()) {
            QCoreApplication::exit(failures_ == 0 ? 0 : 1);
            return;
        }
        const auto& step = steps_[index_++];
        std::printf("imconf-screens: %s\n", step.name.c_str());
        std::fflush(stdout);
        step.run();
    }
    void After(int ms, std::function<void()> then)
    {
        QTimer::singleShot(ms, &window_, std::move(then));
    }
    // Polls `done` every 50 ms; gives up after `timeoutMs` with a message, and goes on.
    void WaitUntil(std::function<bool()> done, int timeoutMs, const char* what,
                   std::function<void()> then)
    {
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        auto poll = std::make_shared<std::function<void()>>();
        *poll = [this, done = std::move(done), timeoutMs, what, then = std::move(then), clock,
                 poll] {
            if (done()) {
                then();
            } else if (clock->elapsed() > timeoutMs) {
                Fail(std::string("timed out waiting for ") + what);
                then();
            } else {
                After(50, *poll);
            }
        };
        After(0, *poll);
    }
    void Fail(const std::string& text)
    {
        std::fprintf(stderr, "imconf-screens: %s\n", text.c_str());
        ++failures_;
    }

    // The window alone.
    void GrabWindow(const QString& name) { Save(window_.grab(), name); }
    // After `ms`: a picture of the window, then the next step.
    void GrabWindowThenNext(int ms, const QString& name)
    {
        After(ms, [this, name] {
            GrabWindow(name);
            Next();
        });
    }
    // The window with the menus and dialogs open over it, from the screen.
    void GrabScreen(const QString& name)
    {
        QRect area = window_.frameGeometry();
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top != &window_ && top->isVisible() && top->isWindow())
                area = area.united(top->frameGeometry());
        }
        QScreen* screen = window_.screen();
        area = area.intersected(screen->geometry());
        Save(screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()), name);
    }

private:
    void Save(const QPixmap& picture, const QString& name)
    {
        const QString file = folder_ + "/" + name;
        if (picture.isNull() || !picture.save(file, "PNG"))
            Fail("cannot write " + file.toStdString());
    }

    struct Step {
        std::string name;
        std::function<void()> run;
    };
    QString folder_;
    MainWindow& window_;
    std::vector<Step> steps_;
    std::size_t index_ = 0;
    int failures_ = 0;
};

// A mouse click as the window system delivers it: press and release at `at`.
void Click(QWidget* widget, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    const QPointF local(at);
    const QPointF global(widget->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void Key(QWidget* widget, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

QAction* ActionByText(QWidget* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// The open popup menu (the innermost, when submenus are open).
QMenu* OpenMenu()
{
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

// Opens the submenu of `text` in the open menu; false when there is none.
bool OpenSubmenu(const QString& text)
{
    QMenu* menu = OpenMenu();
    QAction* action = menu != nullptr ? ActionByText(menu, text) : nullptr;
    if (action == nullptr)
        return false;
    menu->setActiveAction(action);
    Key(menu, Qt::Key_Right);
    return true;
}

// Chooses `text` in the open menu with the keyboard, which closes the menus.
bool ChooseInMenu(const QString& text)
{
    QMenu* menu = OpenMenu();
    QAction* action = menu != nullptr ? ActionByText(menu, text) : nullptr;
    if (action == nullptr)
        return false;
    menu->setActiveAction(action);
    Key(menu, Qt::Key_Return);
    return true;
}

// A FLASH part of a recognisable pattern and a small EEPROM part.
std::optional<std::string> WriteSampleImage(const std::string& path)
{
    FirmwareImage image;
    for (std::size_t i = 0; i < image.FlashImage.size(); ++i)
        image.FlashImage[i] = static_cast<std::uint8_t>(i * 7 + 3);
    image.ImageCrc = FlashCrc(image);  // a sound image: the window asks nothing
    std::vector<std::uint8_t> eeprom(256);
    for (std::size_t i = 0; i < eeprom.size(); ++i)
        eeprom[i] = static_cast<std::uint8_t>(i);
    return WriteUpgradeImage(path, image, eeprom);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: imconf-screens FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("imconf");
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const std::string exeDir = ExecutableFolder().value_or(".");
    const std::string imagePath = exeDir + "/module-v2.1.hex";
    if (const auto error = WriteSampleImage(imagePath)) {
        std::fprintf(stderr, "imconf-screens: cannot write %s: %s\n", imagePath.c_str(),
                     error->c_str());
        return 1;
    }

    qtui::ApplyLook(app);
    qtui::ToolWindow tool(exeDir);
    TForm1& form = tool.form;
    ProgramState& state = tool.state;
    MainWindow& window = tool.Window();

    Scenario s(folder, window);
    auto run = [&form](std::function<void()> event) { form.HandleEvent(event); };
    auto idle = [&state] { return state.OperationState == opstate::Idle; };
    auto widget = [&window](const TControl& control) { return window.WidgetOf(control); };
    auto clickWidget = [&](const TControl& control) {
        QWidget* w = widget(control);
        Click(w, w->rect().center());
    };
    auto gridCell = [&](const TStringGrid& grid, int col, int row) {
        const TRect cell = grid.CellRect(col, row);
        return QPoint((cell.Left + cell.Right) / 2, (cell.Top + cell.Bottom) / 2);
    };
    // Shows a tab as the user does: a click on its tab.
    auto showTab = [&](int index) {
        auto* tabs = qobject_cast<QTabWidget*>(widget(form.TePageControl1));
        QTabBar* bar = tabs->tabBar();
        Click(bar, bar->tabRect(index).center());
    };
    // Runs `then` once a modal box is open (a question or the file dialog).
    auto whenModal = [&](std::function<void(QWidget*)> then) {
        s.WaitUntil([] { return QApplication::activeModalWidget() != nullptr; }, 5000, "a dialog",
                    [then] { then(QApplication::activeModalWidget()); });
    };

    s.Add("the window at start", [&] { s.GrabWindowThenNext(1000, "window.png"); });
    s.Add("bus search", [&] {
        // Search > Delay > 350ms, then Search > Start.
        run([&] { form.CustomItem12->Click(); });
        run([&] { form.CustomItem5->Click(); });
        s.After(1100, [&] {
            s.GrabWindow("search.png");
            s.WaitUntil([&] { return idle() && state.DeviceAddress == kModuleAddress; }, 15000,
                        "the search to find the module",
                        [&] { s.GrabWindowThenNext(200, "search-found.png"); });
        });
    });
    s.Add("configuration read", [&] {
        clickWidget(form.TeButton5);
        s.After(150, [&] {
            s.GrabWindow("read-progress.png");
            s.WaitUntil(idle, 10000, "the read to end", [&] {
                QWidget* grid = widget(form.NodesGrid);
                Click(grid, gridCell(form.NodesGrid, 0, 2));
                s.GrabWindowThenNext(300, "master.png");
            });
        });
    });
    s.Add("node popup menu", [&] {
        s.After(400, [&] {
            if (!OpenSubmenu("Добавить"))
                s.Fail("no Добавить submenu");
            s.After(400, [&] {
                s.GrabScreen("node-menu.png");
                QMenu* types = OpenMenu();
                // The last type that still fits (the others are disabled).
                QAction* fits = nullptr;
                if (types != nullptr) {
                    for (QAction* action : types->actions()) {
                        if (!action->isSeparator() && action->menu() == nullptr &&
                            action->isEnabled())
                            fits = action;
                    }
                }
                if (fits == nullptr || !ChooseInMenu(fits->text()))
                    s.Fail("no device type to add");
                s.GrabWindowThenNext(400, "node-added.png");
            });
        });
        // The right click opens the popup and waits in it until a choice closes it.
        QWidget* grid = widget(form.NodesGrid);
        Click(grid, gridCell(form.NodesGrid, 0, 1), Qt::RightButton);
    });
    s.Add("slave tab", [&] {
        showTab(1);
        QWidget* grid = widget(form.LINK_Grid);
        Click(grid, gridCell(form.LINK_Grid, 1, 3));
        s.GrabWindowThenNext(300, "slave.png");
    });
    s.Add("address change", [&] {
        run([&] { form.TeSpinEdit2.SetTextByUser(std::to_string(kNewAddress)); });
        clickWidget(form.TeButton1);
        s.WaitUntil([&] { return idle() && state.DeviceAddress == kNewAddress; }, 5000,
                    "the new address", [&] { s.GrabWindowThenNext(200, "address.png"); });
    });
    s.Add("speed change", [&] {
        whenModal([&](QWidget* box) {
            s.After(300, [&, box] {
                s.GrabScreen("speed-question.png");
                auto* question = qobject_cast<QMessageBox*>(box);
                if (question == nullptr || question->button(QMessageBox::Yes) == nullptr) {
                    s.Fail("no question box");
                    if (box != nullptr)
                        box->close();
                } else {
                    Click(question->button(QMessageBox::Yes),
                          question->button(QMessageBox::Yes)->rect().center());
                }
                s.WaitUntil([&] { return idle() && state.BaudIndex == kSpeed19200; }, 5000,
                            "the new speed", [&] { s.GrabWindowThenNext(300, "speed.png"); });
            });
        });
        run([&] { form.TeSComboBox1.ChooseByUser(kSpeed19200); });
    });
    s.Add("block", [&] {
        clickWidget(form.TeButton3);
        s.WaitUntil([&] { return idle() && form.TeCheckBox1.Checked(); }, 5000, "the block box",
                    [&] { s.GrabWindowThenNext(200, "block.png"); });
    });
    s.Add("sound off", [&] {
        clickWidget(form.Sound_Butt);
        s.GrabWindowThenNext(600, "sound-off.png");
    });
    s.Add("port menu", [&] {
        // A press on "Connection" rebuilds the port list and opens the menu.
        QMenuBar* bar = window.MenuBar();
        QAction* connection = ActionByText(bar, "Connection");
        if (connection == nullptr) {
            s.Fail("no Connection menu");
            s.Next();
            return;
        }
        Click(bar, bar->actionGeometry(connection).center());
        s.After(400, [&] {
            if (!OpenSubmenu("Port"))
                s.Fail("no Port submenu");
            s.After(400, [&] {
                s.GrabScreen("port-menu.png");
                // The bootloader module is on COM2.
                if (!ChooseInMenu("COM2"))
                    s.Fail("no COM2 in the port list");
                s.After(300, [&] { s.Next(); });
            });
        });
    });
    s.Add("firmware upgrade", [&] {
        whenModal([&](QWidget* box) {
            s.After(600, [&, box] {
                s.GrabScreen("upgrade-dialog.png");
                auto* dialog = qobject_cast<QFileDialog*>(box);
                if (dialog == nullptr) {
                    s.Fail("no file dialog");
                    if (box != nullptr)
                        box->close();
                    s.Next();
                    return;
                }
                // The file typed into the name box and Enter, as the user does.
                auto* nameBox = dialog->findChild<QLineEdit*>("fileNameEdit");
                if (nameBox != nullptr) {
                    nameBox->selectAll();
                    nameBox->insert(QString::fromStdString(imagePath));
                    Key(nameBox, Qt::Key_Return);
                }
                if (dialog->isVisible()) {
                    s.Fail("the file dialog did not take the image");
                    dialog->reject();
                }
                s.After(1200, [&] {
                    s.GrabWindow("upgrade.png");
                    s.WaitUntil(idle, 60000, "the upgrade to end",
                                [&] { s.GrabWindowThenNext(300, "upgrade-done.png"); });
                });
            });
        });
        // Tools > Firmware Upgrade...
        run([&] { form.CustomItem24->Click(); });
    });
    s.Start();
    return QApplication::exec();
}
