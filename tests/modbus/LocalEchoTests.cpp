// Local echo taken out of the received bytes: what reaches the engine, and when.

#include "modbus/Frames.h"
#include "modbus/LocalEcho.h"
#include "serial/EchoReads.h"

#include <gtest/gtest.h>

#include <vector>

using namespace imconf;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Cat(const Bytes& a, const Bytes& b)
{
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

Bytes Part(const Bytes& bytes, std::size_t from, std::size_t to)
{
    return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
            bytes.begin() + static_cast<std::ptrdiff_t>(to)};
}

const Bytes kProbe{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
const Bytes kProbeReply{0x01, 0x03, 0x02, 0x00, 0x18, 0xB8, 0x4E};
const Bytes kSoundOff{0xF7, 0x06, 0x00, 0x24, 0xA5, 0x5A, 0x26, 0x3C};

}  // namespace

TEST(LocalEcho, RepliesWithoutEchoGoOnAtOnceAsTheyCame)
{
    LocalEcho echo;
    echo.Sent(kProbe, 7);
    // The reply begins like the request (address, function): still no echo, nothing held.
    auto taken = echo.Take(kProbeReply, true);
    EXPECT_TRUE(taken.store);
    EXPECT_TRUE(taken.complete);
    EXPECT_EQ(taken.reply, kProbeReply);
    EXPECT_FALSE(echo.Known());

    // A function-16 reply repeats the request's first six bytes.
    TFrameBuffer frame{};
    const std::vector<std::uint16_t> values(24, 0x0101);
    const std::size_t length = BuildWriteRegisters(frame, 247, 0x0100, values);
    const Bytes request(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(length));
    const Bytes reply{0xF7, 0x10, 0x01, 0x00, 0x00, 0x18, 0x55, 0xAA};
    echo.Sent(request, 8);
    taken = echo.Take(reply, true);
    EXPECT_TRUE(taken.store);
    EXPECT_EQ(taken.reply, reply);
}

TEST(LocalEcho, EchoIsDroppedAndTheReplyGathered)
{
    LocalEcho echo;
    echo.Sent(kProbe, 7);
    // Reads of the reply's length: the echo's first 7 bytes, its last byte with 6 of the reply,
    // then the reply's last byte after the line fell silent.
    auto taken = echo.Take(Part(kProbe, 0, 7), true);
    EXPECT_FALSE(taken.store);
    taken = echo.Take(Cat(Part(kProbe, 7, 8), Part(kProbeReply, 0, 6)), true);
    EXPECT_TRUE(taken.detected);
    EXPECT_TRUE(echo.Known());
    EXPECT_TRUE(taken.store);
    EXPECT_FALSE(taken.complete);  // a byte is missing and the read ended on its count
    EXPECT_EQ(taken.reply, Part(kProbeReply, 0, 6));
    taken = echo.Take(Part(kProbeReply, 6, 7), false);
    EXPECT_TRUE(taken.complete);
    EXPECT_EQ(taken.reply, kProbeReply);

    // Known now: the echo alone brings nothing, the reply after it is whole, and the port is
    // not announced again.
    echo.Sent(kProbe, 7);
    taken = echo.Take(kProbe, true);
    EXPECT_FALSE(taken.store);
    EXPECT_FALSE(taken.detected);
    taken = echo.Take(kProbeReply, true);
    EXPECT_TRUE(taken.complete);
    EXPECT_EQ(taken.reply, kProbeReply);

    // An echo whose reply is cut short by the line's silence ends there.
    echo.Sent(kProbe, 7);
    taken = echo.Take(Cat(kProbe, Part(kProbeReply, 0, 3)), false);
    EXPECT_TRUE(taken.complete);
    EXPECT_EQ(taken.reply, Part(kProbeReply, 0, 3));

    echo.Forget();  // another port
    EXPECT_FALSE(echo.Known());
    echo.Sent(kProbe, 7);
    EXPECT_TRUE(echo.Take(Cat(kProbe, kProbeReply), true).detected);
}

TEST(LocalEcho, RequestLongReplyPassesFirstAndItsSecondCopyIsDropped)
{
    LocalEcho echo;
    // Not known yet: the first copy is the reply (without delay); the second is dropped. It
    // proves no echo: a reply held back behind a late one of the same command looks the same.
    echo.Sent(kSoundOff, 8);
    auto taken = echo.Take(kSoundOff, true);
    EXPECT_TRUE(taken.store);
    EXPECT_TRUE(taken.complete);
    EXPECT_EQ(taken.reply, kSoundOff);
    EXPECT_FALSE(echo.Known());
    taken = echo.Take(kSoundOff, true);
    EXPECT_FALSE(taken.store);
    EXPECT_FALSE(taken.detected);
    EXPECT_FALSE(echo.Known());
    // A request whose reply differs proves it.
    echo.Sent(kProbe, kProbeReply.size());
    taken = echo.Take(Cat(kProbe, kProbeReply), true);
    EXPECT_TRUE(taken.detected);
    EXPECT_TRUE(echo.Known());

    // Known: echo and reply in one block leave the reply.
    echo.Sent(kSoundOff, 8);
    taken = echo.Take(Cat(kSoundOff, kSoundOff), true);
    EXPECT_TRUE(taken.complete);
    EXPECT_EQ(taken.reply, kSoundOff);

    // Without echo, the same command twice: the second reply is no copy of the first.
    LocalEcho plain;
    plain.Sent(kSoundOff, 8);
    EXPECT_EQ(plain.Take(kSoundOff, true).reply, kSoundOff);
    plain.Sent(kSoundOff, 8);
    taken = plain.Take(kSoundOff, true);
    EXPECT_TRUE(taken.store);
    EXPECT_EQ(taken.reply, kSoundOff);
    EXPECT_FALSE(plain.Known());

    // Not known, and the module refuses after the echo: the refusal follows the first copy.
    LocalEcho refused;
    refused.Sent(kSoundOff, 8);
    refused.Take(kSoundOff, true);
    const Bytes exception{0xF7, 0x86, 0x02, 0xC3, 0xA1};
    EXPECT_EQ(refused.Take(exception, false).reply, exception);
}

TEST(LocalEcho, HeldBeginningIsTheReplyWhenTheEchoNeverComesWhole)
{
    // A bootloader page that happens to begin with the acknowledgement's two bytes.
    Bytes page(515, 0x11);
    page[0] = 0x07;
    page[1] = 0xA5;
    LocalEcho echo;
    echo.Sent(page, 2);
    EXPECT_FALSE(echo.Take(Bytes{0x07, 0xA5}, true).store);
    EXPECT_EQ(echo.Release(), (Bytes{0x07, 0xA5}));
    EXPECT_TRUE(echo.Release().empty());
}

TEST(LocalEcho, AdapterThatStopsEchoingIsForgotten)
{
    LocalEcho echo;
    echo.Sent(kProbe, 7);
    echo.Take(Cat(kProbe, kProbeReply), true);
    ASSERT_TRUE(echo.Known());
    echo.Sent(kProbe, 7);
    const auto taken = echo.Take(kProbeReply, false);
    EXPECT_EQ(taken.reply, kProbeReply);
    EXPECT_TRUE(taken.complete);
    EXPECT_FALSE(echo.Known());
}

TEST(EchoReads, EchoIsReadByItsOwnAndTheReplyBehindItAtOnce)
{
    EchoReads reads;
    // Nothing known: reads ask for the reply's length, and a read that ended with the line's
    // silence or brought no echo asks for nothing more.
    reads.Written(kProbe, false);
    EXPECT_EQ(reads.NextLength(7), 7u);
    EXPECT_FALSE(reads.Read(kProbeReply, 7));
    EXPECT_EQ(reads.NextLength(7), 7u);

    // A beginning of the request on the count: the rest of the echo is read by its own, then
    // the reply.
    reads.Written(kProbe, false);
    EXPECT_TRUE(reads.Read(Part(kProbe, 0, 7), 7));
    EXPECT_EQ(reads.NextLength(7), 1u);
    EXPECT_TRUE(reads.Read(Part(kProbe, 7, 8), 1));
    EXPECT_EQ(reads.NextLength(7), 7u);

    // The echo and a part of a long reply in the first read: the next asks for the rest.
    reads.Written(kProbe, false);
    EXPECT_TRUE(reads.Read(Cat(kProbe, Bytes(61, 0)), 69));
    EXPECT_EQ(reads.NextLength(69), 8u);
    EXPECT_FALSE(reads.Read(Bytes(8, 0), 8));
    EXPECT_EQ(reads.NextLength(69), 69u);

    // Known to echo: the first read after the write is the echo's, whatever the reply's length.
    reads.Written(kProbe, true);
    EXPECT_EQ(reads.NextLength(69), 8u);
    EXPECT_TRUE(reads.Read(kProbe, 8));
    EXPECT_EQ(reads.NextLength(69), 69u);
}
