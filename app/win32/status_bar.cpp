#include "app/win32/status_bar.h"

#include "platform/win32_handles.h"
#include "platform/win32_text.h"

#include <commctrl.h>

namespace kestrova {

namespace {
constexpr UINT_PTR kStatusBarId = 2;
}

HWND StatusBar::Create(HWND parent, HFONT font) {
    Destroy();
    window_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                              reinterpret_cast<HMENU>(kStatusBarId), GetModuleHandleW(nullptr), nullptr);
    font_ = font;
    if (window_ == nullptr) {
        height_ = 0;
        return nullptr;
    }
    int parts[1] = {-1};
    SendMessageW(window_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    // The bar takes the height of its font when it is told of a size.
    SendMessageW(window_, WM_SIZE, 0, 0);
    RECT rect{};
    GetWindowRect(window_, &rect);
    height_ = rect.bottom - rect.top;
    return window_;
}

void StatusBar::Destroy() {
    if (window_ != nullptr) DestroyWindow(window_);
    window_ = nullptr;
    font_ = nullptr;
}

void StatusBar::SetFont(HFONT font) {
    font_ = font;
    if (HasStatusBar()) SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void StatusBar::ShowOwnerDrawn(const std::string& text) { Show(text, false); }

void StatusBar::Show(const std::string& text, bool timer) {
    if (!HasStatusBar()) return;
    current_ = 1 - current_;
    shown_[current_] = Shown{text, timer};
    // Part 0, drawn by the owner from what it points to.
    SendMessageW(window_, SB_SETTEXTW, SBT_OWNERDRAW, reinterpret_cast<LPARAM>(&shown_[current_]));
}

void StatusBar::ClearPart0() {
    if (HasStatusBar()) SendMessageW(window_, SB_SETTEXTW, 0, 0);
}

void StatusBar::ShowMessage(const std::string& text) {
    SetSimple(false);
    Show(text, false);
}

void StatusBar::ShowTimerText(const std::string& text) {
    SetSimple(false);
    Show(text, true);
}

void StatusBar::ShowStatistics(const std::string& text) { Show(text, false); }

void StatusBar::ShowMenuHelp(const std::string& text) {
    SetSimple(true);
    SetSimpleText(text);
}

void StatusBar::SetSimple(bool simple) {
    if (HasStatusBar()) SendMessageW(window_, SB_SIMPLE, simple ? TRUE : FALSE, 0);
}

void StatusBar::SetSimpleText(const std::string& text) {
    if (!HasStatusBar()) return;
    std::wstring wide = Widen(text);
    SendMessageW(window_, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(wide.c_str()));
}

void StatusBar::Forward(UINT message, WPARAM wParam, LPARAM lParam) {
    if (HasStatusBar()) SendMessageW(window_, message, wParam, lParam);
}

void StatusBar::Draw(const DRAWITEMSTRUCT& item, HFONT font) {
    const auto* shown = reinterpret_cast<const Shown*>(item.itemData);
    if (shown == nullptr) return;
    const SelectedObject selected(item.hDC, font);
    SetBkMode(item.hDC, TRANSPARENT);
    if (shown->timer) SetTextColor(item.hDC, RGB(255, 0, 0));
    std::wstring wide = Widen(shown->text);
    RECT rect = item.rcItem;
    DrawTextW(item.hDC, wide.c_str(), static_cast<int>(wide.size()), &rect, DT_SINGLELINE | DT_VCENTER);
}

}  // namespace kestrova
