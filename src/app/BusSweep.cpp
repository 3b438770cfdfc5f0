#include "app/BusSweep.h"

#include "app/Speeds.h"
#include "config/RegisterMap.h"
#include "modbus/Frames.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>

namespace imconf {

namespace {

constexpr std::uint32_t kBitsPerByte = 10;   // 8 data bits, no parity, one stop bit
constexpr std::uint32_t kProbeBytes = 8;     // function 3, one register
constexpr std::uint32_t kReplyBytes = 7;     // the longest answer: one register's value
constexpr std::uint32_t kFrameGapBits = 35;  // the silence that ends a frame: 3.5 characters
// What the line time does not hold: the module's own answer time and the adapter's latency
// (a USB adapter may keep received bytes up to 16 ms before it passes them on).
constexpr std::uint32_t kMarginMs = 20;
// The answer time of a module that answers at once.
constexpr std::uint32_t kAnswerMs = 3;
// A read shorter than it asked for (an exception reply) ends after this silence.
constexpr std::uint32_t kReadSilenceMs = 150;
// The loop may hand a read's announcement over a little after its bytes came.
constexpr std::uint32_t kSlackMs = 5;
// After a time-out the line has been silent long enough already.
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

Micros Ms(std::uint32_t ms)
{
    return std::chrono::milliseconds(ms);
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

std::uint32_t BusSweep::WindowMs(std::uint8_t baudIndex)
{
    // At slow speeds the next request waits for the frame gap anyway: the window takes it.
    return std::max(BitsMs((kProbeBytes + 1) * kBitsPerByte, baudIndex) + kAnswerMs,
                    BitsMs(kProbeBytes * kBitsPerByte + kFrameGapBits, baudIndex) - kPaceMs);
}

std::uint32_t BusSweep::ProbeMs(std::uint8_t baudIndex)
{
    return WindowMs(baudIndex) + kPaceMs;
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
    speedSet_ = false;
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

void BusSweep::StartSpeed()
{
    speedSet_ = true;
    next_ = plan_.first;
    probes_.clear();
    fullProbed_.assign(kLastAddress + 1, false);
    reprobe_.clear();
    evidenceFrom_.reset();
    begunAt_.reset();
    lastBegun_.reset();
    quietAt_ = engine_.Now();
}

void BusSweep::Step()
{
    if (!Running())
        return;
    if (!speedSet_) {
        if (!SetPortSpeed(Speed())) {
            Finish(OutcomeKind::PortError);
            return;
        }
        StartSpeed();
    }
    TakeEvidence();
    const bool firstPassDone = next_ > plan_.last;
    // A re-probe, or the next speed, waits until late answers to the short probes are in:
    // they would collide with the re-probe, or come at a speed they were not asked at.
    if ((!reprobe_.empty() || firstPassDone) && engine_.Now() < quietAt_) {
        Wait(quietAt_ - engine_.Now());
        return;
    }
    if (!reprobe_.empty()) {
        const std::uint8_t address = *reprobe_.begin();
        reprobe_.erase(reprobe_.begin());
        SendProbe(address, true);
        return;
    }
    if (!firstPassDone) {
        const std::uint8_t address = next_++;
        SendProbe(address, plan_.waitMs != 0);
        return;
    }
    if (++speedAt_ == plan_.speeds.size()) {
        const bool found = std::any_of(answers_.begin(), answers_.end(),
                                       [](const SweepAnswer& a) { return a.IsModule(); });
        Finish(found ? OutcomeKind::Done : OutcomeKind::NotFound);
        return;
    }
    speedSet_ = false;
    Step();
}

void BusSweep::SendProbe(std::uint8_t address, bool full)
{
    const std::uint8_t speed = Speed();
    const Micros now = engine_.Now();
    s_.DeviceAddress = address;
    probes_.push_back({address, now});
    if (full)
        fullProbed_[address] = true;
    else
        quietAt_ = std::max(
            quietAt_, now + Ms(WaitMs(speed) + engine_.Port().ResponseAllowanceMs() + kSlackMs));
    begunAt_.reset();
    const std::uint32_t wait =
        plan_.waitMs != 0 ? plan_.waitMs : (full ? WaitMs(speed) : WindowMs(speed));
    sending_ = true;
    engine_.SendReadRegisters(regmap::Identification, 1, wait);
    sending_ = false;
    engine_.Awaiting(replykind::SweepProbe);
    if (!engine_.TransactionInFlight())
        Finish(OutcomeKind::PortError);
}

void BusSweep::Wait(Micros time)
{
    const auto ms = static_cast<std::uint32_t>((time.count() + 999) / 1000);
    engine_.Timer_Programm.SetInterval(std::max(ms, kPaceMs));
    engine_.Timer_Programm.SetEnabled(true);
}

void BusSweep::NoteBytes(Micros begun)
{
    const Micros from =
        begun - Ms(WaitMs(Speed()) + engine_.Port().ResponseAllowanceMs() + kSlackMs);
    evidenceFrom_ = evidenceFrom_ ? std::min(*evidenceFrom_, from) : from;
}

void BusSweep::TakeEvidence()
{
    if (!evidenceFrom_)
        return;
    for (auto probe = probes_.rbegin(); probe != probes_.rend() && probe->at >= *evidenceFrom_;
         ++probe) {
        if (!fullProbed_[probe->address] && !Answered(probe->address))
            reprobe_.insert(probe->address);
    }
    evidenceFrom_.reset();
}

bool BusSweep::Answered(std::uint8_t address) const
{
    const std::uint8_t speed = Speed();
    return std::any_of(answers_.begin(), answers_.end(), [&](const SweepAnswer& a) {
        return a.address == address && a.baudIndex == speed;
    });
}

void BusSweep::ReadBegun(bool forTransaction)
{
    if (!Running())
        return;
    const Micros now = engine_.Now();
    lastBegun_ = now;
    if (forTransaction && engine_.TransactionInFlight()) {
        // Perhaps the probed address's reply: the transaction waits for the whole of it, or
        // for the silence that ends a shorter one.
        if (!begunAt_)
            begunAt_ = now;
        engine_.ExtendResponse(BitsMs(kReplyBytes * kBitsPerByte, Speed()) + kReadSilenceMs +
                               kMarginMs);
        return;
    }
    NoteBytes(now);
}

void BusSweep::BytesDropped()
{
    if (!Running())
        return;
    // Announced when their read began; otherwise they may have begun a whole read before.
    const Micros read = Ms(BitsMs(kReplyBytes * kBitsPerByte, Speed()) + kReadSilenceMs);
    NoteBytes(lastBegun_ ? *lastBegun_ : engine_.Now() - read);
    lastBegun_.reset();
}

void BusSweep::CheckReply()
{
    if (!Running() || probes_.empty())
        return;
    engine_.Timer_Programm.SetInterval(FrameGapMs(Speed()));
    const std::uint8_t probed = probes_.back().address;
    const std::uint8_t sender = s_.FrameBuffer[0];
    const bool whole = s_.RxLength >= 5;
    // Anything but the probed address's own reply may hide an answer (a collision garbles
    // both): the addresses probed shortly before are probed again.
    if (!whole || sender != probed)
        NoteBytes(begunAt_ ? *begunAt_ : probes_.back().at);
    begunAt_.reset();
    // An intact reply names its sender, which must have been asked at this speed.
    if (whole && sender >= plan_.first && sender < next_)
        Credit(sender);
}

void BusSweep::Credit(std::uint8_t sender)
{
    if (Answered(sender))
        return;
    const std::uint8_t speed = Speed();
    SweepAnswer answer{sender, speed, std::nullopt};
    if (s_.FrameBuffer[1] == fn::ReadHoldingRegisters && s_.RxLength >= 7)
        answer.identification = ReadBe16(s_.FrameBuffer.data(), 3);
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
    if (!Running() || sending_ || probes_.empty())
        return;  // a probe that was not sent ends the sweep where it was sent
    const std::uint8_t speed = Speed();
    // Damaged bytes came from somewhere: they may hide an answer, and the line gets its
    // silence before the next request.
    const bool bytes = begunAt_ || s_.RxLength != 0;
    if (bytes)
        NoteBytes(begunAt_ ? *begunAt_ : probes_.back().at);
    begunAt_.reset();
    engine_.Timer_Programm.SetInterval(bytes ? FrameGapMs(speed) : kPaceMs);
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
