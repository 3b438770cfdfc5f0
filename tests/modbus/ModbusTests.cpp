#include "modbus/Crc16.h"
#include "modbus/Frames.h"
#include "modbus/Text.h"
#include "modbus/Trace.h"
#include "modbus/TraceSink.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace imconf;

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

std::vector<std::uint8_t> Frame(const TFrameBuffer& buffer, std::size_t length)
{
    return {buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length)};
}

}  // namespace

TEST(Crc16, KnownValuesAndPlacement)
{
    const std::string digits = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(digits.data()), 9), 0x4B37);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);

    // A reply of one register holding 24 carries a valid CRC; one flipped bit breaks it.
    auto reply = Bytes({0x01, 0x03, 0x02, 0x00, 0x18, 0xB8, 0x4E});
    EXPECT_TRUE(CrcMatches(reply.data(), reply.size()));
    reply[4] ^= 0x01;
    EXPECT_FALSE(CrcMatches(reply.data(), reply.size()));

    // One byte never passes; two bytes are checked against the CRC of nothing.
    const auto one = Bytes({0xFF});
    EXPECT_FALSE(CrcMatches(one.data(), one.size()));
    const auto ffff = Bytes({0xFF, 0xFF});
    EXPECT_TRUE(CrcMatches(ffff.data(), ffff.size()));
    const auto ack = Bytes({0x07, 0xA5});
    EXPECT_FALSE(CrcMatches(ack.data(), ack.size()));

    // The bootloader's closing frame: six zero bytes and their CRC, low byte first.
    std::array<std::uint8_t, 8> closing{};
    PlaceCrc(closing.data(), 6);
    EXPECT_EQ(closing[6], 0x00);
    EXPECT_EQ(closing[7], 0x1B);
}

TEST(Text, HexAndZeroPadding)
{
    EXPECT_EQ(ByteToHex(10), "0A");
    EXPECT_EQ(ByteToHex(247), "F7");
    EXPECT_EQ(ByteToHex(0), "00");
    EXPECT_EQ(ByteToHex(0xFF), "FF");
    EXPECT_EQ(FormatZeroPadded(7, 3), "007");
    EXPECT_EQ(FormatZeroPadded(247, 3), "247");
    EXPECT_EQ(FormatZeroPadded(1234, 2), "1234");
    EXPECT_EQ(FormatZeroPadded(5, 0), "5");
    EXPECT_EQ(FormatZeroPadded(65535, 255), std::string(250, '0') + "65535");
}

TEST(Frames, SingleRegisterRequests)
{
    TFrameBuffer buffer{};
    ASSERT_EQ(BuildReadRegisters(buffer, 1, 0x0000, 1), 8u);
    EXPECT_EQ(Frame(buffer, 8), Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));

    BuildReadRegisters(buffer, 247, 0x0000, 1);
    EXPECT_EQ(Frame(buffer, 8), Bytes({0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C}));

    ASSERT_EQ(BuildWriteRegister(buffer, 247, 0x0024, 0xA55A), 8u);
    EXPECT_EQ(Frame(buffer, 8), Bytes({0xF7, 0x06, 0x00, 0x24, 0xA5, 0x5A, 0x26, 0x3C}));

    BuildReadRegisters(buffer, 247, 0x0100, 32);
    EXPECT_EQ(ReadBe16(buffer.data(), 2), 0x0100);
    EXPECT_EQ(ReadBe16(buffer.data(), 4), 32);
    EXPECT_TRUE(CrcMatches(buffer.data(), 8));
}

TEST(Frames, ExpectedReplyLengths)
{
    EXPECT_EQ(ReadReplyLength(0), 7);  // the count field still says 0
    EXPECT_EQ(ReadReplyLength(1), 7);
    EXPECT_EQ(ReadReplyLength(32), 69);
    EXPECT_EQ(ReadReplyLength(125), 255);
    EXPECT_THROW(ReadReplyLength(126), std::length_error);
    EXPECT_EQ(kWriteReplyLength, 8);

    TFrameBuffer buffer{};
    BuildReadRegisters(buffer, 5, 0x0120, 0);
    EXPECT_EQ(ReadBe16(buffer.data(), 4), 0);
}

TEST(Frames, WriteMultipleLayout)
{
    TFrameBuffer buffer{};
    std::array<std::uint16_t, 24> link{};
    for (std::size_t i = 0; i < link.size(); ++i)
        link[i] = static_cast<std::uint16_t>(0x0200 + i);
    const std::size_t length = BuildWriteRegisters(buffer, 247, 0x0100, link);
    ASSERT_EQ(length, 57u);
    EXPECT_EQ(buffer[1], 0x10);
    EXPECT_EQ(ReadBe16(buffer.data(), 2), 0x0100);
    EXPECT_EQ(ReadBe16(buffer.data(), 4), 24);
    EXPECT_EQ(buffer[6], 48);
    EXPECT_EQ(ReadBe16(buffer.data(), 7), 0x0200);
    EXPECT_EQ(ReadBe16(buffer.data(), 7 + 2 * 23), 0x0217);
    EXPECT_TRUE(CrcMatches(buffer.data(), length));

    std::array<std::uint16_t, 32> types{};
    types.fill(0x00FF);
    EXPECT_EQ(BuildWriteRegisters(buffer, 247, 0x0121, types), 73u);
    EXPECT_EQ(buffer[6], 64);

    std::array<std::uint16_t, 33> tooMany{};
    EXPECT_THROW(BuildWriteRegisters(buffer, 1, 0, tooMany), std::length_error);
    std::array<std::uint8_t, 7> small{};
    EXPECT_THROW(BuildWriteRegister(small, 1, 0, 0), std::length_error);
}

TEST(Trace, RequestLineAndPlaceholder)
{
    TraceLog memo;
    memo.ShowLine("old line");
    const auto probe = Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A});
    memo.ShowRequest(RequestTraceLines(probe.data(), probe.size()));
    ASSERT_EQ(memo.Lines().size(), 2u);
    EXPECT_EQ(memo.Lines()[0], "TX : 01 03 00 00 00 01 84 0A ");
    EXPECT_EQ(memo.Lines()[1], "RX :");

    const auto reply = Bytes({0x01, 0x03, 0x02, 0x00, 0x18, 0xB8, 0x4E});
    memo.ShowReply(ReplyTraceLines(reply.data(), reply.size()));
    ASSERT_EQ(memo.Lines().size(), 2u);
    EXPECT_EQ(memo.Lines()[1], "RX : 01 03 02 00 18 B8 4E ");

    TraceLog single;
    const auto one = Bytes({0x42});
    single.ShowRequest(RequestTraceLines(probe.data(), probe.size()));
    single.ShowReply(ReplyTraceLines(one.data(), one.size()));
    EXPECT_EQ(single.Last(), "RX : 42 ");
}

TEST(Trace, LongFramesWrapAt21Bytes)
{
    auto lengthsOf = [](const std::vector<std::string>& lines) {
        std::vector<std::size_t> bytesPerLine;
        for (const auto& line : lines)
            bytesPerLine.push_back((line.size() - 5) / 3);
        return bytesPerLine;
    };
    std::vector<std::uint8_t> frame(73);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint8_t>(i);

    using V = std::vector<std::size_t>;
    EXPECT_EQ(lengthsOf(HexTraceLines(kTxPrefix, frame.data(), 57)), (V{21, 21, 15}));
    EXPECT_EQ(lengthsOf(HexTraceLines(kTxPrefix, frame.data(), 73)), (V{21, 21, 21, 10}));
    EXPECT_EQ(lengthsOf(HexTraceLines(kRxPrefix, frame.data(), 69)), (V{21, 21, 21, 6}));
    EXPECT_EQ(lengthsOf(HexTraceLines(kTxPrefix, frame.data(), 21)), (V{21}));
    EXPECT_EQ(lengthsOf(HexTraceLines(kTxPrefix, frame.data(), 42)), (V{21, 21}));

    const auto lines = HexTraceLines(kRxPrefix, frame.data(), 22);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 8), "RX : 00 ");
    EXPECT_EQ(lines[1], "     15 ");  // byte 21 on a continuation line of five blanks

    const auto request = RequestTraceLines(frame.data(), 57);
    ASSERT_EQ(request.size(), 4u);
    EXPECT_EQ(request[1].substr(0, 5), "     ");
    EXPECT_EQ(request[3], "RX :");
}
