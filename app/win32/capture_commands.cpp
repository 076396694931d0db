// ｷｬﾌﾟﾁｬ(&C): recording, snapshots and the clipboard.
#include "app/win32/commands.h"
#include "app/win32/main_window.h"
#include "app/win32/window_frame.h"
#include "reservation/win32/one_touch_dialog.h"
#include "store/string_table.h"

namespace kestrova {

namespace {

void ShowRecordingStatistics(CaptureDevice& device, StatusBar& status) {
    CapStatus figures;
    device.GetStatus(figures);
    status.ShowStatistics(FormatRecordingStatistics(figures));
}

}  // namespace

void RecordCommand(HWND window, RunState& run, CaptureDevice& device, StatusBar& status) {
    {
        const RecordingScope recording(window, run.recording);
        status.SetSimple(false);
        device.Record(run.confirm != 0);
    }
    ShowRecordingStatistics(device, status);
}

void OneTouchCommand(HINSTANCE instance, HWND window, RunState& run, const std::string& lengths, CaptureDevice* device,
                     StatusBar& status) {
    const std::optional<std::int32_t> minutes = RunOneTouchDialog(instance, window, lengths);
    if (!minutes) return;
    run.oneTouchMinutes = *minutes;
    {
        const RecordingScope recording(window, run.recording);
        status.SetSimple(false);
        if (device != nullptr) device->RecordTimed(*minutes * 60);
    }
    if (device != nullptr) ShowRecordingStatistics(*device, status);
}

void SnapshotCommand(CaptureDevice& device, StatusBar& status) {
    const std::string path = device.TakeSnapshot();
    status.ShowMessage(path.empty() ? std::string() : FormatText(strings::kSavedTo, path));
}

void ClipboardCommand(CaptureDevice& device, StatusBar& status) {
    device.CopyFrameToClipboard();
    status.ShowMessage(std::string(LoadText(strings::kCopiedToClipboard)));
}

}  // namespace kestrova
