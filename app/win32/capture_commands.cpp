// ｷｬﾌﾟﾁｬ(&C): recording, snapshots and the clipboard.
#include "app/win32/commands.h"
#include "app/win32/window_frame.h"
#include "reservation/win32/one_touch_dialog.h"
#include "store/string_table.h"

namespace kestrova {

namespace {

void ShowRecordingStatistics(CommandContext& c) {
    CapStatus status;
    c.device->GetStatus(status);
    c.texts.statistics = FormatRecordingStatistics(status);
    c.statusBar.ShowOwnerDrawn(c.texts.statistics);
}

}  // namespace

void RecordCommand(CommandContext& c) {
    if (!c.Connected()) return;
    const int count = LockMenuBar(c.window);
    c.statusBar.SetSimple(false);
    c.run.recording = true;
    c.device->Record(c.run.confirm != 0);
    c.run.recording = false;
    UnlockMenuBar(c.window, count);
    ShowRecordingStatistics(c);
}

// 開始ﾜﾝﾀｯﾁ: a recording of the minutes chosen, straight away.
void OneTouchCommand(CommandContext& c) {
    const std::optional<std::int32_t> minutes = RunOneTouchDialog(c.instance, c.window, c.settings.Onetouch);
    if (!minutes) return;
    c.run.oneTouchMinutes = *minutes;
    const int count = LockMenuBar(c.window);
    c.statusBar.SetSimple(false);
    c.run.recording = true;
    if (c.device != nullptr) c.device->RecordTimed(*minutes * 60);
    c.run.recording = false;
    UnlockMenuBar(c.window, count);
    if (c.device != nullptr) ShowRecordingStatistics(c);
}

void SnapshotCommand(CommandContext& c) {
    if (!c.Connected()) return;
    const std::string path = c.device->TakeSnapshot();
    c.texts.message = path.empty() ? std::string() : FormatText(strings::kSavedTo, path);
    c.statusBar.SetStatusText(c.texts.message);
}

void ClipboardCommand(CommandContext& c) {
    if (!c.Connected()) return;
    c.device->CopyFrameToClipboard();
    c.texts.message = std::string(LoadText(strings::kCopiedToClipboard));
    c.statusBar.SetStatusText(c.texts.message);
}

}  // namespace kestrova
