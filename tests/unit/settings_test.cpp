#include "store/settings.h"
#include "platform/cp932.h"
#include "platform/files.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

namespace kestrova {
namespace {

namespace fs = std::filesystem;
constexpr ScreenSize kScreen{1024, 768};

AppSettings Read(const std::string& file) { return ReadSettings(IniFile(file), kScreen); }

std::string Written(const AppSettings& s, const std::string& before = "") {
    IniFile ini(before);
    WriteSettings(ini, s, 10, 20);
    return ini.Serialize();
}

// A number key's range ends read as they are, a value past either end as
// that end; what was read is what is written back.
void CheckEnds(const std::string& section, const std::string& key, IntRange range) {
    if (key.starts_with("WindowPos")) return;  // checked against the screen instead
    const std::int64_t low = range.low, high = range.high;
    for (auto [value, held] : {std::pair{low - 1, low}, {low, low}, {high, high}, {high + 1, high}}) {
        if (value < INT32_MIN || value > INT32_MAX) continue;
        const std::string file = "[" + section + "]\r\n" + key + "=" + std::to_string(value) + "\r\n";
        EXPECT_NE(Written(Read(file)).find("\n" + key + "=" + std::to_string(held) + "\r\n"), std::string::npos) << file;
    }
}
void CheckEnds(const std::string&, const std::string&, FloatRange) {}
void CheckEnds(const std::string&, const std::string&, TextRange) {}

TEST(Settings, NumbersReadOutsideTheirRangeAreHeldAtItsNearerEndAndOtherValuesAreAdjustedWhenRead) {
#define KESTROVA_CHECK_ENDS(kind, section, key, value, range, bytes, write) CheckEnds(#section, #key, setting_range::key);
    KESTROVA_SETTINGS(KESTROVA_CHECK_ENDS)
#undef KESTROVA_CHECK_ENDS
    // Text and overflow as the integer reader reads them (0, wrapped), then
    // held. Frames is read with %f and written with two decimals; no rate is 15.
    for (auto [line, written] : {std::pair{"[Video]\r\nVideoBuffers=abc", "VideoBuffers=2"},
                                 {"[Video]\r\nPreviewRate=99999999999", "PreviewRate=65535"},
                                 {"[Video]\r\nFrames=abc", "Frames=15.00"}, {"[Video]\r\nFrames= 7.5fps", "Frames=7.50"},
                                 {"[Video]\r\nFrames=123.456", "Frames=123.46"}, {"[Video]\r\nFrames=-1", "Frames=15.00"},
                                 {"[Video]\r\nFrames=nan", "Frames=15.00"}, {"[Video]\r\nFrames=0.001", "Frames=0.01"},
                                 {"[Video]\r\nFrames=5000", "Frames=1000.00"}, {"[Unattended]\r\nStartMargin=100000", "StartMargin=3600"}}) {
        EXPECT_NE(Written(Read(line)).find(std::string("\n") + written + "\r\n"), std::string::npos) << line;
    }
    // An empty work file name is kept only when a new work file is made each time.
    EXPECT_EQ(Read("[Video]\r\nFixedTempFile=0\r\nTempFileName=\r\n").TempFileName, "");
    EXPECT_EQ(Read("[Video]\r\nFixedTempFile=1\r\nTempFileName=\r\n").TempFileName, "一時ﾌｧｲﾙ.AVI");
    EXPECT_EQ(Read("[Video]\r\nTempFile=1\r\n[General]\r\nSpeedSave=1\r\n").SpeedSave, 0);  // pre-allocation wins
    // A window position off the screen is none (the screen's size itself is on it).
    for (auto [x, y, valid] : {std::tuple{"-1", "0", false}, {"1025", "0", false}, {"1024", "768", true},
                               {"0", "769", false}, {"0", "0", true}}) {
        const AppSettings s = Read(std::string("[General]\r\nWindowPosX=") + x + "\r\nWindowPosY=" + y + "\r\n");
        EXPECT_EQ(std::pair(s.WindowPosX, s.WindowPosY),
                  valid ? std::pair(std::stoi(x), std::stoi(y)) : std::pair(kUseDefaultPosition, kUseDefaultPosition))
            << x << "," << y;
    }
    // Texts are held to the bytes the reader's buffers take (259 for a path,
    // 255 otherwise), cut on a character boundary.
    std::string wide;
    for (int i = 0; i < 200; ++i) wide += "表";
    const AppSettings s = Read("[Video]\r\nTempPath=" + Utf8ToCp932(wide) + "\r\nTempFileName=" + Utf8ToCp932(wide));
    EXPECT_EQ(Utf8ToCp932(s.TempPath).size(), 258u);
    EXPECT_EQ(Utf8ToCp932(s.TempFileName).size(), 254u);
}

TEST(Settings, BytesThatFormNoCharacterAndAnOlderFileWithoutKestrovasOwnKeysAreWrittenBackAsRead) {
    // A stray lead byte used to swallow the comma after it ("\x81," read as
    // one broken character, written back as one replacement).
    EXPECT_NE(Written(Read("[Video]\r\nOnetouch=\x81,\x81\r\n")).find("Onetouch=\x81,\x81\r\n"), std::string::npos);
    // Every byte before a comma, lead bytes with trail bytes that cannot
    // follow them, and a lead byte at the very end survive the trip through
    // the program's UTF-8.
    std::string all;
    for (int b = 0x80; b <= 0xFF; ++b) all += std::string(1, static_cast<char>(b)) + ",";
    all += "\x81\x7F\x9F\xFD\xE0 \xFC";
    EXPECT_EQ(Utf8ToCp932(Cp932ToUtf8(all)), all);
    // What the code page lacks becomes "?"; cuts fall between characters.
    EXPECT_EQ(Cp932ToUtf8("\x88\xea\x8e\x9e\xcc\xa7\xb2\xd9.AVI"), "一時ﾌｧｲﾙ.AVI");
    EXPECT_EQ(Utf8ToCp932("a😀b"), "a?b");
    EXPECT_EQ(BoundToCp932Bytes("ab表", 3), "ab");
    EXPECT_EQ(std::string(Cp932Prefix("\x95", 5)), "\x95");  // a lone lead byte at the end
    // Kestrova's own keys follow all the others in a section of their own,
    // so a file written without them keeps every byte it had.
    const std::string own =
        "[Unattended]\r\nStartMargin=0\r\nEndMargin=0\r\nAfterCommand=\r\nActionSkipMinutes=10\r\nResleepAfterWake=0\r\n";
    const std::string fresh = Written(Read(""));
    ASSERT_TRUE(fresh.ends_with("\r\n" + own)) << fresh;
    const std::string older = fresh.substr(0, fresh.size() - own.size());
    EXPECT_EQ(Written(Read(older), older), fresh);
}

TEST(SettingsFile, ASaveReplacesTheWholeFileOrLeavesTheOldOne) {
    const testing::TempDir tmp;
    const std::string path = tmp.Path("Kestrova.ini");
    const auto contents = [&path] { return ReadWholeFile(path).value_or("<missing>"); };
    // A directory where the file should be cannot be read.
    fs::create_directory(path);
    EXPECT_EQ(Written(LoadSettingsFile(path, kScreen)), Written(Read("")));
    fs::remove(path);
    const std::string before = "[Video]\r\nPreview=0\r\n[Mine]\r\nx=1\r\n";
    std::ofstream(path, std::ios::binary) << before;
    AppSettings s = LoadSettingsFile(path, kScreen);
    s.TopMost = -1;
    ASSERT_TRUE(SaveSettingsFile(path, s, 10, 20));
    const std::string saved = contents();
    EXPECT_EQ(saved, Written(s, before));
    EXPECT_FALSE(fs::exists(path + ".new"));
    // A second save of the same values leaves the file as it is.
    const auto written = fs::last_write_time(path);
    ASSERT_TRUE(SaveSettingsFile(path, s, 10, 20));
    EXPECT_EQ(fs::last_write_time(path), written);
    s.TopMost = 1;  // a change to save from here on
    // No replacement where a directory blocks its sibling name, none of a
    // read-only file, and none that is never committed: the file stays.
    fs::create_directory(path + ".new");
    EXPECT_FALSE(SaveSettingsFile(path, s, 0, 0));
    fs::remove(path + ".new");
    fs::permissions(path, fs::perms::owner_read);
    EXPECT_FALSE(SaveSettingsFile(path, s, 0, 0));
    EXPECT_FALSE(fs::exists(path + ".new"));
    fs::permissions(path, fs::perms::owner_all);
    ASSERT_TRUE(FileReplacement(path).Write(std::string_view("new contents")));
    EXPECT_EQ(contents(), saved);
    // A longer sibling left by an interrupted save does not shine through.
    std::ofstream(path + ".new", std::ios::binary) << std::string(1000, 'x');
    ASSERT_TRUE(ReplaceFileContents(path, "abc"));
    EXPECT_EQ(contents(), "abc");
#ifndef _WIN32
    // A link is followed: its target gets the new contents, the link stays.
    fs::create_directory(tmp.dir / "real");
    fs::rename(path, tmp.dir / "real" / "Kestrova.ini");
    fs::create_symlink("real/Kestrova.ini", path);
    ASSERT_TRUE(SaveSettingsFile(path, s, 0, 0));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_NE(contents().find("TopMost=1\r\n"), std::string::npos);
#endif
}

}  // namespace
}  // namespace kestrova
