#include "capture/win32/capture_ports.h"

#include "capture/composite_port.h"
#include "capture/forwarding_port.h"
#include "capture/win32/avicap_port.h"
#include "capture/pattern_device/win32/pattern_port.h"

#include <array>
#include <utility>

namespace kestrova {

namespace {

bool TestPatternRequested() {
    std::array<wchar_t, 4> value{};
    const DWORD length =
        GetEnvironmentVariableW(L"KESTROVA_TESTPATTERN", value.data(), static_cast<DWORD>(value.size()));
    return length == 1 && value[0] == L'1';
}

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// The newly active capture window takes the old one's place and child id;
// the old one is hidden under the spare id.
void HandOverCaptureWindow(WindowHandle fromHandle, WindowHandle toHandle, int childId, int spareChildId) {
    HWND from = ToHwnd(fromHandle);
    HWND to = ToHwnd(toHandle);
    if (to == nullptr || !IsWindow(to)) return;
    RECT rect{};
    const bool placed = from != nullptr && IsWindow(from) && GetWindowRect(from, &rect);
    const bool fromIsChild = placed && (GetWindowLongW(from, GWL_STYLE) & WS_CHILD) != 0;
    // A child is placed in its parent's client coordinates.
    if (fromIsChild) {
        MapWindowPoints(HWND_DESKTOP, GetParent(from), reinterpret_cast<POINT*>(&rect), 2);
        SetWindowLongPtrW(from, GWLP_ID, spareChildId);
    }
    if ((GetWindowLongW(to, GWL_STYLE) & WS_CHILD) != 0) SetWindowLongPtrW(to, GWLP_ID, childId);
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW;
    if (!placed) flags |= SWP_NOMOVE | SWP_NOSIZE;
    SetWindowPos(to, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, flags);
    if (from != nullptr && IsWindow(from)) ShowWindow(from, SW_HIDE);
}

// The two ports are members of a base constructed before the composite
// that refers to them, and destroyed after it.
struct PortPair {
    std::unique_ptr<CapturePort> drivers;
    std::unique_ptr<CapturePort> extra;
};

class OwningCompositePort final : private PortPair, public CompositeCapturePort {
public:
    explicit OwningCompositePort(PortPair ports)
        : PortPair(std::move(ports)), CompositeCapturePort(*drivers, *extra, HandOverCaptureWindow) {}
};

// The chosen port behind its guard, which owns it (constructed before the
// guard that refers to it, destroyed after it).
struct ChosenPortHolder {
    std::unique_ptr<CapturePort> chosen;
};

class OwningGuardedPort final : private ChosenPortHolder, public GuardedPort {
public:
    explicit OwningGuardedPort(std::unique_ptr<CapturePort> inner)
        : ChosenPortHolder{std::move(inner)}, GuardedPort(*chosen) {}
};

std::unique_ptr<CapturePort> ChosenPort(HINSTANCE instance) {
    auto avicap = std::make_unique<AviCapPort>();
    if (!TestPatternRequested()) return avicap;
    std::unique_ptr<CapturePort> pattern = CreatePatternPort(instance);
    if (pattern == nullptr) return avicap;
    return std::make_unique<OwningCompositePort>(PortPair{std::move(avicap), std::move(pattern)});
}

}  // namespace

std::unique_ptr<CapturePort> CreateCapturePort(HINSTANCE instance) {
    return std::make_unique<OwningGuardedPort>(ChosenPort(instance));
}

}  // namespace kestrova
