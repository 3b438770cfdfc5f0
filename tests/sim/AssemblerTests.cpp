#include "Bootloader.h"
#include "FrameAssembler.h"
#include "LineTiming.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

using namespace imconf;
using namespace imconf::sim;
using namespace imconf::sim::test;
using std::chrono::milliseconds;

namespace {

constexpr TMicros kMs{1000};

TBytes Concat(std::initializer_list<TBytes> parts)
{
    TBytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

}  // namespace

TEST(LineTiming, ByteTimesGapsAndSpeedCodes)
{
    EXPECT_EQ(ByteTime(9600), TMicros{1041});
    EXPECT_EQ(LineTime(69, 9600), TMicros{71875});
    // A FLASH page frame at the bootloader's speed takes about 270 ms.
    EXPECT_EQ(LineTime(515, 19200), TMicros{268229});
    // Deadlines of many bytes come from one product, not from a sum of rounded byte times.
    EXPECT_EQ(LineTime(9600, 9600), TMicros{10'000'000});
    EXPECT_EQ(SilenceGap(1200), TMicros{29166});
    EXPECT_EQ(SilenceGap(57600), kMinimumGap);
    EXPECT_EQ(SilenceGap(9600, TMicros{0}), TMicros{3645});
    EXPECT_EQ(BaudFromCode(1), 1200u);
    EXPECT_EQ(BaudFromCode(8), 57600u);
    EXPECT_EQ(BaudFromCode(9), 0u);
    EXPECT_EQ(CodeFromBaud(19200), 6);
}

TEST(FrameAssembler, ModbusFramesCompleteByLength)
{
    TFrameAssembler a(TMode::Modbus, 9600);
    const TBytes read = ReadFrame(247, 0, 1);
    TMicros t{0};
    // Byte by byte, one byte time apart: nothing until the eighth byte.
    for (std::size_t i = 0; i + 1 < read.size(); ++i) {
        EXPECT_TRUE(a.Push(std::span(&read[i], 1), t).empty());
        t += ByteTime(9600);
    }
    auto frames = a.Push(std::span(&read.back(), 1), t);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], read);
    EXPECT_FALSE(a.Deadline().has_value());

    // Function 16 by its byte count, in uneven chunks; then a function-6 frame right behind
    // a function-3 frame in one chunk.
    std::vector<std::uint16_t> values(24, 0x1234);
    const TBytes many = WriteManyFrame(247, 0x0100, values);
    ASSERT_EQ(many.size(), 57u);
    t += 20 * kMs;
    EXPECT_TRUE(a.Push(std::span(many).first(7), t).empty());
    EXPECT_TRUE(a.Push(std::span(many).subspan(7, 40), t + kMs).empty());
    frames = a.Push(std::span(many).subspan(47), t + 2 * kMs);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], many);

    const TBytes write = WriteFrame(247, 0x0024, 0xA55A);
    frames = a.Push(Concat({read, write}), t + 30 * kMs);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], read);
    EXPECT_EQ(frames[1], write);
    EXPECT_EQ(a.Discarded(), 0u);
}

TEST(FrameAssembler, ModbusResyncAfterNoise)
{
    const TBytes read = ReadFrame(247, 0x0100, 32);
    const TMicros gap = SilenceGap(9600);
    {
        SCOPED_TRACE("noise, silence, request");
        TFrameAssembler a(TMode::Modbus, 9600);
        EXPECT_TRUE(a.Push(TBytes{0x12, 0x34, 0x56}, TMicros{0}).empty());
        const auto frames = a.Push(read, gap + kMs);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0], read);
        EXPECT_EQ(a.Discarded(), 3u);
    }
    {
        SCOPED_TRACE("noise that looks like a request start, glued to the request");
        // F7 03 01 takes the first 8 bytes as a function-3 frame: the CRC fails, the
        // assembler steps on byte by byte and finds the request after the silence.
        TFrameAssembler a(TMode::Modbus, 9600);
        const TMicros t0{1'000'000};
        EXPECT_TRUE(a.Push(Concat({{0xF7, 0x03, 0x01}, read}), t0).empty());
        ASSERT_TRUE(a.Deadline().has_value());
        EXPECT_EQ(*a.Deadline(), t0 + gap);
        EXPECT_TRUE(a.Poll(t0 + gap - TMicros{1}).empty());
        const auto frames = a.Poll(t0 + gap);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0], read);
        EXPECT_EQ(a.Buffered(), 0u);
    }
    {
        SCOPED_TRACE("noise with an address byte above 247 is skipped at once");
        TFrameAssembler a(TMode::Modbus, 9600);
        const auto frames = a.Push(Concat({{0xFF, 0xFE}, read}), TMicros{0});
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0], read);
    }
    {
        SCOPED_TRACE("a request cut short, then the whole request");
        TFrameAssembler a(TMode::Modbus, 9600);
        EXPECT_TRUE(a.Push(std::span(read).first(5), TMicros{0}).empty());
        const auto frames = a.Push(read, 50 * kMs);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0], read);
        EXPECT_EQ(a.Discarded(), 5u);
    }
}

TEST(FrameAssembler, UnknownFunctionsWaitForSilence)
{
    TFrameAssembler a(TMode::Modbus, 19200);
    const TBytes fn4 = WithCrc({247, 0x04, 0x00, 0x00, 0x00, 0x01});
    EXPECT_TRUE(a.Push(fn4, TMicros{0}).empty());
    auto frames = a.Poll(a.Gap());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], fn4);  // handed on whole, so the slave can answer "illegal function"

    // Random bytes of no known function are dropped by the silence.
    EXPECT_TRUE(a.Push(TBytes{0x01, 0x41, 0x42, 0x43, 0x44, 0x45}, 100 * kMs).empty());
    EXPECT_TRUE(a.Poll(200 * kMs).empty());
    EXPECT_EQ(a.Buffered(), 0u);
    EXPECT_EQ(a.Discarded(), 6u);
}

TEST(FrameAssembler, BootloaderFramesByCrcAndSilence)
{
    const TBytes closing{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1B};
    TBytes block(16, 0x3C);
    block.push_back(4);
    block = WithCrc(block);
    TFrameAssembler a(TMode::Bootloader, kBootloaderBaud);
    const TMicros gap = a.Gap();

    // A short frame counts only once the line has stayed silent.
    EXPECT_TRUE(a.Push(closing, TMicros{0}).empty());
    EXPECT_TRUE(a.Poll(gap - TMicros{1}).empty());
    auto frames = a.Poll(gap);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], closing);

    EXPECT_TRUE(a.Push(block, 100 * kMs).empty());
    frames = a.Poll(100 * kMs + gap);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], block);

    // A page whose data starts with the closing pattern is not cut after 8 bytes, although
    // its first 8 bytes arrive alone.
    TBytes page(512, 0x00);
    page[7] = 0x1B;
    page[100] = 0x77;
    page.push_back(9);
    page = WithCrc(page);
    const TMicros t{200 * kMs};
    EXPECT_TRUE(a.Push(std::span(page).first(8), t).empty());
    EXPECT_TRUE(a.Poll(t + gap / 2).empty());
    EXPECT_TRUE(a.Push(std::span(page).subspan(8, 300), t + gap / 2).empty());
    frames = a.Push(std::span(page).subspan(308), t + gap);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], page);
    EXPECT_FALSE(a.Deadline().has_value());

    // Noise in front: a page is found at once, a block after the silence.
    frames = a.Push(Concat({{0x55, 0xAA, 0x01}, page}), 400 * kMs);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], page);
    EXPECT_TRUE(a.Push(Concat({{0x99}, block}), 500 * kMs).empty());
    frames = a.Poll(500 * kMs + gap);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], block);

    // Bytes that end in no frame are thrown away by the silence.
    const std::size_t before = a.Discarded();
    EXPECT_TRUE(
        a.Push(TBytes{0x07, 0xA5, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1B}, 600 * kMs).empty());
    EXPECT_TRUE(a.Poll(700 * kMs).empty());
    EXPECT_EQ(a.Buffered(), 0u);
    EXPECT_EQ(a.Discarded() - before, 9u);
}
