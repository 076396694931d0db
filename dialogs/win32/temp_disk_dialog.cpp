#include "dialogs/win32/temp_disk_dialog.h"

#include "dialogs/stored_text.h"
#include "dialogs/temp_disk.h"
#include "platform/files.h"
#include "platform/win32_dialog.h"
#include "platform/win32_text.h"
#include "store/string_table.h"

#include <commctrl.h>
#include <shlobj.h>

#include <memory>
#include <optional>
#include <string>

namespace kestrova {

namespace {

struct ItemIdListFree {
    void operator()(LPITEMIDLIST list) const { ILFree(list); }
};
using ItemIdList = std::unique_ptr<ITEMIDLIST, ItemIdListFree>;

void ShowErrorBox(HWND dialog, const std::string& text) {
    MessageBoxW(dialog, Widen(text).c_str(), Widen(LoadText(strings::kErrorCaption)).c_str(), MB_OK | MB_ICONERROR);
}

// The directory questions and errors as boxes over the dialog. A relative
// path is taken from the start folder, as the work directory is, never
// from whatever the current directory is.
class DialogDirectoryHost final : public WorkDirectoryHost {
public:
    explicit DialogDirectoryHost(HWND dialog) : dialog_(dialog) {}

    bool IsDirectory(const std::string& path) override { return kestrova::IsDirectory(Full(path)); }
    bool AskCreate(const std::string& question) override {
        return MessageBoxW(dialog_, Widen(question).c_str(), Widen(LoadText(strings::kErrorCaption)).c_str(), MB_OKCANCEL) == IDOK;
    }
    bool MakeDirectory(const std::string& path) override {
        return CreateDirectoryW(Widen(Full(path)).c_str(), nullptr) != 0 || IsDirectory(path);
    }
    void ShowError(const std::string& text) override { ShowErrorBox(dialog_, text); }
    void ChangeCurrentDirectory(const std::string& path) override { EnterDirectory(Full(path)); }

private:
    static std::string Full(const std::string& path) { return PathFrom(StartFolder(), path); }

    HWND dialog_;
};

struct TempDiskContext {
    AppSettings& settings;
    CaptureDevice* device;
};

TempDiskValues ReadValues(HWND dialog) {
    TempDiskValues values;
    values.directory = ControlText(dialog, IDC_TEMP_DIRECTORY);
    values.reserveSpace = IsChecked(dialog, IDC_TEMP_RESERVE);
    values.sizeText = ControlText(dialog, IDC_TEMP_SIZE);
    values.fixedFile = IsChecked(dialog, IDC_TEMP_FIXED);
    values.fileName = ControlText(dialog, IDC_TEMP_FILE_NAME);
    values.speedSave = IsChecked(dialog, IDC_TEMP_SPEED_SAVE);
    return values;
}

void ShowEnabled(HWND dialog, const TempDiskValues& values) {
    EnableControls(dialog, {IDC_TEMP_SIZE, IDC_TEMP_SIZE_SPIN}, values.SizeEnabled());
    EnableControls(dialog, {IDC_TEMP_FILE_NAME}, values.FileNameEnabled());
    EnableControls(dialog, {IDC_TEMP_SPEED_SAVE}, values.SpeedSaveEnabled());
    SetChecked(dialog, IDC_TEMP_SPEED_SAVE, values.speedSave);
}

void ShowValues(HWND dialog, const TempDiskValues& values) {
    SendDlgItemMessageW(dialog, IDC_TEMP_SIZE_SPIN, UDM_SETRANGE32, setting_range::TempSize.low,
                        setting_range::TempSize.high);
    SetControlText(dialog, IDC_TEMP_DIRECTORY, values.directory);
    SetControlText(dialog, IDC_TEMP_SIZE, values.sizeText);
    SetControlText(dialog, IDC_TEMP_FILE_NAME, values.fileName);
    SetChecked(dialog, IDC_TEMP_RESERVE, values.reserveSpace);
    CheckRadioButton(dialog, IDC_TEMP_FIXED, IDC_TEMP_PER_CAPTURE,
                     values.fixedFile ? IDC_TEMP_FIXED : IDC_TEMP_PER_CAPTURE);
    ShowEnabled(dialog, values);
}

// 参照: the folder browser; the folder picked replaces the directory field
// unless the settings file cannot keep its path (told in a box).
void Browse(HWND dialog) {
    wchar_t name[MAX_PATH] = L"";
    const std::wstring title = Widen(LoadText(strings::kWorkFolderTitle));
    BROWSEINFOW info{};
    info.hwndOwner = dialog;
    info.pszDisplayName = name;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    const ItemIdList chosen(SHBrowseForFolderW(&info));
    wchar_t path[MAX_PATH] = L"";
    if (chosen == nullptr || !SHGetPathFromIDListW(chosen.get(), path)) return;
    if (const std::optional<std::string> refusal = StoredTextRefusal(Narrow(path), kStoredPathBytes)) {
        ShowErrorBox(dialog, *refusal);
        return;
    }
    SetDlgItemTextW(dialog, IDC_TEMP_DIRECTORY, path);
}

void OnCommand(HWND dialog, const TempDiskContext& context, int id) {
    switch (id) {
    case IDC_TEMP_BROWSE:
        Browse(dialog);
        break;
    case IDC_TEMP_RESERVE:
    case IDC_TEMP_FIXED:
    case IDC_TEMP_PER_CAPTURE: {
        TempDiskValues values = ReadValues(dialog);
        values.SetReserveSpace(values.reserveSpace);
        ShowEnabled(dialog, values);
        break;
    }
    case IDOK: {
        DialogDirectoryHost host(dialog);
        if (ApplyTempDisk(ReadValues(dialog), context.settings, context.device, host)) EndDialog(dialog, IDOK);
        break;
    }
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    default:
        break;
    }
}

INT_PTR HandleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM, const TempDiskContext& context) {
    if (message == WM_INITDIALOG) {
        ShowValues(dialog, OpenTempDisk(context.settings));
        return TRUE;
    }
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
    OnCommand(dialog, context, LOWORD(wParam));
    return TRUE;
}

}  // namespace

void RunTempDiskDialog(HINSTANCE instance, HWND owner, AppSettings& settings, CaptureDevice* device) {
    const TempDiskContext context{settings, device};
    RunModalDialog<const TempDiskContext, HandleMessage>(instance, owner, IDD_TEMP_DISK, context);
}

}  // namespace kestrova
