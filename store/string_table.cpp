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

std::string FillText(unsigned id, std::initializer_list<std::string_view> values) {
    const std::string_view format = LoadText(id);
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char next = i + 1 < format.size() ? format[i + 1] : '\0';
        const auto n = static_cast<std::size_t>(next - '1');
        if (format[i] == '%' && next >= '1' && next <= '9' && n < values.size()) {
            out += *(values.begin() + n);
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

}  // namespace kestrova
