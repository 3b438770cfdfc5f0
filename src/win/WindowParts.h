#pragma once
// What the parts of the main window (MainWindow*.cpp, ControlWindows.cpp, GridView.cpp,
// MenuBar.cpp, Sizing.cpp) share: the classes of the windows of ours and the Win32 input in the
// controls' terms.

#include "controls/Controls.h"

#include <windows.h>

namespace imconf::win {

inline constexpr const wchar_t* kMainClass = L"ImconfMain";
inline constexpr const wchar_t* kPanelClass = L"ImconfPanel";
inline constexpr const wchar_t* kGridClass = L"ImconfGrid";
inline constexpr const wchar_t* kMenuBarClass = L"ImconfMenuBar";

inline COLORREF ToColorRef(TColor color)
{
    return RGB(color.r, color.g, color.b);
}

// Windows puts a new child under its elder siblings; the layout has later controls on top.
inline HWND OnTop(HWND hwnd)
{
    ::SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return hwnd;
}

// The modifier keys held now, and the mouse button of a message.
TShiftState ShiftNow();
TMouseButton ButtonOf(UINT message);

}  // namespace imconf::win
