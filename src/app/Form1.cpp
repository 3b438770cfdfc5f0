#include "app/Form1.h"

#include "app/StatusPanel.h"
#include "modbus/Text.h"

#include <memory>

namespace imconf {

namespace {

constexpr const char* kTooltipSoundOff = "Отключение звук. сигнализации";

const TFont kWindowFont{"Courier", 11, colors::Black};
const TFont kPaneFont{"Courier New", 11, colors::Blue};

std::unique_ptr<TMenuItem> Item(const std::string& name, const std::string& caption)
{
    return std::make_unique<TMenuItem>(name, caption);
}

}  // namespace

TForm1::TForm1(TForm1Environment env)
    : TForm("Form1"),
      State(env.State),
      Config(env.Config),
      ComPort1(env.ComPort1),
      Engine(env.Loop, env.State, env.ComPort1, Trace, *this),
      Timer_Rx(Engine.Timer_Rx),
      Timer_Programm(Engine.Timer_Programm),
      Timer_Wait(Engine.Timer_Wait),
      TimerX1(env.Loop, 50),
      Transfer(env.State, env.Config, Engine, *this),
      Search(env.State, Engine, *this),
      Commands(env.State, Engine, *this),
      Upgrade(env.State, Engine, env.ComPort1, *this),
      Firmware(Upgrade.Image),
      UpgradeStep(Upgrade.Step),
      UpgradeErrors(Upgrade.Errors),
      dialogs_(env.Dialogs),
      systemPorts_(env.SystemPorts),
      screen_(env.Screen),
      portFileName_(std::move(env.PortFileName)),
      executableDir_(std::move(env.ExecutableDir))
{
    LayOut();
    BuildMenu();
    LayOutEditors();
    BuildPopupMenus();
    TimerX1.OnTimer = [this] { TimerX1Timer(); };
}

TForm1::~TForm1() = default;

void TForm1::LayOut()
{
    SetCaption(kWindowTitle);
    ClientWidth = kClientWidth;
    ClientHeight = kClientHeight;
    SetBounds(0, 0, kClientWidth, kClientHeight);
    Font = kWindowFont;

    auto place = [](TControl& control, TControl* parent, int left, int top, int width, int height) {
        control.SetParent(parent);
        control.SetBounds(left, top, width, height);
    };
    place(TeMenuBar1, this, 3, 0, 152, 22);
    place(TeGroupBox1, this, 0, 24, 513, 489);
    place(TePageControl1, &TeGroupBox1, 16, 22, 481, 291);
    TeTabSheet1.SetCaption("РЕЖИМ <MASTER>");
    TeTabSheet3.SetCaption("РЕЖИМ <SLAVE>");
    TeTabSheet1.SetParent(&TePageControl1);
    TeTabSheet3.SetParent(&TePageControl1);
    TePageControl1.AddPage(TeTabSheet1);
    TePageControl1.AddPage(TeTabSheet3);
    TePageControl1.SetActivePageIndex(0);

    place(TeGroupBox2, &TeTabSheet3, 9, 194, 455, 64);
    TeGroupBox2.SetCaption("  ПАРАМЕТРЫ ИНТЕРФЕЙСА  ");
    place(TeLabel4, &TeGroupBox2, 26, 15, 112, 13);
    TeLabel4.SetCaption("СКОРОСТЬ ПЕРЕДАЧИ");
    place(TeLabel5, &TeGroupBox2, 246, 15, 112, 13);
    TeLabel5.SetCaption("АДРЕС ПРИБОРА - 247");

    place(TeSComboBox1, &TeGroupBox2, 26, 32, 105, 22);
    for (std::uint8_t i = 0; i < kSpeedCount; ++i)
        TeSComboBox1.Items.emplace_back(SpeedText(i));
    TeSComboBox1.SetItemIndex(3);
    TeSComboBox1.Font = {"MS Sans Serif", 15, colors::Black};
    TeSComboBox1.OnChange = [this] { TeSComboBox1Change(); };

    for (TSpinEdit* spin : {&TeSpinEdit1, &TeSpinEdit2}) {
        spin->SetRange(1, 247);
        spin->MaxLength = 3;
        spin->SetValue(247);
        spin->Font = {"MS Sans Serif", 11, colors::Black};
    }
    place(TeSpinEdit1, &TeGroupBox2, 176, 32, 65, 21);
    place(TeSpinEdit2, &TeGroupBox2, 360, 32, 65, 21);
    TeSpinEdit1.OnChange = [this] { TeSpinEdit1Change(); };
    TeSpinEdit1.OnKeyPress = [this](char& key) { TeSpinEdit1KeyPress(key); };

    place(TeButton1, &TeGroupBox2, 268, 30, 65, 25);
    TeButton1.SetCaption("-->");
    TeButton1.OnClick = [this] { TeButton1Click(); };

    place(TeButton5, &TeGroupBox1, 15, 326, 185, 30);
    TeButton5.SetCaption("&ЧТЕНИЕ КОНФИГА");
    TeButton5.Icon = "read";
    TeButton5.OnClick = [this] { TeButton5Click(); };
    place(TeButton2, &TeGroupBox1, 312, 326, 185, 30);
    TeButton2.SetCaption("&ЗАПИСЬ КОНФИГА");
    TeButton2.Icon = "write";
    TeButton2.OnClick = [this] { TeButton2Click(); };

    for (TMemo* memo : {&TeMemo1, &TeMemo2}) {
        place(*memo, &TeGroupBox1, 15, 368, 482, 104);
        memo->Font = kPaneFont;
        memo->SetFontColor(colors::Blue);
    }
    TeMemo1.Lines.Add("TX :");
    TeMemo1.Lines.Add("RX :");
    TeMemo2.Lines.Add("");
    TeMemo2.SetVisible(false);

    place(TeProgressBar1, &TeGroupBox1, 24, 448, 465, 16);
    TeProgressBar1.SetMin(1);
    TeProgressBar1.SetMax(247);
    TeProgressBar1.SetPosition(1);
    TeProgressBar1.SetVisible(false);

    place(TeButton3, &TeGroupBox1, 296, 10, 105, 25);
    TeButton3.SetCaption("БЛОК.");
    TeButton3.Icon = "block";
    TeButton3.SetHint(kTooltipSoundOff);
    TeButton3.OnClick = [this] { TeButton3Click(); };
    place(TeCheckBox1, &TeGroupBox1, 382, 16, 14, 14);
    TeCheckBox1.SetEnabled(false);
    place(Sound_Butt, &TeGroupBox1, 416, 10, 81, 25);
    Sound_Butt.Icon = "sound-off";
    Sound_Butt.SetHint(kTooltipSoundOff);
    Sound_Butt.OnClick = [this] { Sound_ButtClick(); };

    place(StatusBar1, this, 0, 517, 514, 21);
    StatusBar1.AddPanel({"", 50, TAlignment::taCenter});
    StatusBar1.AddPanel({"BaudRate = 9600", 100, TAlignment::taCenter});
    StatusBar1.AddPanel({DevicePanelText(247, SpeedName(kDefaultBaudIndex), DeviceLetter::Latin,
                                         AddressDigits::Padded, PanelEnd::Open),
                         1105, TAlignment::taLeftJustify});
}

void TForm1::BuildMenu()
{
    TMenuItem& bar = TeMenuBar1.Items;
    CustomItem1 = &bar.Add(Item("CustomItem1", "Connection"));
    PORT1 = &CustomItem1->Add(Item("PORT1", "Port"));
    CustomItem3 = &CustomItem1->Add(Item("CustomItem3", "BaudRate"));
    for (std::uint8_t i = 0; i < kSpeedCount; ++i) {
        TMenuItem& item = CustomItem3->Add(Item(std::string("BR_") + SpeedText(i), SpeedText(i)));
        item.OnClick = [this, i](TMenuItem&) { BaudItemClick(i); };
        BaudItems[i] = &item;
    }
    BR_1200 = BaudItems[0];
    BR_2400 = BaudItems[1];
    BR_4800 = BaudItems[2];
    BR_9600 = BaudItems[3];
    BR_14400 = BaudItems[4];
    BR_19200 = BaudItems[5];
    BR_38400 = BaudItems[6];
    BR_57600 = BaudItems[7];

    CustomItem4 = &bar.Add(Item("CustomItem4", "Search"));
    CustomItem5 = &CustomItem4->Add(Item("CustomItem5", "Start"));
    CustomItem5->OnClick = [this](TMenuItem&) { CustomItem5Click(); };
    CustomItem6 = &CustomItem4->Add(Item("CustomItem6", "Delay"));
    const std::array<std::uint16_t, 6> delays{100, 150, 200, 250, 300, 350};
    std::array<TMenuItem**, 6> delayItems{&CustomItem7,  &CustomItem8,  &CustomItem9,
                                          &CustomItem10, &CustomItem11, &CustomItem12};
    for (std::size_t i = 0; i < delays.size(); ++i) {
        const std::uint16_t delay = delays[i];
        TMenuItem& item = CustomItem6->Add(
            Item("CustomItem" + std::to_string(7 + i), std::to_string(delay) + "ms"));
        item.SetRadioItem(true);
        item.SetChecked(delay == 150);
        item.OnClick = [this, delay](TMenuItem& sender) { DelayItemClick(delay, sender); };
        *delayItems[i] = &item;
    }

    CustomItem23 = &bar.Add(Item("CustomItem23", "Tools"));
    CustomItem24 = &CustomItem23->Add(Item("CustomItem24", "Firmware Upgrade..."));
    CustomItem24->OnClick = [this](TMenuItem&) { CustomItem24Click(); };
    CustomItem26 = &CustomItem23->Add(Item("CustomItem26", "-"));
    CustomItem27 = &CustomItem23->Add(Item("CustomItem27", "Crypt Image"));
    CustomItem27->SetVisible(false);
    CustomItem27->SetEnabled(false);
    CustomItem27->OnClick = [this](TMenuItem&) { CustomItem27Click(); };

    TeMenuBar1.OnMouseDown = [this] { TeMenuBar1MouseDown(); };
}

void TForm1::FitToScreen()
{
    const int outerHeight = ClientHeight + screen_.FrameHeight();
    if (screen_.Height() - 25 >= outerHeight)
        return;
    const int fitted = screen_.Height() - 25;
    ClientHeight = fitted - screen_.FrameHeight();
    VertScrollBarVisible = true;
    ClientWidth += screen_.VScrollBarWidth();
    SetBounds(Left(), Top(), ClientWidth, ClientHeight);
}

void TForm1::FormCreate()
{
    FitToScreen();
    State.RxLength = 0;
    State.DeviceAddress = 247;
    State.BaudIndex = kDefaultBaudIndex;
    TeLabel5.SetCaption("АДРЕС ПРИБОРА - " + FormatZeroPadded(State.DeviceAddress, 3));
    TeSpinEdit1.SetValue(State.DeviceAddress);
    TeSpinEdit2.SetValue(State.DeviceAddress);

    const std::string speed = SpeedText(State.BaudIndex);
    UncheckBaudItems();
    BaudItems[State.BaudIndex]->SetChecked(true);
    StatusBar1.SetPanelText(1, "BaudRate = " + speed);
    SetDevicePanel(DevicePanelText(State.DeviceAddress, speed, DeviceLetter::Latin,
                                   AddressDigits::Padded, PanelEnd::Open));
    ComPort1.SetBaudRate(BaudRateOfIndex(State.BaudIndex));

    BuildPortMenu();
}

void TForm1::FormActivate()
{
    TeMenuBar1.SetFocused(true);
    SetUpLinkGrid();
    SetUpNodesGrid();
    SetUpZoneGrid();
}

void TForm1::TeMenuBar1MouseDown()
{
    BuildPortMenu();
}

void TForm1::TeSpinEdit1KeyPress(char& key)
{
    if (key == static_cast<char>(vk::Return))
        TeSpinEdit1Change();
}

void TForm1::ShowOperationPanes(int progressMin, int progressMax, int position,
                                const std::string& firstLine)
{
    TeProgressBar1.SetMin(progressMin);
    TeProgressBar1.SetMax(progressMax);
    TeProgressBar1.SetPosition(position);
    TeProgressBar1.SetVisible(true);
    TeMemo1.SetVisible(false);
    TeMemo2.Lines.Clear();
    TeMemo2.Lines.Add(firstLine);
    TeMemo2.SetVisible(true);
}

void TForm1::ShowTracePane()
{
    TeProgressBar1.SetVisible(false);
    TeMemo2.SetVisible(false);
    TeMemo1.SetVisible(true);
}

void TForm1::ShowGeneralError(const std::string& text)
{
    dialogs_.ShowError(text);
}

void TForm1::HandleEvent(const std::function<void()>& event)
{
    try {
        event();
    } catch (const std::exception& error) {
        ShowGeneralError(error.what());
    }
}

}  // namespace imconf
