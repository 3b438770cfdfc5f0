#pragma once
// The main window, headless: every control of the window with its place and texts, the
// start-up and activation steps, the log panes and their switch, the connection menu and
// the wiring of every control to its handler.

#include "app/Dialogs.h"
#include "controls/Controls.h"
#include "controls/Menu.h"
#include "controls/Widgets.h"
#include "modbus/Engine.h"
#include "modbus/ProgramState.h"
#include "runtime/EventLoop.h"
#include "runtime/Timer.h"
#include "serial/SerialLine.h"
#include "serial/SystemPorts.h"

#include <array>
#include <functional>
#include <optional>
#include <cstdint>
#include <string>

namespace imconf {

inline constexpr const char* kWindowTitle = "СИРТА - МОДУЛЬ ИНДИКАЦИИ   (MODBUS-RTU)   V2.1 -2025";
constexpr int kClientWidth = 514;
constexpr int kClientHeight = 538;

// The speeds the tool and the module use, by BaudIndex.
constexpr std::size_t kSpeedCount = 8;
const char* SpeedText(std::uint8_t baudIndex);  // "1200" .. "57600"; nullptr above 7
TBaudRate BaudRateOfIndex(std::uint8_t baudIndex);

// Where the window finds what lies outside it.
struct TForm1Environment {
    EventLoop& Loop;
    ProgramState& State;
    ISerialLine& ComPort1;
    IDialogs& Dialogs;
    ISystemPortList& SystemPorts;
    const IScreen& Screen;
    // The port list file, opened by its relative name from the working folder.
    std::string PortFileName = "comports.txt";
    // The folder of the program's executable (start folder of the file dialogs).
    std::string ExecutableDir = ".";
};

class TForm1 : public TForm, public EngineClient {
public:
    explicit TForm1(TForm1Environment env);
    ~TForm1() override;

    // Start-up (window created, before it is first shown) and activation.
    void FormCreate();
    void FormActivate();

    ProgramState& State;
    ISerialLine& ComPort1;
    TransactionEngine Engine;

    // Controls, in the order of the window's layout.
    TMenuBar TeMenuBar1{"TeMenuBar1"};
    TGroupBox TeGroupBox1{"TeGroupBox1"};
    TPageControl TePageControl1{"TePageControl1"};
    TTabSheet TeTabSheet1{"TeTabSheet1"};
    TTabSheet TeTabSheet3{"TeTabSheet3"};
    TGroupBox TeGroupBox2{"TeGroupBox2"};
    TLabel TeLabel4{"TeLabel4"};
    TLabel TeLabel5{"TeLabel5"};
    TComboBox TeSComboBox1{"TeSComboBox1"};
    TSpinEdit TeSpinEdit1{"TeSpinEdit1"};
    TButton TeButton1{"TeButton1"};
    TSpinEdit TeSpinEdit2{"TeSpinEdit2"};
    TButton TeButton5{"TeButton5"};
    TButton TeButton2{"TeButton2"};
    TMemo TeMemo1{"TeMemo1"};
    TMemo TeMemo2{"TeMemo2"};
    TProgressBar TeProgressBar1{"TeProgressBar1"};
    TButton TeButton3{"TeButton3"};
    TCheckBox TeCheckBox1{"TeCheckBox1"};
    TButton Sound_Butt{"Sound_Butt"};
    TStatusBar StatusBar1{"StatusBar1"};

    // Menu items by name (owned by the menu bar).
    TMenuItem* CustomItem1 = nullptr;   // "Connection"
    TMenuItem* PORT1 = nullptr;         // "Port"
    TMenuItem* CustomItem3 = nullptr;   // "BaudRate"
    TMenuItem* BR_1200 = nullptr;
    TMenuItem* BR_2400 = nullptr;
    TMenuItem* BR_4800 = nullptr;
    TMenuItem* BR_9600 = nullptr;
    TMenuItem* BR_14400 = nullptr;
    TMenuItem* BR_19200 = nullptr;
    TMenuItem* BR_38400 = nullptr;
    TMenuItem* BR_57600 = nullptr;
    TMenuItem* CustomItem4 = nullptr;   // "Search"
    TMenuItem* CustomItem5 = nullptr;   // "Start" / "Stop"
    TMenuItem* CustomItem6 = nullptr;   // "Delay"
    TMenuItem* CustomItem7 = nullptr;   // "100ms" .. CustomItem12 "350ms"
    TMenuItem* CustomItem8 = nullptr;
    TMenuItem* CustomItem9 = nullptr;
    TMenuItem* CustomItem10 = nullptr;
    TMenuItem* CustomItem11 = nullptr;
    TMenuItem* CustomItem12 = nullptr;
    TMenuItem* CustomItem23 = nullptr;  // "Tools"
    TMenuItem* CustomItem24 = nullptr;  // "Firmware Upgrade..."
    TMenuItem* CustomItem26 = nullptr;  // separator
    TMenuItem* CustomItem27 = nullptr;  // "Crypt Image" (hidden, disabled)
    std::array<TMenuItem*, kSpeedCount> BaudItems{};

    // The created "Port" entries, by position; room for 32.
    static constexpr std::size_t kPortItemsSize = 32;
    std::array<TMenuItem*, kPortItemsSize> PortItems{};

    // Timers of the window (the engine's three and the in-place editor's).
    Timer& Timer_Rx;
    Timer& Timer_Programm;
    Timer& Timer_Wait;
    Timer TimerX1;

    // Handlers of this window.
    void TeMenuBar1MouseDown();
    void TeSpinEdit1KeyPress(char& key);

    // Pane switches around a long operation.
    void ShowOperationPanes(int progressMin, int progressMax, int position, const std::string& firstLine);
    void ShowTracePane();

    // Port discovery and connection settings.
    void BuildPortMenu();
    void My(TMenuItem& entry);
    void BaudItemClick(std::uint8_t baudIndex);
    void BR_1200Click() { BaudItemClick(0); }
    void BR_2400Click() { BaudItemClick(1); }
    void BR_4800Click() { BaudItemClick(2); }
    void BR_9600Click() { BaudItemClick(3); }
    void BR_14400Click() { BaudItemClick(4); }
    void BR_19200Click() { BaudItemClick(5); }
    void BR_38400Click() { BaudItemClick(6); }
    void BR_57600Click() { BaudItemClick(7); }
    void UncheckBaudItems();

    // Handlers of the other parts of the tool; they do nothing until that part is built.
    void TeButton5Click() {}
    void TeButton2Click() {}
    void CustomItem5Click() {}
    void DelayItemClick(std::uint16_t /*delayMs*/, TMenuItem& /*item*/) {}
    void TeSpinEdit1Change() {}
    void TeButton1Click() {}
    void TeSComboBox1Change() {}
    void TeButton3Click() {}
    void Sound_ButtClick() {}
    void CustomItem24Click() {}
    void CustomItem27Click() {}
    void TimerX1Timer() {}
    void SetUpLinkGrid() {}
    void SetUpNodesGrid() {}
    void SetUpZoneGrid() {}

    // EngineClient: the general error report.
    void ShowGeneralError(const std::string& text) override;
    // Runs a user event or timer tick; an error that escapes it reaches the general error
    // report, as in any window event.
    void HandleEvent(const std::function<void()>& event);

    IDialogs& Dialogs() { return dialogs_; }
    const std::string& ExecutableDir() const { return executableDir_; }

    // Status bar panel texts written at start-up and by the speed and address handlers.
    void SetDevicePanel(const std::string& text) { StatusBar1.SetPanelText(2, text); }

private:
    void LayOut();
    void BuildMenu();
    void FitToScreen();
    // Reads the port list file into the "Port" submenu; the file error line when it failed.
    std::optional<std::string> ReadPortListFile(int& byName, int& com1);
    void ChoosePort(int byName, int com1);
    TMenuItem& AddPortEntry(std::size_t position, const SystemPort& port);

    IDialogs& dialogs_;
    ISystemPortList& systemPorts_;
    const IScreen& screen_;
    std::string portFileName_;
    std::string executableDir_;
};

}  // namespace imconf
