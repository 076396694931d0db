// The INI reader and writer on any bytes: reads of the names the file holds,
// writes that read back, files that serialize as read and reparse to the same
// reads; and the settings layer, whose numbers are read within their ranges
// and whose written settings read back the same.
#include "fuzz_check.h"
#include "platform/cp932.h"
#include "store/ini_file.h"
#include "store/settings.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace kestrova;

struct Name {
    std::string section, key;
};

// Section and key names as the lines of the file spell them, and the text
// after each "=" (running on over line ends) as values to write.
void NamesIn(std::string_view bytes, std::vector<Name>& names, std::vector<std::string>& values) {
    std::string section;
    for (std::size_t pos = 0; pos < bytes.size() && names.size() < 12;) {
        const std::size_t end = std::min(bytes.find_first_of("\r\n", pos), bytes.size());
        const std::string_view line = bytes.substr(pos, end - pos);
        const std::size_t open = line.find('['), close = line.rfind(']'), eq = line.find('=');
        if (open != std::string_view::npos && close != std::string_view::npos && open < close) {
            section = line.substr(open + 1, close - open - 1);
        } else if (!line.empty()) {
            names.push_back({section, std::string(line.substr(0, eq))});
        }
        if (eq != std::string_view::npos) values.emplace_back(bytes.substr(pos + eq + 1, 40));
        pos = end + 1;
    }
    names.push_back({"", ""});
    values.emplace_back(" \"'quoted'\" ");
}

struct Reads {
    bool has = false;
    std::string text;
    std::int32_t number = 0;
    friend bool operator==(const Reads&, const Reads&) = default;
};

// A buffer of n bytes holds a start of the whole value, shorter than n (what
// else the profile functions read, numbers included, is the INI corpus's).
Reads Read(const IniFile& ini, const Name& n) {
    Reads r{ini.HasValue(n.section, n.key), ini.GetString(n.section, n.key, "def  "), ini.GetInt(n.section, n.key, 7)};
    if (!r.has) KESTROVA_FUZZ_CHECK(r.text == "def");
    const std::size_t len = r.text.size();
    for (const std::size_t buffer : {std::size_t{1}, len / 2 + 1, len + 1}) {
        const std::string cut = ini.GetString(n.section, n.key, "def  ", buffer);
        KESTROVA_FUZZ_CHECK(cut.size() < buffer && r.text.starts_with(cut));
    }
    return r;
}

// Whether a name comes back from a line of its own: no NUL, and no lone
// lead byte at the end (it would take the "]" or "=" after it as its second
// byte). A key holds no "=" and does not start like a section header.
bool Writable(std::string_view name, bool key) {
    name = TrimProfileBlanks(name);
    std::size_t last = 0;
    bool equals = false;
    for (std::size_t pos = 0; pos < name.size(); pos += Cp932CharLength(name, pos)) {
        last = pos;
        equals |= name[pos] == '=';
    }
    const bool loneLead = !name.empty() && Cp932CharLength(name, last) == 1 &&
                          IsCp932LeadByte(static_cast<unsigned char>(name[last]));
    return name.find('\0') == std::string_view::npos && !loneLead && (!key || (!name.empty() && !equals && name.front() != '['));
}

bool Quoted(std::string_view s) { return s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front(); }

// What a written value reads back as: cut at a line end or NUL, blanks
// trimmed; a value in quotes loses its quotes (the closing one as the
// value's last character, a double-byte one included).
void CheckWritten(const IniFile& ini, const Name& n, std::string_view value) {
    const std::size_t end = value.find_first_of(std::string_view("\r\n\0", 3));
    const std::string_view stored = TrimProfileBlanks(value.substr(0, end));
    const std::string got = ini.GetString(n.section, n.key, "");
    KESTROVA_FUZZ_CHECK(ini.HasValue(n.section, n.key));
    if (Quoted(stored)) {
        KESTROVA_FUZZ_CHECK(got.size() < stored.size() - 1 && stored.substr(1).starts_with(got));
    } else {
        KESTROVA_FUZZ_CHECK(got == stored);
    }
}

// Text settings are compared only when the file can hold them as they are.
bool StorableText(const std::string& utf8) {
    const std::string cp932 = Utf8ToCp932(utf8);
    return Cp932ToUtf8(cp932) == utf8 && TrimProfileBlanks(cp932) == cp932 && !Quoted(cp932);
}

std::string Canonical(const AppSettings& settings, const AppSettings& first) {
    AppSettings s = settings;
    for (std::string AppSettings::*text : {&AppSettings::TempPath, &AppSettings::SnapFileName,
                                           &AppSettings::FontFaceName, &AppSettings::TempFileName,
                                           &AppSettings::Onetouch}) {
        if (!StorableText(first.*text)) (s.*text).clear();
    }
    IniFile ini;
    WriteSettings(ini, s, s.WindowPosX, s.WindowPosY);
    return ini.Serialize();
}

void CheckSettings(std::string_view bytes) {
    const AppSettings read = ReadSettings(IniFile(bytes), ScreenSize{1024, 768});
    // Whatever the file holds, every number is read within its range.
#define KESTROVA_CHECK_HELD(kind, section, key, value, range, bytes, write) \
    KESTROVA_FUZZ_CHECK(setting_range::key.Holds(read.key));
    KESTROVA_SETTINGS(KESTROVA_CHECK_HELD)
#undef KESTROVA_CHECK_HELD
    IniFile ini(bytes);
    WriteSettings(ini, read, read.WindowPosX, read.WindowPosY);
    const AppSettings again = ReadSettings(ini, ScreenSize{1024, 768});
    KESTROVA_FUZZ_CHECK(Canonical(again, read) == Canonical(read, read));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A file with a UTF-8 byte-order mark is held converted.
    const bool bom = bytes.starts_with("\xEF\xBB\xBF");
    IniFile ini(bytes);
    const std::string asRead = ini.Serialize();
    if (!bom) KESTROVA_FUZZ_CHECK(asRead == bytes);

    std::vector<Name> names;
    std::vector<std::string> values;
    NamesIn(bytes, names, values);
    for (const Name& n : names) Read(ini, n);

    // Writes into the same section, into another one, and into a new one.
    std::vector<Name> written;
    for (std::size_t i = 0; i < names.size() && i < 4; ++i) {
        const Name& other = names[(i + 1) % names.size()];
        for (const Name& n : {names[i], Name{other.section, names[i].key}, Name{names[i].key, other.key}}) {
            const std::string& value = values[(i + written.size()) % values.size()];
            ini.SetString(n.section, n.key, value);
            if (Writable(n.section, false) && Writable(n.key, true)) CheckWritten(ini, n, value);
            written.push_back(n);
        }
    }
    if (!ini.Changed()) KESTROVA_FUZZ_CHECK(ini.Serialize() == asRead);

    // The written file reads the same, unless it now starts with what reads
    // as a byte-order mark.
    const std::string out = ini.Serialize();
    if (!out.starts_with("\xEF\xBB\xBF")) {
        const IniFile reread(out);
        names.insert(names.end(), written.begin(), written.end());
        for (const Name& n : names) KESTROVA_FUZZ_CHECK(Read(reread, n) == Read(ini, n));
    }

    CheckSettings(bytes);
    return 0;
}
