#include "dialogs/win32/snapshot_settings_dialog.h"

#include "dialogs/win32/control_values.h"

#include <commctrl.h>

namespace kestrova {

namespace {

struct SnapshotDialogValues {
    SnapshotFields fields;
};

void ShowNumbered(HWND dialog, bool on) {
    EnableControls(dialog, {IDC_SNAPSHOT_NAME, IDC_SNAPSHOT_NUMBER, IDC_SNAPSHOT_OVERWRITE, IDC_SNAPSHOT_NUMBER_ARROWS},
                   on);
}

void ShowFields(HWND dialog, const SnapshotFields& fields) {
    SendDlgItemMessageW(dialog, IDC_SNAPSHOT_NUMBER_ARROWS, UDM_SETRANGE32, kSnapshotArrowMin, kSnapshotArrowMax);
    SetControlText(dialog, IDC_SNAPSHOT_NAME, fields.baseName);
    SetControlText(dialog, IDC_SNAPSHOT_NUMBER, fields.nextNumber);
    SetChecked(dialog, IDC_SNAPSHOT_NUMBERED, fields.numbered);
    SetChecked(dialog, IDC_SNAPSHOT_OVERWRITE, fields.overwriteWarning);
    ShowNumbered(dialog, fields.numbered);
}

SnapshotFields ReadFields(HWND dialog) {
    return SnapshotFields{IsChecked(dialog, IDC_SNAPSHOT_NUMBERED), ControlText(dialog, IDC_SNAPSHOT_NAME),
                          ControlText(dialog, IDC_SNAPSHOT_NUMBER), IsChecked(dialog, IDC_SNAPSHOT_OVERWRITE)};
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ShowFields(dialog, KeepDialogValues<SnapshotDialogValues>(dialog, lParam).fields);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_SNAPSHOT_NUMBERED:
        ShowNumbered(dialog, IsChecked(dialog, IDC_SNAPSHOT_NUMBERED));
        return TRUE;
    case IDOK:
        DialogValues<SnapshotDialogValues>(dialog).fields = ReadFields(dialog);
        EndDialog(dialog, IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK SnapshotSettingsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return HandleMessage(dialog, message, wParam, lParam);
    } catch (...) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
}

}  // namespace

std::optional<SnapshotFields> RunSnapshotSettingsDialog(HINSTANCE instance, HWND owner, const SnapshotFields& shown) {
    SnapshotDialogValues values{shown};
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SNAPSHOT_SETTINGS), owner,
                                           SnapshotSettingsProc, reinterpret_cast<LPARAM>(&values));
    if (result != IDOK) return std::nullopt;
    return values.fields;
}

}  // namespace kestrova
