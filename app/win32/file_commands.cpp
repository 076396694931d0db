// ﾌｧｲﾙ(&F): saving the recording and ending the program.
#include "app/win32/commands.h"

namespace kestrova {

void ExitCommand(CommandContext& c) { DestroyWindow(c.window); }

void SaveAsCommand(CommandContext& c) {
    if (c.device != nullptr) c.device->SaveAs();
}

}  // namespace kestrova
