// A WorkDirectoryHost over a set of directories: the user's answer, and
// what was asked and done, in order.
#pragma once

#include "dialogs/temp_disk.h"

#include <set>
#include <string>
#include <vector>

namespace kestrova::testing {

struct FakeDirectoryHost : WorkDirectoryHost {
    bool IsDirectory(const std::string& path) override { return directories.count(path) != 0; }
    bool AskCreate(const std::string& question) override {
        log.push_back("ask " + question);
        return createAnswer;
    }
    bool MakeDirectory(const std::string& path) override {
        log.push_back("make " + path);
        if (!canMake) return false;
        directories.insert(path);
        return true;
    }
    void ShowError(const std::string& text) override { log.push_back("error " + text); }
    void ChangeCurrentDirectory(const std::string& path) override { log.push_back("current " + path); }

    std::set<std::string> directories{"D:\\cap", "D:\\cap\\"};
    bool createAnswer = true, canMake = true;
    std::vector<std::string> log;
};

}  // namespace kestrova::testing
