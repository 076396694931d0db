#include "dialogs/win32/device_select_dialog.h"

#include "dialogs/device_select.h"
#include "platform/win32_dialog.h"
#include "platform/win32_text.h"

namespace kestrova {

namespace {

struct DeviceSelectContext {
    CaptureDevice* device;
    const AppSettings& settings;
};

void FillList(HWND dialog, const DeviceSelectValues& values) {
    const HWND list = GetDlgItem(dialog, IDC_DEVICE_LIST);
    for (const std::string& line : values.lines) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(line).c_str()));
    }
    if (values.selected >= 0) SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(values.selected), 0);
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM, const DeviceSelectContext& context) {
    if (message == WM_INITDIALOG) {
        FillList(dialog, OpenDeviceSelect(context.device));
        return TRUE;
    }
    if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)) return FALSE;
    if (LOWORD(wParam) == IDOK) {
        DeviceSelectValues values;
        const LRESULT chosen = SendDlgItemMessageW(dialog, IDC_DEVICE_LIST, LB_GETCURSEL, 0, 0);
        values.selected = chosen == LB_ERR ? -1 : static_cast<int>(chosen);
        ApplyDeviceSelect(values, context.device, context.settings);
    }
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
}

}  // namespace

void RunDeviceSelectDialog(HINSTANCE instance, HWND owner, CaptureDevice* device, const AppSettings& settings) {
    const DeviceSelectContext context{device, settings};
    RunModalDialog<const DeviceSelectContext, HandleMessage>(instance, owner, IDD_DEVICE_SELECT, context);
}

}  // namespace kestrova
