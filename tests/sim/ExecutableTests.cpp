// imconf-sim as a process: its pseudo-terminal, its announced link, and an independent
// Modbus master (mbpoll) talking to it.

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
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// A temporary folder, removed with everything in it.
class TTempDir {
public:
    TTempDir()
    {
        char pattern[] = "/tmp/imconf-sim-test-XXXXXX";
        if (::mkdtemp(pattern) != nullptr)
            path_ = pattern;
    }
    ~TTempDir()
    {
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::vector<char*> Argv(std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// A child process with its stdout on a pipe and its stderr in a file.
class TChild {
public:
    TChild(std::vector<std::string> args, const std::string& runtimeDir, const std::string& stderrPath)
    {
        int out[2];
        if (::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e)
            if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0)
                env.emplace_back(*e);
        env.push_back("XDG_RUNTIME_DIR=" + runtimeDir);
        auto argv = Argv(args);
        auto envp = Argv(env);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
    }
    ~TChild()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
    }
    bool Started() const { return pid_ > 0; }

    // The first line of stdout, empty when none came within `timeout`.
    std::string ReadLine(milliseconds timeout)
    {
        std::string line;
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0)
                continue;
            char c = 0;
            if (::read(out_, &c, 1) != 1)
                break;
            if (c == '\n')
                return line;
            line += c;
        }
        return {};
    }

    void Signal(int sig) { ::kill(pid_, sig); }

    // Exit status, or -1 when the child did not end within `timeout`.
    int Wait(milliseconds timeout)
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(milliseconds(10));
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

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

// Runs a program to its end (at most `timeout`); `output` gets its stdout and stderr.
int RunProgram(std::vector<std::string> args, std::string& output, milliseconds timeout, const std::string& folder)
{
    const std::string outPath = folder + "/run.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    auto argv = Argv(args);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    const auto deadline = Clock::now() + timeout;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            output = ReadFile(outPath);
            return -1;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    output = ReadFile(outPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    ASSERT_EQ(pty.rfind("/dev/pts/", 0), 0u) << "first line '" << pty << "', log: " << ReadFile(log);
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

    TChild sim({IMCONF_SIM_EXE, "--baud", "1200", "--pace", "--name", "slow", "--think", "0"}, folder.Path(), log);
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

TEST(ImconfSim, RefusesBadConfigurationWithTheLine)
{
    TTempDir folder;
    const std::string config = folder.Path() + "/bad.cfg";
    std::ofstream(config) << "address = 5\nspeed = 12\n";
    const std::string log = folder.Path() + "/sim.log";
    TChild sim({IMCONF_SIM_EXE, "--config", config}, folder.Path(), log);
    EXPECT_EQ(sim.ReadLine(milliseconds(5000)), "");
    EXPECT_EQ(sim.Wait(milliseconds(5000)), 1);
    EXPECT_NE(ReadFile(log).find(config + ":2: register 0x0002: speed code must be 1..8"), std::string::npos)
        << ReadFile(log);
    EXPECT_FALSE(Exists(folder.Path() + "/imconf/ports/sim5"));
}

TEST(MbpollIntegration, ReadsAndWritesRegisters)
{
    if (!OnPath("mbpoll"))
        GTEST_SKIP() << "mbpoll not installed (Debian package mbpoll); the integration test needs it";
    TTempDir folder;
    const std::string log = folder.Path() + "/sim.log";
    TChild sim({IMCONF_SIM_EXE, "-v"}, folder.Path(), log);
    const std::string pty = sim.ReadLine(milliseconds(5000));
    ASSERT_FALSE(pty.empty()) << ReadFile(log);

    // mbpoll's defaults are 19200 baud with even parity; the module runs 9600 8N1. -0 makes
    // references the register numbers, -1 polls once, -o is the response time-out in seconds.
    auto mbpoll = [&](std::vector<std::string> extra, std::string& output) {
        std::vector<std::string> args{"mbpoll", "-m", "rtu", "-a", "247", "-b", "9600", "-P", "none",
                                      "-t", "4", "-0", "-1", "-o", "2"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProgram(args, output, milliseconds(15000), folder.Path());
    };
    std::string out;
    ASSERT_EQ(mbpoll({"-r", "0", "-c", "1", pty}, out), 0) << out;
    EXPECT_NE(out.find("[0]: \t24\n"), std::string::npos) << out;

    ASSERT_EQ(mbpoll({"-r", "256", "-c", "32", pty}, out), 0) << out;
    for (int i = 0; i < 32; ++i)
        EXPECT_NE(out.find("[" + std::to_string(256 + i) + "]: \t" + std::to_string(i) + "\n"), std::string::npos)
            << i << "\n" << out;

    ASSERT_EQ(mbpoll({"-r", "288", pty, "5"}, out), 0) << out;
    EXPECT_NE(out.find("Written 1 references"), std::string::npos) << out;
    ASSERT_EQ(mbpoll({"-r", "288", "-c", "1", pty}, out), 0) << out;
    EXPECT_NE(out.find("[288]: \t5\n"), std::string::npos) << out;

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(milliseconds(5000)), 0);
    // The single value went out as a function-6 request (and came back as its echo).
    EXPECT_NE(ReadFile(log).find("<- F7 06 01 20 00 05 "), std::string::npos) << ReadFile(log);
}
