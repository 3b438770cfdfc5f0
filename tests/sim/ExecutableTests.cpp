// imconf-sim as a process: its pseudo-terminal, its announced link, and an independent
// Modbus master (mbpoll) talking to it.

#include "ChildProcess.h"
#include "SimTestUtil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace imconf::sim::test;
using imconf::testsupport::RunProgram;
using imconf::testsupport::TChild;
using imconf::testsupport::TTempDir;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

int OpenPort(const std::string& path, speed_t speed)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, speed);
    t.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

void SetSpeed(int fd, speed_t speed)
{
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfsetspeed(&t, speed);
    ::tcsetattr(fd, TCSANOW, &t);
}

// Reads until `count` bytes have come or `timeout` has passed.
TBytes ReadReply(int fd, std::size_t count, milliseconds timeout)
{
    TBytes out;
    const auto deadline = Clock::now() + timeout;
    while (out.size() < count && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0)
            continue;
        std::uint8_t buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string ReadLink(const std::string& path)
{
    char buffer[256] = {};
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool OnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

TEST(ImconfSim, ServesItsPtyAndAnnouncesIt)
{
    TTempDir folder;
    ASSERT_FALSE(folder.Path().empty());
    const std::string log = folder.Path() + "/sim.log";
    TChild sim({IMCONF_SIM_EXE, "--address", "200"}, folder.Path(), log);
    ASSERT_TRUE(sim.Started());
    const std::string pty = sim.ReadLine(milliseconds(5000));
    ASSERT_EQ(pty.rfind("/dev/pts/", 0), 0u)
        << "first line '" << pty << "', log: " << ReadFile(log);
    const std::string link = folder.Path() + "/imconf/ports/sim200";
    EXPECT_EQ(ReadLink(link), pty);

    const int fd = OpenPort(pty, B9600);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    const TBytes probe = ReadFrame(200, 0, 1);
    ASSERT_EQ(::write(fd, probe.data(), probe.size()), static_cast<ssize_t>(probe.size()));
    const TBytes reply = ReadReply(fd, 7, milliseconds(2000));
    EXPECT_EQ(reply[0], 200);
    EXPECT_EQ(Values(reply), std::vector<std::uint16_t>{24});

    // At a port speed other than the module's, the module hears nothing it understands.
    SetSpeed(fd, B19200);
    ASSERT_EQ(::write(fd, probe.data(), probe.size()), static_cast<ssize_t>(probe.size()));
    EXPECT_TRUE(ReadReply(fd, 7, milliseconds(300)).empty());
    SetSpeed(fd, B9600);
    std::this_thread::sleep_for(milliseconds(50));  // silence, so the next request stands alone
    ASSERT_EQ(::write(fd, probe.data(), probe.size()), static_cast<ssize_t>(probe.size()));
    EXPECT_EQ(Values(ReadReply(fd, 7, milliseconds(2000))), std::vector<std::uint16_t>{24});

    // Closing the port does not end the simulator; a new open finds it serving.
    ::close(fd);
    const int again = OpenPort(link, B9600);
    ASSERT_GE(again, 0);
    ASSERT_EQ(::write(again, probe.data(), probe.size()), static_cast<ssize_t>(probe.size()));
    EXPECT_EQ(Values(ReadReply(again, 7, milliseconds(2000))), std::vector<std::uint16_t>{24});
    ::close(again);

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(milliseconds(5000)), 0);
    EXPECT_FALSE(Exists(link));
}

TEST(ImconfSim, PacedRepliesTakeTheirLineTime)
{
    TTempDir folder;
    const std::string log = folder.Path() + "/sim.log";
    // A stale link of the same name is replaced.
    ASSERT_EQ(::mkdir((folder.Path() + "/imconf").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((folder.Path() + "/imconf/ports").c_str(), 0700), 0);
    const std::string link = folder.Path() + "/imconf/ports/slow";
    ASSERT_EQ(::symlink("/nonexistent", link.c_str()), 0);

    TChild sim({IMCONF_SIM_EXE, "--baud", "1200", "--pace", "--name", "slow", "--think", "0"},
               folder.Path(), log);
    const std::string pty = sim.ReadLine(milliseconds(5000));
    ASSERT_FALSE(pty.empty()) << ReadFile(log);
    EXPECT_EQ(ReadLink(link), pty);
    const int fd = OpenPort(pty, B1200);
    ASSERT_GE(fd, 0);
    const TBytes read = ReadFrame(247, 0x0100, 32);
    const auto start = Clock::now();
    ASSERT_EQ(::write(fd, read.data(), read.size()), static_cast<ssize_t>(read.size()));
    const TBytes reply = ReadReply(fd, 69, milliseconds(5000));
    const auto took = Clock::now() - start;
    EXPECT_EQ(Values(reply).size(), 32u);
    // 69 bytes at 1200 baud are 575 ms on the line; the first byte leaves at once.
    EXPECT_GE(took, milliseconds(560));
    EXPECT_LT(took, milliseconds(3000));
    ::close(fd);

    sim.Signal(SIGINT);
    EXPECT_EQ(sim.Wait(milliseconds(5000)), 0);
    EXPECT_FALSE(Exists(link));
}

TEST(ImconfSim, EchoingUsbAdapterHandsTheRequestBackBeforeTheReply)
{
    TTempDir folder;
    const std::string log = folder.Path() + "/sim.log";
    TChild sim({IMCONF_SIM_EXE, "--echo", "--usb-latency", "16", "--no-announce"}, folder.Path(),
               log);
    const std::string pty = sim.ReadLine(milliseconds(5000));
    ASSERT_FALSE(pty.empty()) << ReadFile(log);
    const int fd = OpenPort(pty, B9600);
    ASSERT_GE(fd, 0);
    const TBytes request = ReadFrame(247, 0x0000, 1);
    ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    const TBytes got = ReadReply(fd, 15, milliseconds(5000));
    ASSERT_EQ(got.size(), 15u);
    EXPECT_EQ(TBytes(got.begin(), got.begin() + 8), request);
    EXPECT_EQ(Values(TBytes(got.begin() + 8, got.end())), std::vector<std::uint16_t>{24});
    ::close(fd);
    sim.Signal(SIGINT);
    EXPECT_EQ(sim.Wait(milliseconds(5000)), 0);
}

TEST(ImconfSim, RefusesBadConfigurationWithTheLine)
{
    TTempDir folder;
    const std::string config = folder.Path() + "/bad.cfg";
    std::ofstream(config) << "address = 5\nspeed = 12\n";
    const std::string log = folder.Path() + "/sim.log";
    TChild sim({IMCONF_SIM_EXE, "--config", config}, folder.Path(), log);
    EXPECT_EQ(sim.ReadLine(milliseconds(5000)), "");
    EXPECT_EQ(sim.Wait(milliseconds(5000)), 1);
    EXPECT_NE(ReadFile(log).find(config + ":2: register 0x0002: speed code must be 1..8"),
              std::string::npos)
        << ReadFile(log);
    EXPECT_FALSE(Exists(folder.Path() + "/imconf/ports/sim5"));
}

TEST(ImconfSim, DoesNotAnnounceIntoAFolderItDidNotMake)
{
    // The announce folder is a link to a folder someone else chose.
    TTempDir folder;
    const std::string planted = folder.Path() + "/planted";
    ASSERT_EQ(::mkdir(planted.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(planted.c_str(), (folder.Path() + "/imconf").c_str()), 0);
    const std::string log = folder.Path() + "/sim.log";
    TChild sim({IMCONF_SIM_EXE}, folder.Path(), log);
    EXPECT_EQ(sim.ReadLine(milliseconds(5000)), "");
    EXPECT_EQ(sim.Wait(milliseconds(5000)), 1);
    EXPECT_NE(ReadFile(log).find(folder.Path() + "/imconf: a symbolic link; not announcing"),
              std::string::npos)
        << ReadFile(log);
    EXPECT_FALSE(Exists(planted + "/ports"));
}

namespace {

// mbpoll as a master on the module's line: holding registers, one poll. mbpoll's defaults
// are 19200 baud with even parity; the module runs 9600 8N1. -0 makes references the register
// numbers, -1 polls once, -o is the response time-out in seconds.
int RunMbpoll(const std::string& folder, std::vector<std::string> extra, std::string& output)
{
    std::vector<std::string> args{"mbpoll", "-m", "rtu", "-a", "247", "-b", "9600", "-P",
                                  "none",   "-t", "4",   "-0", "-1",  "-o", "2"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProgram(args, output, milliseconds(15000), folder);
}

}  // namespace

TEST(MbpollIntegration, ReadsAndWritesRegisters)
{
    if (!OnPath("mbpoll"))
        GTEST_SKIP()
            << "mbpoll not installed (Debian package mbpoll); the integration test needs it";
    TTempDir folder;
    const std::string log = folder.Path() + "/sim.log";
    TChild sim({IMCONF_SIM_EXE, "-v"}, folder.Path(), log);
    const std::string pty = sim.ReadLine(milliseconds(5000));
    ASSERT_FALSE(pty.empty()) << ReadFile(log);

    auto mbpoll = [&](std::vector<std::string> extra, std::string& output) {
        return RunMbpoll(folder.Path(), std::move(extra), output);
    };
    std::string out;
    ASSERT_EQ(mbpoll({"-r", "0", "-c", "1", pty}, out), 0) << out;
    EXPECT_NE(out.find("[0]: \t24\n"), std::string::npos) << out;

    ASSERT_EQ(mbpoll({"-r", "256", "-c", "32", pty}, out), 0) << out;
    for (int i = 0; i < 32; ++i)
        EXPECT_NE(out.find("[" + std::to_string(256 + i) + "]: \t" + std::to_string(i) + "\n"),
                  std::string::npos)
            << i << "\n"
            << out;

    ASSERT_EQ(mbpoll({"-r", "288", pty, "5"}, out), 0) << out;
    EXPECT_NE(out.find("Written 1 references"), std::string::npos) << out;
    ASSERT_EQ(mbpoll({"-r", "288", "-c", "1", pty}, out), 0) << out;
    EXPECT_NE(out.find("[288]: \t5\n"), std::string::npos) << out;

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(milliseconds(5000)), 0);
    // The single value went out as a function-6 request (and came back as its echo).
    EXPECT_NE(ReadFile(log).find("<- F7 06 01 20 00 05 "), std::string::npos) << ReadFile(log);
}

TEST(MbpollIntegration, WritesSeveralRegistersAndReportsExceptions)
{
    if (!OnPath("mbpoll"))
        GTEST_SKIP()
            << "mbpoll not installed (Debian package mbpoll); the integration test needs it";
    TTempDir folder;
    const std::string log = folder.Path() + "/sim.log";
    TChild sim({IMCONF_SIM_EXE, "-v", "--no-announce"}, folder.Path(), log);
    const std::string pty = sim.ReadLine(milliseconds(5000));
    ASSERT_FALSE(pty.empty()) << ReadFile(log);

    auto mbpoll = [&](std::vector<std::string> extra, std::string& output) {
        return RunMbpoll(folder.Path(), std::move(extra), output);
    };
    auto expectValues = [&](int first, const std::vector<int>& values) {
        std::string out;
        ASSERT_EQ(
            mbpoll({"-r", std::to_string(first), "-c", std::to_string(values.size()), pty}, out), 0)
            << out;
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_NE(out.find("[" + std::to_string(first + static_cast<int>(i)) + "]: \t" +
                               std::to_string(values[i]) + "\n"),
                      std::string::npos)
                << first + static_cast<int>(i) << "\n"
                << out;
    };
    std::string out;

    // Several values after the port go out as one function-16 request.
    ASSERT_EQ(mbpoll({"-r", "256", pty, "513", "4610", "17"}, out), 0) << out;
    EXPECT_NE(out.find("Written 3 references"), std::string::npos) << out;
    expectValues(256, {513, 4610, 17, 3});
    // One write across the end of the link area, the node count and the first node type.
    ASSERT_EQ(mbpoll({"-r", "280", pty, "1", "2", "3", "4", "5", "6", "7", "8", "9", "22"}, out), 0)
        << out;
    expectValues(280, {1, 2, 3, 4, 5, 6, 7, 8, 9, 22, 255});

    // Outside the map: registers 3..34 are a gap, 0x0160 is the last register, and the
    // identification cannot be written.
    EXPECT_NE(mbpoll({"-r", "3", "-c", "1", pty}, out), 0) << out;
    EXPECT_NE(out.find("Illegal data address"), std::string::npos) << out;
    EXPECT_NE(mbpoll({"-r", "351", "-c", "3", pty}, out), 0) << out;
    EXPECT_NE(out.find("Illegal data address"), std::string::npos) << out;
    EXPECT_NE(mbpoll({"-r", "0", pty, "5"}, out), 0) << out;
    EXPECT_NE(out.find("Illegal data address"), std::string::npos) << out;
    // A value the module refuses (node count 40) fails the whole function-16 write.
    EXPECT_NE(mbpoll({"-r", "287", pty, "100", "40"}, out), 0) << out;
    EXPECT_NE(out.find("Illegal data value"), std::string::npos) << out;
    expectValues(287, {8, 9});

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(milliseconds(5000)), 0);
    const std::string trace = ReadFile(log);
    EXPECT_NE(trace.find("<- F7 10 01 00 00 03 06 02 01 12 02 00 11 "), std::string::npos) << trace;
    EXPECT_NE(trace.find("-> F7 83 02 "), std::string::npos) << trace;
    EXPECT_NE(trace.find("-> F7 90 03 "), std::string::npos) << trace;
}
