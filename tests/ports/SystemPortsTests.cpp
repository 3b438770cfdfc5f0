// The rules for port names that hold on every platform.

#include "serial/SystemPorts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace imconf {
namespace {

TEST(SystemPorts, NaturalOrder)
{
    const std::vector<std::string> ordered = {
        "rfcomm0", "ttyACM0", "ttyACM2", "ttyAMA0", "ttyS",     "ttyS0",   "ttyS1",   "ttyS2",
        "ttyS9",   "ttyS10",  "ttyS11",  "ttyS100", "ttyS100a", "ttyUSB0", "ttyUSB1", "ttyUSB10"};
    std::vector<std::string> shuffled = ordered;
    std::mt19937 rng(7);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    std::sort(shuffled.begin(), shuffled.end(),
              [](const std::string& a, const std::string& b) { return NaturalPortLess(a, b); });
    EXPECT_EQ(shuffled, ordered);

    // Names equal by value still have exactly one order, and nothing is less than itself.
    EXPECT_NE(NaturalPortLess("ttyS01", "ttyS1"), NaturalPortLess("ttyS1", "ttyS01"));
    EXPECT_FALSE(NaturalPortLess("ttyS1", "ttyS1"));
    // Numbers longer than any integer type.
    EXPECT_TRUE(NaturalPortLess("p99999999999999999999999", "p100000000000000000000000"));
}

TEST(SystemPorts, UsablePortNames)
{
    for (const char* good : {"ttyS0", "sim247", "COM1", "my port", "порт1"})
        EXPECT_TRUE(IsUsablePortName(good)) << good;
    for (const std::string& bad :
         {std::string(), std::string("."), std::string(".."), std::string("a/b"),
          std::string("a\tb"), std::string("a\x7f"), std::string("a\0b", 3),
          std::string("\xCF\xCE"), std::string(256, 'x')})
        EXPECT_FALSE(IsUsablePortName(bad)) << bad;
}

}  // namespace
}  // namespace imconf
