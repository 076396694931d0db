// Commands started without a window and never waited for (Windows build
// only): the end of each is posted to a window, whose thread then takes
// its exit code. The commands outlive the runner: it only stops watching.
#pragma once
#ifdef _WIN32

#include "platform/win32_handles.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace kestrova {

class CommandRunner {
public:
    // Each end is posted to `window` as `message`, its wParam the id Start gave.
    CommandRunner(HWND window, UINT message) : window_(window), message_(message) {}
    ~CommandRunner();
    CommandRunner(const CommandRunner&) = delete;
    CommandRunner& operator=(const CommandRunner&) = delete;

    // Starts the command line (UTF-8) in `directory` without a window: its
    // id and its process ("<id>:<creation time>", which no later process
    // with the same number shares), or the system's text of why it could
    // not start.
    struct Started {
        std::uint64_t id;
        std::string process;
    };
    std::variant<Started, std::string> Start(const std::string& commandLine, const std::string& directory);
    // Watches a process that Start gave, maybe in an earlier Kestrova: its
    // new id, or nothing when it is no longer there.
    std::optional<std::uint64_t> Watch(const std::string& process);
    // On the message: the command's exit code, and it is forgotten
    // (nothing for an id this runner does not watch).
    std::optional<std::uint32_t> Ended(std::uint64_t id);

private:
    struct Watched {
        CommandRunner* runner;
        std::uint64_t id;
        UniqueHandle process;
        HANDLE wait = nullptr;
    };
    static void CALLBACK OnProcessEnded(PVOID context, BOOLEAN timedOut);
    static void StopWatching(Watched& watched);
    std::uint64_t WatchHandle(HANDLE process);

    HWND window_;
    UINT message_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, std::unique_ptr<Watched>> watched_;
};

// The system's text for an error code (its message table, in UTF-8,
// without the line break), or its number when it has none.
std::string SystemErrorText(DWORD error);

}  // namespace kestrova

#endif
