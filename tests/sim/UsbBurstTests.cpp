// The USB adapter's burst delivery: held bytes go on at the latency timer's tick, a full
// packet at once.

#include "Adapter.h"

#include <gtest/gtest.h>

using namespace imconf::sim;
using namespace std::chrono_literals;

TEST(UsbBurst, HeldBytesGoOnAtTheNextTickAndFullPacketsAtOnce)
{
    TUsbBurst burst(16ms);
    EXPECT_FALSE(burst.Deadline());
    const std::vector<std::uint8_t> seven(7, 0x11);
    EXPECT_TRUE(burst.Push(seven, TMicros(20000)).empty());
    ASSERT_TRUE(burst.Deadline());
    EXPECT_EQ(*burst.Deadline(), TMicros(32000));  // ticks every 16 ms from time 0
    EXPECT_TRUE(burst.Poll(TMicros(31999)).empty());
    EXPECT_EQ(burst.Poll(TMicros(32000)), seven);
    EXPECT_TRUE(burst.Empty());

    // 69 bytes: one packet of 62 at once, the last 7 at the tick.
    std::vector<std::uint8_t> reply(69);
    for (std::size_t i = 0; i < reply.size(); ++i)
        reply[i] = static_cast<std::uint8_t>(i);
    const auto packet = burst.Push(reply, TMicros(40000));
    ASSERT_EQ(packet.size(), kUsbPacketBytes);
    EXPECT_EQ(packet.back(), 61);
    EXPECT_EQ(*burst.Deadline(), TMicros(48000));
    EXPECT_EQ(burst.Poll(TMicros(50000)),
              std::vector<std::uint8_t>(reply.begin() + 62, reply.end()));
}
