#include "win/Dpi.h"

namespace imconf::win {

namespace {

template <typename F>
F Lookup(const char* name)
{
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr)
        return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

}  // namespace

bool MakeProcessDpiAware()
{
    using SetContext = BOOL(WINAPI*)(HANDLE);
    if (auto set = Lookup<SetContext>("SetProcessDpiAwarenessContext")) {
        // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
        if (set(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4))))
            return true;
    }
    using SetAware = BOOL(WINAPI*)();
    if (auto set = Lookup<SetAware>("SetProcessDPIAware"))
        set();
    return false;
}

int SystemDpi()
{
    using GetForSystem = UINT(WINAPI*)();
    if (auto get = Lookup<GetForSystem>("GetDpiForSystem")) {
        const UINT dpi = get();
        if (dpi > 0)
            return static_cast<int>(dpi);
    }
    HDC dc = ::GetDC(nullptr);
    const int dpi = dc != nullptr ? ::GetDeviceCaps(dc, LOGPIXELSY) : kLayoutDpi;
    if (dc != nullptr)
        ::ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : kLayoutDpi;
}

int DpiOf(HWND window)
{
    using GetForWindow = UINT(WINAPI*)(HWND);
    if (window != nullptr) {
        if (auto get = Lookup<GetForWindow>("GetDpiForWindow")) {
            const UINT dpi = get(window);
            if (dpi > 0)
                return static_cast<int>(dpi);
        }
    }
    return SystemDpi();
}

int SystemMetric(int index, int dpi)
{
    using ForDpi = int(WINAPI*)(int, UINT);
    if (auto get = Lookup<ForDpi>("GetSystemMetricsForDpi"))
        return get(index, static_cast<UINT>(dpi));
    return ::GetSystemMetrics(index);
}

void AdjustRectForDpi(RECT& rect, DWORD style, int dpi)
{
    using Adjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    if (auto adjust = Lookup<Adjust>("AdjustWindowRectExForDpi")) {
        if (adjust(&rect, style, FALSE, 0, static_cast<UINT>(dpi)))
            return;
    }
    ::AdjustWindowRectEx(&rect, style, FALSE, 0);
}

}  // namespace imconf::win
