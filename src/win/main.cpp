// imconf: the configuration tool's main window (Windows).

#include "app/ExecutableDir.h"
#include "app/SessionLogFile.h"
#include "runtime/LogSystem.h"
#include "win/Dpi.h"
#include "win/Snapshot.h"
#include "win/ToolWindow.h"
#include "win/WinText.h"

#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kUsage =
    L"Usage: imconf [--no-log] [FILE.json]\n"
    L"The configuration tool of the indication module.\n"
    L"  FILE.json           open this configuration file: the grids show it as after a read,\n"
    L"                      ready to be edited and written to the module\n"
    L"  --no-log            keep no session log (by default every request, reply and outcome\n"
    L"                      goes into a file a day in %LOCALAPPDATA%\\imconf\\log)\n"
    L"\n"
    L"For the documentation pictures only:\n"
    L"  --screenshot FILE   save a picture of the window to FILE (BMP) and exit\n"
    L"  --delay MS          wait MS milliseconds after the window is shown before the\n"
    L"                      picture is taken (default 1000)\n"
    L"  --help              show this text\n";

struct Options {
    std::optional<std::wstring> file;
    bool noLog = false;
    std::optional<std::wstring> screenshot;
    int delayMs = 1000;
    bool help = false;
    std::wstring error;
};

Options ParseOptions(const std::vector<std::wstring>& args)
{
    Options options;
    for (std::size_t i = 1; i < args.size() && options.error.empty(); ++i) {
        const std::wstring& arg = args[i];
        if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
            options.help = true;
        } else if (arg == L"--no-log") {
            options.noLog = true;
        } else if (!arg.empty() && arg[0] != L'-' && arg[0] != L'/' && !options.file) {
            options.file = arg;
        } else if (arg == L"--screenshot" && i + 1 < args.size()) {
            options.screenshot = args[++i];
        } else if (arg == L"--delay" && i + 1 < args.size()) {
            try {
                options.delayMs = std::stoi(args[++i]);
            } catch (...) {
                options.delayMs = -1;
            }
            if (options.delayMs < 0 || options.delayMs > 600000)
                options.error = L"bad --delay value: " + args[i];
        } else {
            options.error = L"unknown option: " + arg;
        }
    }
    return options;
}

// A windows program has no console of its own: the help goes to the caller's, if any, else
// into a message box.
void Tell(const std::wstring& text, bool error)
{
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
        HANDLE out = ::GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
        const std::string utf8 = imconf::win::Narrow(text);
        DWORD written = 0;
        ::WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
        return;
    }
    ::MessageBoxW(nullptr, text.c_str(), L"imconf",
                  MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace

int main()
{
    using namespace imconf;
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv, argv + argc);
    ::LocalFree(argv);
    const Options options = ParseOptions(args);
    if (options.help) {
        Tell(kUsage, false);
        return 0;
    }
    if (!options.error.empty()) {
        Tell(L"imconf: " + options.error + L"\n" + kUsage, true);
        return 2;
    }

    win::MakeProcessDpiAware();
    // The program's own folder, not the working folder: the file dialogs start there.
    win::ToolWindow tool(ExecutableFolder().value_or("."));
    tool.Window().QuitOnClose(true);
    std::unique_ptr<FormLogFile> log;
    if (!options.noLog)
        log = StartWindowLog(tool.form, DefaultLogFolder(), [](const std::string& text) {
            std::fprintf(stderr, "imconf: %s\n", text.c_str());
        });
    if (options.file)
        tool.form.OpenConfigFile(win::Narrow(*options.file));
    if (options.screenshot) {
        tool.loop.ScheduleAt(
            tool.loop.Now() + std::chrono::milliseconds(options.delayMs), [&tool, &options] {
                const bool saved =
                    win::SaveClientPicture(tool.Window().Handle(), *options.screenshot);
                ::PostQuitMessage(saved ? 0 : 1);
            });
    }
    return win::Win32EventLoop::RunMessageLoop();
}
