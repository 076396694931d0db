// Numbers typed into the reservation and one-touch fields.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrova {

// The number a field holds as atol reads it: blanks, one sign, the digits up
// to the first other character (0 for none); beyond the 32-bit range it
// stops growing.
std::int64_t TypedNumber(std::string_view text);

}  // namespace kestrova
