#include "reservation/one_touch.h"

#include <algorithm>

namespace kestrova {

namespace {

// atol: blanks, one sign, the digits up to the first other character;
// beyond the 32-bit range it stops growing.
std::int32_t LeadingNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    bool minus = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) minus = text[at++] == '-';
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = std::min<std::int64_t>(value * 10 + (text[at] - '0'), INT32_MAX);
    }
    return static_cast<std::int32_t>(minus ? -value : value);
}

}  // namespace

std::vector<OneTouchChoice> OneTouchChoices(std::string_view setting) {
    std::vector<OneTouchChoice> choices;
    std::size_t start = 0;
    while (start <= setting.size()) {
        const std::size_t comma = std::min(setting.find(',', start), setting.size());
        const std::string_view token = setting.substr(start, comma - start);
        if (!token.empty()) choices.push_back({std::string(token), LeadingNumber(token)});
        start = comma + 1;
    }
    return choices;
}

std::int32_t OneTouchMinutes(std::optional<std::int32_t> chosen, std::string_view fieldText) {
    return std::max<std::int32_t>(chosen ? *chosen : LeadingNumber(fieldText), 1);
}

}  // namespace kestrova
