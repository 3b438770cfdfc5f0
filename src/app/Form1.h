#pragma once
// The main window, headless: every control of the window with its place and texts, the
// start-up and activation steps, the log panes and their switch, the connection menu and
// the wiring of every control to its handler.

#include "app/Dialogs.h"
#include "app/MemoTrace.h"
#include "config/ConfigModel.h"
#include "controls/Grid.h"
#include "firmware/Firmware.h"
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
    ConfigModel& Config;
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
    ConfigModel& Config;
    ISerialLine& ComPort1;
    // The link's trace, written into TeMemo1.
    MemoTrace Trace{TeMemo1};
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

    // Master-mode editor (tab "РЕЖИМ <MASTER>").
    TStringGrid NodesGrid{"NodesGrid"};
    TStringGrid ZoneGrid{"ZoneGrid"};
    TSpinEdit AddrEdit{"AddrEdit"};
    TPopupMenu TePopupMenu1{"TePopupMenu1"};
    // Slave-mode editor (tab "РЕЖИМ <SLAVE>").
    TStringGrid LINK_Grid{"LINK_Grid"};
    TSpinEdit ZoneEdit{"ZoneEdit"};
    TPopupMenu TePopupMenu2{"TePopupMenu2"};

    // The selected link entry: LinkTable[LinkGroup * 8 + LinkRow].
    int LinkRow = 0;
    int LinkGroup = 0;
    // Which in-place editor TimerX1 opens: 1 AddrEdit, 2 ZoneEdit.
    std::uint8_t PendingEditor = 0;

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
    // Configuration read and write.
    void TeButton5Click();
    void TeButton2Click();
    void SendLinkTable();
    void SendNodeTypes();
    void SendNodeAddresses();
    void SendNodeCount();
    void DecodeLinkTable();
    void DecodeNodeTypes();
    void DecodeNodeAddresses();
    void DecodeNodeCount();
    void ReadEnding();
    void WriteEnding();
    // EngineClient: the engine's reply and failure hooks, routed by OperationState to the
    // running operation; the reply dispatch and the sequencer tick.
    bool TakeReply() override;
    bool TransactionFailed() override;
    void DispatchReply() override;
    void Timer_ProgrammTimer() override;
    void ReadConfigFailed();
    void WriteConfigFailed();

    // Handlers of the bus services and the firmware upgrade; they do nothing until that
    // part is built.
    // Bus search.
    void SearchStep();
    // The bus search's reply check; its result becomes the new ReplyKind.
    std::uint8_t CheckSearchReply();
    void SearchStepFailed();
    void SearchFound();
    void SearchNotFound();
    // Interface parameters and alarm commands: the echo handlers.
    void AddressChanged();
    void SpeedChanged();
    // Firmware upgrade through the bootloader.
    void StartUpgrade();
    void SendFlashPage();
    void SendEepromBlock(std::uint8_t block);
    void SendUpgradeEnd();
    void UpgradeRetry();
    void RestoreAfterUpgrade();
    bool HandleUpgradeReply();
    void UpgradeStepFailed();

    // The upgrade image and the transfer's progress.
    FirmwareImage Firmware;
    std::uint8_t UpgradeStep = 0;
    std::int32_t UpgradeErrors = 0;
    void CustomItem5Click();
    void DelayItemClick(std::uint16_t delayMs, TMenuItem& item);
    void TeSpinEdit1Change();
    void TeButton1Click();
    void TeSComboBox1Change();
    void TeButton3Click();
    void Sound_ButtClick();
    void CustomItem24Click();
    void CustomItem27Click();
    void TimerX1Timer();

    // Master-mode editor.
    void SetUpNodesGrid();
    void SetUpZoneGrid();
    void ShowNodeList();
    void ShowZoneList();
    TCellPaint NodesGridDrawCell(int col, int row, const TRect& rect) const;
    TCellPaint ZoneGridDrawCell(int col, int row, const TRect& rect) const;
    void NodesGridSelectCell(int col, int row);
    void NodesGridDblClick();
    void AddrEditChange();
    void AddrEditKeyDown(std::uint16_t key);
    void AddNodeClick(std::uint8_t type);
    void DeleteNodeClick();
    void MoveNodeUpClick();
    void MoveNodeDownClick();

    // Slave-mode editor.
    void SetUpLinkGrid();
    TCellPaint LINK_GridDrawCell(int col, int row, const TRect& rect) const;
    void LINK_GridSelectCell(int col, int row);
    void LINK_GridDblClick();
    void ZoneEditChange();
    void ZoneEditKeyDown(std::uint16_t key);
    // Writes the text of link entry `index` into its cell.
    void ShowLinkEntry(std::size_t index);
    // The popup commands; `kind` is the new high byte for the device commands.
    void LinkSwitchOffClick();
    void LinkSwitchOnClick();
    void LinkZoneClick();
    void LinkDeviceClick(std::uint16_t kind);

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
    void LayOutEditors();
    void BuildPopupMenus();
    // Common part of the two in-place editors' opening tick.
    static void ShowInPlaceEditor(TSpinEdit& editor);
    std::uint16_t& SelectedLinkEntry();
    // Delete or move the selected node; both grids are shown again when it was done.
    void NodeCommand(std::uint8_t (ConfigModel::*operation)());
    // The register values of a function-3 reply in FrameBuffer: how many of the `wanted`
    // values the received bytes hold.
    std::size_t ReplyValueCount(std::size_t wanted) const;
    std::uint16_t ReplyValue(std::size_t index) const;
    void AdvanceProgress();
    // ReplyKind of the request just sent; nothing is awaited when it could not be sent.
    void Awaiting(std::uint8_t replyKind);
    // The common start of the four interface commands: false when the command is not to be
    // sent now (bus search, or postponed until the transaction in flight has ended).
    bool CommandMaySend(void (TForm1::*handler)());
    // The speed text of BaudIndex.
    std::string SpeedOfIndex() const;
    // The activation steps after the question box, then the tables shown again.
    void ReactivateAfterQuestion();
    // Sends the frame of an upgrade step; false when the port could not be opened.
    bool SendUpgradeFrame(std::uint8_t step);
    // The upgrade stops because the port cannot be opened.
    void StopUpgradeOnPortError();
    void ShowFileError(const std::string& error);
    std::uint8_t CheckedBaudIndex() const;
    void SequenceEnding(const char* title, bool failed);

    // An exception reply refused a step of the running write.
    bool writeRefused_ = false;
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
