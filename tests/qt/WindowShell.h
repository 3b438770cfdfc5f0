#pragma once
// The Qt main window over the headless form and a simulated module, for the shell's tests.

#include "qt/MainWindow.h"
#include "qt/QtEventLoop.h"

#include "AppTestSupport.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include <initializer_list>
#include <optional>
#include <string>

namespace imconf::testing {

struct WindowShell {
    QtEventLoop loop;
    ProgramState state;
    ConfigModel config;
    sim::TModuleSimulator module{247};
    VirtualEventLoop lineLoop;
    SimulatedLine line{lineLoop, module};
    AnsweredDialogs dialogs;
    FixedPortList ports;
    FixedScreen screen;
    TempDir dir;
    std::optional<TForm1> form;
    std::optional<MainWindow> window;
    bool activated = false;

    // The window over a simulated module, on a machine with the ports `portNames` and a
    // screen `screenHeight` pixels high, shown; `activated` tells whether its first activation
    // came.
    explicit WindowShell(int screenHeight = 1080,
                         std::initializer_list<const char*> portNames = {"COM3", "COM1"})
    {
        screen.height = screenHeight;
        ports.Set(portNames);
        form.emplace(TForm1Environment{loop, state, config, line, dialogs, ports, screen,
                                       dir.File("comports.txt"), dir.Path().string()});
        form->FormCreate();
        window.emplace(*form);
        window->show();
        activated = QTest::qWaitFor([this] { return window->FormActivations() > 0; }, 2000);
    }
    template <typename W = QWidget>
    W* Find(const char* name) const
    {
        return window->findChild<W*>(name);
    }
    std::string Panel(int index) const
    {
        const auto* label = window->findChild<QLabel*>("StatusBar1.Panel" + QString::number(index));
        return label ? label->text().toStdString() : "<no panel>";
    }
    QMenu* MenuOf(TMenuItem& item) const
    {
        QAction* action = window->ActionOf(item);
        return action ? action->menu() : nullptr;
    }
};

}  // namespace imconf::testing
