#include "platform/win32_dpi.h"

#include "platform/dpi.h"

namespace kestrova {

namespace {

using GetDpiForSystemCall = UINT(WINAPI*)();
using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiCall = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiCall = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiCall = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);

// A function of user32 by name; null where this Windows has none.
template <typename Fn>
Fn UserCall(const char* name) {
    const HMODULE user = GetModuleHandleW(L"user32.dll");
    const FARPROC found = user != nullptr ? GetProcAddress(user, name) : nullptr;
    // Through void (*)(), which any function pointer may be cast to and back.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(found));
}

// The screen's device context for the scope.
class ScreenDC {
public:
    ScreenDC() : dc_(GetDC(nullptr)) {}
    ~ScreenDC() {
        if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
    }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

}  // namespace

int SystemDpi() {
    static const auto call = UserCall<GetDpiForSystemCall>("GetDpiForSystem");
    if (call != nullptr) return static_cast<int>(call());
    const ScreenDC screen;
    const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : kBaseDpi;
}

int WindowDpi(HWND window) {
    static const auto call = UserCall<GetDpiForWindowCall>("GetDpiForWindow");
    const UINT dpi = call != nullptr ? call(window) : 0;
    return dpi != 0 ? static_cast<int>(dpi) : SystemDpi();
}

int MetricForDpi(int index, int dpi) {
    static const auto call = UserCall<GetSystemMetricsForDpiCall>("GetSystemMetricsForDpi");
    if (call != nullptr) return call(index, static_cast<UINT>(dpi));
    return ScaleDpi(GetSystemMetrics(index), dpi, SystemDpi());
}

RECT AdjustedWindowRect(RECT rect, DWORD style, bool menu, DWORD exStyle, int dpi) {
    static const auto call = UserCall<AdjustWindowRectExForDpiCall>("AdjustWindowRectExForDpi");
    if (call == nullptr || !call(&rect, style, menu ? TRUE : FALSE, exStyle, static_cast<UINT>(dpi))) {
        AdjustWindowRectEx(&rect, style, menu ? TRUE : FALSE, exStyle);
    }
    return rect;
}

LOGFONTW SystemStatusFont(int dpi) {
    static const auto call = UserCall<SystemParametersInfoForDpiCall>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (call != nullptr && call(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))) {
        return metrics.lfStatusFont;
    }
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    metrics.lfStatusFont.lfHeight = ScaleDpi(metrics.lfStatusFont.lfHeight, dpi, SystemDpi());
    return metrics.lfStatusFont;
}

}  // namespace kestrova
