#include "dialogs/win32/sequence_dialog.h"

#include "platform/win32_dialog.h"
#include "platform/win32_text.h"

namespace kestrova {

namespace {

void ShowFields(HWND dialog, const SequenceFields& fields) {
    const HWND combo = GetDlgItem(dialog, IDC_SEQUENCE_RATE);
    for (const std::string& rate : fields.rates) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(rate).c_str()));
    }
    SetWindowTextW(combo, Widen(fields.rate).c_str());
    SetChecked(dialog, IDC_SEQUENCE_AUDIO, fields.audio);
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM, SequenceFields& fields) {
    if (message == WM_INITDIALOG) {
        ShowFields(dialog, fields);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    return EndOnOkOrCancel(dialog, LOWORD(wParam), fields, [&] {
        SequenceFields read = fields;
        read.rate = ControlText(dialog, IDC_SEQUENCE_RATE);
        read.audio = IsChecked(dialog, IDC_SEQUENCE_AUDIO);
        return read;
    });
}

}  // namespace

void SequenceCommand(HINSTANCE instance, HWND owner, AppSettings& settings, CaptureDevice* device) {
    const std::optional<SequenceFields> fields =
        EditInDialog<SequenceFields, HandleMessage>(instance, owner, IDD_SEQUENCE, OpenSequence(settings, device));
    if (fields) StoreSequence(SequenceRate(fields->rate), fields->audio, settings, device);
}

}  // namespace kestrova
