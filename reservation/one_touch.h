// One-touch recording: the lengths offered (the Onetouch setting, minutes
// separated by commas) and the length OK records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

// The longest one-touch recording: a day, what a timed recording is made
// for. Its seconds fit a 32-bit count everywhere they travel.
inline constexpr std::int32_t kOneTouchMaxMinutes = 24 * 60;
static_assert(kOneTouchMaxMinutes <= INT32_MAX / 60);

struct OneTouchChoice {
    std::string text;      // as written in the setting
    std::int32_t minutes;  // its number as atol reads it (0 when there is none), at most kOneTouchMaxMinutes
};

// The tokens between the commas, empty ones skipped. A token of more than
// kOneTouchMaxMinutes keeps its text, and its value is that most.
std::vector<OneTouchChoice> OneTouchChoices(std::string_view setting);

// What the dialog's field shows when it opens.
inline constexpr char kOneTouchFieldStart[] = "15";

// The minutes OK records: the chosen item's value, or, with no item chosen,
// the number typed in the field; never less than 1 nor more than
// kOneTouchMaxMinutes.
std::int32_t OneTouchMinutes(std::optional<std::int32_t> chosen, std::string_view fieldText);

}  // namespace kestrova
