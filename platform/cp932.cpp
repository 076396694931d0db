#include "platform/cp932.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <cerrno>
#endif

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrova {

std::size_t Cp932CharLength(std::string_view text, std::size_t pos) {
    if (IsCp932LeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size()) {
        return 2;
    }
    return 1;
}

std::string_view Cp932Prefix(std::string_view text, std::size_t maxBytes) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = pos + Cp932CharLength(text, pos);
        if (next > maxBytes) break;
        pos = next;
    }
    return text.substr(0, pos);
}

#ifdef _WIN32

namespace {

// One piece of text (see Convert) from one code page to the other.
std::string ConvertPiece(std::string_view in, UINT from, UINT to, const char* substitute) {
    if (in.empty()) return {};
    int wlen = MultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (wlen <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(wlen), L'\0');
    MultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), wide.data(), wlen);
    if (to != CP_UTF8) {
        // A character outside the BMP is one character: one substitute, not two.
        std::wstring single;
        single.reserve(wide.size());
        for (std::size_t i = 0; i < wide.size(); ++i) {
            bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                        wide[i + 1] <= 0xDFFF;
            single += pair ? L'?' : wide[i];
            if (pair) ++i;
        }
        wide.swap(single);
        wlen = static_cast<int>(wide.size());
    }
    BOOL usedDefault = FALSE;
    const bool acceptsDefault = to != CP_UTF8;
    int len = WideCharToMultiByte(to, 0, wide.data(), wlen, nullptr, 0,
                                  acceptsDefault ? substitute : nullptr,
                                  acceptsDefault ? &usedDefault : nullptr);
    if (len <= 0) return {};
    std::string out(static_cast<std::size_t>(len), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wlen, out.data(), len,
                        acceptsDefault ? substitute : nullptr,
                        acceptsDefault ? &usedDefault : nullptr);
    return out;
}

// The conversion functions count in int, and a 64-bit program's text may
// be longer: it goes in pieces that end where a character does, short
// enough that a piece's result (at most three bytes a character) fits too.
constexpr std::size_t kMaxPiece = std::size_t{1} << 28;

std::size_t PieceLength(std::string_view in, UINT from) {
    if (in.size() <= kMaxPiece) return in.size();
    if (from != CP_UTF8) return Cp932Prefix(in, kMaxPiece).size();
    std::size_t cut = kMaxPiece;  // back over at most three continuation bytes
    while (cut > kMaxPiece - 3 && (static_cast<unsigned char>(in[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

std::string Convert(std::string_view in, UINT from, UINT to, const char* substitute) {
    std::string out;
    while (!in.empty()) {
        const std::size_t length = PieceLength(in, from);
        out += ConvertPiece(in.substr(0, length), from, to, substitute);
        in.remove_prefix(length);
    }
    return out;
}

// Whether one character's bytes form a character the code page knows.
class UnitChecker {
public:
    bool Valid(std::string_view unit) const {
        return MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, unit.data(), static_cast<int>(unit.size()), nullptr,
                                   0) > 0;
    }
};

std::string DecodeRun(std::string_view cp932) { return Convert(cp932, 932, CP_UTF8, nullptr); }
std::string EncodeRun(std::string_view utf8) { return Convert(utf8, CP_UTF8, 932, "?"); }

// Code page 932 strictly: no best-fit look-alike (WC_NO_BEST_FIT_CHARS), no
// substitute (the used-default flag), and the bytes read back as the same
// characters.
std::optional<std::string> StrictEncode(std::string_view utf8) {
    if (utf8.empty()) return std::string();
    if (utf8.size() > kMaxPiece) return std::nullopt;  // far beyond any text that is checked
    const int inLength = static_cast<int>(utf8.size());
    const int wlen = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, nullptr, 0);
    if (wlen <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(wlen), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, wide.data(), wlen);
    BOOL usedDefault = FALSE;
    const int len = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wlen, nullptr, 0, nullptr, &usedDefault);
    if (len <= 0 || usedDefault) return std::nullopt;
    std::string out(static_cast<std::size_t>(len), '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), wlen, out.data(), len, nullptr, &usedDefault);
    if (usedDefault) return std::nullopt;
    const int back = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, out.data(), len, nullptr, 0);
    if (back != wlen) return std::nullopt;
    std::wstring again(static_cast<std::size_t>(back), L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, out.data(), len, again.data(), back);
    if (again != wide) return std::nullopt;
    return out;
}

}  // namespace

#else

namespace {
// What iconv_open gives when it fails.
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)

// iconv with a replacement for anything it cannot convert, so that a broken
// file still reads as text.
std::string Convert(std::string_view in, const char* from, const char* to,
                    std::string_view replacement, std::size_t badInputStep) {
    std::string out;
    if (in.empty()) return out;
    iconv_t cd = iconv_open(to, from);
    if (cd == kNoConverter) return out;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buffer.data();
        std::size_t dstLeft = buffer.size();
        std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer.data(), buffer.size() - dstLeft);
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: replace one unconvertible character and go on.
        std::size_t step = badInputStep;
        if (step == 0) {  // UTF-8 input: skip the whole sequence
            unsigned char b = static_cast<unsigned char>(*src);
            step = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        } else if (IsCp932LeadByte(static_cast<unsigned char>(*src)) && srcLeft >= 2) {
            step = 2;
        }
        if (step > srcLeft) step = srcLeft;
        src += step;
        srcLeft -= step;
        out.append(replacement);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

class UnitChecker {
public:
    UnitChecker() : cd_(iconv_open("UTF-16LE", "CP932")) {}
    ~UnitChecker() {
        if (cd_ != kNoConverter) iconv_close(cd_);
    }
    UnitChecker(const UnitChecker&) = delete;
    UnitChecker& operator=(const UnitChecker&) = delete;

    bool Valid(std::string_view unit) const {
        if (cd_ == kNoConverter) return false;
        char out[16];
        char* src = const_cast<char*>(unit.data());
        std::size_t srcLeft = unit.size();
        char* dst = out;
        std::size_t dstLeft = sizeof out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return iconv(cd_, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1) && srcLeft == 0;
    }

private:
    iconv_t cd_;
};

std::string DecodeRun(std::string_view cp932) { return Convert(cp932, "CP932", "UTF-8", "\xEF\xBF\xBD", 1); }
std::string EncodeRun(std::string_view utf8) { return Convert(utf8, "UTF-8", "CP932", "?", 0); }

// iconv without any replacement: nothing when a character does not convert.
std::optional<std::string> ConvertStrictly(std::string_view in, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == kNoConverter) return std::nullopt;
    std::string out(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const bool done = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1) && srcLeft == 0 &&
                      iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!done) return std::nullopt;
    out.resize(out.size() - dstLeft);
    return out;
}

// Code page 932 strictly, and the bytes read back as the same characters.
std::optional<std::string> StrictEncode(std::string_view utf8) {
    std::optional<std::string> out = ConvertStrictly(utf8, "UTF-8", "CP932");
    if (!out) return std::nullopt;
    const std::optional<std::string> back = ConvertStrictly(*out, "CP932", "UTF-8");
    if (!back || *back != utf8) return std::nullopt;
    return out;
}

}  // namespace

#endif

namespace {

// Bytes that form no character (a stray lead byte, a byte the code page does
// not know) travel inside the program as the private-use characters
// U+F780..U+F7FF, one per byte, so they are written back exactly as read.
constexpr std::uint32_t kByteEscapeBase = 0xF700;

void AppendByteEscape(std::string& out, unsigned char byte) {
    const std::uint32_t c = kByteEscapeBase + byte;
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
}

// The byte an escape at utf8[pos] stands for, if there is one.
std::optional<unsigned char> ByteEscapeAt(std::string_view utf8, std::size_t pos) {
    if (pos + 3 > utf8.size()) return std::nullopt;
    const auto b0 = static_cast<unsigned char>(utf8[pos]);
    const auto b1 = static_cast<unsigned char>(utf8[pos + 1]);
    const auto b2 = static_cast<unsigned char>(utf8[pos + 2]);
    if (b0 != 0xEF || (b1 != 0x9E && b1 != 0x9F) || (b2 & 0xC0) != 0x80) return std::nullopt;
    const std::uint32_t c = (b1 & 0x3Fu) << 6 | (b2 & 0x3Fu) | 0xF000;
    if (c < kByteEscapeBase + 0x80) return std::nullopt;
    return static_cast<unsigned char>(c - kByteEscapeBase);
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
    const UnitChecker checker;
    std::string out;
    std::size_t run = 0;
    std::size_t pos = 0;
    while (pos < cp932.size()) {
        const auto byte = static_cast<unsigned char>(cp932[pos]);
        const std::size_t length = Cp932CharLength(cp932, pos);
        if (byte < 0x80 || checker.Valid(cp932.substr(pos, length))) {
            pos += length;
            continue;
        }
        // Only the first byte is taken: the next may start a character of its own (a comma).
        out += DecodeRun(cp932.substr(run, pos - run));
        AppendByteEscape(out, byte);
        run = ++pos;
    }
    return out + DecodeRun(cp932.substr(run));
}

std::string Utf8ToCp932(std::string_view utf8) {
    std::string out;
    std::size_t run = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        if (const std::optional<unsigned char> byte = ByteEscapeAt(utf8, pos)) {
            out += EncodeRun(utf8.substr(run, pos - run));
            out += static_cast<char>(*byte);
            pos += 3;
            run = pos;
        } else {
            ++pos;
        }
    }
    return out + EncodeRun(utf8.substr(run));
}

std::optional<std::string> ExactCp932(std::string_view utf8) { return StrictEncode(utf8); }

std::string FirstCharacterOutsideCp932(std::string_view utf8) {
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[pos]);
        const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string_view one = utf8.substr(pos, length);
        if (!StrictEncode(one)) return std::string(one);
        pos += length;
    }
    return {};
}

std::string BoundToCp932Bytes(std::string_view utf8, std::size_t maxBytes) {
    std::string cp932 = Utf8ToCp932(utf8);
    if (cp932.size() <= maxBytes) return std::string(utf8);
    return Cp932ToUtf8(Cp932Prefix(cp932, maxBytes));
}

}  // namespace kestrova
