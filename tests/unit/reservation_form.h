// The reservation dialog's form filled in for its tests.
#pragma once

#include "reservation/reservation_dialog.h"

#include <string>

namespace kestrova::testing {

// The form with its number fields as the dialog fills them ("9", not "09");
// times are "hh:mm:ss", or empty for empty fields.
inline ReservationForm Form(const std::string& month, const std::string& day, const std::string& start,
                     const std::string& end) {
    const auto field = [](const std::string& t, std::size_t at) {
        return t.empty() ? std::string() : std::to_string(std::stoi(t.substr(at, 2)));
    };
    ReservationForm f;
    f.month = month;
    f.day = day;
    f.startHour = field(start, 0);
    f.startMinute = field(start, 3);
    f.startSecond = field(start, 6);
    f.endHour = field(end, 0);
    f.endMinute = field(end, 3);
    f.endSecond = field(end, 6);
    return f;
}

}  // namespace kestrova::testing
