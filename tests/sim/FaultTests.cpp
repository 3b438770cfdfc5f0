#include "Faults.h"
#include "ModuleSimulator.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace imconf;
using namespace imconf::sim;
using namespace imconf::sim::test;

namespace {

const TBytes kProbe = ReadFrame(247, 0, 1);
const TBytes kGoodReply{0xF7, 0x03, 0x02, 0x00, 0x18, 0x70, 0x5B};

TFaultRule Every(TFaultKind kind, unsigned n, unsigned arg = 0)
{
    TFaultRule rule;
    rule.kind = kind;
    rule.everyN = n;
    rule.arg = arg;
    return rule;
}

}  // namespace

TEST(Faults, EachKindOnEverySecondReply)
{
    struct TCase {
        TFaultRule rule;
        void (*check)(const TReply&);
    };
    const TCase cases[] = {
        {Every(TFaultKind::Drop, 2), [](const TReply& r) { EXPECT_TRUE(r.Empty()); }},
        {Every(TFaultKind::CorruptCrc, 2),
         [](const TReply& r) {
             ASSERT_EQ(r.bytes.size(), 7u);
             EXPECT_EQ(TBytes(r.bytes.begin(), r.bytes.begin() + 6),
                       TBytes(kGoodReply.begin(), kGoodReply.begin() + 6));
             EXPECT_FALSE(CrcMatches(r.bytes.data(), 7));
         }},
        {Every(TFaultKind::Short, 2),
         [](const TReply& r) {
             EXPECT_EQ(r.bytes, TBytes(kGoodReply.begin(), kGoodReply.begin() + 3));
         }},
        {Every(TFaultKind::Short, 2, 5),
         [](const TReply& r) {
             EXPECT_EQ(r.bytes, TBytes(kGoodReply.begin(), kGoodReply.begin() + 5));
         }},
        {Every(TFaultKind::Garbage, 2),
         [](const TReply& r) {
             ASSERT_EQ(r.bytes.size(), 7u);
             EXPECT_NE(r.bytes, kGoodReply);
             EXPECT_FALSE(CrcMatches(r.bytes.data(), 7));
         }},
        {Every(TFaultKind::Garbage, 2, 40),
         [](const TReply& r) { EXPECT_EQ(r.bytes.size(), 40u); }},
        {Every(TFaultKind::Late, 2, 250),
         [](const TReply& r) {
             EXPECT_EQ(r.bytes, kGoodReply);
             EXPECT_EQ(r.delay, kDefaultThinkTime + std::chrono::milliseconds(250));
         }},
        {Every(TFaultKind::Late, 2),
         [](const TReply& r) {
             EXPECT_EQ(r.delay, kDefaultThinkTime + std::chrono::milliseconds(1000));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(FaultName(c.rule.kind)) + " arg " + std::to_string(c.rule.arg));
        TModuleSimulator sim;
        sim.Faults().Add(c.rule);
        for (int i = 1; i <= 4; ++i) {
            const TReply reply = sim.Receive(kProbe);
            if (i % 2 == 1) {
                EXPECT_EQ(reply.bytes, kGoodReply);
                EXPECT_EQ(reply.delay, kDefaultThinkTime);
                EXPECT_TRUE(sim.LastFaults().empty());
            } else {
                c.check(reply);
                ASSERT_EQ(sim.LastFaults().size(), 1u);
                EXPECT_EQ(sim.LastFaults()[0], c.rule.kind);
            }
        }
        EXPECT_EQ(sim.Faults().Fired(c.rule.kind), 2u);
        EXPECT_EQ(sim.Faults().RepliesSeen(), 4u);
    }
}

TEST(Faults, SilentRequestsAreNotCountedAndDropStillActs)
{
    TModuleSimulator sim;
    sim.Faults().Add(Every(TFaultKind::Drop, 2));
    EXPECT_FALSE(sim.Receive(kProbe).Empty());              // reply 1
    EXPECT_TRUE(sim.Receive(ReadFrame(12, 0, 1)).Empty());  // nobody there: not a reply
    // Reply 2 is lost on the line, but the module did the write; nobody reports the
    // reply as sent, yet the new address is in effect at once.
    EXPECT_TRUE(sim.Receive(WriteFrame(247, reg::Address, 9)).Empty());
    EXPECT_EQ(sim.Module().Address(), 9);
    EXPECT_EQ(sim.Faults().RepliesSeen(), 2u);
}

TEST(Faults, RandomFaultsFollowTheSeed)
{
    auto pattern = [](std::uint32_t seed, double p) {
        TModuleSimulator sim;
        sim.Faults().Seed(seed);
        TFaultRule rule;
        rule.kind = TFaultKind::Drop;
        rule.probability = p;
        sim.Faults().Add(rule);
        std::string out;
        for (int i = 0; i < 400; ++i)
            out += sim.Receive(kProbe).Empty() ? 'x' : '.';
        return out;
    };
    const std::string a = pattern(7, 0.25);
    EXPECT_EQ(a, pattern(7, 0.25));
    EXPECT_NE(a, pattern(8, 0.25));
    const auto drops = std::count(a.begin(), a.end(), 'x');
    EXPECT_GT(drops, 60);
    EXPECT_LT(drops, 140);
    EXPECT_EQ(pattern(3, 1.0), std::string(400, 'x'));

    // Garbage is drawn from the same seed: the same run gives the same bytes.
    auto garbage = [](std::uint32_t seed) {
        TModuleSimulator sim;
        sim.Faults().Seed(seed);
        sim.Faults().Add(Every(TFaultKind::Garbage, 1, 16));
        return sim.Receive(kProbe).bytes;
    };
    EXPECT_EQ(garbage(5), garbage(5));
    EXPECT_NE(garbage(5), garbage(6));
}

TEST(Faults, CountAndRateCombine)
{
    TModuleSimulator sim;
    sim.Faults().Add(Every(TFaultKind::Late, 3, 100));
    TFaultRule rule = Every(TFaultKind::CorruptCrc, 3);  // both on the third reply
    sim.Faults().Add(rule);
    sim.Receive(kProbe);
    sim.Receive(kProbe);
    const TReply third = sim.Receive(kProbe);
    EXPECT_FALSE(CrcMatches(third.bytes.data(), third.bytes.size()));
    EXPECT_EQ(third.delay, kDefaultThinkTime + std::chrono::milliseconds(100));
    EXPECT_EQ(sim.LastFaults().size(), 2u);
}

TEST(Faults, ParsingTheCommandLineForms)
{
    std::string error;
    auto every = ParseFaultEvery("drop:3", error);
    ASSERT_TRUE(every) << error;
    EXPECT_EQ(every->kind, TFaultKind::Drop);
    EXPECT_EQ(every->everyN, 3u);
    EXPECT_EQ(every->arg, 0u);
    every = ParseFaultEvery("late:1:250", error);
    ASSERT_TRUE(every) << error;
    EXPECT_EQ(every->kind, TFaultKind::Late);
    EXPECT_EQ(every->arg, 250u);
    auto rate = ParseFaultRate("garbage:0.5:12", error);
    ASSERT_TRUE(rate) << error;
    EXPECT_EQ(rate->kind, TFaultKind::Garbage);
    EXPECT_DOUBLE_EQ(rate->probability, 0.5);
    EXPECT_EQ(rate->everyN, 0u);
    EXPECT_EQ(rate->arg, 12u);

    for (const char* bad :
         {"drop", "drop:0", "drop:x", "bogus:1", "short:2:", "short:2:0", "late:-1"}) {
        error.clear();
        EXPECT_FALSE(ParseFaultEvery(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    for (const char* bad : {"crc:0", "crc:1.5", "crc:abc", "crc:0.5x", "crc:"}) {
        error.clear();
        EXPECT_FALSE(ParseFaultRate(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}
