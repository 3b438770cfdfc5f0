// The marks by which serial programs see a port in use: the component refuses a port another
// program marked and never clears that program's marks; while it holds a port its own marks
// are there for others to see, and they go when it closes.

#include "FreshFolder.h"
#include "PtyPair.h"
#include "serial/ComPort.h"
#include "serial/PortMarks.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <csignal>
#include <ctime>
#include <sys/file.h>
#include <sys/stat.h>
#include <vector>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace imconf {
namespace {

std::string PidText(pid_t pid)
{
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool Exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// The open error's operating-system number (0 when the open succeeded).
int OpenError(TCustomComPort& port)
{
    try {
        port.Open();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), comerr::Open);
        return e.WinCode();
    }
    return 0;
}

// The open error's detail: who holds the port.
std::string Refusal(TCustomComPort& port)
{
    try {
        port.Open();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.WinCode(), EBUSY);
        return e.Detail();
    }
    return "opened";
}

// Makes `path` (not what it links to) look written `seconds` ago.
void Age(const std::string& path, int seconds)
{
    timespec times[2]{};
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= seconds;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

std::vector<std::string> FolderNames(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

// The exclusive flag of the terminal open as `fd`.
int ExclusiveFlag(int fd)
{
    int flag = -1;
    EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &flag), 0);
    return flag;
}

class PortMarksTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousFolder_ = linuxtty::LockFolder();
        linuxtty::SetLockFolder(locks_.string());
        port.SetPort(pty.SlavePath());
        // /dev/pts/N -> LCK..pts_N
        lockFile =
            locks_.string() + "/LCK..pts_" + pty.SlavePath().substr(pty.SlavePath().rfind('/') + 1);
    }
    void TearDown() override
    {
        port.Close();
        linuxtty::SetLockFolder(previousFolder_);
        std::error_code ec;
        std::filesystem::remove_all(locks_, ec);
    }

    // Another program's descriptor of the terminal (opened before the port is).
    int OpenOther() const
    {
        return ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }

    std::filesystem::path locks_ = testsupport::MakeFreshFolder("imconf-locks-");
    std::string previousFolder_;
    test::PtyPair pty;
    TComPort port;
    std::string lockFile;
};

TEST(PortMarks, LockFileNamesFollowTheDevicePath)
{
    EXPECT_EQ(linuxtty::LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(linuxtty::LockFileName("/dev/pts/12"), "LCK..pts_12");
    EXPECT_EQ(linuxtty::LockFileName("/srv/nodes/ttyX3"), "LCK..ttyX3");
}

TEST_F(PortMarksTest, PortMarkedByAnotherProgramIsRefusedAndTheMarkKept)
{
    // The exclusive flag. Root (as the tests run in CI) opens the terminal regardless; others
    // are turned away by the kernel. Either way the other program's flag stays set.
    const int flagged = OpenOther();
    ASSERT_GE(flagged, 0);
    ASSERT_EQ(::ioctl(flagged, TIOCEXCL), 0);
    EXPECT_EQ(OpenError(port), EBUSY);
    EXPECT_FALSE(port.Connected());
    port.Close();
    EXPECT_EQ(ExclusiveFlag(flagged), 1);
    ASSERT_EQ(::ioctl(flagged, TIOCNXCL), 0);
    ::close(flagged);

    // An advisory lock held through another open file description.
    const int locked = OpenOther();
    ASSERT_GE(locked, 0);
    ASSERT_EQ(::flock(locked, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(OpenError(port), EBUSY);
    ::close(locked);

    // A lock file of a running process (pid 1 always runs).
    std::ofstream(lockFile) << PidText(1);
    EXPECT_EQ(OpenError(port), EBUSY);
    EXPECT_EQ(ReadFile(lockFile), PidText(1));
    // Unreadable as a process id: it may be being written, so it counts as held too.
    std::ofstream(lockFile, std::ios::trunc) << "";
    EXPECT_EQ(OpenError(port), EBUSY);
    EXPECT_TRUE(Exists(lockFile));

    // With every mark gone the port opens.
    ASSERT_EQ(std::remove(lockFile.c_str()), 0);
    EXPECT_EQ(OpenError(port), 0);
}

TEST_F(PortMarksTest, OurMarksAreSeenWhileWeHoldThePortAndGoneAfter)
{
    // Opened through a link, as an announced port or /dev/serial/by-id/... is: the lock file
    // is named after the device itself.
    const std::string link = locks_.string() + "/COM9";
    std::filesystem::create_symlink(pty.SlavePath(), link);
    port.SetPort(link);
    ASSERT_EQ(OpenError(port), 0);

    EXPECT_EQ(ReadFile(lockFile), PidText(::getpid()));
    const int other = OpenOther();
    if (other >= 0) {  // root: the flag is for asking
        EXPECT_EQ(ExclusiveFlag(other), 1);
        EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), -1);
        EXPECT_EQ(errno, EWOULDBLOCK);
        ::close(other);
    } else {
        EXPECT_EQ(errno, EBUSY);
    }

    port.Close();
    EXPECT_FALSE(Exists(lockFile));
    const int after = OpenOther();
    ASSERT_GE(after, 0);
    EXPECT_EQ(ExclusiveFlag(after), 0);
    EXPECT_EQ(::flock(after, LOCK_EX | LOCK_NB), 0);
    ::close(after);

    // A lock file that replaced ours while we held the port is not ours to remove.
    ASSERT_EQ(OpenError(port), 0);
    ASSERT_EQ(std::remove(lockFile.c_str()), 0);
    std::ofstream(lockFile) << PidText(1);
    port.Close();
    EXPECT_EQ(ReadFile(lockFile), PidText(1));
}

TEST_F(PortMarksTest, StaleLockFileIsReplacedAndAMissingFolderIsNoError)
{
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    std::ofstream(lockFile) << PidText(gone);

    ASSERT_EQ(OpenError(port), 0);
    EXPECT_EQ(ReadFile(lockFile), PidText(::getpid()));
    port.Close();
    EXPECT_FALSE(Exists(lockFile));

    linuxtty::SetLockFolder(locks_.string() + "/missing");
    EXPECT_EQ(OpenError(port), 0);
}

TEST_F(PortMarksTest, LockFileWithoutAProcessNumberHoldsThePortOnlyWhileFresh)
{
    const std::vector<std::pair<std::string, std::function<void()>>> kinds = {
        {"empty", [&] { std::ofstream(lockFile) << ""; }},
        {"binary",
         [&] { std::ofstream(lockFile, std::ios::binary) << std::string("\0\xff\x12", 3); }},
        {"link", [&] { std::filesystem::create_symlink("/nonexistent", lockFile); }},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(lockFile.c_str(), 0644), 0); }},
    };
    for (const auto& [kind, make] : kinds) {
        make();
        EXPECT_EQ(Refusal(port), "lock file " + lockFile + " holds no process number") << kind;
        Age(lockFile, 10);
        ASSERT_EQ(OpenError(port), 0) << kind;
        EXPECT_EQ(ReadFile(lockFile), PidText(::getpid())) << kind;
        port.Close();
        EXPECT_FALSE(Exists(lockFile)) << kind;
    }
}

TEST_F(PortMarksTest, LockFileWrittenBeforeItsProcessStartedIsStale)
{
    // Process ids come round again: a running process that started after the file was
    // written cannot have written it.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    std::ofstream(lockFile) << PidText(child);
    EXPECT_EQ(Refusal(port), "lock file " + lockFile + " names process " + std::to_string(child));
    Age(lockFile, 3600);
    EXPECT_EQ(OpenError(port), 0);
    EXPECT_EQ(ReadFile(lockFile), PidText(::getpid()));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST_F(PortMarksTest, LockFolderThatCannotBeUsedIsLikeOneWithoutLockFiles)
{
    const std::string notAFolder = locks_.string() + "/plain";
    std::ofstream(notAFolder) << "x";
    linuxtty::SetLockFolder(notAFolder);
    EXPECT_EQ(OpenError(port), 0);
    port.Close();
    if (::geteuid() != 0) {  // root searches any folder
        const std::string closed = locks_.string() + "/closed";
        ASSERT_EQ(::mkdir(closed.c_str(), 0), 0);
        linuxtty::SetLockFolder(closed);
        EXPECT_EQ(OpenError(port), 0);
        port.Close();
        ::chmod(closed.c_str(), 0700);
        ::rmdir(closed.c_str());
    }

    // Our lock file is written whole under a private name first; nothing else is left.
    ::unlink(notAFolder.c_str());
    linuxtty::SetLockFolder(locks_.string());
    ASSERT_EQ(OpenError(port), 0);
    EXPECT_EQ(FolderNames(locks_),
              std::vector<std::string>{std::filesystem::path(lockFile).filename().string()});
    port.Close();
    EXPECT_TRUE(FolderNames(locks_).empty());
}

}  // namespace
}  // namespace imconf
