// The command Kestrova starts after each scheduled recording is stored (an
// encoder that turns the uncompressed file into a small one, a copy to a
// server): its command line with the placeholders filled in, each value
// quoted as one argument, and what the log says of it. Kestrova never waits
// for it: its end is reported later and logged with its exit code.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
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

// A command that was started: the id its end is reported by, and the
// process it runs as, told apart from any later one that reuses its number
// (kept in the journal, so that a later Kestrova can watch it on).
struct StartedCommand {
    std::uint64_t id = 0;
    std::string process;
};

// One still running, as the journal keeps it.
struct RunningCommand {
    std::string line;
    std::string process;
    friend bool operator==(const RunningCommand&, const RunningCommand&) = default;
};

// Starts a command line without a window and without waiting for it, or
// why it could not start; watches one an earlier Kestrova started (a new
// id, or nothing when that process is no longer there).
class CommandStarter {
public:
    virtual ~CommandStarter() = default;
    virtual std::variant<StartedCommand, std::string> StartCommand(const std::string& commandLine,
                                                                   const std::string& directory) = 0;
    virtual std::optional<std::uint64_t> WatchCommand(const std::string& process) = 0;
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

    // The commands still running, for the journal; and those an earlier
    // Kestrova left running, watched on: a line for each that has ended
    // meanwhile, whose exit code is lost with it.
    std::vector<RunningCommand> Running() const;
    std::vector<std::string> WatchOn(const std::vector<RunningCommand>& left);

private:
    CommandStarter& starter_;
    std::map<std::uint64_t, RunningCommand> running_;
};

}  // namespace kestrova
