// A fresh directory for one test under the system's temporary directory,
// removed again with whatever the test left in it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace kestrova::testing {

// The program's paths are UTF-8, also in the Windows build.
inline std::filesystem::path FromUtf8(const std::string& s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

struct TempDir {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("kestrova-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));

    TempDir() { std::filesystem::create_directories(dir); }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(dir, ignored);
    }
    // `name` in the directory; with no name, the directory with a separator at its end.
    std::string Path(const std::string& name = "") const {
        const std::u8string s = (dir / FromUtf8(name)).u8string();
        return std::string(s.begin(), s.end());
    }
};

}  // namespace kestrova::testing
