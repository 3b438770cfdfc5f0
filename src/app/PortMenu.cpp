// The "Connection" menu: the list of serial ports and the PC speed.

#include "app/Form1.h"
#include "serial/NetworkPortFile.h"
#include "serial/PortFile.h"

#include <memory>
#include <optional>

namespace imconf {

namespace {
constexpr const char* kCom1 = "COM1";
constexpr const char* kListUnreadable1 = "   : РЕЕСТР - ОШИБКА ДОСТУПА К СПИСКУ COM-ПОРТОВ.";
constexpr const char* kListUnreadable2 = "   : ЗАПРОС СПИСКА ИЗ ФАЙЛА \"COMPORTS.TXT\".....";
// The first letter of СOMPORTS is the Cyrillic С.
constexpr const char* kFileErrorLine = "   : ФАЙЛ \"СOMPORTS.TXT\": - ";
constexpr const char* kFileOkLine = "   : OK.";
}  // namespace

TMenuItem& TForm1::AddPortEntry(std::size_t position, const SystemPort& port)
{
    auto entry = std::make_unique<TMenuItem>("PortItem" + std::to_string(position), port.name);
    entry->SetHint(port.description);
    entry->OnClick = [this](TMenuItem& sender) { My(sender); };
    TMenuItem& added = PORT1->Insert(position, std::move(entry));
    // Room for 32 references; further entries are listed all the same.
    if (position < PortItems.size())
        PortItems[position] = &added;
    return added;
}

void TForm1::ChoosePort(int byName, int com1)
{
    int chosen = byName >= 0 ? byName : (com1 >= 0 ? com1 : 0);
    if (static_cast<std::size_t>(chosen) >= PORT1->Count())
        return;
    TMenuItem& entry = PORT1->Item(static_cast<std::size_t>(chosen));
    entry.SetChecked(true);
    try {
        ComPort1.SetPort(entry.Caption());
        StatusBar1.SetPanelText(0, entry.Caption());
    } catch (const std::exception&) {
        // Only a reopen of an open port can fail; the choice stands, panel 0 keeps its text.
    }
}

std::optional<std::string> TForm1::ReadPortListFile(int& byName, int& com1)
{
    const PortFileResult file = ReadPortFile(portFileName_, 10);
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const std::size_t position = PORT1->Count();
        TMenuItem& entry = AddPortEntry(position, SystemPort{file.lines[i], {}});
        if (entry.Caption() == kCom1)
            com1 = static_cast<int>(position);
        if (entry.Caption() == ComPort1.Port())
            byName = static_cast<int>(position);
    }
    if (file.error)
        return kFileErrorLine + *file.error + ".";
    if (!file.lines.empty())
        ChoosePort(byName, com1);
    return std::nullopt;
}

void TForm1::AddNetworkPortEntries(int& byName)
{
    for (const std::string& name : ReadNetworkPortsFile(networkPortsFile_)) {
        const std::size_t position = PORT1->Count();
        AddPortEntry(position, SystemPort{name, "network port"});
        if (name == ComPort1.Port())
            byName = static_cast<int>(position);
    }
}

void TForm1::BuildPortMenu()
{
    const auto list = systemPorts_.Read();
    int byName = -1;
    int com1 = -1;
    if (list) {
        PORT1->Clear();
        PortItems.fill(nullptr);
        if (!list->empty()) {
            for (std::size_t i = 0; i < list->size(); ++i) {
                const TMenuItem& entry = AddPortEntry(i, (*list)[i]);
                if (entry.Caption() == kCom1)
                    com1 = static_cast<int>(i);
                if (entry.Caption() == ComPort1.Port())
                    byName = static_cast<int>(i);
            }
            AddNetworkPortEntries(byName);
            ChoosePort(byName, com1);
            return;
        }
        // An empty system list: the file, with no lines of our own unless it fails.
        const auto error = ReadPortListFile(byName, com1);
        if (error) {
            TeMemo1.Lines.Clear();
            TeMemo1.Lines.Add(*error);
        }
        ChooseNetworkPortIfListed(byName, com1);
        return;
    }
    TeMemo1.Lines.Clear();
    TeMemo1.Lines.Add(kListUnreadable1);
    TeMemo1.Lines.Add(kListUnreadable2);
    PORT1->Clear();
    PortItems.fill(nullptr);
    const auto error = ReadPortListFile(byName, com1);
    TeMemo1.Lines.Add(error ? *error : std::string(kFileOkLine));
    ChooseNetworkPortIfListed(byName, com1);
}

void TForm1::ChooseNetworkPortIfListed(int byName, int com1)
{
    // After the file's entries; the choice the file made stands unless the current port is a
    // network entry (or nothing else was listed).
    const std::size_t before = PORT1->Count();
    AddNetworkPortEntries(byName);
    if (byName >= static_cast<int>(before) || (before == 0 && PORT1->Count() > 0))
        ChoosePort(byName, com1);
}

void TForm1::My(TMenuItem& entry)
{
    for (std::size_t i = 0; i < PORT1->Count(); ++i)
        PORT1->Item(i).SetChecked(false);
    entry.SetChecked(true);
    try {
        ComPort1.SetPort(entry.Caption());
        StatusBar1.SetPanelText(0, entry.Caption());
    } catch (const std::exception&) {
        // Only a reopen of an open port can fail; panel 0 keeps its text.
    }
}

void TForm1::UncheckBaudItems()
{
    for (TMenuItem* item : BaudItems)
        item->SetChecked(false);
}

void TForm1::BaudItemClick(std::uint8_t baudIndex)
{
    UncheckBaudItems();
    BaudItems.at(baudIndex)->SetChecked(true);
    StatusBar1.SetPanelText(1, std::string("BaudRate = ") + SpeedText(baudIndex));
    // A failure while the port is open reaches the general error report.
    ComPort1.SetBaudRate(BaudRateOfIndex(baudIndex));
    State.BaudIndex = baudIndex;
}

}  // namespace imconf
