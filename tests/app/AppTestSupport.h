#pragma once
// A headless main window over the simulated line, with answered dialogs and a fixed port list.

#include "app/Form1.h"
#include "runtime/StdEventLoop.h"
#include "runtime/VirtualEventLoop.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"
#include "serial/SystemPorts.h"

#include "ModuleSimulator.h"
#include "SimulatedLine.h"

#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace imconf::testing {

class FixedPortList : public ISystemPortList {
public:
    std::optional<std::vector<SystemPort>> ports = std::vector<SystemPort>{};
    int reads = 0;
    std::optional<std::vector<SystemPort>> Read() override
    {
        ++reads;
        return ports;
    }
    void Set(std::initializer_list<const char*> names)
    {
        ports = std::vector<SystemPort>{};
        for (const char* name : names)
            ports->push_back({name, {}});
    }
};

class AnsweredDialogs : public IDialogs {
public:
    std::vector<std::string> errors;
    std::vector<std::string> questions;
    std::vector<OpenFileRequest> fileRequests;
    bool answerYes = true;
    // Answers of the file dialog in turn; when they run out, `fileAnswer`.
    std::deque<std::optional<std::string>> fileAnswers;
    std::optional<std::string> fileAnswer;

    void ShowError(const std::string& text) override { errors.push_back(text); }
    bool AskYesNoWarning(const std::string& text) override
    {
        questions.push_back(text);
        return answerYes;
    }
    std::optional<std::string> OpenFile(const OpenFileRequest& request) override
    {
        fileRequests.push_back(request);
        if (!fileAnswers.empty()) {
            auto answer = fileAnswers.front();
            fileAnswers.pop_front();
            return answer;
        }
        return fileAnswer;
    }
};

class FixedScreen : public IScreen {
public:
    int height = 1080;
    int scrollBar = 17;
    int frame = 30;
    int Height() const override { return height; }
    int VScrollBarWidth() const override { return scrollBar; }
    int FrameHeight() const override { return frame; }
};

// A scratch folder removed at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    void Write(const std::string& name, const std::string& content) const;

private:
    std::filesystem::path path_;
};

// What a window's operations tell, in order: each start and each ending.
struct OperationRecorder : OperationObserver {
    std::vector<OperationKind> started;
    std::vector<OperationOutcome> ended;
    void OperationStarted(OperationKind operation, const std::string& /*detail*/) override
    {
        started.push_back(operation);
    }
    void OperationEnded(const OperationOutcome& outcome) override { ended.push_back(outcome); }
};

// Everything a window needs, in construction order.
struct WindowRig {
    TempDir dir;
    VirtualEventLoop loop;
    ProgramState state;
    ConfigModel config;
    sim::TModuleSimulator module{247};
    SimulatedLine line{loop, module};
    AnsweredDialogs dialogs;
    FixedPortList ports;
    FixedScreen screen;
    std::optional<TForm1> form;

    // Creates the window (and runs FormCreate unless told not to).
    TForm1& Create(bool formCreate = true);
    std::string PortFile() const { return dir.File("comports.txt"); }
    std::vector<std::string> PortCaptions() const;
    std::vector<std::string> CheckedPorts() const;
};

// The window over the real serial component and a real-time loop. Start makes `portName` the
// one system port, which start-up chooses, and creates the window on `line`: the real line or
// a wrapper of it.
struct RealPortWindow {
    StdEventLoop loop;
    ProgramState state;
    ConfigModel config;
    TComPort port;
    ComPortLine comLine{port, loop};
    AnsweredDialogs dialogs;
    FixedPortList ports;
    FixedScreen screen;
    TempDir dir;
    std::optional<TForm1> form;

    void Start(const std::string& portName, ISerialLine& line,
               const std::string& description = "simulator");
    void Start(const std::string& portName) { Start(portName, comLine); }
    bool Idle() const
    {
        return state.OperationState == opstate::Idle && !form->Engine.TransactionInFlight();
    }
    bool RunToIdle(Micros limit)
    {
        return loop.RunUntil([this] { return Idle(); }, limit);
    }
    const std::string& LastLine() const { return form->TeMemo1.Lines.Last(); }
};

}  // namespace imconf::testing
