#include "store/ini_file.h"

#include "platform/ascii.h"
#include "platform/cp932.h"

#include <algorithm>

namespace kestrova {

namespace {

bool IsBlankByte(unsigned char b) { return (b >= 0x09 && b <= 0x0D) || b == 0x20 || b == 0x1A; }

// Letter case is ignored for single-byte characters only: the second byte of
// a double-byte character may look like an ASCII letter but is compared as is.
bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size();) {
        std::size_t len = Cp932CharLength(a, i);
        if (len == 2) {
            if (a.substr(i, 2) != b.substr(i, 2)) return false;
        } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
        i += len;
    }
    return true;
}

// Position of the first single-byte character c, or npos; double-byte
// characters are stepped over whole, so a trail byte never matches.
std::size_t FindChar(std::string_view s, char c) {
    for (std::size_t pos = 0; pos < s.size(); pos += Cp932CharLength(s, pos)) {
        if (s[pos] == c) return pos;
    }
    return std::string_view::npos;
}

std::size_t FindLastChar(std::string_view s, char c) {
    std::size_t found = std::string_view::npos;
    for (std::size_t pos = 0; pos < s.size(); pos += Cp932CharLength(s, pos)) {
        if (s[pos] == c) found = pos;
    }
    return found;
}

std::string_view TrimLeft(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size() && IsBlankByte(static_cast<unsigned char>(s[pos]))) ++pos;
    return s.substr(pos);
}

std::string_view TrimRight(std::string_view s) {
    // Blank bytes are all below 0x40, so they are never the trail byte of a
    // double-byte character.
    std::size_t end = s.size();
    while (end > 0 && IsBlankByte(static_cast<unsigned char>(s[end - 1]))) --end;
    return s.substr(0, end);
}

// Names and values end at a NUL byte, as C strings do.
std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

// The number of characters of a CP932 text.
std::size_t CharCount(std::string_view s) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < s.size(); pos += Cp932CharLength(s, pos)) ++count;
    return count;
}

// The integer reader of the profile functions: leading characters up to the
// space skipped, one sign, a base prefix, then digits, wrapping at 32 bits.
std::int32_t ParseProfileInt(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size() && static_cast<unsigned char>(s[pos]) <= ' ') ++pos;
    bool minus = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        minus = s[pos] == '-';
        ++pos;
    }
    unsigned base = 10;
    if (s.size() - pos >= 2 && s[pos] == '0') {
        if (s[pos + 1] == 'b') base = 2;
        else if (s[pos + 1] == 'o') base = 8;
        else if (s[pos + 1] == 'x') base = 16;
        if (base != 10) pos += 2;
    }
    std::uint32_t total = 0;
    for (; pos < s.size(); ++pos) {
        char c = s[pos];
        unsigned digit;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'Z') digit = static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'z') digit = static_cast<unsigned>(c - 'a' + 10);
        else break;
        if (digit >= base) break;
        total = total * base + digit;
    }
    if (minus) total = 0u - total;
    return static_cast<std::int32_t>(total);
}

// The first n characters (not bytes) of s.
std::string_view FirstChars(std::string_view s, std::size_t n) {
    std::size_t pos = 0;
    for (std::size_t count = 0; pos < s.size() && count < n; ++count) pos += Cp932CharLength(s, pos);
    return s.substr(0, pos);
}

// A value as the profile functions copy it into a buffer of `size`
// characters: one pair of surrounding quotes removed, at most size - 1
// characters kept. The closing quote is dropped by removing the last copied
// character, so a quoted value exactly as long as the buffer loses its last
// character too.
std::string_view CopyEntry(std::string_view value, std::size_t size) {
    bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (quoted) value.remove_prefix(1);
    std::size_t chars = CharCount(value);
    std::string_view copy = FirstChars(value, std::min(chars, size - 1));
    if (quoted && size >= chars && !copy.empty()) {
        std::size_t last = 0;
        for (std::size_t pos = 0; pos < copy.size(); pos += Cp932CharLength(copy, pos)) last = pos;
        copy = copy.substr(0, last);
    }
    return copy;
}

}  // namespace

std::string_view TrimProfileBlanks(std::string_view cp932) { return TrimRight(TrimLeft(cp932)); }

IniFile::IniFile(std::string_view bytes) {
    std::string converted;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        converted = Utf8ToCp932(bytes.substr(3));
        bytes = converted;
    }
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // A line ends at CR LF, LF or a lone CR, in any mix.
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = bytes.size();
        std::size_t eolLen = 0;
        if (end < bytes.size()) eolLen = (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1;
        lines_.push_back(ParseLine(std::string(bytes.substr(pos, end - pos)), std::string(bytes.substr(end, eolLen))));
        pos = end + eolLen;
    }
}

IniFile::Line IniFile::ParseLine(std::string raw, std::string eol) {
    Line line;
    line.raw = std::move(raw);
    line.eol = std::move(eol);
    std::string_view text = TrimProfileBlanks(line.raw);
    if (text.empty()) return line;
    if (text.front() == '[') {
        std::size_t close = FindLastChar(text, ']');
        if (close != std::string_view::npos && close > 0) {
            line.kind = Kind::Section;
            line.name = std::string(UpToNul(TrimProfileBlanks(text.substr(1, close - 1))));
            return line;
        }
    }
    line.kind = Kind::Entry;
    std::size_t eq = FindChar(text, '=');
    if (eq == std::string_view::npos) {
        line.name = std::string(UpToNul(text));
        return line;
    }
    line.name = std::string(UpToNul(TrimRight(text.substr(0, eq))));
    line.hasValue = true;
    line.value = std::string(UpToNul(TrimLeft(text.substr(eq + 1))));
    return line;
}

bool IniFile::SectionRange(std::string_view section, std::size_t& begin, std::size_t& end) const {
    section = TrimProfileBlanks(section);
    // Lines before the first header form the unnamed section.
    bool inMatch = section.empty();
    bool found = inMatch;
    begin = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Kind::Section) continue;
        if (inMatch) {
            end = i;
            return true;
        }
        if (EqualsIgnoringCase(lines_[i].name, section)) {
            inMatch = found = true;
            begin = i + 1;
        }
    }
    end = lines_.size();
    return found;
}

const IniFile::Line* IniFile::FindEntry(std::string_view section, std::string_view key) const {
    key = TrimProfileBlanks(key);
    std::size_t begin = 0;
    std::size_t end = 0;
    if (key.empty() || !SectionRange(section, begin, end)) return nullptr;
    for (std::size_t i = begin; i < end; ++i) {
        if (lines_[i].kind == Kind::Entry && EqualsIgnoringCase(lines_[i].name, key)) return &lines_[i];
    }
    return nullptr;
}

bool IniFile::HasValue(std::string_view section, std::string_view key) const {
    const Line* line = FindEntry(section, key);
    return line != nullptr && line->hasValue;
}

std::string IniFile::GetString(std::string_view section, std::string_view key, std::string_view def,
                               std::size_t bufferSize) const {
    const Line* line = FindEntry(section, key);
    std::string_view value;
    if (line != nullptr && line->hasValue) {
        value = line->value;
    } else {
        // The default loses its trailing spaces, all but a first character.
        while (def.size() > 1 && def.back() == ' ') def.remove_suffix(1);
        value = def;
    }
    if (bufferSize == 0) return std::string(CopyEntry(value, CharCount(value) + 2));
    if (bufferSize == 1) return {};
    return std::string(Cp932Prefix(CopyEntry(value, bufferSize), bufferSize - 1));
}

std::int32_t IniFile::GetInt(std::string_view section, std::string_view key, std::int32_t def) const {
    // The profile functions read an integer through a 30-character buffer.
    const Line* line = FindEntry(section, key);
    if (line == nullptr || !line->hasValue) return def;
    std::string_view text = CopyEntry(line->value, 30);
    if (text.empty()) return def;
    return ParseProfileInt(text);
}

void IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
    section = TrimProfileBlanks(section);
    key = TrimProfileBlanks(key);
    if (key.empty()) return;
    std::size_t lineBreak = value.find_first_of("\r\n");
    if (lineBreak != std::string_view::npos) value = value.substr(0, lineBreak);
    value = TrimProfileBlanks(UpToNul(value));

    std::string raw = std::string(key) + "=" + std::string(value);
    std::size_t begin = 0;
    std::size_t end = 0;
    if (SectionRange(section, begin, end)) {
        for (std::size_t i = begin; i < end; ++i) {
            Line& line = lines_[i];
            if (line.kind != Kind::Entry || !EqualsIgnoringCase(line.name, key)) continue;
            if (line.hasValue && line.value == value) return;
            // The key keeps the spelling it has in the file.
            std::string eol = line.eol.empty() ? "\r\n" : line.eol;
            line = ParseLine(line.name + "=" + std::string(value), eol);
            changed_ = true;
            return;
        }
        // New key: after the last non-blank line of the section.
        std::size_t at = end;
        while (at > begin && lines_[at - 1].kind == Kind::Blank) --at;
        if (at > 0 && lines_[at - 1].eol.empty()) lines_[at - 1].eol = "\r\n";
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), ParseLine(raw, "\r\n"));
        changed_ = true;
        return;
    }
    if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = "\r\n";
    std::string header;
    header.reserve(section.size() + 2);
    header.append(1, '[').append(section).append(1, ']');
    lines_.push_back(ParseLine(std::move(header), "\r\n"));
    lines_.push_back(ParseLine(raw, "\r\n"));
    changed_ = true;
}

std::string IniFile::Serialize() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.raw;
        out += line.eol;
    }
    return out;
}

}  // namespace kestrova
