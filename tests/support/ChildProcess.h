#pragma once
// Processes and folders for tests that run the tool's programs: a temporary folder, a child
// process with its stdout on a pipe, and the module simulator served on a pseudo-terminal.

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace imconf::testsupport {

// A temporary folder, removed with everything in it.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A child process with its stdout on a pipe and its stderr in a file; killed when destroyed.
class TChild {
public:
    // `runtimeDir` becomes the child's XDG_RUNTIME_DIR (so announced ports stay private).
    TChild(std::vector<std::string> args, const std::string& runtimeDir,
           const std::string& stderrPath);
    ~TChild();
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // The next line of stdout, empty when none came within `timeout`.
    std::string ReadLine(std::chrono::milliseconds timeout);
    void Signal(int sig);
    // Exit status (128 + signal when killed), or -1 when the child did not end in time.
    int Wait(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// Runs a program (looked up on PATH) to its end, at most `timeout`; `output` gets its stdout and
// stderr, kept in `folder`. Returns the exit status, or -1 when it could not run or was killed.
int RunProgram(std::vector<std::string> args, std::string& output,
               std::chrono::milliseconds timeout, const std::string& folder);

// imconf-sim on its pseudo-terminal, with a private announce folder.
class TSimProcess {
public:
    // Extra command-line options for the simulator (e.g. {"--address", "12", "--pace"}).
    explicit TSimProcess(std::vector<std::string> options = {});
    bool Running() const { return !pty_.empty(); }
    // The pseudo-terminal's path, as the simulator printed it.
    const std::string& Pty() const { return pty_; }
    // The private folder the simulator announces its port in.
    std::string AnnouncedDir() const { return runtime_.Path() + "/imconf/ports"; }
    const std::string& RuntimeDir() const { return runtime_.Path(); }
    std::string StderrPath() const { return runtime_.Path() + "/sim.stderr"; }
    TChild& Child() { return child_; }

private:
    TTempDir runtime_;
    TChild child_;
    std::string pty_;
};

// Path of the imconf-sim executable of this build.
const char* SimulatorPath();

}  // namespace imconf::testsupport
