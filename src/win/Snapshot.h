#pragma once
// A picture of a window's client area as it is on the screen, saved as a 24-bit BMP file.

#include <windows.h>

#include <string>

namespace imconf::win {

bool SaveClientPicture(HWND window, const std::wstring& file);

}  // namespace imconf::win
