#include "app/BusSearch.h"

#include "config/RegisterMap.h"
#include "modbus/Frames.h"
#include "modbus/Text.h"

namespace imconf {

namespace {

constexpr std::uint32_t kSearchPaceMs = 5;
// "ПУИ -МОДУЛЬ" when found, "ПУИ - МОДУЛЬ" when not: the texts differ in one blank.
constexpr const char* kFoundLine =
    "   : ОБНАРУЖЕН ПРИБОР <СР.-ПУИ -МОДУЛЬ ИНДИКАЦИИ V.2> ПО АДРЕСУ ";
constexpr const char* kNotFoundLine =
    "   : ПРИБОР <СР.-ПУИ - МОДУЛЬ ИНДИКАЦИИ V.2> НЕ ОБНАРУЖЕН...";

}  // namespace

BusSearch::BusSearch(ProgramState& state, TransactionEngine& engine, BusSearchView& view,
                     OperationObserver& observer)
    : s_(state),
      engine_(engine),
      view_(view),
      observer_(observer)
{
}

void BusSearch::StartOrStop()
{
    if (s_.OperationState == opstate::Search) {
        view_.SetSearchCaption("Start");
        s_.OperationState = opstate::Idle;
        view_.HideSearchProgress();
        view_.SetAddressEditor(s_.DeviceAddress);
        view_.FocusMenuBar();
        // Stopped after a probe could not be sent: the port ended it.
        observer_.OperationEnded({OperationKind::Search,
                                  portFailed_ ? OutcomeKind::PortError : OutcomeKind::Stopped,
                                  s_.DeviceAddress,
                                  {}});
        return;
    }
    portFailed_ = false;
    s_.DeviceAddress = 0;
    view_.ShowSearchProgress(s_.DeviceAddress);  // below the minimum: an empty bar
    view_.SetSearchCaption("Stop");
    s_.OperationState = opstate::Search;
    // Commands are dropped during the search: one still waiting must not go out after it.
    engine_.Timer_Wait.SetEnabled(false);
    s_.CommandDeferred = 0;
    engine_.Timer_Programm.SetInterval(kSearchPaceMs);
    engine_.Timer_Programm.SetEnabled(true);
    observer_.OperationStarted(OperationKind::Search, {});
}

void BusSearch::Step()
{
    // After address 247 the search is over whatever the last reply was. No transaction ends
    // here to close the port that the search kept open, so it is closed now.
    if (s_.DeviceAddress >= kLastAddress) {
        NotFound();
        engine_.CloseReportingErrors();
        return;
    }
    s_.DeviceAddress = static_cast<std::uint8_t>(s_.DeviceAddress + 1);
    view_.SetProgressPosition(s_.DeviceAddress);
    engine_.SendReadRegisters(regmap::Identification, 1);
    engine_.Awaiting(replykind::SearchProbe);
    if (!engine_.TransactionInFlight())
        portFailed_ = true;
}

std::uint8_t BusSearch::CheckReply()
{
    // A reply names its sender in byte 0. A late reply can arrive while a later address is
    // probed, so the found address is the sender's, never the probed one; a reply from
    // another address is not the probed device's answer.
    const std::uint8_t sender = s_.FrameBuffer[0];
    const bool validSender = sender >= 1 && sender <= kLastAddress;
    const bool identified =
        validSender && s_.RxLength >= 5 && ReadBe16(s_.FrameBuffer.data(), 3) == regmap::ModuleId;
    if (identified) {
        s_.DeviceAddress = sender;
        Found();
    } else if (s_.DeviceAddress >= kLastAddress && sender == s_.DeviceAddress &&
               s_.OperationState == opstate::Search) {
        NotFound();
    }
    return s_.ReplyKind;
}

void BusSearch::StepFailed()
{
    if (s_.DeviceAddress < kLastAddress)
        return;
    NotFound();
}

void BusSearch::Found()
{
    s_.OperationState = opstate::Idle;
    view_.HideSearchProgress();
    view_.SetSearchCaption("Start");
    view_.AddTraceLine(kFoundLine + FormatZeroPadded(s_.DeviceAddress, 3));
    view_.SetAddressEditor(s_.DeviceAddress);
    view_.FocusMenuBar();
    observer_.OperationEnded({OperationKind::Search, OutcomeKind::Done, s_.DeviceAddress, {}});
}

void BusSearch::NotFound()
{
    s_.OperationState = opstate::Idle;
    view_.AddTraceLine(kNotFoundLine);
    view_.HideSearchProgress();
    view_.SetSearchCaption("Start");
    view_.SetAddressEditor(s_.DeviceAddress);
    view_.FocusMenuBar();
    observer_.OperationEnded({OperationKind::Search, OutcomeKind::NotFound, s_.DeviceAddress, {}});
}

}  // namespace imconf
