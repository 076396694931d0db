#include "dialogs/win32/snapshot_settings_dialog.h"

#include "platform/win32_dialog.h"
#include "store/string_table.h"

#include <commctrl.h>

namespace kestrova {

namespace {

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

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM, SnapshotFields& fields) {
    if (message == WM_INITDIALOG) {
        ShowFields(dialog, fields);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wParam) == IDC_SNAPSHOT_NUMBERED) {
        ShowNumbered(dialog, IsChecked(dialog, IDC_SNAPSHOT_NUMBERED));
        return TRUE;
    }
    if (LOWORD(wParam) == IDOK) {
        if (const std::optional<std::string> refusal = SnapshotSettingsRefusal(ReadFields(dialog))) {
            MessageBoxW(dialog, Widen(*refusal).c_str(), Widen(LoadText(strings::kErrorCaption)).c_str(),
                        MB_OK | MB_ICONERROR);
            return TRUE;
        }
    }
    return EndOnOkOrCancel(dialog, LOWORD(wParam), fields, [dialog] { return ReadFields(dialog); });
}

}  // namespace

void SnapshotSettingsCommand(HINSTANCE instance, HWND owner, AppSettings& settings, CaptureDevice* device) {
    // Without a device there is no snapshot to number: the field shows 0.
    const std::optional<SnapshotFields> fields = EditInDialog<SnapshotFields, HandleMessage>(
        instance, owner, IDD_SNAPSHOT_SETTINGS, OpenSnapshotSettings(settings, device ? device->snapshotNumber() : 0));
    if (!fields) return;
    const std::int32_t next = StoreSnapshotSettings(*fields, settings);
    if (device != nullptr) device->SetSnapshotNumber(next);
}

}  // namespace kestrova
