// One case per rule of the profile functions; tests/e2e/ini_corpus holds the
// full cases, compared under Wine with the Win32 functions themselves.
#include "store/ini_file.h"
#include "platform/cp932.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

namespace kestrova {
namespace {

using namespace std::literals;

TEST(IniFileRead, StringsAsTheProfileReaderReadsThem) {
    // Trail bytes are not syntax: 表 is 0x95 0x5C ("\"), ー］ 0x81 0x5B 0x81 0x5D
    // ends in "]"; ア 0x83 0x41 and ヂ 0x83 0x61 differ only in one that looks
    // like a letter; the ideographic space 0x81 0x40 is no blank.
    const IniFile ini("  [ video ]  \r\n  TEMPPATH  =  C:\\\x95\x5C  \r\nbare\r\nempty=\r\nk=1\r\nk=2\r\n"
                      "q=\"0123456789\"\r\nh='half\r\n[\x81\x5B\x81\x5D]\r\n\x83\x41=kana\x81\x40\r\n"
                      "nul=ab\0cd\r\n[Video]\r\nonly=3\r\n"sv);
    // section, key, default, buffer size (0: no limit), what comes back
    const std::tuple<const char*, const char*, const char*, std::size_t, const char*> table[] = {
        {"Video", "TempPath", "", 0, "C:\\\x95\x5C"},  // names are trimmed and case-insensitive
        {"Video", "bare", "def  ", 0, "def"},            // no "=": the default, trimmed
        {"Video", "empty", "def", 0, ""},
        {"Video", "k", "", 0, "1"},                       // the first key of a name wins...
        {"Video", "only", "none", 0, "none"},             // ...in the first section of a name
        {"Video", "q", "", 0, "0123456789"},              // one pair of quotes around the whole value goes
        {"Video", "q", "", 11, "012345678"},              // a quoted value as long as the buffer loses a character
        {"Video", "h", "", 0, "'half"},
        {"Video", "TempPath", "", 4, "C:\\"},             // cut to the buffer on a character boundary
        {"\x81\x5B\x81\x5D", "\x83\x61", "def", 0, "def"},  // case is ignored for single-byte letters only
        {"\x81\x5B\x81\x5D", "\x83\x41", "def", 0, "kana\x81\x40"},
        {"\x81\x5B\x81\x5D", "nul", "", 0, "ab"},      // NUL ends a value
    };
    for (auto [section, key, def, buffer, want] : table) {
        EXPECT_EQ(ini.GetString(section, key, def, buffer), want) << section << "/" << key << " " << buffer;
    }
    EXPECT_TRUE(ini.HasValue("Video", "empty"));
    // Line ends of every kind; a UTF-8 file is read as Code Page 932.
    const IniFile mixed("[S]\nA=1\nB=2\rC=3\r\n[T]\rD=4");
    EXPECT_EQ(mixed.GetString("S", "B", "") + mixed.GetString("S", "C", "") + mixed.GetString("T", "D", ""), "234");
    EXPECT_EQ(IniFile("\xEF\xBB\xBF[S]\r\nk=\xE8\xA1\xA8\r\n").GetString("S", "k", ""), "\x95\x5C");
}

TEST(IniFileRead, IntegersAsTheProfileReaderReadsThem) {
    const IniFile ini(
        "[S]\r\na= 42\r\nb=-0x10\r\nc=+5\r\nd=0b101\r\ne=12abc\r\nf=abc\r\ng=4294967297\r\nh=-2147483648\r\n"
        "i=\"8\"\r\nj=000000000000000000000000000001\r\nempty=\r\n");
    const std::tuple<const char*, std::int32_t, std::int32_t> table[] = {
        {"a", 0, 42}, {"b", 0, -16}, {"c", 0, 5}, {"d", 0, 5}, {"e", 0, 12}, {"f", 9, 0}, {"g", 0, 1},
        {"h", 0, INT32_MIN}, {"i", 0, 8}, {"j", 5, 0} /* only 29 characters are looked at */, {"empty", 7, 7},
        {"missing", -3, -3}};
    for (auto [key, def, want] : table) EXPECT_EQ(ini.GetInt("S", key, def), want) << key;
}

TEST(IniFileWrite, NewLinesAreCanonicalAndOtherLinesKeptByteForByte) {
    IniFile ini("; top comment\n\n  [Video]  \n  k  =  v  \nkeep=me\n\n[Other]\r\nz=2");
    ini.SetString("video", "K", "v");
    EXPECT_FALSE(ini.Changed());  // an unchanged value is no change
    ini.SetString("video", "K", "new");
    EXPECT_TRUE(ini.Changed());
    ini.SetString("Video", "added", "1");
    ini.SetString("Fresh", "n", "  lead  ");
    ini.SetString("Fresh", "x", "a\r\n[Evil]\r\ny=1");  // a line break cannot add lines
    EXPECT_EQ(ini.Serialize(), "; top comment\n\n  [Video]  \nk=new\nkeep=me\nadded=1\r\n\n[Other]\r\nz=2\r\n"
                               "[Fresh]\r\nn=lead\r\nx=a\r\n");
    // Every old line stays reachable after a write, also after CR line ends
    // and in binary garbage.
    IniFile cr("[S]\ra=1\rb=2\r");
    cr.SetString("S", "c", "3");
    const IniFile again(cr.Serialize());
    EXPECT_EQ(again.GetString("S", "a", "") + again.GetString("S", "b", "") + again.GetString("S", "c", ""), "123");
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
    IniFile garbage(junk + "\0[Video]\0=\x81"s);
    EXPECT_EQ(garbage.GetString("Video", "TempPath", "d"), "d");
    garbage.SetString("Video", "TempPath", "x");
    EXPECT_EQ(IniFile(garbage.Serialize()).GetString("Video", "TempPath", ""), "x");
}

TEST(Cp932, ConversionsAndBounds) {
    EXPECT_EQ(Utf8ToCp932("一時ﾌｧｲﾙ.AVI"), "\x88\xea\x8e\x9e\xcc\xa7\xb2\xd9.AVI");
    EXPECT_EQ(Cp932ToUtf8("\x88\xea\x8e\x9e\xcc\xa7\xb2\xd9.AVI"), "一時ﾌｧｲﾙ.AVI");
    EXPECT_EQ(Utf8ToCp932("a😀b"), "a?b");
    EXPECT_EQ(BoundToCp932Bytes("ab表", 3), "ab");
    EXPECT_EQ(BoundToCp932Bytes("ab表", 4), "ab表");
    EXPECT_EQ(std::string(Cp932Prefix("\x95", 5)), "\x95");  // a lone lead byte at the end
}

}  // namespace
}  // namespace kestrova
