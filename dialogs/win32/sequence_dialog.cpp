#include "dialogs/win32/sequence_dialog.h"

#include "dialogs/win32/control_values.h"
#include "platform/win32_text.h"

namespace kestrova {

namespace {

struct SequenceDialogValues {
    SequenceFields fields;
};

void ShowFields(HWND dialog, const SequenceFields& fields) {
    const HWND combo = GetDlgItem(dialog, IDC_SEQUENCE_RATE);
    for (const std::string& rate : fields.rates) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(rate).c_str()));
    }
    SetWindowTextW(combo, Widen(fields.rate).c_str());
    SetChecked(dialog, IDC_SEQUENCE_AUDIO, fields.audio);
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ShowFields(dialog, KeepDialogValues<SequenceDialogValues>(dialog, lParam).fields);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wParam) == IDOK) {
        SequenceFields& fields = DialogValues<SequenceDialogValues>(dialog).fields;
        fields.rate = ControlText(dialog, IDC_SEQUENCE_RATE);
        fields.audio = IsChecked(dialog, IDC_SEQUENCE_AUDIO);
    } else if (LOWORD(wParam) != IDCANCEL) {
        return FALSE;
    }
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
}

INT_PTR CALLBACK SequenceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return HandleMessage(dialog, message, wParam, lParam);
    } catch (...) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
}

}  // namespace

std::optional<SequenceFields> RunSequenceDialog(HINSTANCE instance, HWND owner, const SequenceFields& shown) {
    SequenceDialogValues values{shown};
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SEQUENCE), owner, SequenceProc,
                                           reinterpret_cast<LPARAM>(&values));
    if (result != IDOK) return std::nullopt;
    return values.fields;
}

}  // namespace kestrova
