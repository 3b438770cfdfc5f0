#include "ModuleSimulator.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

#include <string>

using namespace imconf;
using namespace imconf::sim;
using namespace imconf::sim::test;

namespace {

std::uint16_t ReadOne(TModbusSlave& slave, std::uint16_t r)
{
    const auto values = Values(slave.Handle(ReadFrame(slave.Address(), r, 1)).bytes);
    return values.size() == 1 ? values[0] : 0xDEAD;
}

}  // namespace

TEST(ModbusSlave, DefaultRegisterMapThroughFunction3)
{
    TModbusSlave slave;
    const TReply id = slave.Handle(ReadFrame(247, reg::Id, 1));
    // The probe's answer byte for byte: address, function, byte count, 24, CRC.
    EXPECT_EQ(id.bytes, (TBytes{0xF7, 0x03, 0x02, 0x00, 0x18, 0x70, 0x5B}));
    EXPECT_EQ(id.delay, kDefaultThinkTime);

    EXPECT_EQ(Values(slave.Handle(ReadFrame(247, 0, 3)).bytes),
              (std::vector<std::uint16_t>{24, 247, 4}));

    const auto link = Values(slave.Handle(ReadFrame(247, reg::LinkFirst, 32)).bytes);
    ASSERT_EQ(link.size(), 32u);
    for (std::uint16_t i = 0; i < 32; ++i)
        EXPECT_EQ(link[i], i);

    EXPECT_EQ(ReadOne(slave, reg::NodeCount), 0);
    const auto types = Values(slave.Handle(ReadFrame(247, reg::NodeTypesFirst, 32)).bytes);
    const auto addresses = Values(slave.Handle(ReadFrame(247, reg::NodeAddressesFirst, 32)).bytes);
    EXPECT_EQ(types, std::vector<std::uint16_t>(32, 0x00FF));
    EXPECT_EQ(addresses, std::vector<std::uint16_t>(32, 0x00FF));
    EXPECT_EQ(slave.RequestCount(), 6u);
}

TEST(ModbusSlave, ExceptionReplies)
{
    struct TCase {
        const char* what;
        TBytes request;
        std::uint8_t function;
        std::uint8_t code;
    };
    const std::uint16_t three[] = {1, 2, 3};
    const std::uint16_t pair[] = {1, 2};
    const TCase cases[] = {
        {"read of a register between the commands and the link area", ReadFrame(247, 3, 1), 0x83,
         2},
        {"read running past the last node address", ReadFrame(247, reg::Last, 2), 0x83, 2},
        {"read of 0 registers", ReadFrame(247, 0x0100, 0), 0x83, 3},
        {"read of 126 registers", ReadFrame(247, 0x0100, 126), 0x83, 3},
        {"write of the identification", WriteFrame(247, reg::Id, 7), 0x86, 2},
        {"write behind the map", WriteFrame(247, 0x0161, 1), 0x86, 2},
        {"address 0", WriteFrame(247, reg::Address, 0), 0x86, 3},
        {"address 248", WriteFrame(247, reg::Address, 248), 0x86, 3},
        {"speed code 0", WriteFrame(247, reg::Speed, 0), 0x86, 3},
        {"speed code 9", WriteFrame(247, reg::Speed, 9), 0x86, 3},
        {"block value 1", WriteFrame(247, reg::Block, 1), 0x86, 3},
        {"node count 33", WriteFrame(247, reg::NodeCount, 33), 0x86, 3},
        {"function 4", WithCrc({247, 0x04, 0x00, 0x00, 0x00, 0x01}), 0x84, 1},
        {"function 16 over a gap", WriteManyFrame(247, 0x0022, three), 0x90, 2},
        {"function 16 byte count not 2 x quantity",
         WithCrc({247, 0x10, 0x01, 0x00, 0x00, 0x02, 0x03, 0x00, 0x01, 0x00}), 0x90, 3},
        {"function 16 quantity 0", WithCrc({247, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00}), 0x90, 3},
        {"function 3 frame of 9 bytes", WithCrc({247, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00}), 0x83,
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TModbusSlave slave;
        const TReply reply = slave.Handle(c.request);
        ASSERT_EQ(reply.bytes.size(), 5u);
        EXPECT_EQ(reply.bytes[0], 247);
        EXPECT_EQ(reply.bytes[1], c.function);
        EXPECT_EQ(reply.bytes[2], c.code);
        EXPECT_TRUE(CrcMatches(reply.bytes.data(), 5));
        // A refused write changes nothing.
        EXPECT_EQ(slave.Address(), 247);
        EXPECT_EQ(slave.SpeedCode(), 4);
        EXPECT_FALSE(slave.Blocked());
    }
    // A function-16 write with one bad value is refused as a whole.
    TModbusSlave slave;
    EXPECT_EQ(slave.Handle(WriteManyFrame(247, reg::NodeCount - 1, pair)).bytes[1], 0x10);
    const std::uint16_t countTooBig[] = {7, 40};
    EXPECT_EQ(slave.Handle(WriteManyFrame(247, reg::NodeCount - 1, countTooBig)).bytes[2], 3);
    EXPECT_EQ(ReadOne(slave, reg::NodeCount - 1), 1);  // from the accepted write, not 7
}

TEST(ModbusSlave, WritesEchoAndStore)
{
    TModbusSlave slave;
    const TBytes soundOff = WriteFrame(247, reg::SoundOff, reg::SoundOffValue);
    EXPECT_EQ(soundOff, (TBytes{0xF7, 0x06, 0x00, 0x24, 0xA5, 0x5A, 0x26, 0x3C}));
    EXPECT_EQ(slave.Handle(soundOff).bytes, soundOff);
    EXPECT_EQ(slave.Handle(soundOff).bytes, soundOff);
    EXPECT_EQ(slave.Handle(WriteFrame(247, reg::SoundOff, 1)).bytes[1], 0x86);
    EXPECT_EQ(slave.SoundOffCount(), 2u);
    EXPECT_EQ(ReadOne(slave, reg::SoundOff), 0);

    EXPECT_EQ(slave.Handle(WriteFrame(247, reg::Block, 255)).bytes[1], 0x06);
    EXPECT_TRUE(slave.Blocked());
    slave.Handle(WriteFrame(247, reg::Block, 0));
    EXPECT_FALSE(slave.Blocked());

    std::vector<std::uint16_t> links(24);
    for (std::size_t i = 0; i < links.size(); ++i)
        links[i] = static_cast<std::uint16_t>(0x0200 + i);
    const TReply reply = slave.Handle(WriteManyFrame(247, reg::LinkFirst, links));
    // The echo of function 16: address, function, first register, quantity, CRC.
    EXPECT_EQ(reply.bytes, WithCrc({0xF7, 0x10, 0x01, 0x00, 0x00, 0x18}));
    auto stored = Values(slave.Handle(ReadFrame(247, reg::LinkFirst, 32)).bytes);
    ASSERT_EQ(stored.size(), 32u);
    EXPECT_EQ(std::vector<std::uint16_t>(stored.begin(), stored.begin() + 24), links);
    EXPECT_EQ(stored[24], 24);  // beyond the written part the area is untouched

    EXPECT_EQ(slave.Handle(WriteFrame(247, reg::NodeCount, 32)).bytes[1], 0x06);
    EXPECT_EQ(ReadOne(slave, reg::NodeCount), 32);
}

TEST(ModbusSlave, SilentForBadCrcOtherAddressesAndBroadcast)
{
    TModbusSlave slave;
    TBytes bad = WriteFrame(247, reg::Block, 255);
    bad[7] ^= 0x01;
    EXPECT_TRUE(slave.Handle(bad).Empty());
    EXPECT_FALSE(slave.Blocked());
    EXPECT_EQ(slave.CrcErrorCount(), 1u);

    EXPECT_TRUE(slave.Handle(ReadFrame(246, 0, 1)).Empty());
    EXPECT_TRUE(slave.Handle(WriteFrame(1, reg::Block, 255)).Empty());
    EXPECT_TRUE(slave.Handle(TBytes{0xF7, 0x03, 0x00}).Empty());
    EXPECT_TRUE(slave.Handle(TBytes{}).Empty());
    EXPECT_FALSE(slave.Blocked());
    EXPECT_EQ(slave.RequestCount(), 0u);

    // A broadcast write is done, but never answered; a broadcast read does nothing.
    EXPECT_TRUE(slave.Handle(WriteFrame(0, reg::Block, 255)).Empty());
    EXPECT_TRUE(slave.Blocked());
    EXPECT_TRUE(slave.Handle(ReadFrame(0, 0, 1)).Empty());
    EXPECT_TRUE(slave.Handle(WriteFrame(0, reg::Address, 0)).Empty());  // refused, silently
    EXPECT_TRUE(slave.Handle(WriteFrame(0, reg::Address, 9)).Empty());
    EXPECT_EQ(slave.Address(), 9);  // no echo to wait for: at once
}

TEST(ModbusSlave, AddressAndSpeedChangeAfterTheEchoHasLeft)
{
    TModuleSimulator sim;
    TModbusSlave& module = sim.Module();
    const TReply echo = sim.Receive(WriteFrame(247, reg::Address, 5));
    // The echo still comes from the old address (F7 06 00 01 00 05 0C 9F).
    EXPECT_EQ(echo.bytes, (TBytes{0xF7, 0x06, 0x00, 0x01, 0x00, 0x05, 0x0C, 0x9F}));
    EXPECT_EQ(module.Address(), 247);
    EXPECT_TRUE(module.ChangePending());
    sim.ReplySent();
    EXPECT_EQ(module.Address(), 5);
    EXPECT_TRUE(sim.Receive(ReadFrame(247, 0, 1)).Empty());
    EXPECT_EQ(Values(sim.Receive(ReadFrame(5, reg::Address, 1)).bytes),
              std::vector<std::uint16_t>{5});

    const TReply speedEcho = sim.Receive(WriteFrame(5, reg::Speed, 6));
    EXPECT_EQ(speedEcho.bytes[1], 0x06);
    EXPECT_EQ(sim.LineBaud(), 9600u);  // the echo goes out at the old speed
    sim.ReplySent();
    EXPECT_EQ(sim.LineBaud(), 19200u);
    EXPECT_EQ(module.SpeedCode(), 6);

    // A transport that never reports the reply: the next request finds the change made.
    sim.Receive(WriteFrame(5, reg::Address, 17));
    EXPECT_FALSE(sim.Receive(ReadFrame(17, 0, 1)).Empty());
    EXPECT_FALSE(module.ChangePending());
}

TEST(Bus, ForeignDeviceAndCollision)
{
    TModuleSimulator sim(200);
    sim.AddDevice(12, 7);
    EXPECT_EQ(Values(sim.Receive(ReadFrame(200, 0, 1)).bytes), std::vector<std::uint16_t>{24});
    const TReply foreign = sim.Receive(ReadFrame(12, 0, 1));
    EXPECT_EQ(foreign.bytes[0], 12);
    EXPECT_EQ(Values(foreign.bytes), std::vector<std::uint16_t>{7});
    EXPECT_TRUE(sim.Receive(ReadFrame(13, 0, 1)).Empty());

    // Writes reach only the device addressed; a broadcast reaches both.
    sim.Receive(WriteFrame(12, reg::Block, 255));
    EXPECT_TRUE(sim.Bus().Device(1).Blocked());
    EXPECT_FALSE(sim.Module().Blocked());
    sim.Receive(WriteFrame(0, reg::NodeCount, 3));
    EXPECT_EQ(sim.Bus().Device(0).Get(reg::NodeCount), 3);
    EXPECT_EQ(sim.Bus().Device(1).Get(reg::NodeCount), 3);

    // Two devices at one address talk at once: what the master gets is no valid reply.
    sim.AddDevice(12, 24);
    const TReply both = sim.Receive(ReadFrame(12, 0, 1));
    ASSERT_EQ(both.bytes.size(), 7u);
    EXPECT_EQ(both.bytes[4], 24 & 7);
    EXPECT_FALSE(CrcMatches(both.bytes.data(), both.bytes.size()));
}
