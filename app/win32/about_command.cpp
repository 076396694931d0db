// ﾍﾙﾌﾟ(&H) → ﾊﾞｰｼﾞｮﾝ情報: the About box.
#include "app/win32/commands.h"
#include "dialogs/win32/about_dialog.h"

namespace kestrova {

void AboutCommand(CommandContext& c) { RunAboutDialog(c.instance, c.window, c.device); }

}  // namespace kestrova
