#include "dialogs/win32/about_dialog.h"

#include "dialogs/about.h"
#include "dialogs/device_select.h"
#include "platform/files.h"
#include "platform/win32_dialog.h"
#include "platform/win32_handles.h"
#include "platform/win32_text.h"

#include <shellapi.h>

namespace kestrova {

namespace {

constexpr int kLinkTextChars = 256;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);

std::wstring LinkCaption(HWND link) {
    wchar_t caption[kLinkTextChars] = L"";
    GetWindowTextW(link, caption, kLinkTextChars);
    return caption;
}

// The link: its caption in blue, underlined in the dialog's font, on the
// dialog's background; no frame, focus or pressed look.
void DrawLink(const DRAWITEMSTRUCT& item) {
    auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(GetParent(item.hwndItem), WM_GETFONT, 0, 0));
    if (dialogFont == nullptr) dialogFont = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    LOGFONTW description{};
    GetObjectW(dialogFont, sizeof description, &description);
    description.lfUnderline = TRUE;
    const GdiObject<HFONT> underlined(CreateFontIndirectW(&description));
    const SelectedObject selected(item.hDC, underlined.get());
    RECT area = item.rcItem;
    FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
    SetTextColor(item.hDC, kLinkColour);
    SetBkMode(item.hDC, TRANSPARENT);
    const std::wstring caption = LinkCaption(item.hwndItem);
    DrawTextW(item.hDC, caption.c_str(), -1, &area, DT_SINGLELINE | DT_VCENTER);
}

// The guide opens in whatever the system opens such a file with; the dialog
// stays open.
void OpenLink(HWND dialog) {
    const std::string caption = Narrow(LinkCaption(GetDlgItem(dialog, IDC_ABOUT_LINK)));
    const std::wstring guide = Widen(GuidePath(ExecutablePath(), caption));
    ShellExecuteW(nullptr, L"open", guide.c_str(), nullptr, nullptr, SW_SHOW);
}

struct AboutContext {
    const CaptureDevice* device;
};

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const AboutContext& context) {
    switch (message) {
    case WM_INITDIALOG:
        for (const std::string& line : DriverLines(context.device)) {
            SendDlgItemMessageW(dialog, IDC_ABOUT_DRIVERS, LB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(Widen(line).c_str()));
        }
        return TRUE;
    case WM_DRAWITEM:
        if (wParam != IDC_ABOUT_LINK) return FALSE;
        DrawLink(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ABOUT_LINK) {
            OpenLink(dialog);
        } else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
        } else {
            return FALSE;
        }
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void RunAboutDialog(HINSTANCE instance, HWND owner, const CaptureDevice* device) {
    const AboutContext context{device};
    RunModalDialog<const AboutContext, HandleMessage>(instance, owner, IDD_ABOUT, context);
}

}  // namespace kestrova
