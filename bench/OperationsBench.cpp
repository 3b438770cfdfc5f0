// Whole operations of the window over a pseudo-terminal against the paced simulator, each
// divided by its line-time floor: configuration read and write at 9600 and 57600 baud (bytes
// on the wire at 10 bits a byte, plus the fixed pauses of 5 ms after each reply and 20 ms
// before each step), the bus sweep over an empty line at 100 ms (247 x (100 + 5) ms), and a
// firmware upgrade at 19200 baud (all frames and acknowledgements at 10 bits a byte).

#include "app/Form1.h"
#include "runtime/StdEventLoop.h"
#include "serial/ComPort.h"
#include "serial/ComPortLine.h"

#include "ChildProcess.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace imconf;
using namespace std::chrono_literals;

namespace {

class NoDialogs : public IDialogs {
public:
    std::optional<std::string> file;
    void ShowError(const std::string& text) override
    {
        std::fprintf(stderr, "error: %s\n", text.c_str());
    }
    bool AskYesNoWarning(const std::string&) override { return true; }
    std::optional<std::string> OpenFile(const OpenFileRequest&) override { return file; }
};

class OnePort : public ISystemPortList {
public:
    explicit OnePort(std::string name) : name_(std::move(name)) {}
    std::optional<std::vector<SystemPort>> Read() override
    {
        return std::vector<SystemPort>{{name_, {}}};
    }

private:
    std::string name_;
};

class Screen : public IScreen {
public:
    int Height() const override { return 1080; }
    int VScrollBarWidth() const override { return 17; }
    int FrameHeight() const override { return 30; }
};

struct Window {
    testsupport::TSimProcess sim;
    StdEventLoop loop;
    ProgramState state;
    ConfigModel config;
    TComPort port;
    ComPortLine line{port, loop};
    NoDialogs dialogs;
    OnePort ports;
    Screen screen;
    std::optional<TForm1> form;

    explicit Window(std::vector<std::string> options) : sim(std::move(options)), ports(sim.Pty())
    {
        port.Timeouts.ReadInterval = 150;
        form.emplace(TForm1Environment{loop, state, config, line, dialogs, ports, screen,
                                       "/nonexistent/comports.txt", "."});
        form->FormCreate();
        form->FormActivate();
    }
    double Run(const std::function<void()>& start)
    {
        const Micros begin = loop.Now();
        start();
        loop.RunUntil(
            [this] {
                return state.OperationState == opstate::Idle && !form->Engine.TransactionInFlight();
            },
            300s);
        return static_cast<double>((loop.Now() - begin).count()) / 1000.0;
    }
};

double LineMs(double bytes, unsigned baud)
{
    return bytes * 10.0 * 1000.0 / baud;
}

void Row(const char* what, double ms, double floorMs, const std::string& outcome)
{
    std::printf("%-44s %10.0f %10.0f %8.2f  %s\n", what, ms, floorMs, ms / floorMs,
                outcome.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    std::printf("%-44s %10s %10s %8s\n", "operation (pty, paced simulator)", "ms", "floor ms",
                "ratio");
    for (unsigned baud : {9600u, 57600u}) {
        Window w({"--pace", "--think", "1", "--baud", std::to_string(baud)});
        const std::uint8_t index = baud == 9600 ? 3 : 7;
        w.form->BaudItemClick(index);
        // Read: 4 requests of 8 bytes, replies of 69, 69, 69 and 7 bytes.
        const double readFloor = LineMs(4 * 8 + 3 * 69 + 7, baud) + 4 * 5 + 4 * 20;
        const double read = w.Run([&] { w.form->TeButton5.Click(); });
        Row(("configuration read at " + std::to_string(baud)).c_str(), read, readFloor,
            w.form->TeMemo1.Lines.Last());
        for (int i = 0; i < 4; ++i)
            w.config.AddNode(8);
        // Write: 57 + 73 + 73 + 8 request bytes, four 8-byte echoes.
        const double writeFloor = LineMs(57 + 73 + 73 + 8 + 4 * 8, baud) + 4 * 5 + 4 * 20;
        const double write = w.Run([&] { w.form->TeButton2.Click(); });
        Row(("configuration write at " + std::to_string(baud)).c_str(), write, writeFloor,
            w.form->TeMemo1.Lines.Last());
    }
    if (!quick) {
        // No module on the line: one foreign device at address 1, nobody at 2..247.
        Window w({"--pace", "--address", "1", "--id", "7"});
        w.form->CustomItem7->Click();  // 100 ms
        const double sweep = w.Run([&] { w.form->CustomItem5->Click(); });
        Row("bus sweep, 100 ms delay", sweep, 247 * 105.0, w.form->TeMemo1.Lines.Last());
    }
    {
        Window w({"--pace", "--bootloader", "--think", "1"});
        std::vector<std::uint8_t> file(14338 + 512, 0x5A);
        const std::string path = "/tmp/imconf-bench-fw.hex";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        w.dialogs.file = path;
        const std::size_t blocks = 32;
        const double floor = LineMs(28 * 515 + (blocks + 1) * 19 + 8 + (30 + blocks) * 2, 19200);
        const double upgrade = w.Run([&] { w.form->CustomItem24->Click(); });
        Row("firmware upgrade at 19200, 32 EEPROM blocks", upgrade, floor,
            w.form->TeMemo1.Lines.Last());
        std::remove(path.c_str());
    }
    return 0;
}
