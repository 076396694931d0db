// Numbers typed into the settings dialogs' digits-only fields.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrova {

// The unsigned number a field holds: blanks before it are skipped and the
// digits up to the first other character are read, commas between them
// skipped (an up-down control writes "1,000"); 0 when there are none. A
// number beyond `limit` is held at it.
std::uint32_t FieldNumber(std::string_view text, std::uint32_t limit);

}  // namespace kestrova
