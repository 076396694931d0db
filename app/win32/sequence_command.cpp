// ﾋﾞﾃﾞｵ設定 → ｼｰｹﾝｽ: frame rate and sound.
#include "app/win32/commands.h"

namespace kestrova {

void SequenceCommand(CommandContext&) {}

}  // namespace kestrova
