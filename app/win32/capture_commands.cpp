// ｷｬﾌﾟﾁｬ(&C): recording, snapshots and the clipboard.
#include "app/win32/commands.h"
#include "app/win32/main_window.h"
#include "app/win32/window_frame.h"
#include "history/capture_log.h"
#include "reservation/win32/one_touch_dialog.h"
#include "store/string_table.h"

#include <algorithm>
#include <climits>

namespace kestrova {

namespace {

// What a recording by hand did: its statistics in the status bar, and its
// failure in a box.
void TellRecording(const RecordingAccount& account, StatusBar& status, Win32DeviceServices& reporter) {
    status.ShowStatistics(StatisticsLine(account.frames, account.dropped, account.elapsedMs));
    if (account.failureKind == RecordingFailure::WorkFile) {
        reporter.ShowWorkFileFailure();
    } else if (!account.failure.empty()) {
        reporter.ShowRecordingFailure(account.failure);
    }
}

}  // namespace

void RecordCommand(HWND window, RunState& run, bool confirm, CaptureDevice& device, StatusBar& status,
                   Win32DeviceServices& reporter) {
    RecordingAccount account;
    {
        const RecordingScope recording(window, run.recording);
        status.SetSimple(false);
        account = device.Record(confirm);
    }
    TellRecording(account, status, reporter);
}

void OneTouchCommand(HINSTANCE instance, HWND window, RunState& run, const std::string& lengths, CaptureDevice* device,
                     StatusBar& status, Win32DeviceServices& reporter) {
    const std::optional<std::int32_t> minutes = RunOneTouchDialog(instance, window, lengths);
    if (!minutes || device == nullptr) return;
    RecordingAccount account;
    {
        const RecordingScope recording(window, run.recording);
        status.SetSimple(false);
        account = device->RecordTimed(static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{*minutes} * 60, INT32_MAX)));
    }
    TellRecording(account, status, reporter);
}

void SnapshotCommand(CaptureDevice& device, StatusBar& status) {
    const std::string path = device.TakeSnapshot();
    status.ShowMessage(path.empty() ? std::string() : FormatText(strings::kSavedTo, path));
}

void ClipboardCommand(CaptureDevice& device, StatusBar& status) {
    status.ShowMessage(std::string(LoadText(device.CopyFrameToClipboard() ? strings::kCopiedToClipboard
                                                                          : strings::kClipboardFailed)));
}

}  // namespace kestrova
