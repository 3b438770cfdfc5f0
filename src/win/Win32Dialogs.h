#pragma once
// The window's other windows over the Windows API: the message boxes and the system's
// file-open dialog; and what the window knows of the screen.

#include "app/Dialogs.h"

#include <windows.h>

#include <string>

namespace imconf::win {

// "description|pattern|..." as the file dialog takes it: pairs of zero-terminated strings,
// closed by an empty one.
std::wstring ToWin32FileFilter(const std::string& filter);

class Win32Dialogs final : public IDialogs {
public:
    // The window the boxes belong to (modal to it; its title is theirs).
    void SetOwner(HWND owner) { owner_ = owner; }

    void ShowError(const std::string& text) override;
    bool AskYesNoWarning(const std::string& text) override;
    std::optional<std::string> OpenFile(const OpenFileRequest& request) override;

private:
    std::wstring Title() const;
    HWND owner_ = nullptr;
};

// Sizes in the layout's units (96 dots per inch).
class Win32Screen final : public IScreen {
public:
    // The window whose monitor and frame are measured.
    void SetWindow(HWND window, DWORD style)
    {
        window_ = window;
        style_ = style;
    }

    int Height() const override;
    int VScrollBarWidth() const override;
    int FrameHeight() const override;

private:
    HWND window_ = nullptr;
    DWORD style_ = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
};

}  // namespace imconf::win
