// Letter case of ASCII letters only, for names and keys that are ASCII by
// nature (file extensions, header keys): other bytes stay as they are.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace kestrova {

constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLowered(std::string_view text) {
    std::string out(text.size(), '\0');
    std::transform(text.begin(), text.end(), out.begin(), AsciiLower);
    return out;
}

}  // namespace kestrova
