// Code Page 932 text: the byte form of every file Kestrova reads and writes.
// Inside the program text is UTF-8; these convert at the file boundary.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova {

// First byte of a double-byte character.
constexpr bool IsCp932LeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Length in bytes of the character that starts at text[pos] (1 or 2; a lead
// byte at the very end counts as 1).
std::size_t Cp932CharLength(std::string_view text, std::size_t pos);

// The longest prefix of at most maxBytes bytes that ends on a character boundary.
std::string_view Cp932Prefix(std::string_view text, std::size_t maxBytes);

// Conversions. Characters without a counterpart become "?" (to CP932) or
// U+FFFD (to UTF-8); invalid input never fails.
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

// The CP932 form of utf8 when code page 932 holds every character of it
// exactly, read back as the same text: nothing when one would become a
// substitute or a look-alike ("¥" is never "\\").
std::optional<std::string> ExactCp932(std::string_view utf8);

// The first character of utf8 that code page 932 cannot hold exactly; empty
// when there is none.
std::string FirstCharacterOutsideCp932(std::string_view utf8);

// UTF-8 text cut so that its CP932 form holds at most maxBytes bytes.
std::string BoundToCp932Bytes(std::string_view utf8, std::size_t maxBytes);

}  // namespace kestrova
