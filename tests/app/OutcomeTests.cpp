// What each operation tells its observers: one start and one ending per run, with the kind of
// ending and the address, against the in-process simulator in virtual time.

#include "AppTestSupport.h"
#include "modbus/Crc16.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <tuple>

using namespace imconf;
using namespace imconf::testing;
using namespace std::chrono_literals;

namespace {

// What the module does to the requests (from the `from`-th one on, counted from 0).
enum class Fault { None, Silent, BadCrc, Exception };

struct Rig : WindowRig {
    OperationRecorder seen;
    explicit Rig(Fault fault = Fault::None, int from = 0, std::uint8_t moduleAddress = 247)
    {
        module.Module().Set(0x0001, moduleAddress);
        ports.Set({"COM1"});
        Create();
        form->FormActivate();
        form->Observers.Add(seen);
        if (fault == Fault::None)
            return;
        line.Intercept = [this, fault,
                          from](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
            if (requests_++ < from)
                return std::nullopt;
            if (fault == Fault::Silent)
                return sim::TReply{};
            std::vector<std::uint8_t> reply{frame[0], static_cast<std::uint8_t>(frame[1] | 0x80), 2,
                                            0, 0};
            PlaceCrc(reply.data(), 3);
            if (fault == Fault::BadCrc)
                reply[4] ^= 0xFF;
            return sim::TReply{reply, 1ms};
        };
    }
    TForm1& F() { return *form; }
    // Runs the operation to its end and returns its one ending.
    OperationOutcome Run(OperationKind expected, Micros limit = 120s)
    {
        loop.RunUntil(
            [this] {
                return !seen.ended.empty() && state.OperationState == opstate::Idle &&
                       !form->Engine.TransactionInFlight();
            },
            limit);
        EXPECT_EQ(seen.started, std::vector<OperationKind>{expected});
        EXPECT_EQ(seen.ended.size(), 1u);
        return seen.ended.empty() ? OperationOutcome{} : seen.ended.back();
    }

private:
    int requests_ = 0;
};

void ExpectEnding(const OperationOutcome& outcome, OperationKind operation, OutcomeKind result,
                  std::uint8_t address, const std::string& where)
{
    EXPECT_EQ(outcome.operation, operation) << where;
    EXPECT_EQ(outcome.result, result) << where;
    EXPECT_EQ(outcome.address, address) << where;
}

}  // namespace

TEST(Outcomes, ConfigurationReadAndWrite)
{
    struct Case {
        Fault fault;
        int from;
        int openError;
        OutcomeKind read;
        OutcomeKind write;
        const char* what;
    };
    for (const Case& c : std::vector<Case>{
             {Fault::None, 0, 0, OutcomeKind::Done, OutcomeKind::Done, "done"},
             {Fault::Silent, 0, 0, OutcomeKind::NoAnswer, OutcomeKind::NoAnswer, "silent"},
             {Fault::Silent, 1, 0, OutcomeKind::BadLine, OutcomeKind::BadLine, "partly answered"},
             {Fault::BadCrc, 2, 0, OutcomeKind::BadLine, OutcomeKind::BadLine, "bad CRC"},
             {Fault::Exception, 0, 0, OutcomeKind::Refused, OutcomeKind::Refused, "refused"},
             {Fault::Exception, 3, 0, OutcomeKind::Refused, OutcomeKind::Refused, "last refused"},
             {Fault::None, 0, ENOENT, OutcomeKind::PortError, OutcomeKind::PortError, "port"},
         }) {
        for (bool write : {false, true}) {
            Rig rig(c.fault, c.from);
            rig.line.OpenError = c.openError;
            (write ? rig.F().TeButton2 : rig.F().TeButton5).Click();
            const auto kind = write ? OperationKind::Write : OperationKind::Read;
            ExpectEnding(rig.Run(kind), kind, write ? c.write : c.read, 247,
                         std::string(c.what) + (write ? " write" : " read"));
        }
    }
    // A block write refused in the middle: the write goes on, and ends refused.
    Rig rig(Fault::None);
    int count = 0;
    rig.line.Intercept = [&](std::span<const std::uint8_t> frame) -> std::optional<sim::TReply> {
        if (count++ != 1)
            return std::nullopt;
        std::vector<std::uint8_t> reply{frame[0], 0x90, 2, 0, 0};
        PlaceCrc(reply.data(), 3);
        return sim::TReply{reply, 1ms};
    };
    rig.F().TeButton2.Click();
    EXPECT_EQ(rig.Run(OperationKind::Write).result, OutcomeKind::Refused);
    EXPECT_EQ(rig.line.Requests().size(), 4u);
}

TEST(Outcomes, BusSearch)
{
    {
        Rig rig(Fault::None, 0, 5);
        rig.F().CustomItem5->Click();
        ExpectEnding(rig.Run(OperationKind::Search), OperationKind::Search, OutcomeKind::Done, 5,
                     "found");
    }
    {
        Rig rig(Fault::Silent);
        rig.F().CustomItem7->Click();  // 100 ms
        rig.F().CustomItem5->Click();
        ExpectEnding(rig.Run(OperationKind::Search, 200s), OperationKind::Search,
                     OutcomeKind::NotFound, 247, "not found");
    }
    {
        Rig rig(Fault::Silent);
        rig.F().CustomItem5->Click();
        rig.loop.Advance(1s);
        EXPECT_TRUE(rig.seen.ended.empty());
        rig.F().CustomItem5->Click();
        EXPECT_EQ(rig.Run(OperationKind::Search).result, OutcomeKind::Stopped);
    }
    {
        // A probe that cannot be sent leaves the search standing; stopping it ends it with the
        // port's error.
        Rig rig;
        rig.line.OpenError = EBUSY;
        rig.F().CustomItem5->Click();
        rig.loop.Advance(1s);
        EXPECT_TRUE(rig.seen.ended.empty());
        EXPECT_TRUE(rig.F().Search.PortFailed());
        rig.F().CustomItem5->Click();
        EXPECT_EQ(rig.Run(OperationKind::Search).result, OutcomeKind::PortError);
    }
}

TEST(Outcomes, InterfaceCommands)
{
    struct Command {
        OperationKind kind;
        std::function<void(TForm1&)> send;
        std::uint16_t value;
    };
    const std::vector<Command> commands{
        {OperationKind::AddressChange,
         [](TForm1& f) {
             f.TeSpinEdit2.SetValue(12);
             f.TeButton1.Click();
         },
         12},
        {OperationKind::SpeedChange, [](TForm1& f) { f.TeSComboBox1.ChooseByUser(5); }, 5},
        {OperationKind::Block, [](TForm1& f) { f.TeButton3.Click(); }, 1},
        {OperationKind::SoundOff, [](TForm1& f) { f.Sound_Butt.Click(); }, 0},
    };
    for (const Command& command : commands) {
        for (const auto& [fault, openError, result] :
             std::vector<std::tuple<Fault, int, OutcomeKind>>{
                 {Fault::None, 0, OutcomeKind::Done},
                 {Fault::Exception, 0, OutcomeKind::Refused},
                 {Fault::Silent, 0, OutcomeKind::NoAnswer},
                 {Fault::BadCrc, 0, OutcomeKind::BadLine},
                 {Fault::None, EBUSY, OutcomeKind::PortError},
             }) {
            Rig rig(fault);
            rig.dialogs.answerYes = false;
            rig.line.OpenError = openError;
            command.send(rig.F());
            const OperationOutcome outcome = rig.Run(command.kind);
            const std::string where = std::to_string(static_cast<int>(command.kind)) + " " +
                                      std::to_string(static_cast<int>(result));
            ExpectEnding(outcome, command.kind, result, 247, where);
            EXPECT_EQ(outcome.value, command.value) << where;
        }
    }
    // A command sent between two steps of a read that gets no answer ends as well as the read.
    Rig rig(Fault::Silent, 1);
    rig.F().TeButton5.Click();
    rig.loop.RunUntil(
        [&] { return rig.line.Requests().size() == 1 && !rig.F().Engine.TransactionInFlight(); },
        5s);
    rig.F().Sound_Butt.Click();
    rig.loop.RunUntil([&] { return rig.seen.ended.size() == 2; }, 10s);
    ASSERT_EQ(rig.seen.ended.size(), 2u);
    EXPECT_EQ(rig.seen.ended[0].operation, OperationKind::SoundOff);
    EXPECT_EQ(rig.seen.ended[0].result, OutcomeKind::NoAnswer);
    EXPECT_EQ(rig.seen.ended[1].operation, OperationKind::Read);
}

TEST(Outcomes, FirmwareUpgrade)
{
    auto image = [](Rig& rig) {
        std::vector<std::uint8_t> bytes(14338);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7);
        rig.dir.Write("fw.hex", std::string(bytes.begin(), bytes.end()));
        rig.dialogs.fileAnswer = rig.dir.File("fw.hex");
    };
    {
        Rig rig;
        rig.module.SetMode(sim::TMode::Bootloader);
        image(rig);
        rig.F().CustomItem24->Click();
        EXPECT_EQ(rig.Run(OperationKind::Upgrade).result, OutcomeKind::Done);
    }
    {
        Rig rig;  // the module is not in its bootloader: no acknowledgement
        image(rig);
        rig.F().CustomItem24->Click();
        EXPECT_EQ(rig.Run(OperationKind::Upgrade).result, OutcomeKind::NoAnswer);
    }
    {
        Rig rig;
        image(rig);
        rig.line.OpenError = ENOENT;
        rig.F().CustomItem24->Click();
        EXPECT_EQ(rig.Run(OperationKind::Upgrade).result, OutcomeKind::PortError);
    }
    for (const char* content : {"", "short"}) {
        Rig rig;
        rig.dialogs.fileAnswer = rig.dir.File("fw.hex");
        if (*content != '\0')
            rig.dir.Write("fw.hex", content);
        rig.F().CustomItem24->Click();
        const OperationOutcome outcome = rig.Run(OperationKind::Upgrade);
        EXPECT_EQ(outcome.result, OutcomeKind::BadFile);
        EXPECT_TRUE(outcome.detail.starts_with(rig.dir.File("fw.hex"))) << outcome.detail;
        EXPECT_TRUE(rig.line.Requests().empty());
    }
}
