#include "reservation/one_touch.h"

#include "reservation/typed_number.h"

#include <algorithm>

namespace kestrova {

namespace {

std::int32_t LeadingNumber(std::string_view text) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(TypedNumber(text), kOneTouchMaxMinutes));
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
    return std::clamp<std::int32_t>(chosen ? *chosen : LeadingNumber(fieldText), 1, kOneTouchMaxMinutes);
}

}  // namespace kestrova
