#include "dialogs/stored_text.h"

#include "platform/cp932.h"
#include "store/string_table.h"

namespace kestrova {

std::optional<std::string> StoredTextRefusal(std::string_view text, std::size_t maxBytes) {
    const std::optional<std::string> cp932 = ExactCp932(text);
    if (!cp932) {
        const std::string character = FirstCharacterOutsideCp932(text);
        return FillText(strings::kNotCp932Character, {text, character.empty() ? text : character});
    }
    if (cp932->size() > maxBytes) return FillText(strings::kTooLongToStore, {text, std::to_string(maxBytes)});
    return std::nullopt;
}

}  // namespace kestrova
