#include "dialogs/win32/environment_dialog.h"

#include "dialogs/number_field.h"
#include "platform/win32_dialog.h"

#include <commctrl.h>

#include <algorithm>

namespace kestrova {

namespace {

void ShowPartCapture(HWND dialog, bool on) {
    EnableControls(dialog, {IDC_ENV_PART_MINUTES, IDC_ENV_PART_MINUTES_ARROWS}, on);
}

void ShowFields(HWND dialog, const EnvironmentFields& fields) {
    for (const int arrows : {IDC_ENV_PREVIEW_RATE_ARROWS, IDC_ENV_PART_MINUTES_ARROWS}) {
        SendDlgItemMessageW(dialog, arrows, UDM_SETRANGE32, kEnvironmentArrowMin, kEnvironmentArrowMax);
    }
    for (const int field : {IDC_ENV_PREVIEW_RATE, IDC_ENV_PART_MINUTES}) {
        SendDlgItemMessageW(dialog, field, EM_LIMITTEXT, kEnvironmentFieldChars, 0);
    }
    // The rate's arrows take the right of its field's room: the digits get
    // all that is left.
    SendDlgItemMessageW(dialog, IDC_ENV_PREVIEW_RATE, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    SetControlText(dialog, IDC_ENV_PREVIEW_RATE, fields.previewRate);
    SetControlText(dialog, IDC_ENV_VIDEO_BUFFERS, fields.videoBuffers);
    SetControlText(dialog, IDC_ENV_PART_MINUTES, fields.partMinutes);
    SetChecked(dialog, IDC_ENV_PART_CAPTURE, fields.partCapture);
    ShowPartCapture(dialog, fields.partCapture);
    SetChecked(dialog, IDC_ENV_LEFT_CLICK, fields.leftClick);
    SetChecked(dialog, IDC_ENV_RIGHT_CLICK, fields.rightClick);
    SetChecked(dialog, IDC_ENV_SCALING, fields.scaling);
    EnableControls(dialog, {IDC_ENV_SCALING}, fields.scalingEnabled);
}

EnvironmentFields ReadFields(HWND dialog, EnvironmentFields fields) {
    fields.previewRate = ControlText(dialog, IDC_ENV_PREVIEW_RATE);
    fields.leftClick = IsChecked(dialog, IDC_ENV_LEFT_CLICK);
    fields.rightClick = IsChecked(dialog, IDC_ENV_RIGHT_CLICK);
    fields.scaling = IsChecked(dialog, IDC_ENV_SCALING);
    fields.videoBuffers = ControlText(dialog, IDC_ENV_VIDEO_BUFFERS);
    fields.partCapture = IsChecked(dialog, IDC_ENV_PART_CAPTURE);
    fields.partMinutes = ControlText(dialog, IDC_ENV_PART_MINUTES);
    return fields;
}

// The minutes' arrows do not write into their field by themselves: the
// field takes the step here, within the arrows' range.
LRESULT StepPartMinutes(HWND dialog, const NMUPDOWN& step) {
    const auto minutes = static_cast<int>(FieldNumber(ControlText(dialog, IDC_ENV_PART_MINUTES), kEnvironmentArrowMax));
    const int next = std::clamp(minutes + step.iDelta, kEnvironmentArrowMin, kEnvironmentArrowMax);
    SetControlText(dialog, IDC_ENV_PART_MINUTES, std::to_string(next));
    SendDlgItemMessageW(dialog, IDC_ENV_PART_MINUTES_ARROWS, UDM_SETPOS32, 0, next);
    return TRUE;  // the arrows' own position is set above
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, EnvironmentFields& fields) {
    if (message == WM_INITDIALOG) {
        ShowFields(dialog, fields);
        return TRUE;
    }
    if (message == WM_NOTIFY) {
        const auto& step = *reinterpret_cast<const NMUPDOWN*>(lParam);
        if (step.hdr.idFrom != IDC_ENV_PART_MINUTES_ARROWS || step.hdr.code != UDN_DELTAPOS) return FALSE;
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, StepPartMinutes(dialog, step));
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wParam) == IDC_ENV_PART_CAPTURE) {
        ShowPartCapture(dialog, IsChecked(dialog, IDC_ENV_PART_CAPTURE));
        return TRUE;
    }
    return EndOnOkOrCancel(dialog, LOWORD(wParam), fields, [&] { return ReadFields(dialog, fields); });
}

}  // namespace

std::optional<EnvironmentOutcome> EnvironmentCommand(HINSTANCE instance, HWND owner, AppSettings& settings,
                                                     CaptureDevice* device) {
    std::optional<std::uint16_t> previewRate;
    if (device != nullptr) previewRate = device->previewRate();
    const std::optional<EnvironmentFields> fields = EditInDialog<EnvironmentFields, HandleMessage>(
        instance, owner, IDD_ENVIRONMENT, OpenEnvironment(settings, previewRate));
    if (!fields) return std::nullopt;
    StoreEnvironment(*fields, settings);
    if (device == nullptr) return std::nullopt;
    return EnvironmentOutcome{ApplyEnvironment(*device, settings)};
}

}  // namespace kestrova
