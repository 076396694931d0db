// Kestrova's INI reader and writer. The same code runs in both builds and
// reads and writes files the way the Win32 profile functions do
// (GetPrivateProfileStringA, GetPrivateProfileIntA, WritePrivateProfileStringA),
// on Code Page 932 bytes, while keeping every other line of the file as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

class IniFile {
public:
    IniFile() = default;
    // Parses the bytes of a file. Anything is accepted; a file with a UTF-8
    // byte-order mark is read as UTF-8 and held as Code Page 932.
    explicit IniFile(std::string_view bytes);

    // As GetPrivateProfileStringA with a buffer of bufferSize bytes: the value
    // with one pair of surrounding quotes removed, or def when the key is
    // absent (or has no "="), cut to bufferSize - 1 bytes on a character
    // boundary. bufferSize 0 means no limit.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view def, std::size_t bufferSize = 0) const;

    // As GetPrivateProfileIntA: def when the key is absent or empty, otherwise
    // the integer at the start of the value (blanks, sign, "0x"/"0o"/"0b"
    // prefixes, digits; 32-bit wrap-around).
    std::int32_t GetInt(std::string_view section, std::string_view key, std::int32_t def) const;

    // True when the key exists with a value (an "=" on its line).
    bool HasValue(std::string_view section, std::string_view key) const;

    // As WritePrivateProfileStringA: sets the value of an existing key (the
    // first one, in the first section of that name), or adds the key at the
    // end of its section, or adds the section at the end of the file.
    // Leading blanks of the value are dropped; a line break ends it.
    void SetString(std::string_view section, std::string_view key, std::string_view value);

    // True when SetString changed anything since the file was parsed.
    bool Changed() const { return changed_; }

    // The file's bytes: untouched lines exactly as read, changed and new lines
    // ended with CR LF.
    std::string Serialize() const;

private:
    enum class Kind { Blank, Section, Entry };
    struct Line {
        std::string raw;      // the line without its line end
        std::string eol;      // "\r\n", "\n", "\r" or "" (last line)
        Kind kind = Kind::Blank;
        std::string name;     // section name or key name
        bool hasValue = false;
        std::string value;    // value with blanks trimmed
    };

    static Line ParseLine(std::string raw, std::string eol);
    // The lines [begin, end) of the first section of that name; false when
    // there is none. The lines before the first section header are the
    // section named "".
    bool SectionRange(std::string_view section, std::size_t& begin, std::size_t& end) const;
    const Line* FindEntry(std::string_view section, std::string_view key) const;

    std::vector<Line> lines_;
    bool changed_ = false;
};

// Whitespace as the profile functions see it: ASCII blanks and controls
// 0x09-0x0D, space and 0x1A.
std::string_view TrimProfileBlanks(std::string_view cp932);

}  // namespace kestrova
