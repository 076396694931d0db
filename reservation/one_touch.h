// One-touch recording: the lengths offered (the Onetouch setting, minutes
// separated by commas) and the length OK records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct OneTouchChoice {
    std::string text;      // as written in the setting
    std::int32_t minutes;  // its number as atol reads it (0 when there is none)
};

// The tokens between the commas, empty ones skipped.
std::vector<OneTouchChoice> OneTouchChoices(std::string_view setting);

// What the dialog's field shows when it opens.
inline constexpr char kOneTouchFieldStart[] = "15";

// The minutes OK records: the chosen item's value, or, with no item chosen,
// the number typed in the field; never less than 1.
std::int32_t OneTouchMinutes(std::optional<std::int32_t> chosen, std::string_view fieldText);

}  // namespace kestrova
