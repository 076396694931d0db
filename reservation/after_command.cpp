#include "reservation/after_command.h"

#include "store/string_table.h"

#include <array>
#include <utility>

namespace kestrova {

std::string QuoteArgument(std::string_view text) {
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');  // before the closing quote
    out += '"';
    return out;
}

std::string FillAfterCommand(std::string_view command, const AfterCommandValues& values) {
    const std::array<std::pair<std::string_view, const std::string*>, 4> placeholders{{
        {"{file}", &values.file}, {"{comment}", &values.comment}, {"{start}", &values.start}, {"{end}", &values.end}}};
    std::string out;
    std::size_t at = 0;
    while (at < command.size()) {
        bool replaced = false;
        for (const auto& [name, value] : placeholders) {
            if (command.substr(at, name.size()) != name) continue;
            out += QuoteArgument(*value);
            at += name.size();
            replaced = true;
            break;
        }
        if (!replaced) out += command[at++];
    }
    return out;
}

std::vector<std::string> AfterCommands::Start(std::string_view command, const std::vector<std::string>& files,
                                              const AfterCommandValues& run, const std::string& directory) {
    std::vector<std::string> lines;
    if (command.empty()) return lines;
    for (const std::string& file : files) {
        AfterCommandValues values = run;
        values.file = file;
        const std::string line = FillAfterCommand(command, values);
        const auto started = starter_.StartCommand(line, directory);
        if (const auto* process = std::get_if<StartedCommand>(&started)) {
            running_[process->id] = RunningCommand{line, process->process};
            lines.push_back(FillText(strings::kAfterCommandStarted, {line}));
        } else {
            lines.push_back(FillText(strings::kAfterCommandFailed, {std::get<std::string>(started), line}));
        }
    }
    return lines;
}

std::string AfterCommands::Ended(std::uint64_t id, std::uint32_t exitCode) {
    const auto it = running_.find(id);
    if (it == running_.end()) return {};
    const std::string line = FillText(strings::kAfterCommandEnded, {std::to_string(exitCode), it->second.line});
    running_.erase(it);
    return line;
}

std::vector<RunningCommand> AfterCommands::Running() const {
    std::vector<RunningCommand> out;
    for (const auto& [id, command] : running_) out.push_back(command);
    return out;
}

std::vector<std::string> AfterCommands::WatchOn(const std::vector<RunningCommand>& left) {
    std::vector<std::string> lines;
    for (const RunningCommand& command : left) {
        if (const std::optional<std::uint64_t> id = starter_.WatchCommand(command.process)) {
            running_[*id] = command;
        } else {
            lines.push_back(FillText(strings::kAfterCommandEndUnknown, {command.line}));
        }
    }
    return lines;
}

}  // namespace kestrova
