#include "win/Win32Dialogs.h"

#include "win/Dpi.h"
#include "win/WinText.h"

#include <commdlg.h>

#include <vector>

namespace imconf::win {

std::wstring ToWin32FileFilter(const std::string& filter)
{
    std::wstring result;
    std::vector<std::string> parts;
    std::string part;
    for (const char c : filter) {
        if (c == '|') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    for (std::size_t i = 0; i < parts.size(); i += 2) {
        const std::string& description = parts[i];
        const std::string pattern = i + 1 < parts.size() ? parts[i + 1] : std::string();
        if (description.empty() && pattern.empty())
            continue;
        result += Widen(description.empty() ? pattern : description);
        result += L'\0';
        result += Widen(pattern.empty() ? "*.*" : pattern);
        result += L'\0';
    }
    result += L'\0';
    return result;
}

std::wstring Win32Dialogs::Title() const
{
    if (owner_ != nullptr) {
        wchar_t title[256] = {};
        ::GetWindowTextW(owner_, title, 256);
        if (title[0] != L'\0')
            return title;
    }
    return L"imconf";
}

void Win32Dialogs::ShowError(const std::string& text)
{
    ::MessageBoxW(owner_, Widen(text).c_str(), Title().c_str(), MB_OK | MB_ICONERROR);
}

bool Win32Dialogs::AskYesNoWarning(const std::string& text)
{
    return ::MessageBoxW(owner_, Widen(text).c_str(), Title().c_str(), MB_YESNO | MB_ICONWARNING) ==
           IDYES;
}

std::optional<std::string> Win32Dialogs::OpenFile(const OpenFileRequest& request)
{
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring name = Widen(request.FileName);
    name.copy(file.data(), std::min(name.size(), file.size() - 1));
    const std::wstring filter = ToWin32FileFilter(request.Filter);
    const std::wstring title = Widen(request.Title);
    const std::wstring folder = Widen(request.InitialDir);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner_;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!::GetOpenFileNameW(&ofn))
        return std::nullopt;
    return Narrow(file.data());
}

int Win32Screen::Height() const
{
    const int dpi = DpiOf(window_);
    HMONITOR monitor = ::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (monitor != nullptr && ::GetMonitorInfoW(monitor, &info))
        return Unscale(info.rcMonitor.bottom - info.rcMonitor.top, dpi);
    return Unscale(::GetSystemMetrics(SM_CYSCREEN), dpi);
}

int Win32Screen::VScrollBarWidth() const
{
    return Unscale(SystemMetric(SM_CXVSCROLL, DpiOf(window_)), DpiOf(window_));
}

int Win32Screen::FrameHeight() const
{
    const int dpi = DpiOf(window_);
    RECT rect{0, 0, 100, 100};
    AdjustRectForDpi(rect, style_, dpi);
    return Unscale((rect.bottom - rect.top) - 100, dpi);
}

}  // namespace imconf::win
