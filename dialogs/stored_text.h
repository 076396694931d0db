// Texts the settings file must keep exactly as they are (the work directory,
// the work file's name, the snapshots' name): one that code page 932 cannot
// hold, or that is longer than the file keeps, is refused, never cut or
// changed, since a path stored as something else names another file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

// Bytes of a text's CP932 form the settings file keeps (its NUL not counted).
inline constexpr std::size_t kStoredPathBytes = 259;
inline constexpr std::size_t kStoredNameBytes = 255;

// Why text cannot be stored (a box's text naming the character or the
// limit), or nothing when it can.
std::optional<std::string> StoredTextRefusal(std::string_view text, std::size_t maxBytes);

}  // namespace kestrova
