// ｵﾌﾟｼｮﾝ → 環境設定: preview, parts, stop conditions, buffers.
#include "app/win32/commands.h"

namespace kestrova {

void EnvironmentCommand(CommandContext&) {}

}  // namespace kestrova
