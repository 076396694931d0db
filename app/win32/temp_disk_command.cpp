// ﾌｧｲﾙ → ﾃﾝﾎﾟﾗﾘ情報: the work directory and work file.
#include "app/win32/commands.h"
#include "dialogs/win32/temp_disk_dialog.h"

namespace kestrova {

void TempDiskCommand(CommandContext& c) { RunTempDiskDialog(c.instance, c.window, c.settings, c.device); }

}  // namespace kestrova
