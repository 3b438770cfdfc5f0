#include "ChildProcess.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace imconf::testsupport {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

std::vector<char*> Argv(std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

const char* SimulatorPath()
{
    return IMCONF_SIM_PATH;
}

TTempDir::TTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "imconf-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr)
        path_ = pattern;
}

TTempDir::~TTempDir()
{
    if (path_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

TChild::TChild(std::vector<std::string> args, const std::string& runtimeDir,
               const std::string& stderrPath)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
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

TChild::~TChild()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0)
        ::close(out_);
}

std::string TChild::ReadLine(milliseconds timeout)
{
    std::string line;
    const auto deadline = Clock::now() + timeout;
    while (out_ >= 0 && Clock::now() < deadline) {
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

void TChild::Signal(int sig)
{
    if (pid_ > 0)
        ::kill(pid_, sig);
}

int TChild::Wait(milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (pid_ > 0 && Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    return -1;
}

// Runs a program to its end (at most `timeout`); `output` gets its stdout and stderr.
int RunProgram(std::vector<std::string> args, std::string& output, milliseconds timeout,
               const std::string& folder)
{
    const std::string outPath = folder + "/run.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
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
            output = ReadWholeFile(outPath);
            return -1;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    output = ReadWholeFile(outPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {
std::vector<std::string> SimArgs(std::vector<std::string> options)
{
    std::vector<std::string> args{SimulatorPath()};
    args.insert(args.end(), options.begin(), options.end());
    return args;
}
}  // namespace

TSimProcess::TSimProcess(std::vector<std::string> options)
    : child_(SimArgs(std::move(options)), runtime_.Path(), runtime_.Path() + "/sim.stderr")
{
    if (child_.Started())
        pty_ = child_.ReadLine(milliseconds(10000));
}

}  // namespace imconf::testsupport
