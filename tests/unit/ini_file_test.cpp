#include "store/ini_file.h"
#include "platform/cp932.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

TEST(IniFileRead, NamesAreCaseInsensitiveAndTrimmed) {
    IniFile ini("[video]\r\n  TEMPPATH  =  C:\\WORK  \r\n[Audio]\r\nRate=1\r\n");
    EXPECT_EQ(ini.GetString("Video", "TempPath", "x"), "C:\\WORK");
    EXPECT_EQ(ini.GetString(" Video ", " temppath ", "x"), "C:\\WORK");
    EXPECT_EQ(ini.GetString("Audio", "TempPath", "x"), "x");
}

TEST(IniFileRead, AbsentEmptyAndValuelessKeys) {
    IniFile ini("[S]\r\nempty=\r\nbare\r\n");
    EXPECT_EQ(ini.GetString("S", "empty", "def"), "");
    EXPECT_TRUE(ini.HasValue("S", "empty"));
    // A line without "=" is no value: the default comes back.
    EXPECT_EQ(ini.GetString("S", "bare", "def"), "def");
    EXPECT_EQ(ini.GetString("S", "missing", "def  "), "def");
    EXPECT_EQ(ini.GetInt("S", "empty", 7), 7);
    EXPECT_EQ(ini.GetInt("Nope", "empty", -3), -3);
}

TEST(IniFileRead, FirstSectionAndFirstKeyWin) {
    IniFile ini("[S]\r\nk=1\r\nk=2\r\n[s]\r\nk=3\r\nonly=4\r\n");
    EXPECT_EQ(ini.GetString("S", "k", ""), "1");
    // Only the first section of a name is searched.
    EXPECT_EQ(ini.GetString("S", "only", "none"), "none");
}

TEST(IniFileRead, QuotesAroundTheWholeValueAreRemoved) {
    IniFile ini("[S]\r\na=\"x y\"\r\nb='z'\r\nc=\"\r\nd=\"half\r\ne=\"mixed'\r\nf=\"\"\r\n");
    EXPECT_EQ(ini.GetString("S", "a", ""), "x y");
    EXPECT_EQ(ini.GetString("S", "b", ""), "z");
    EXPECT_EQ(ini.GetString("S", "c", ""), "\"");
    EXPECT_EQ(ini.GetString("S", "d", ""), "\"half");
    EXPECT_EQ(ini.GetString("S", "e", ""), "\"mixed'");
    EXPECT_EQ(ini.GetString("S", "f", "x"), "");
}

TEST(IniFileRead, IntegersAsTheProfileReaderReadsThem) {
    IniFile ini(
        "[S]\r\na= 42\r\nb=-7\r\nc=+5\r\nd=0x1F\r\ne=12abc\r\nf=abc\r\ng=4294967297\r\nh=-2147483648\r\n"
        "i=\"8\"\r\nj=000000000000000000000000000001\r\nk=0b101\r\nl=-0x10\r\n");
    EXPECT_EQ(ini.GetInt("S", "a", 0), 42);
    EXPECT_EQ(ini.GetInt("S", "b", 0), -7);
    EXPECT_EQ(ini.GetInt("S", "c", 0), 5);
    EXPECT_EQ(ini.GetInt("S", "d", 0), 31);
    EXPECT_EQ(ini.GetInt("S", "e", 0), 12);
    EXPECT_EQ(ini.GetInt("S", "f", 9), 0);
    EXPECT_EQ(ini.GetInt("S", "g", 0), 1);
    EXPECT_EQ(ini.GetInt("S", "h", 0), INT32_MIN);
    EXPECT_EQ(ini.GetInt("S", "i", 0), 8);
    // Only 29 characters are looked at.
    EXPECT_EQ(ini.GetInt("S", "j", 5), 0);
    EXPECT_EQ(ini.GetInt("S", "k", 0), 5);
    EXPECT_EQ(ini.GetInt("S", "l", 0), -16);
}

TEST(IniFileRead, Cp932TrailBytesAreNotSyntax) {
    // 表 is 0x95 0x5C, ソ 0x83 0x5C; 0x81 0x5D and 0x81 0x5B end in ']' and '['.
    std::string file = "[S]\r\npath=C:\\\x95\x5C\r\n[\x81\x5B\x81\x5D]\r\nk=\x83\x5C\x81\x40\r\n";
    IniFile ini(file);
    EXPECT_EQ(ini.GetString("S", "path", ""), "C:\\\x95\x5C");
    // The ideographic space is a character like any other, not a blank.
    EXPECT_EQ(ini.GetString("\x81\x5B\x81\x5D", "k", ""), "\x83\x5C\x81\x40");
}

TEST(IniFileRead, CaseIsIgnoredForSingleByteLettersOnly) {
    // ア is 0x83 0x41 and ヂ 0x83 0x61: their second bytes look like "A" and "a".
    IniFile ini("[\x95\x5C]\r\n\x83\x41=a-key\r\n");
    EXPECT_EQ(ini.GetString("\x95\x5C", "\x83\x61", "def"), "def");
    EXPECT_EQ(ini.GetString("\x95\x5C", "\x83\x41", "def"), "a-key");
    ini.SetString("\x95\x5C", "\x83\x61", "new");
    EXPECT_EQ(ini.GetString("\x95\x5C", "\x83\x41", "def"), "a-key");
}

TEST(IniFileRead, SectionNamesAreTrimmedInsideTheBrackets) {
    IniFile ini("  [ Video ]  \r\nk=1\r\n[\tTab\t]\r\nt=2\r\n[Video]\r\nk=3\r\n");
    EXPECT_EQ(ini.GetString("Video", "k", ""), "1");
    EXPECT_EQ(ini.GetString("Tab", "t", ""), "2");
}

TEST(IniFileRead, NulEndsNamesAndValues) {
    IniFile ini(std::string("[S]\r\nk2=ab\0cd\r\nk3\0x=3\r\n", 22));
    EXPECT_EQ(ini.GetString("S", "k2", ""), "ab");
    EXPECT_EQ(ini.GetString("S", "k3", ""), "3");
}

TEST(IniFileRead, QuotedValueAsLongAsTheBufferLosesItsLastCharacter) {
    IniFile ini("[S]\r\nq=\"0123456789\"\r\nn=\"                           42\"\r\n");
    EXPECT_EQ(ini.GetString("S", "q", "", 12), "0123456789");
    EXPECT_EQ(ini.GetString("S", "q", "", 11), "012345678");
    EXPECT_EQ(ini.GetInt("S", "n", 0), 4);
    EXPECT_EQ(ini.GetString("S", "missing", "   ", 10), " ");
}

TEST(IniFileRead, BufferSizeCutsOnCharacterBoundary) {
    IniFile ini("[S]\r\nk=ab\x95\x5C" "cd\r\n");
    EXPECT_EQ(ini.GetString("S", "k", "", 4), "ab");       // 3 bytes fit, the double-byte char does not
    EXPECT_EQ(ini.GetString("S", "k", "", 5), "ab\x95\x5C");
    EXPECT_EQ(ini.GetString("S", "k", "", 1), "");
    EXPECT_EQ(ini.GetString("S", "k", "", 0), "ab\x95\x5C" "cd");
}

TEST(IniFileRead, LineEndsOfEveryKind) {
    IniFile lf("[S]\na=1\nb=2");
    EXPECT_EQ(lf.GetString("S", "b", ""), "2");
    IniFile cr("[S]\ra=1\rb=2\r");
    EXPECT_EQ(cr.GetString("S", "a", ""), "1");
    EXPECT_EQ(cr.GetString("S", "b", ""), "2");
    IniFile mixed("[S]\nA=1\nB=2\rC=3\r\n[Audio]\rRate=1");
    EXPECT_EQ(mixed.GetString("S", "B", ""), "2");
    EXPECT_EQ(mixed.GetString("S", "C", ""), "3");
    EXPECT_EQ(mixed.GetString("Audio", "Rate", ""), "1");
    // A write keeps every old line reachable.
    cr.SetString("S", "c", "3");
    IniFile again(cr.Serialize());
    EXPECT_EQ(again.GetString("S", "a", ""), "1");
    EXPECT_EQ(again.GetString("S", "c", ""), "3");
    IniFile bom("\xEF\xBB\xBF[S]\r\nk=\xE8\xA1\xA8\r\n");
    EXPECT_EQ(bom.GetString("S", "k", ""), "\x95\x5C");
}

TEST(IniFileRead, BinaryGarbageNeverFails) {
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
    junk += std::string("\0[Video]\0=\x81", 12);
    IniFile ini(junk);
    EXPECT_EQ(ini.GetString("Video", "TempPath", "d"), "d");
    ini.SetString("Video", "TempPath", "x");
    EXPECT_EQ(IniFile(ini.Serialize()).GetString("Video", "TempPath", ""), "x");
}

TEST(IniFileWrite, FreshFileIsCanonical) {
    IniFile ini;
    ini.SetString("Video", "TempPath", "");
    ini.SetString("Video", "TempFile", "0");
    ini.SetString("Audio", "SampleChannel", "2");
    ini.SetString("Video", "X", "1");
    EXPECT_EQ(ini.Serialize(), "[Video]\r\nTempPath=\r\nTempFile=0\r\nX=1\r\n[Audio]\r\nSampleChannel=2\r\n");
}

TEST(IniFileWrite, OtherLinesAreKeptByteForByte) {
    std::string file = "; top comment\n\n  [Video]  \n  k  =  v  \nkeep=me\n\n[Other]\r\nz=2";
    IniFile ini(file);
    ini.SetString("video", "K", "new");
    ini.SetString("Video", "added", "1");
    ini.SetString("Fresh", "n", "  lead  ");
    EXPECT_EQ(ini.Serialize(),
              "; top comment\n\n  [Video]  \nk=new\nkeep=me\nadded=1\r\n\n[Other]\r\nz=2\r\n[Fresh]\r\nn=lead\r\n");
}

TEST(IniFileWrite, UnchangedValueIsNoChange) {
    IniFile ini("[S]\nk=1\n");
    ini.SetString("S", "k", "1");
    EXPECT_FALSE(ini.Changed());
    ini.SetString("S", "k", "2");
    EXPECT_TRUE(ini.Changed());
}

TEST(IniFileWrite, LineBreakInValueCannotAddLines) {
    IniFile ini;
    ini.SetString("S", "k", "a\r\n[Evil]\r\nx=1");
    EXPECT_EQ(ini.Serialize(), "[S]\r\nk=a\r\n");
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
