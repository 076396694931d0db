#include "app/single_instance.h"

#include "app/command_line.h"

#include <cstring>

namespace kestrova {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// FNV-1a over the bytes, forwards or backwards: two 64-bit sums so that two
// different paths meet only by a 128-bit accident.
template <typename It>
std::uint64_t Fnv1a(It first, It last) {
    std::uint64_t hash = 0xCBF29CE484222325u;
    for (; first != last; ++first) {
        hash ^= static_cast<unsigned char>(*first);
        hash *= 0x100000001B3u;
    }
    return hash;
}

void AppendHex(std::string& out, std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int shift = 60; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string NormalisedSettingsPath(std::string_view path) {
    // A network path (also one written "\\?\UNC\...") keeps its leading pair.
    bool network = false;
    if (path.starts_with("\\\\?\\UNC\\")) {
        path.remove_prefix(8);
        network = true;
    } else if (path.starts_with("\\\\?\\")) {
        path.remove_prefix(4);
    } else {
        network = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
    }
    std::string out;
    out.reserve(path.size() + 2);
    if (network) out.append(2, '\\');
    for (const char c : path) {
        if (!IsSeparator(c)) {
            out.push_back((c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c);
        } else if (out.empty() || out.back() != '\\') {
            out.push_back('\\');
        }
    }
    return out;
}

std::string InstanceIdentity(std::string_view settingsPath) {
    const std::string path = NormalisedSettingsPath(settingsPath);
    std::string identity = "Kestrova-";
    AppendHex(identity, Fnv1a(path.begin(), path.end()));
    AppendHex(identity, Fnv1a(path.rbegin(), path.rend()));
    return identity;
}

std::string InstanceMutexName(std::string_view identity) { return "Local\\" + std::string(identity); }

std::optional<std::string> ReadHandOver(std::uint64_t tag, const void* data, std::size_t bytes) {
    if (tag != kHandOverTag || bytes % 2 != 0 || bytes / 2 > kHandOverMaxUnits) return std::nullopt;
    if (bytes > 0 && data == nullptr) return std::nullopt;
    const auto* raw = static_cast<const unsigned char*>(data);
    const auto unit = [raw](std::size_t i) {
        std::uint16_t u = 0;
        std::memcpy(&u, raw + 2 * i, 2);  // the sender's byte order, which is ours
        return u;
    };
    const std::size_t units = bytes / 2;
    std::string text;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint16_t u = unit(i);
        if (u == 0) break;
        char32_t c = u;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(text, c);
    }
    return text;
}

HandOverRequest HandOverRequestFor(std::string_view commandLine) {
    const std::optional<ProgrammeArgument> programme = FindProgrammeFile(commandLine);
    const LaunchActions launch = LaunchActionsFor(ScanCommandLine(programme ? programme->rest : commandLine));
    return HandOverRequest{launch.armTimer, launch.minimize, programme ? programme->path : std::string()};
}

HandOverRequest MergeHandOvers(const std::optional<HandOverRequest>& earlier, const HandOverRequest& later) {
    std::string programme = later.programme.empty() && earlier ? earlier->programme : later.programme;
    return HandOverRequest{later.arm || (earlier && earlier->arm), later.hide, std::move(programme)};
}

HandOverActions HandOverActionsFor(const HandOverRequest& request, bool armed, bool busy) {
    if (busy) return HandOverActions{true, false, false, false, false};
    const bool open = !request.programme.empty();
    return HandOverActions{false, request.arm && !armed, request.hide && !open, !request.hide || open, open};
}

}  // namespace kestrova
