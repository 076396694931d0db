// The command Kestrova starts after each scheduled recording is stored (an
// encoder that turns the uncompressed file into a small one, a copy to a
// server): its command line with the placeholders filled in, each value
// quoted as one argument, and what the log says of it. Kestrova never waits
// for it: its end is reported later and logged with its exit code.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kestrova {

// What the placeholders stand for: {file} the stored recording (the
// command runs once for each part of a split one), {comment} the
// reservation's comment, {start} and {end} when the recording began and
// ended ("2001-05-12 21:00:00", local time).
struct AfterCommandValues {
    std::string file;
    std::string comment;
    std::string start;
    std::string end;
};

// One argument as CommandLineToArgvW and the C runtime read it back,
// whatever it holds: in double quotes, each quote escaped with a backslash,
// and the backslashes before a quote (or before the closing one) doubled.
std::string QuoteArgument(std::string_view text);

// The command line with each placeholder replaced by its quoted value. The
// rest is kept as written, an unknown "{...}" included.
std::string FillAfterCommand(std::string_view command, const AfterCommandValues& values);

// Starts a command line without a window and without waiting for it: its
// id (its end is reported by that id), or why it could not start.
class CommandStarter {
public:
    virtual ~CommandStarter() = default;
    virtual std::variant<std::uint64_t, std::string> StartCommand(const std::string& commandLine,
                                                                  const std::string& directory) = 0;
};

// The commands started and not yet ended, and the log lines about them.
class AfterCommands {
public:
    explicit AfterCommands(CommandStarter& starter) : starter_(starter) {}

    // Starts `command` (as set; empty: nothing) once for each stored file
    // of a run, in `directory`: one line for each, that it was started or
    // why it could not be.
    std::vector<std::string> Start(std::string_view command, const std::vector<std::string>& files,
                                   const AfterCommandValues& run, const std::string& directory);
    // A command ended: the line that says so with its exit code (nothing
    // for an id that is not one of them).
    std::string Ended(std::uint64_t id, std::uint32_t exitCode);

private:
    CommandStarter& starter_;
    std::map<std::uint64_t, std::string> running_;
};

}  // namespace kestrova
