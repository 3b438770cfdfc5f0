#pragma once
// The window over the real serial component and the std event loop, with the simulator
// started under an announced name in a private runtime folder, so that a test can pull the
// "adapter" out (kill the simulator) and plug it in again under the same port name.

#include "AppTestSupport.h"
#include "ChildProcess.h"
#include "runtime/StdEventLoop.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace imconf::faults {

using namespace std::chrono_literals;

// A serial line that counts the requests written through it.
class CountingLine : public ForwardingLine {
public:
    using ForwardingLine::ForwardingLine;
    void Write(const std::uint8_t* bytes, std::size_t count) override
    {
        Inner().Write(bytes, count);
        ++writes;
    }

    std::size_t writes = 0;
};

// XDG_RUNTIME_DIR of this process pointed at a private folder while the object lives, so
// that bare port names resolve to the ports announced there.
class PrivateRuntimeDir {
public:
    PrivateRuntimeDir()
    {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
            old_ = old;
        ::setenv("XDG_RUNTIME_DIR", dir_.Path().c_str(), 1);
    }
    ~PrivateRuntimeDir()
    {
        if (old_)
            ::setenv("XDG_RUNTIME_DIR", old_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    PrivateRuntimeDir(const PrivateRuntimeDir&) = delete;
    PrivateRuntimeDir& operator=(const PrivateRuntimeDir&) = delete;
    const std::string& Path() const { return dir_.Path(); }

private:
    testsupport::TTempDir dir_;
    std::optional<std::string> old_;
};

// One run of imconf-sim announced as `name` in `runtimeDir`.
class SimRun {
public:
    SimRun(const std::string& runtimeDir, const std::string& name, std::vector<std::string> options)
    {
        std::vector<std::string> args{testsupport::SimulatorPath(), "--name", name};
        args.insert(args.end(), options.begin(), options.end());
        stderrPath_ = runtimeDir + "/" + name + "." + std::to_string(++runs_) + ".stderr";
        child_ = std::make_unique<testsupport::TChild>(args, runtimeDir, stderrPath_);
        if (child_->Started())
            pty_ = child_->ReadLine(10s);
    }
    bool Running() const { return !pty_.empty(); }
    const std::string& Pty() const { return pty_; }
    const std::string& StderrPath() const { return stderrPath_; }
    // Pulls the adapter: the simulator dies at once, its pseudo-terminal goes with it (the
    // announcement link is left behind, dangling, as after a crash).
    void Kill()
    {
        child_->Signal(SIGKILL);
        child_->Wait(5s);
    }
    // Ends the simulator normally (it writes its log and removes its links).
    int Stop()
    {
        child_->Signal(SIGTERM);
        return child_->Wait(10s);
    }

private:
    static inline int runs_ = 0;
    std::unique_ptr<testsupport::TChild> child_;
    std::string pty_;
    std::string stderrPath_;
};

// The window over the real port component and a real-time loop, with its requests counted.
struct PortWindow : testing::RealPortWindow {
    CountingLine line{comLine};

    // `portName`: the one entry of the system port list, chosen at start-up.
    explicit PortWindow(const std::string& portName) { Start(portName, line); }
    // The window lets go of `line` before `line` goes.
    ~PortWindow() { form.reset(); }
    PortWindow(const PortWindow&) = delete;
    PortWindow& operator=(const PortWindow&) = delete;
    TForm1& F() { return *form; }
    const std::vector<std::string>& Trace() const { return form->TeMemo1.Lines.Items(); }
    std::string LastLine() const
    {
        return form->TeMemo1.Lines.Empty() ? std::string() : form->TeMemo1.Lines.Last();
    }
};

inline double ProcessCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Resident set size of this process in bytes.
inline std::size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t total = 0;
    std::size_t resident = 0;
    statm >> total >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

inline constexpr const char* kReadTitle = "   : чтение конфигурации модуля...";
inline constexpr const char* kWriteTitle = "   : запись конфигурации модуля...";
inline constexpr const char* kOk = "   : ОК.";
inline constexpr const char* kError = "   : ОШИБКА.";

}  // namespace imconf::faults
