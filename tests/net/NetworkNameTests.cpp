// Network port names and the user's list of network ports.

#include "serial/NetworkPortFile.h"
#include "serial/NetworkPortName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "FreshFolder.h"

using namespace imconf;

TEST(NetworkPortName, HostsPortsAndLatencyAreTakenApart)
{
    const auto v4 = ParseNetworkPortName("tcp://192.168.1.20:4001");
    ASSERT_TRUE(v4);
    EXPECT_EQ(v4->host, "192.168.1.20");
    EXPECT_EQ(v4->port, 4001);
    EXPECT_FALSE(v4->latencyMs);

    const auto named = ParseNetworkPortName("tcp://moxa-hall_2.example:502?latency=250");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->host, "moxa-hall_2.example");
    EXPECT_EQ(named->port, 502);
    EXPECT_EQ(named->latencyMs, 250u);

    const auto v6 = ParseNetworkPortName("tcp://[fe80::1%eth0]:65535?latency=0");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "fe80::1%eth0");
    EXPECT_EQ(v6->port, 65535);
    EXPECT_EQ(v6->latencyMs, 0u);
}

TEST(NetworkPortName, MalformedNamesAreRefusedButStillCountAsNetworkNames)
{
    for (const char* bad : {"tcp://",
                            "tcp://host",
                            "tcp://host:",
                            "tcp://:502",
                            "tcp://host:0",
                            "tcp://host:65536",
                            "tcp://host:+5",
                            "tcp://host:5 ",
                            "tcp://ho st:5",
                            "tcp://::1:502",
                            "tcp://[::1]502",
                            "tcp://[]:5",
                            "tcp://[::1%]:5",
                            "tcp://[::1%e/0]:5",
                            "tcp://[host]:5",
                            "tcp://h:5?latency=",
                            "tcp://h:5?latency=10001",
                            "tcp://h:5?latency=-1",
                            "tcp://h:5?delay=3",
                            "tcp://h:5/x"}) {
        EXPECT_FALSE(ParseNetworkPortName(bad)) << bad;
        EXPECT_TRUE(IsNetworkPortName(bad)) << bad;
    }
    for (const char* serial : {"COM3", "ttyUSB0", "/dev/ttyS0", "TCP://h:5", " tcp://h:5"})
        EXPECT_FALSE(IsNetworkPortName(serial)) << serial;
}

TEST(NetworkPortFile, CommentsBlanksMalformedAndRepeatedLinesAreLeftOut)
{
    const std::vector<std::string> lines{"# hall A",
                                         "",
                                         "  tcp://10.0.0.5:4001  ",
                                         "\t# tcp://10.0.0.6:4001",
                                         "COM3",
                                         "tcp://10.0.0.7",
                                         "tcp://[::1]:5020?latency=300",
                                         "tcp://10.0.0.5:4001"};
    EXPECT_EQ(NetworkPortsFromLines(lines),
              (std::vector<std::string>{"tcp://10.0.0.5:4001", "tcp://[::1]:5020?latency=300"}));

    std::vector<std::string> many;
    for (int i = 1; i <= 40; ++i)
        many.push_back("tcp://h:" + std::to_string(i));
    EXPECT_EQ(NetworkPortsFromLines(many).size(), kMaxNetworkPorts);
}

TEST(NetworkPortFile, ReadFromItsFileAndNothingWhenTheFileIsMissing)
{
    const std::filesystem::path folder = testsupport::MakeFreshFolder("imconf-net-");
    const std::string path = (folder / kNetworkPortsFileName).string();
    EXPECT_TRUE(ReadNetworkPortsFile(path).empty());
    EXPECT_TRUE(ReadNetworkPortsFile("").empty());
    std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBFtcp://a:1\r\n# x\r\ntcp://b:2";
    EXPECT_EQ(ReadNetworkPortsFile(path), (std::vector<std::string>{"tcp://a:1", "tcp://b:2"}));
    std::filesystem::remove_all(folder);
}
