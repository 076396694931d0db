// ｵﾌﾟｼｮﾝ → ｽﾅｯﾌﾟｼｮｯﾄ設定: numbered snapshots.
#include "app/win32/commands.h"
#include "dialogs/snapshot_settings.h"
#include "dialogs/win32/snapshot_settings_dialog.h"

namespace kestrova {

void SnapshotSettingsCommand(CommandContext& c) {
    // The next number lives with the device; without one it starts at 0.
    std::int32_t unused = 0;
    std::int32_t& counter = c.device != nullptr ? c.device->snapshotCounter : unused;
    const std::optional<SnapshotFields> fields =
        RunSnapshotSettingsDialog(c.instance, c.window, OpenSnapshotSettings(c.settings, counter));
    if (fields) StoreSnapshotSettings(*fields, c.settings, counter);
}

}  // namespace kestrova
