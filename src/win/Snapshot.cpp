#include "win/Snapshot.h"

#include <cstdio>
#include <vector>

namespace imconf::win {

bool SaveClientPicture(HWND window, const std::wstring& file)
{
    RECT client;
    if (!::GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0)
        return false;
    const int width = client.right;
    const int height = client.bottom;
    HDC source = ::GetDC(window);
    HDC memory = ::CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    const bool copied = ::BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
    ::GdiFlush();
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    const DWORD imageSize = stride * static_cast<DWORD>(height);

    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + imageSize;
    bool saved = false;
    if (copied && bits != nullptr) {
        if (FILE* out = ::_wfopen(file.c_str(), L"wb")) {
            saved = std::fwrite(&header, sizeof(header), 1, out) == 1 &&
                    std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out) == 1 &&
                    std::fwrite(bits, imageSize, 1, out) == 1;
            saved = std::fclose(out) == 0 && saved;
        }
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(window, source);
    return saved;
}

}  // namespace imconf::win
