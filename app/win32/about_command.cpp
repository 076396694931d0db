// ﾍﾙﾌﾟ(&H) → ﾊﾞｰｼﾞｮﾝ情報: the About box.
#include "app/win32/commands.h"

namespace kestrova {

void AboutCommand(CommandContext&) {}

}  // namespace kestrova
