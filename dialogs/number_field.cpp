#include "dialogs/number_field.h"

namespace kestrova {

namespace {

bool IsDigit(std::string_view text, std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; }

}  // namespace

std::uint32_t FieldNumber(std::string_view text, std::uint32_t limit) {
    std::size_t pos = text.find_first_not_of(" \t");
    std::uint64_t value = 0;
    for (; IsDigit(text, pos); ++pos) {
        value = value * 10 + static_cast<std::uint64_t>(text[pos] - '0');
        if (value > limit) return limit;
        if (IsDigit(text, pos + 2) && text[pos + 1] == ',') ++pos;  // a thousands separator
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace kestrova
