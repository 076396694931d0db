#include "reservation/after_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "platform/win32_text.h"
#endif

namespace kestrova {
namespace {

// Every value reaches the command as one argument, unchanged: Windows
// itself reads the quoted forms back where the tests run under it.
TEST(AfterCommand, EachPlaceholderBecomesOneArgumentWhateverItHolds) {
    const struct {
        std::string value, quoted;
    } table[] = {
        {"", R"("")"},
        {"ﾆｭｰｽ 「特集」", R"("ﾆｭｰｽ 「特集」")"},
        {R"(say "hi" & 100% ^!)", R"("say \"hi\" & 100% ^!")"},
        {R"(C:\録画\)", R"("C:\録画\\")"},
        {R"(a\"b\\"c)", R"("a\\\"b\\\\\"c")"},
        {R"(\\server\share\x.avi)", R"("\\server\share\x.avi")"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(QuoteArgument(row.value), row.quoted) << row.value;
#ifdef _WIN32
        int count = 0;
        LPWSTR* args = CommandLineToArgvW(Widen("enc.exe " + row.quoted).c_str(), &count);
        ASSERT_NE(args, nullptr);
        EXPECT_EQ(count, 2) << row.value;
        if (count == 2) {
            EXPECT_EQ(Narrow(args[1]), row.value);
        }
        LocalFree(args);
#endif
    }
    // The rest of the line stays as written; a value's own braces are text.
    EXPECT_EQ(FillAfterCommand("ffmpeg -i {file} {file}.mp4 {x} {comment}{start}-{end}",
                               AfterCommandValues{"a b.avi", "{file}", "1", "2"}),
              R"(ffmpeg -i "a b.avi" "a b.avi".mp4 {x} "{file}""1"-"2")");
}

// A command that cannot start is told with why, and only those started are
// watched for their end.
TEST(AfterCommand, ARefusedStartIsToldAndOnlyStartedCommandsEnd) {
    struct Starter : CommandStarter {
        std::variant<StartedCommand, std::string> StartCommand(const std::string& line, const std::string&) override {
            if (line.find("missing") != std::string::npos) return std::string("見つかりません");
            return StartedCommand{++started, ""};
        }
        std::optional<std::uint64_t> WatchCommand(const std::string&) override { return std::nullopt; }
        std::uint64_t started = 0;
    } starter;
    AfterCommands commands(starter);
    EXPECT_EQ(commands.Start("", {"a.avi"}, {}, "C:\\"), std::vector<std::string>{});
    EXPECT_EQ(commands.Start("enc {file}", {"a_01.avi", "missing_02.avi"}, {}, "C:\\"),
              (std::vector<std::string>{R"(録画後のｺﾏﾝﾄﾞを開始しました: enc "a_01.avi")",
                                        R"(録画後のｺﾏﾝﾄﾞを開始できませんでした（見つかりません）: enc "missing_02.avi")"}));
    EXPECT_EQ(commands.Ended(2, 0), "");
    EXPECT_EQ(commands.Ended(1, 259), R"(録画後のｺﾏﾝﾄﾞが終了しました（終了ｺｰﾄﾞ 259）: enc "a_01.avi")");
}

}  // namespace
}  // namespace kestrova
