#include "app/BusSweep.h"

#include "app/Speeds.h"
#include "config/RegisterMap.h"
#include "modbus/Frames.h"

#include <algorithm>
#include <exception>
#include <string>

namespace imconf {

namespace {

constexpr std::uint32_t kBitsPerByte = 10;  // 8 data bits, no parity, one stop bit
constexpr std::uint32_t kProbeBytes = 8;    // function 3, one register
constexpr std::uint32_t kReplyBytes = 7;    // the longest answer: one register's value
// What the line time does not hold: the module's own answer time and the adapter's latency
// (a USB adapter may keep received bytes up to 16 ms before it passes them on).
constexpr std::uint32_t kMarginMs = 20;
// After a time-out the line has been silent for the whole margin already.
constexpr std::uint32_t kPaceMs = 1;
constexpr std::uint32_t kMinimumGapMs = 2;

std::uint32_t Baud(std::uint8_t baudIndex)
{
    return static_cast<std::uint32_t>(BaudRateToInt(BaudRateOfIndex(baudIndex)));
}

// Milliseconds, rounded up, that `bits` bits take at `baudIndex`'s speed.
std::uint32_t BitsMs(std::uint32_t bits, std::uint8_t baudIndex)
{
    const std::uint32_t baud = Baud(baudIndex);
    return (bits * 1000 + baud - 1) / baud;
}

}  // namespace

bool SweepAnswer::IsModule() const
{
    return identification == regmap::ModuleId;
}

BusSweep::BusSweep(ProgramState& state, TransactionEngine& engine, OperationObserver& observer)
    : s_(state),
      engine_(engine),
      observer_(observer)
{
}

std::uint32_t BusSweep::WaitMs(std::uint8_t baudIndex)
{
    return BitsMs((kProbeBytes + kReplyBytes) * kBitsPerByte, baudIndex) + kMarginMs;
}

std::uint32_t BusSweep::FrameGapMs(std::uint8_t baudIndex)
{
    return std::max(kMinimumGapMs, BitsMs(35, baudIndex));
}

std::vector<std::uint8_t> BusSweep::FastestFirst()
{
    std::vector<std::uint8_t> speeds;
    for (std::size_t i = kSpeedCount; i-- > 0;)
        speeds.push_back(static_cast<std::uint8_t>(i));
    return speeds;
}

bool BusSweep::Start(SweepPlan plan)
{
    const bool known = std::all_of(plan.speeds.begin(), plan.speeds.end(),
                                   [](std::uint8_t speed) { return speed < kSpeedCount; });
    const bool range = plan.first >= 1 && plan.first <= plan.last && plan.last <= kLastAddress;
    if (s_.OperationState != opstate::Idle || plan.speeds.empty() || !known || !range)
        return false;
    plan_ = std::move(plan);
    speedAt_ = 0;
    address_ = 0;
    savedAddress_ = s_.DeviceAddress;
    answers_.clear();
    s_.OperationState = opstate::Sweep;
    observer_.OperationStarted(OperationKind::Sweep, {});
    engine_.Timer_Programm.SetInterval(kPaceMs);
    engine_.Timer_Programm.SetEnabled(true);
    return true;
}

void BusSweep::Stop()
{
    if (Running())
        Finish(OutcomeKind::Stopped);
}

bool BusSweep::SetPortSpeed(std::uint8_t baudIndex)
{
    try {
        engine_.Port().SetBaudRate(BaudRateOfIndex(baudIndex));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void BusSweep::Step()
{
    if (!Running())
        return;
    if (address_ == plan_.last) {
        address_ = 0;
        if (++speedAt_ == plan_.speeds.size()) {
            const bool found = std::any_of(answers_.begin(), answers_.end(),
                                           [](const SweepAnswer& a) { return a.IsModule(); });
            Finish(found ? OutcomeKind::Done : OutcomeKind::NotFound);
            return;
        }
    }
    const std::uint8_t speed = plan_.speeds[speedAt_];
    if (address_ == 0 && !SetPortSpeed(speed)) {
        Finish(OutcomeKind::PortError);
        return;
    }
    address_ = address_ == 0 ? plan_.first : static_cast<std::uint8_t>(address_ + 1);
    s_.DeviceAddress = address_;
    sending_ = true;
    engine_.SendReadRegisters(regmap::Identification, 1,
                              plan_.waitMs != 0 ? plan_.waitMs : WaitMs(speed));
    sending_ = false;
    engine_.Awaiting(replykind::SweepProbe);
    if (!engine_.TransactionInFlight())
        Finish(OutcomeKind::PortError);
}

void BusSweep::CheckReply()
{
    if (!Running())
        return;
    const std::uint8_t speed = plan_.speeds[speedAt_];
    engine_.Timer_Programm.SetInterval(FrameGapMs(speed));
    // The reply names its sender. One that came too late for its own probe is read during the
    // next one; it is still that sender's answer.
    const std::uint8_t sender = s_.FrameBuffer[0];
    if (sender < 1 || sender > kLastAddress || s_.RxLength < 5)
        return;
    SweepAnswer answer{sender, speed, std::nullopt};
    if (s_.FrameBuffer[1] == fn::ReadHoldingRegisters && s_.RxLength >= 7)
        answer.identification = ReadBe16(s_.FrameBuffer.data(), 3);
    const bool known = std::any_of(answers_.begin(), answers_.end(), [&](const SweepAnswer& a) {
        return a.address == sender && a.baudIndex == speed;
    });
    if (known)
        return;
    answers_.push_back(answer);
    std::string detail = std::string(SpeedText(speed)) + " baud, ";
    detail += answer.identification ? "identification " + std::to_string(*answer.identification)
                                    : std::string("refused the identification read");
    observer_.OperationEnded({OperationKind::Identify,
                              answer.IsModule() ? OutcomeKind::Done : OutcomeKind::Refused, sender,
                              detail, speed});
    if (answer.IsModule() && !plan_.all)
        Finish(OutcomeKind::Done);
}

void BusSweep::StepFailed()
{
    if (!Running() || sending_)
        return;  // a probe that was not sent ends the sweep where it was sent
    // Damaged bytes came from somewhere: give the line its silence before the next request.
    const std::uint8_t speed = plan_.speeds[speedAt_];
    engine_.Timer_Programm.SetInterval(s_.RxLength != 0 ? FrameGapMs(speed) : kPaceMs);
}

void BusSweep::Finish(OutcomeKind result)
{
    s_.OperationState = opstate::Idle;
    s_.DeviceAddress = savedAddress_;
    SetPortSpeed(s_.BaudIndex);
    // A transaction in flight closes the port when it ends; otherwise nothing else would.
    if (!engine_.TransactionInFlight())
        engine_.CloseReportingErrors();
    const auto module = std::find_if(answers_.begin(), answers_.end(),
                                     [](const SweepAnswer& a) { return a.IsModule(); });
    OperationOutcome outcome{OperationKind::Sweep, result, 0, {}, 0};
    if (module != answers_.end()) {
        outcome.address = module->address;
        outcome.detail = std::string(SpeedText(module->baudIndex)) + " baud";
        outcome.value = module->baudIndex;
    }
    observer_.OperationEnded(outcome);
}

}  // namespace imconf
