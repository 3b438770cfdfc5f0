#pragma once
// A headless main window for the fuzz targets: virtual time, a scripted serial line that
// hands over the blocks the target gives it, answered dialogs and an empty port list.

#include "app/Form1.h"
#include "runtime/VirtualEventLoop.h"
#include "serial/ComPort.h"

#include <cerrno>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace imconf::fuzz {

// The line as the engine sees it, without a module behind it. A receive event reads what the
// target delivers, at most the expected count, for the transaction that awaits a reply at
// that moment, and hands the block to the loop's thread, as the real line does.
class ScriptedLine : public ISerialLine {
public:
    explicit ScriptedLine(EventLoop& loop) : loop_(loop) {}

    void Open() override
    {
        if (FailNextOpen) {
            FailNextOpen = false;
            throw EComPort(comerr::Open, ENOENT);
        }
        connected_ = true;
    }
    void Close() override { connected_ = false; }
    void SetHeld(bool /*held*/) override {}
    void Write(const std::uint8_t* bytes, std::size_t count) override
    {
        if (FailNextWrite) {
            FailNextWrite = false;
            throw EComPort(comerr::WriteFile, EIO);
        }
        LastWrite.assign(bytes, bytes + count);
        ++Writes;
    }
    bool Connected() const override { return connected_; }
    TBaudRate BaudRate() const override { return baud_; }
    void SetBaudRate(TBaudRate rate) override { baud_ = rate; }
    std::string Port() const override { return port_; }
    void SetPort(const std::string& name) override { port_ = name; }
    void ExpectReply(std::uint8_t length, std::uint64_t tag) override
    {
        expected_ = length;
        tag_ = tag;
    }
    void SetBlockHandler(BlockHandler handler) override { handler_ = std::move(handler); }

    // Bytes on the line now. A closed port reads nothing; `stale` hands the block over
    // under the tag of the transaction before (a read that began before the last request).
    void Receive(std::vector<std::uint8_t> bytes, bool stale)
    {
        if (!connected_ || bytes.empty())
            return;
        const std::size_t limit = expected_ != 0 ? expected_ : 255;
        if (bytes.size() > limit)
            bytes.resize(limit);
        ReceivedBlock block{stale && tag_ > 0 ? tag_ - 1 : tag_, std::move(bytes)};
        loop_.Post([this, block = std::move(block)]() mutable {
            if (handler_)
                handler_(std::move(block));
        });
    }

    std::uint8_t Expected() const { return expected_; }

    bool FailNextOpen = false;
    bool FailNextWrite = false;
    std::vector<std::uint8_t> LastWrite;
    int Writes = 0;

private:
    EventLoop& loop_;
    BlockHandler handler_;
    bool connected_ = false;
    TBaudRate baud_ = TBaudRate::br9600;
    std::string port_ = "COM1";
    std::uint8_t expected_ = 0;
    std::uint64_t tag_ = 0;
};

class FuzzDialogs : public IDialogs {
public:
    bool AnswerYes = true;
    std::deque<std::optional<std::string>> FileAnswers;
    std::vector<std::string> Errors;

    void ShowError(const std::string& text) override { Errors.push_back(text); }
    bool AskYesNoWarning(const std::string& /*text*/) override { return AnswerYes; }
    std::optional<std::string> OpenFile(const OpenFileRequest& /*request*/) override
    {
        if (FileAnswers.empty())
            return std::nullopt;
        auto answer = FileAnswers.front();
        FileAnswers.pop_front();
        return answer;
    }
};

class NoSystemPorts : public ISystemPortList {
public:
    std::optional<std::vector<SystemPort>> Read() override
    {
        return std::vector<SystemPort>{{"COM1", {}}};
    }
};

class FuzzScreen : public IScreen {
public:
    int Height() const override { return 1080; }
    int VScrollBarWidth() const override { return 17; }
    int FrameHeight() const override { return 30; }
};

// Everything a window needs, in construction order; the window is created and started.
struct FuzzWindow {
    VirtualEventLoop Loop;
    ProgramState State;
    ConfigModel Config;
    ScriptedLine Line{Loop};
    FuzzDialogs Dialogs;
    NoSystemPorts Ports;
    FuzzScreen Screen;
    std::optional<TForm1> Form;

    explicit FuzzWindow(const std::string& folder = ".")
    {
        Form.emplace(TForm1Environment{Loop, State, Config, Line, Dialogs, Ports, Screen,
                                       folder + "/comports.txt", folder});
        Form->FormCreate();
        Form->FormActivate();
    }
};

}  // namespace imconf::fuzz
