// The file work that runs beside the window and the renames that must not
// replace anything.
#include "platform/background_copy.h"
#include "platform/files.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>

namespace kestrova {
namespace {

TEST(Files, ACopyBesideTheWindowTakesItsPlaceWholeOrLeavesTheTargetAlone) {
    const testing::TempDir tmp;
    const std::string source = tmp.Path("work.avi");
    const std::string target = tmp.Path("saved.avi");
    std::string bytes(9u << 20, 'r');  // more than one block; the last 1 MiB is not the recording's
    std::ofstream(source, std::ios::binary) << bytes;
    std::ofstream(target, std::ios::binary) << "earlier";
    std::atomic<int> finished{0};
    {
        BackgroundCopy copy(source, target, 8u << 20, [&finished] { ++finished; });
        copy.Wait();
        EXPECT_TRUE(copy.done() && copy.succeeded());
        EXPECT_EQ(copy.copied(), 8u << 20);
    }
    EXPECT_EQ(std::pair(finished.load(), ReadWholeFile(target)), std::pair(1, std::optional(bytes.substr(0, 8u << 20))));
    // Cancelled, or from a source that is not there: the target stays, no sibling is left.
    std::ofstream(target, std::ios::binary) << "earlier";
    for (const std::string& from : {source, tmp.Path("missing.avi")}) {
        BackgroundCopy copy(from, target, 8u << 20, nullptr);
        if (from == source) copy.Cancel();
        copy.Wait();
        EXPECT_FALSE(copy.succeeded() && from != source);
        EXPECT_FALSE(std::filesystem::exists(target + ".new"));
    }
    EXPECT_TRUE(ReadWholeFile(target) == "earlier" || ReadWholeFile(target) == bytes.substr(0, 8u << 20));
    // A rename never replaces a file; a missing file counts as removed.
    EXPECT_FALSE(MoveFileNoReplace(source, target));
    EXPECT_TRUE(MoveFileNoReplace(source, tmp.Path("aside.avi")));
    EXPECT_EQ(std::pair(RemoveFileIfThere(tmp.Path("aside.avi")), RemoveFileIfThere(tmp.Path("aside.avi"))),
              std::pair(true, true));
}

}  // namespace
}  // namespace kestrova
