// The program's texts by string-table id (strings::k*, string_ids.h). The
// table and the ids are generated from resources/strings.txt, the same source
// as the resource script.
#pragma once

#include "string_ids.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrova {

struct StringTableEntry {
    unsigned id;
    const char* text;  // UTF-8
};

extern const StringTableEntry kStringTable[];
extern const std::size_t kStringTableSize;

// The text of id, or the empty text when the table has none.
std::string_view LoadText(unsigned id);

// The text of id (a format with one "%s") filled with value.
std::string FormatText(unsigned id, const std::string& value);

// The text of id with "%1" .. "%9" replaced by the values in order (a
// value's own "%" is left alone).
std::string FillText(unsigned id, std::initializer_list<std::string_view> values);

}  // namespace kestrova
