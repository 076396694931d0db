// iniprobe: runs a script of INI reads and writes either through the Win32
// profile functions (GetPrivateProfileStringA, GetPrivateProfileIntA,
// WritePrivateProfileStringA) or through kestrova::IniFile, and prints one
// result line per operation, so that two runs on copies of the same file can
// be compared line by line.
//
//   iniprobe.exe win32|kestrova INI_PATH SCRIPT_PATH   results on stdout
//   iniprobe.exe batch JOB_LIST                        many runs in one process
//
// A job list (UTF-8) has one run per line: MODE, INI_PATH, SCRIPT_PATH and
// OUTPUT_PATH separated by tabs. Each output file is written when its run is
// complete and ends with the line "end", so a caller can tell which run
// stopped the process if one crashes.
//
// Script (UTF-8): one operation per line, fields separated by tabs; empty
// lines and lines starting with '#' are skipped, and so are trailing fields
// starting with "=>" or "=k>" (expected results, read by the test). Text fields take
// the escapes \t \n \r \\ and \xHH; the text between escapes is converted
// from UTF-8 to Code Page 932, \xHH gives the byte itself.
//
//   str SECTION KEY DEFAULT SIZE   read a string into a SIZE-byte buffer
//   int SECTION KEY DEFAULT        read an integer
//   write SECTION KEY VALUE        write a value
//   reload                         drop what was read and read the file again
//   dump                           the bytes of the file
//   meaning                        reload, then every key the Win32 functions
//                                  list in the file, with the value this
//                                  mode's reader returns and the value the
//                                  Win32 functions return
//
// Output: "acp N" (the ANSI code page), then per operation a line
// "L<line> <op> -> <result>" (meaning adds one indented line per key), then
// "end". Bytes are printed as "..." with \xHH for anything but printable
// ASCII, and \" and \\.
#include "platform/win32_handles.h"
#include "store/ini_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr UINT kCp932 = 932;
// Big enough for every list and value of the corpus.
constexpr DWORD kListBuffer = 1U << 20;

enum class Mode { Win32, Kestrova };

std::string Cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    out.reserve(std::accumulate(parts.begin(), parts.end(), std::size_t{0},
                                [](std::size_t n, std::string_view part) { return n + part.size(); }));
    for (const std::string_view part : parts) out += part;
    return out;
}

std::string Escape(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '"' || b == '\\') {
            out += '\\';
            out += c;
        } else if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    out += '"';
    return out;
}

std::wstring Widen(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) throw std::runtime_error(Cat({"text is not valid in code page ", std::to_string(codePage)}));
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), n);
    return wide;
}

std::string Narrow(std::wstring_view wide, UINT codePage) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    BOOL lossy = FALSE;
    BOOL* const lossyOut = codePage == CP_UTF8 ? nullptr : &lossy;
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, lossyOut);
    if (n <= 0 || lossy) throw std::runtime_error(Cat({"text has no form in code page ", std::to_string(codePage)}));
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, narrow.data(), n, nullptr, nullptr);
    return narrow;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A script field as Code Page 932 bytes.
std::string Unescape(std::string_view field) {
    std::string out;
    std::string text;  // UTF-8 text waiting for conversion
    const auto flush = [&] {
        out += Narrow(Widen(text, CP_UTF8), kCp932);
        text.clear();
    };
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            text += field[i];
            continue;
        }
        if (i + 1 >= field.size()) throw std::runtime_error("lone backslash at the end of a field");
        const char e = field[++i];
        switch (e) {
        case 't': text += '\t'; break;
        case 'n': text += '\n'; break;
        case 'r': text += '\r'; break;
        case '\\': text += '\\'; break;
        case 'x': {
            const int hi = i + 1 < field.size() ? HexDigit(field[i + 1]) : -1;
            const int lo = i + 2 < field.size() ? HexDigit(field[i + 2]) : -1;
            if (hi < 0 || lo < 0) throw std::runtime_error("\\x needs two hex digits");
            flush();
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default: throw std::runtime_error(Cat({"unknown escape \\", std::string_view(&e, 1)}));
        }
    }
    flush();
    return out;
}

long long ParseNumber(std::string_view field) {
    const std::string s(field);
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (s.empty() || end != s.c_str() + s.size()) throw std::runtime_error(Cat({"not a number: ", s}));
    return v;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    while (fields.size() > 1 && (fields.back().substr(0, 2) == "=>" || fields.back().substr(0, 3) == "=k>")) {
        fields.pop_back();
    }
    return fields;
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    const kestrova::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, std::string_view bytes) {
    const kestrova::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const bool ok = bytes.empty() ||
                    (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                     written == bytes.size());
    return ok;
}

// Splits a double-NUL-terminated list as the profile functions return it.
std::vector<std::string> SplitList(const std::vector<char>& buffer, DWORD count) {
    std::vector<std::string> items;
    std::string_view rest(buffer.data(), count);
    while (!rest.empty()) {
        const std::size_t nul = rest.find('\0');
        const std::string_view item = rest.substr(0, nul);
        if (!item.empty()) items.emplace_back(item);
        if (nul == std::string_view::npos) break;
        rest.remove_prefix(nul + 1);
    }
    return items;
}

class Probe {
public:
    Probe(Mode mode, std::wstring path) : mode_(mode), path_(std::move(path)) {
        ansiPath_ = Narrow(path_, CP_ACP);
        if (Widen(ansiPath_, CP_ACP) != path_) throw std::runtime_error("the INI path has no ANSI form");
        if (mode_ == Mode::Kestrova) Load();
    }

    std::string Run(std::string_view script) {
        std::string out = Cat({"acp ", std::to_string(GetACP()), "\n"});
        std::size_t lineNo = 0;
        while (!script.empty()) {
            const std::size_t nl = script.find('\n');
            std::string_view line = script.substr(0, nl);
            script.remove_prefix(nl == std::string_view::npos ? script.size() : nl + 1);
            ++lineNo;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.empty() || line.front() == '#') continue;
            const std::vector<std::string_view> f = SplitTabs(line);
            out += Cat({"L", std::to_string(lineNo), " ", f[0], " -> "});
            try {
                out += Execute(f);
            } catch (const std::exception& e) {
                out += Cat({"error: ", e.what()});
                failed_ = true;
            }
            out += '\n';
        }
        out += "end\n";
        return out;
    }

    bool Failed() const { return failed_; }

private:
    std::string Execute(const std::vector<std::string_view>& f) {
        const std::string_view op = f[0];
        const auto want = [&](std::size_t n) {
            if (f.size() != n + 1) throw std::runtime_error(Cat({op, " takes ", std::to_string(n), " fields"}));
        };
        if (op == "str") {
            want(4);
            const long long size = ParseNumber(f[4]);
            if (size < 0 || size > 1000000) throw std::runtime_error("bad buffer size");
            return ReadString(Unescape(f[1]), Unescape(f[2]), Unescape(f[3]), static_cast<DWORD>(size));
        }
        if (op == "int") {
            want(3);
            return std::to_string(ReadInt(Unescape(f[1]), Unescape(f[2]), static_cast<std::int32_t>(ParseNumber(f[3]))));
        }
        if (op == "write") {
            want(3);
            return Write(Unescape(f[1]), Unescape(f[2]), Unescape(f[3]));
        }
        if (op == "reload") {
            want(0);
            Reload();
            return "ok";
        }
        if (op == "dump") {
            want(0);
            const std::optional<std::string> bytes = ReadFileBytes(path_);
            if (!bytes) return "missing";
            return Cat({std::to_string(bytes->size()), " ", Escape(*bytes)});
        }
        if (op == "meaning") {
            want(0);
            return Meaning();
        }
        throw std::runtime_error("unknown operation");
    }

    void Load() {
        const std::optional<std::string> bytes = ReadFileBytes(path_);
        ini_ = kestrova::IniFile(bytes ? *bytes : std::string());
    }

    // Makes the Win32 functions forget their cached copy of the file.
    void FlushWin32Cache() const { WritePrivateProfileStringA(nullptr, nullptr, nullptr, ansiPath_.c_str()); }

    void Reload() {
        if (mode_ == Mode::Kestrova)
            Load();
        else
            FlushWin32Cache();
    }

    // The value as GetPrivateProfileStringA gives it, in a zero-filled buffer.
    std::string Win32String(const std::string& section, const std::string& key, const std::string& def, DWORD size,
                            DWORD& count) const {
        std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
        count = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(), size,
                                         ansiPath_.c_str());
        std::string_view text(buffer.data(), size);
        return std::string(text.substr(0, text.find('\0')));
    }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def, DWORD size) {
        if (mode_ == Mode::Kestrova) {
            const std::string value = ini_.GetString(section, key, def, size);
            return Cat({"n=", std::to_string(value.size()), " ", Escape(value)});
        }
        DWORD count = 0;
        const std::string value = Win32String(section, key, def, size, count);
        return Cat({"n=", std::to_string(count), " ", Escape(value)});
    }

    std::int32_t ReadInt(const std::string& section, const std::string& key, std::int32_t def) const {
        if (mode_ == Mode::Kestrova) return ini_.GetInt(section, key, def);
        return static_cast<std::int32_t>(
            GetPrivateProfileIntA(section.c_str(), key.c_str(), def, ansiPath_.c_str()));
    }

    std::string Write(const std::string& section, const std::string& key, const std::string& value) {
        if (mode_ == Mode::Kestrova) {
            ini_.SetString(section, key, value);
            if (ini_.Changed() && !WriteFileBytes(path_, ini_.Serialize()))
                return Cat({"fail ", std::to_string(GetLastError())});
            return "ok";
        }
        if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), ansiPath_.c_str()))
            return Cat({"fail ", std::to_string(GetLastError())});
        return "ok";
    }

    std::string Meaning() {
        Reload();
        FlushWin32Cache();
        std::vector<char> buffer(kListBuffer, '\0');
        const DWORD n = GetPrivateProfileSectionNamesA(buffer.data(), kListBuffer, ansiPath_.c_str());
        const std::vector<std::string> sections = SplitList(buffer, n);
        std::string out = Cat({std::to_string(sections.size()), " sections"});
        for (const std::string& section : sections) {
            std::fill(buffer.begin(), buffer.end(), '\0');
            const DWORD k = GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(), kListBuffer,
                                                     ansiPath_.c_str());
            const std::vector<std::string> keys = SplitList(buffer, k);
            out += Cat({"\n  [", Escape(section), "] ", std::to_string(keys.size()), " keys"});
            for (const std::string& key : keys) {
                DWORD count = 0;
                const std::string win32 = Win32String(section, key, "<absent>", kListBuffer, count);
                const std::string mine = mode_ == Mode::Kestrova
                                             ? ini_.GetString(section, key, "<absent>", kListBuffer)
                                             : win32;
                out += Cat({"\n    ", Escape(key), " = ", Escape(mine), " win32 ", Escape(win32)});
            }
        }
        return out;
    }

    Mode mode_;
    std::wstring path_;
    std::string ansiPath_;
    kestrova::IniFile ini_;
    bool failed_ = false;
};

std::optional<Mode> ParseMode(std::wstring_view name) {
    if (name == L"win32") return Mode::Win32;
    if (name == L"kestrova") return Mode::Kestrova;
    return std::nullopt;
}

// Runs one script; returns its output, or an "error:" line ending the output.
std::string RunJob(Mode mode, const std::wstring& iniPath, const std::wstring& scriptPath, bool& failed) {
    try {
        const std::optional<std::string> script = ReadFileBytes(scriptPath);
        if (!script) throw std::runtime_error("cannot read the script");
        Probe probe(mode, iniPath);
        std::string out = probe.Run(*script);
        failed = failed || probe.Failed();
        return out;
    } catch (const std::exception& e) {
        failed = true;
        return Cat({"error: ", e.what(), "\nend\n"});
    }
}

void WriteStdout(std::string_view text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

struct Job {
    Mode mode = Mode::Win32;
    std::wstring ini, script, output;
};

std::optional<Job> ParseJob(std::string_view line) {
    const std::vector<std::string_view> f = SplitTabs(line);
    if (f.size() != 4) return std::nullopt;
    try {
        const std::optional<Mode> mode = ParseMode(Widen(f[0], CP_UTF8));
        if (!mode) return std::nullopt;
        return Job{*mode, Widen(f[1], CP_UTF8), Widen(f[2], CP_UTF8), Widen(f[3], CP_UTF8)};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

int RunBatch(const std::wstring& listPath) {
    const std::optional<std::string> list = ReadFileBytes(listPath);
    if (!list) {
        WriteStdout("iniprobe: cannot read the job list\n");
        return 2;
    }
    bool failed = false;
    std::string_view rest = *list;
    while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const std::optional<Job> job = ParseJob(line);
        if (!job) {
            WriteStdout(Cat({"iniprobe: bad job line: ", line, "\n"}));
            failed = true;
            continue;
        }
        const Job& run = *job;
        const std::string out = RunJob(run.mode, run.ini, run.script, failed);
        if (!WriteFileBytes(run.output, out)) {
            WriteStdout("iniprobe: cannot write an output file\n");
            failed = true;
        }
    }
    return failed ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring_view(argv[1]) == L"batch") return RunBatch(argv[2]);
    const std::optional<Mode> mode = argc == 4 ? ParseMode(argv[1]) : std::nullopt;
    if (!mode) {
        WriteStdout("usage: iniprobe.exe win32|kestrova INI_PATH SCRIPT_PATH\n"
                    "       iniprobe.exe batch JOB_LIST\n");
        return 2;
    }
    bool failed = false;
    WriteStdout(RunJob(*mode, argv[2], argv[3], failed));
    return failed ? 1 : 0;
}
