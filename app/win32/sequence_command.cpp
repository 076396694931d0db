// ﾋﾞﾃﾞｵ設定 → ｼｰｹﾝｽ: frame rate and sound.
#include "app/win32/commands.h"
#include "dialogs/sequence.h"
#include "dialogs/win32/sequence_dialog.h"

namespace kestrova {

void SequenceCommand(CommandContext& c) {
    const std::optional<SequenceFields> fields =
        RunSequenceDialog(c.instance, c.window, OpenSequence(c.settings, c.device));
    if (fields) StoreSequence(SequenceRate(fields->rate), fields->audio, c.settings, c.device);
}

}  // namespace kestrova
