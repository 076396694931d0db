#include "reservation/win32/one_touch_dialog.h"

#include "platform/win32_text.h"
#include "reservation/one_touch.h"
#include "resource_ids.h"

#include <vector>

namespace kestrova {

namespace {

struct OneTouchContext {
    std::vector<OneTouchChoice> choices;
    std::int32_t minutes = 0;
};

void FillList(HWND dialog, const OneTouchContext& context) {
    const HWND combo = GetDlgItem(dialog, IDC_ONETOUCH_MINUTES);
    for (const OneTouchChoice& choice : context.choices) {
        const auto item = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(choice.text).c_str()));
        if (item >= 0) SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(item), choice.minutes);
    }
    // The field shows 15; no item is chosen by that.
    SetWindowTextW(combo, Widen(kOneTouchFieldStart).c_str());
}

std::int32_t ChosenMinutes(HWND dialog) {
    const HWND combo = GetDlgItem(dialog, IDC_ONETOUCH_MINUTES);
    const auto item = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    std::optional<std::int32_t> chosen;
    if (item != CB_ERR) chosen = static_cast<std::int32_t>(SendMessageW(combo, CB_GETITEMDATA, item, 0));
    wchar_t field[64] = L"";
    GetWindowTextW(combo, field, 64);
    return OneTouchMinutes(chosen, Narrow(field));
}

INT_PTR CALLBACK OneTouchProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            FillList(dialog, *reinterpret_cast<const OneTouchContext*>(lParam));
            return TRUE;
        }
        if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            if (LOWORD(wParam) == IDOK) {
                reinterpret_cast<OneTouchContext*>(GetWindowLongPtrW(dialog, DWLP_USER))->minutes =
                    ChosenMinutes(dialog);
            }
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
    } catch (...) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

std::optional<std::int32_t> RunOneTouchDialog(HINSTANCE instance, HWND owner, const std::string& onetouchSetting) {
    OneTouchContext context{OneTouchChoices(onetouchSetting), 0};
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ONETOUCH), owner, OneTouchProc,
                                           reinterpret_cast<LPARAM>(&context));
    if (result != IDOK) return std::nullopt;
    return context.minutes;
}

}  // namespace kestrova
