// ﾌｧｲﾙ → ﾃﾝﾎﾟﾗﾘ情報: the work directory and work file.
#include "app/win32/commands.h"

namespace kestrova {

void TempDiskCommand(CommandContext&) {}

}  // namespace kestrova
