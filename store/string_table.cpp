#include "store/string_table.h"

#include <cstdio>
#include <vector>

namespace kestrova {

std::string_view LoadText(unsigned id) {
    for (std::size_t i = 0; i < kStringTableSize; ++i) {
        if (kStringTable[i].id == id) return kStringTable[i].text;
    }
    return {};
}

std::string FormatText(unsigned id, const std::string& value) {
    const std::string format(LoadText(id));
    std::vector<char> buffer(format.size() + value.size() + 16);
    std::snprintf(buffer.data(), buffer.size(), format.c_str(), value.c_str());
    return buffer.data();
}

}  // namespace kestrova
