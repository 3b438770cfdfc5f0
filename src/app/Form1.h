#pragma once
// The main window, headless: every control of the window with its place and texts, the
// start-up and activation steps, the log panes and their switch, the connection menu and
// the wiring of every control to its handler.

#include "app/BusSearch.h"
#include "app/BusSweep.h"
#include "app/ConfigTransfer.h"
#include "app/Dialogs.h"
#include "app/FirmwareUpgrade.h"
#include "app/InterfaceCommands.h"
#include "app/MemoTrace.h"
#include "app/Outcome.h"
#include "app/Speeds.h"
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

// What a window shell implements to render the form: TForm1::BuildControls calls it once a
// control, in the layout's order (where two controls overlap, the later one lies on top), with
// each control's parent already added; then LayOnTop for the controls that lie over later ones.
class TFormBuilder {
public:
    virtual ~TFormBuilder() = default;

    virtual void AddMenuBar(TMenuBar& bar) = 0;
    virtual void AddGroupBox(TGroupBox& box) = 0;
    // With its tab sheets, which are the parents of the controls on them.
    virtual void AddPageControl(TPageControl& pages) = 0;
    virtual void AddLabel(TLabel& label) = 0;
    virtual void AddButton(TButton& button) = 0;
    virtual void AddCheckBox(TCheckBox& box) = 0;
    virtual void AddSpinEdit(TSpinEdit& spin) = 0;
    virtual void AddComboBox(TComboBox& combo) = 0;
    virtual void AddMemo(TMemo& memo) = 0;
    virtual void AddProgressBar(TProgressBar& bar) = 0;
    virtual void AddStatusBar(TStatusBar& bar) = 0;
    virtual void AddGrid(TStringGrid& grid) = 0;
    // A menu without a place of its own: it opens where its control says.
    virtual void AddPopupMenu(TPopupMenu& menu) = 0;
    // Puts an added control over every sibling that lies under it.
    virtual void LayOnTop(TControl& control) = 0;
};

// The window holds the layout, the wiring, the two editors and every handler; the
// multi-step operations live in classes of their own and see the window through their views.
class TForm1 : public TForm,
               public EngineClient,
               public ConfigTransferView,
               public BusSearchView,
               public InterfaceCommandsView,
               public FirmwareUpgradeView {
public:
    explicit TForm1(TForm1Environment env);
    ~TForm1() override;

    // Offers every control to a window shell, in the layout's order (see TFormBuilder).
    void BuildControls(TFormBuilder& builder);
    // The user's list of network ports (serial/NetworkPortFile.h), which the port menu lists
    // after the serial ports; none until set (set it before FormCreate).
    void SetNetworkPortsFile(std::string path) { networkPortsFile_ = std::move(path); }

    // Start-up (window created, before it is first shown) and activation.
    void FormCreate();
    void FormActivate();

    // Opens a configuration file (imconf FILE.json): the grids show it as after a read, ready
    // to be edited and written; the first activation after it shows it again. A bad file is
    // refused in the error box with the command line's message ("FILE: field: reason") and the
    // window stays as it was. True when the file was opened.
    bool OpenConfigFile(const std::string& path);

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
    TMenuItem* CustomItem1 = nullptr;  // "Connection"
    TMenuItem* PORT1 = nullptr;        // "Port"
    TMenuItem* CustomItem3 = nullptr;  // "BaudRate"
    TMenuItem* BR_1200 = nullptr;
    TMenuItem* BR_2400 = nullptr;
    TMenuItem* BR_4800 = nullptr;
    TMenuItem* BR_9600 = nullptr;
    TMenuItem* BR_14400 = nullptr;
    TMenuItem* BR_19200 = nullptr;
    TMenuItem* BR_38400 = nullptr;
    TMenuItem* BR_57600 = nullptr;
    TMenuItem* CustomItem4 = nullptr;  // "Search"
    TMenuItem* CustomItem5 = nullptr;  // "Start" / "Stop"
    TMenuItem* CustomItem6 = nullptr;  // "Delay"
    TMenuItem* CustomItem7 = nullptr;  // "100ms" .. CustomItem12 "350ms"
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
    void ShowOperationPanes(int progressMin, int progressMax, int position,
                            const std::string& firstLine) override;
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

    // Who follows the operations' starts and endings (the command line, the session log).
    OperationObservers Observers;

    // The operations.
    ConfigTransfer Transfer;
    BusSearch Search;
    // The sweep over addresses and speeds (the command line's; the window has no item for it).
    BusSweep Sweep;
    InterfaceCommands Commands;
    FirmwareUpgrade Upgrade;

    // EngineClient: the engine's reply and failure hooks, routed by OperationState to the
    // running operation; the reply dispatch and the sequencer tick.
    bool TakeReply() override;
    bool TransactionFailed() override;
    void DispatchReply() override;
    void Timer_ProgrammTimer() override;
    void ReadBegun(bool forTransaction) override;
    void BytesDropped() override;

    // Configuration read and write.
    void TeButton5Click() { Transfer.StartRead(); }
    void TeButton2Click() { Transfer.StartWrite(); }
    void SendLinkTable() { Transfer.SendLinkTable(); }
    void SendNodeTypes() { Transfer.SendNodeTypes(); }
    void SendNodeAddresses() { Transfer.SendNodeAddresses(); }
    void SendNodeCount() { Transfer.SendNodeCount(); }
    void DecodeLinkTable() { Transfer.DecodeLinkTable(); }
    void DecodeNodeTypes() { Transfer.DecodeNodeTypes(); }
    void DecodeNodeAddresses() { Transfer.DecodeNodeAddresses(); }
    void DecodeNodeCount() { Transfer.DecodeNodeCount(); }
    void ReadEnding() { Transfer.ReadEnding(); }
    void WriteEnding() { Transfer.WriteEnding(); }
    void ReadConfigFailed() { Transfer.ReadFailed(); }
    void WriteConfigFailed() { Transfer.WriteFailed(); }

    // Bus search.
    void SearchStep() { Search.Step(); }
    // The bus search's reply check; its result becomes the new ReplyKind.
    std::uint8_t CheckSearchReply() { return Search.CheckReply(); }
    void SearchStepFailed() { Search.StepFailed(); }
    void SearchFound() { Search.Found(); }
    void SearchNotFound() { Search.NotFound(); }

    // Interface parameters and alarm commands: the echo handlers.
    void AddressChanged() { Commands.AddressChanged(); }
    void SpeedChanged() { Commands.SpeedChanged(); }

    // Firmware upgrade through the bootloader.
    void StartUpgrade(const std::string& image = {}) { Upgrade.Start(image); }
    void SendFlashPage() { Upgrade.SendFlashPage(); }
    void SendEepromBlock(std::uint8_t block) { Upgrade.SendEepromBlock(block); }
    void SendUpgradeEnd() { Upgrade.SendUpgradeEnd(); }
    void UpgradeRetry() { Upgrade.Retry(); }
    void RestoreAfterUpgrade() { Upgrade.RestoreAfterUpgrade(); }
    bool HandleUpgradeReply() { return Upgrade.HandleReply(); }
    void UpgradeStepFailed() { Upgrade.StepFailed(); }

    // The upgrade image and the transfer's progress.
    FirmwareImage& Firmware;
    std::uint8_t& UpgradeStep;
    std::int32_t& UpgradeErrors;
    void CustomItem5Click() { Search.StartOrStop(); }
    void DelayItemClick(std::uint16_t delayMs, TMenuItem& item);
    void TeSpinEdit1Change();
    void TeButton1Click() { Commands.SendAddress(); }
    void TeSComboBox1Change() { Commands.SendSpeed(); }
    void TeButton3Click() { Commands.SendBlock(); }
    void Sound_ButtClick() { Commands.SendSoundOff(); }
    void CustomItem24Click();
    void CustomItem27Click();
    void TimerX1Timer();

    // Master-mode editor.
    void SetUpNodesGrid();
    void SetUpZoneGrid();
    void ShowNodeList() override;
    void ShowZoneList() override;
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
    void ShowLinkEntry(std::size_t index) override;
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

    // Status panel 2, the module line.
    void SetDevicePanel(const std::string& text) override { StatusBar1.SetPanelText(2, text); }

    // The operations' views.
    int ProgressPosition() const override { return TeProgressBar1.Position(); }
    void SetProgressPosition(int position) override { TeProgressBar1.SetPosition(position); }
    void AddTraceLine(const std::string& line) override { TeMemo1.Lines.Add(line); }
    std::string LastTraceLine() const override;
    void ShowEnding(const std::vector<std::string>& lines) override;
    void ShowSearchProgress(int position) override;
    void HideSearchProgress() override { TeProgressBar1.SetVisible(false); }
    void SetSearchCaption(const std::string& caption) override { CustomItem5->SetCaption(caption); }
    void FocusMenuBar() override { TeMenuBar1.SetFocused(true); }
    int AddressEditorValue() const override { return TeSpinEdit1.Value(); }
    int NewAddressValue() const override { return TeSpinEdit2.Value(); }
    int ChosenSpeedIndex() const override { return TeSComboBox1.ItemIndex(); }
    bool BlockMarked() const override { return TeCheckBox1.Checked(); }
    void SetBlockMark(bool marked) override { TeCheckBox1.SetChecked(marked); }
    void SetAddressEditor(std::uint8_t address) override { TeSpinEdit1.SetValue(address); }
    void SetAddressLabel(std::uint8_t address) override;
    bool AskYesNoWarning(const std::string& question) override
    {
        return dialogs_.AskYesNoWarning(question);
    }
    void Reactivate() override;
    void SetPcSpeed(std::uint8_t baudIndex) override;
    std::uint8_t CheckedBaudIndex() const override;

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
    void ShowFileError(const std::string& error);
    void FitToScreen();
    // Reads the port list file into the "Port" submenu; the file error line when it failed.
    std::optional<std::string> ReadPortListFile(int& byName, int& com1);
    // Adds the user's network ports; notes the current port's entry in `byName`.
    void AddNetworkPortEntries(int& byName);
    void ChooseNetworkPortIfListed(int byName, int com1);
    void ChoosePort(int byName, int com1);
    TMenuItem& AddPortEntry(std::size_t position, const SystemPort& port);

    // The grids and tables shown again, as after a read.
    void ShowTables();

    IDialogs& dialogs_;
    ISystemPortList& systemPorts_;
    const IScreen& screen_;
    std::string portFileName_;
    std::string networkPortsFile_;
    std::string executableDir_;
    // A file opened before the first activation, whose set-up cuts the grids back.
    bool showTablesOnActivation_ = false;
};

}  // namespace imconf
