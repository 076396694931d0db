#include "reservation/win32/one_touch_dialog.h"

#include "platform/win32_dialog.h"
#include "platform/win32_text.h"
#include "reservation/one_touch.h"

#include <vector>

namespace kestrova {

namespace {

struct OneTouchContext {
    std::vector<OneTouchChoice> choices;
    std::int32_t minutes = 0;
};

// Each item shows its text as the setting has it; one of more than a day
// records a day (OneTouchChoices).
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
    return OneTouchMinutes(chosen, ControlText(dialog, IDC_ONETOUCH_MINUTES));
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM, OneTouchContext& context) {
    if (message == WM_INITDIALOG) {
        FillList(dialog, context);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    return EndOnOkOrCancel(dialog, LOWORD(wParam), context.minutes, [dialog] { return ChosenMinutes(dialog); });
}

}  // namespace

std::optional<std::int32_t> RunOneTouchDialog(HINSTANCE instance, HWND owner, const std::string& onetouchSetting) {
    OneTouchContext context{OneTouchChoices(onetouchSetting), 0};
    if (RunModalDialog<OneTouchContext, HandleMessage>(instance, owner, IDD_ONETOUCH, context) != IDOK) {
        return std::nullopt;
    }
    return context.minutes;
}

}  // namespace kestrova
