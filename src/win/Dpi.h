#pragma once
// Dots per inch: the layout is at 96 and every size is scaled to the window's monitor. The
// per-monitor functions are looked up at run time and fall back to the system's DPI where
// Windows (or wine) does not have them.

#include <windows.h>

namespace imconf::win {

constexpr int kLayoutDpi = 96;

// Asks for per-monitor awareness (version 2, else the system-wide awareness); true when the
// per-monitor mode was granted.
bool MakeProcessDpiAware();
int DpiOf(HWND window);
int SystemDpi();
inline int Scale(int value, int dpi)
{
    return ::MulDiv(value, dpi, kLayoutDpi);
}
inline int Unscale(int value, int dpi)
{
    return ::MulDiv(value, kLayoutDpi, dpi);
}
int SystemMetric(int index, int dpi);
// The window rectangle around a client rectangle.
void AdjustRectForDpi(RECT& rect, DWORD style, int dpi);

}  // namespace imconf::win
