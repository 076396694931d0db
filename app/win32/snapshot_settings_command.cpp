// ｵﾌﾟｼｮﾝ → ｽﾅｯﾌﾟｼｮｯﾄ設定: numbered snapshots.
#include "app/win32/commands.h"

namespace kestrova {

void SnapshotSettingsCommand(CommandContext&) {}

}  // namespace kestrova
