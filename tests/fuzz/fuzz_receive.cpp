// The whole receive path: a transaction is put in flight in a chosen operation state by the
// window's own senders, then blocks come in from the line at chosen moments and the virtual
// loop runs, so that Timer_RxTimer, the upgrade's acknowledgement check and DispatchReply
// handle them, and the operation goes on with its next steps or returns to idle, never
// standing still with nothing armed. Time is bounded.
//
// Input: operation state, reply kind, flags, speed index, address, upgrade or search detail,
// then events of [delay][flags][length][bytes...]:
//   delay    milliseconds x 4 after the event before;
//   flags    bit 0..1 command, bit 2 press that command instead of receiving, bit 3 the block
//            gets its correct CRC, bit 4 stale read (tag of the transaction before),
//            bit 5 "Stop" the search (or press read/write), bit 6 next open fails,
//            bit 7 next write fails;
//   length   bytes of the block (the line reads at most the expected count).

#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "FuzzWindow.h"

#include "modbus/Crc16.h"

#include <array>
#include <cstddef>
#include <cstdint>

using namespace imconf;
using fuzz::FuzzWindow;

namespace {

constexpr std::array<std::uint8_t, 13> kStates{opstate::Idle,
                                               opstate::ReadRequested,
                                               opstate::ReadLinkArea,
                                               opstate::ReadNodeTypes,
                                               opstate::ReadNodeAddresses,
                                               opstate::ReadNodeCount,
                                               opstate::WriteRequested,
                                               opstate::WriteLinkArea,
                                               opstate::WriteNodeTypes,
                                               opstate::WriteNodeAddresses,
                                               opstate::WriteNodeCount,
                                               opstate::Upgrade,
                                               opstate::Search};
constexpr std::array<std::uint8_t, 13> kKinds{
    replykind::None,           replykind::Address,      replykind::Speed,
    replykind::Block,          replykind::LinkArea,     replykind::NodeTypes,
    replykind::NodeAddresses,  replykind::NodeCount,    replykind::ConfigWrite,
    replykind::NodeCountWrite, replykind::UpgradeFrame, replykind::SearchProbe,
    replykind::BadCrc};
constexpr std::size_t kMaxEvents = 48;
constexpr Micros kSettle{3'000'000};

bool ValidState(std::uint8_t s)
{
    return s <= opstate::WriteLast || s == opstate::Upgrade || s == opstate::Search;
}

bool ValidKind(std::uint8_t k)
{
    for (const std::uint8_t kind : kKinds)
        if (kind == k)
            return true;
    return false;
}

void PressCommand(TForm1& form, std::uint8_t which)
{
    switch (which & 3) {
    case 0: form.TeButton1Click(); break;
    case 1: form.TeSComboBox1Change(); break;
    case 2: form.TeButton3Click(); break;
    default: form.Sound_ButtClick(); break;
    }
}

// Puts the chosen operation's request in flight as its own code does: the button, then the
// sequencer's tick that sends the step of that state (or a command between two steps).
void StartOperation(FuzzWindow& w, std::uint8_t state, std::uint8_t flags, std::uint8_t detail)
{
    TForm1& form = *w.Form;
    const bool command = (flags & 4) != 0;
    if (state == opstate::Idle) {
        PressCommand(form, flags);
        return;
    }
    if (opstate::IsRead(state) || opstate::IsWrite(state)) {
        if (opstate::IsRead(state))
            form.TeButton5Click();
        else
            form.TeButton2Click();
        const bool requested = state == opstate::ReadRequested || state == opstate::WriteRequested;
        if (command || requested) {
            // A command pressed between two steps of the operation.
            w.State.OperationState = state;
            PressCommand(form, flags);
        } else {
            w.State.OperationState = static_cast<std::uint8_t>(state - 1);
            form.Timer_Programm.SetEnabled(false);
            form.Timer_ProgrammTimer();
        }
        return;
    }
    if (state == opstate::Upgrade) {
        PresetForLoad(form.Firmware);
        for (std::size_t i = 0; i < form.Firmware.FlashImage.size(); ++i)
            form.Firmware.FlashImage[i] = static_cast<std::uint8_t>(i);
        form.Firmware.EepromBlockCount =
            static_cast<std::uint16_t>(detail % (kEepromSize / kEepromBlockSize + 1));
        form.Firmware.ImageCrc =
            Crc16(form.Firmware.FlashImage.data(), static_cast<std::uint16_t>(kFlashSize));
        form.StartUpgrade();
        // Somewhere in the transfer: the step whose frame is in flight.
        if (flags & 8)
            form.UpgradeStep =
                static_cast<std::uint8_t>(detail % (30 + form.Firmware.EepromBlockCount));
        return;
    }
    // The bus search: Start, a chosen delay, then its first probe from the sequencer.
    static constexpr std::array<std::uint16_t, 6> kDelays{100, 150, 200, 250, 300, 350};
    TMenuItem* delayItems[] = {form.CustomItem7,  form.CustomItem8,  form.CustomItem9,
                               form.CustomItem10, form.CustomItem11, form.CustomItem12};
    form.DelayItemClick(kDelays[detail % 6], *delayItems[detail % 6]);
    form.CustomItem5Click();
    w.State.DeviceAddress = static_cast<std::uint8_t>(detail % 247);
    w.Loop.RunUntil([&] { return form.Timer_Rx.Enabled(); }, Micros{20'000});
    if (command)
        PressCommand(form, flags);  // dropped during the search
}

void CheckInvariants(const FuzzWindow& w)
{
    FUZZ_CHECK(ValidState(w.State.OperationState));
    FUZZ_CHECK(ValidKind(w.State.ReplyKind));
    FUZZ_CHECK(w.State.RxLength <= kFrameBufferSize);
    FUZZ_CHECK(w.State.CommandDeferred <= 1);
    FUZZ_CHECK(w.Config.NodeCount <= w.Config.NodeTable.size());
    // Whatever came back, a running operation has its next step on a timer (the reply it
    // waits for, its sequencer or a command before its next step) or is over. The one state
    // that waits for the user is a bus search whose port could not be opened: Stop ends it.
    const TForm1& form = *w.Form;
    if (w.State.OperationState != opstate::Idle && !form.Timer_Rx.Enabled() &&
        !form.Timer_Programm.Enabled() && !form.Timer_Wait.Enabled()) {
        const bool searchStandsAtPortError =
            w.State.OperationState == opstate::Search && !form.TeMemo1.Lines.Empty() &&
            form.TeMemo1.Lines.Last().rfind(kPortErrorLine, 0) == 0;
        FUZZ_CHECK(searchStandsAtPortError);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t state = kStates[in.Byte() % kStates.size()];
    const std::uint8_t kindChoice = in.Byte();
    const std::uint8_t flags = in.Byte();
    const std::uint8_t baud = in.Byte();
    const std::uint8_t address = in.Byte();
    const std::uint8_t detail = in.Byte();

    FuzzWindow w;
    TForm1& form = *w.Form;
    form.BaudItemClick(static_cast<std::uint8_t>(baud % kSpeedCount));
    form.TeSpinEdit1.SetValue(1 + address % 247);
    form.TeSpinEdit2.SetValue(1 + (address / 2) % 247);
    form.TeSComboBox1.SetItemIndex(baud % kSpeedCount);
    form.TeCheckBox1.SetChecked((baud & 0x80) != 0);
    w.Dialogs.AnswerYes = (flags & 0x80) != 0;
    w.Line.FailNextOpen = (flags & 0x40) != 0 && (flags & 0x20) != 0;
    w.Line.FailNextWrite = (flags & 0x40) != 0 && (flags & 0x20) == 0;

    StartOperation(w, state, flags, detail);
    // The reply kind the caller set after its sender returned, or one chosen outright.
    if (kindChoice < kKinds.size())
        w.State.ReplyKind = kKinds[kindChoice];
    CheckInvariants(w);

    Micros at = w.Loop.Now();
    for (std::size_t n = 0; n < kMaxEvents && !in.Empty(); ++n) {
        at += Micros{1000 * 4 * static_cast<std::int64_t>(in.Byte())};
        const std::uint8_t eventFlags = in.Byte();
        std::vector<std::uint8_t> bytes = in.Bytes(in.Byte());
        w.Loop.RunUntil(at);
        CheckInvariants(w);
        w.Line.FailNextOpen = (eventFlags & 0x40) != 0;
        w.Line.FailNextWrite = (eventFlags & 0x80) != 0;
        if (eventFlags & 4) {
            form.HandleEvent([&] { PressCommand(form, eventFlags); });
            continue;
        }
        if (eventFlags & 0x20) {
            if (w.State.OperationState == opstate::Search)
                form.HandleEvent([&] { form.CustomItem5Click(); });  // Stop
            else if (eventFlags & 1)
                form.HandleEvent([&] { form.TeButton5Click(); });
            else
                form.HandleEvent([&] { form.TeButton2Click(); });
        }
        if ((eventFlags & 8) && !bytes.empty()) {
            // The block as the module would have closed it: the expected length (or what
            // came, if less) with its CRC in the last two bytes.
            const std::size_t expected = w.Line.Expected() != 0 ? w.Line.Expected() : bytes.size();
            bytes.resize(std::max<std::size_t>(std::min(bytes.size() + 2, expected), 3));
            PlaceCrc(bytes.data(), static_cast<std::uint16_t>(bytes.size() - 2));
        }
        w.Line.Receive(std::move(bytes), (eventFlags & 0x10) != 0);
    }
    w.Loop.RunUntil(at + kSettle);
    CheckInvariants(w);
    return 0;
}
