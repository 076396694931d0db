#include "app/string_table.h"

namespace kestrova {

std::string_view LoadText(unsigned id) {
    for (std::size_t i = 0; i < kStringTableSize; ++i) {
        if (kStringTable[i].id == id) return kStringTable[i].text;
    }
    return {};
}

}  // namespace kestrova
