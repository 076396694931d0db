#include "reservation/run_journal.h"

#include "platform/files.h"
#include "store/ini_file.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace kestrova {

namespace {

constexpr const char* kStages[] = {"recording", "storing", "stored"};

// Values keep their blanks, quotes and line breaks: "|" first, then the
// text with "\" and line ends escaped.
std::string Escape(std::string_view text) {
    std::string out = "|";
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view value) {
    if (!value.empty() && value.front() == '|') value.remove_prefix(1);
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

std::string Number(std::int64_t n) { return std::to_string(n); }

std::int64_t ReadNumber(const IniFile& ini, const std::string& section, std::string_view key) {
    const std::string text = ini.GetString(section, key, "0");
    return std::strtoll(text.c_str(), nullptr, 10);
}

void PutList(IniFile& ini, const std::string& section, std::string_view key, const std::vector<std::string>& items) {
    ini.SetString(section, std::string(key) + "s", Number(static_cast<std::int64_t>(items.size())));
    for (std::size_t i = 0; i < items.size(); ++i) {
        ini.SetString(section, std::string(key) + std::to_string(i + 1), Escape(items[i]));
    }
}

std::vector<std::string> GetList(const IniFile& ini, const std::string& section, std::string_view key) {
    std::vector<std::string> items;
    const std::int64_t count = ReadNumber(ini, section, std::string(key) + "s");
    for (std::int64_t i = 1; i <= count && i <= 1000; ++i) {
        items.push_back(Unescape(ini.GetString(section, std::string(key) + std::to_string(i), "")));
    }
    return items;
}

void PutRun(IniFile& ini, const std::string& section, const JournalRun& run) {
    const RecordingAccount& a = run.account;
    ini.SetString(section, "Stage", kStages[static_cast<int>(run.stage)]);
    ini.SetString(section, "Slot", Number(run.slot));
    ini.SetString(section, "SpanStart", Number(run.spanStart));
    ini.SetString(section, "SpanEnd", Number(run.spanEnd));
    ini.SetString(section, "Comment", Escape(run.comment));
    ini.SetString(section, "Began", Number(a.began));
    ini.SetString(section, "Ended", Number(a.ended));
    ini.SetString(section, "Frames", Number(static_cast<std::int64_t>(a.frames)));
    ini.SetString(section, "Dropped", Number(static_cast<std::int64_t>(a.dropped)));
    ini.SetString(section, "ElapsedMs", Number(static_cast<std::int64_t>(a.elapsedMs)));
    ini.SetString(section, "CutShort", Escape(a.cutShort));
    ini.SetString(section, "FailureKind", Number(static_cast<int>(a.failureKind)));
    ini.SetString(section, "Failure", Escape(a.failure));
    PutList(ini, section, "File", a.files);
    PutList(ini, section, "Note", run.notes);
    if (run.commandsStarted) ini.SetString(section, "CommandsStarted", "1");
}

JournalRun GetRun(const IniFile& ini, const std::string& section) {
    JournalRun run;
    const std::string stage = ini.GetString(section, "Stage", "");
    for (int i = 0; i < 3; ++i) {
        if (stage == kStages[i]) run.stage = static_cast<JournalRun::Stage>(i);
    }
    run.slot = static_cast<int>(ReadNumber(ini, section, "Slot"));
    run.spanStart = ReadNumber(ini, section, "SpanStart");
    run.spanEnd = ReadNumber(ini, section, "SpanEnd");
    run.comment = Unescape(ini.GetString(section, "Comment", ""));
    RecordingAccount& a = run.account;
    a.began = ReadNumber(ini, section, "Began");
    a.ended = ReadNumber(ini, section, "Ended");
    a.frames = static_cast<std::uint64_t>(ReadNumber(ini, section, "Frames"));
    a.dropped = static_cast<std::uint64_t>(ReadNumber(ini, section, "Dropped"));
    a.elapsedMs = static_cast<std::uint64_t>(ReadNumber(ini, section, "ElapsedMs"));
    a.cutShort = Unescape(ini.GetString(section, "CutShort", ""));
    const std::int64_t kind = ReadNumber(ini, section, "FailureKind");
    a.failureKind = kind >= 0 && kind <= 3 ? static_cast<RecordingFailure>(kind) : RecordingFailure::None;
    a.failure = Unescape(ini.GetString(section, "Failure", ""));
    a.files = GetList(ini, section, "File");
    run.notes = GetList(ini, section, "Note");
    run.commandsStarted = ReadNumber(ini, section, "CommandsStarted") != 0;
    return run;
}

}  // namespace

std::string FormatJournal(const JournalContents& contents) {
    IniFile ini;
    const std::vector<JournalRun>& runs = contents.runs;
    ini.SetString("Journal", "Runs", Number(static_cast<std::int64_t>(runs.size())));
    for (std::size_t i = 0; i < runs.size(); ++i) PutRun(ini, "Run" + std::to_string(i + 1), runs[i]);
    if (!contents.commands.empty()) {
        std::vector<std::string> lines, processes;
        for (const RunningCommand& c : contents.commands) lines.push_back(c.line), processes.push_back(c.process);
        PutList(ini, "Commands", "Line", lines);
        PutList(ini, "Commands", "Process", processes);
    }
    if (contents.action) {
        ini.SetString("Action", "Action", Number(static_cast<int>(contents.action->action)));
        ini.SetString("Action", "Deadline", Number(contents.action->deadline));
    }
    return ini.Serialize();
}

JournalContents ParseJournal(std::string_view text) {
    const IniFile ini(text);
    JournalContents contents;
    const std::int64_t count = ReadNumber(ini, "Journal", "Runs");
    for (std::int64_t i = 1; i <= count && i <= 1000; ++i) {
        JournalRun run = GetRun(ini, "Run" + std::to_string(i));
        if (run.slot >= 0 && run.slot < 99) contents.runs.push_back(std::move(run));
    }
    const std::vector<std::string> lines = GetList(ini, "Commands", "Line");
    const std::vector<std::string> processes = GetList(ini, "Commands", "Process");
    for (std::size_t i = 0; i < lines.size() && i < processes.size(); ++i) {
        contents.commands.push_back({lines[i], processes[i]});
    }
    const std::int64_t action = ReadNumber(ini, "Action", "Action");
    if (action >= static_cast<int>(AfterRunAction::PowerOff) && action <= static_cast<int>(AfterRunAction::Hibernate)) {
        contents.action = AwaitedAction{static_cast<AfterRunAction>(action), ReadNumber(ini, "Action", "Deadline")};
    }
    return contents;
}

JournalContents RunJournal::Load() const {
    const std::optional<std::string> bytes = ReadWholeFile(path_);
    return bytes ? ParseJournal(*bytes) : JournalContents{};
}

bool RunJournal::Save(const JournalContents& contents) const {
    const bool empty = contents.runs.empty() && contents.commands.empty() && !contents.action;
    return empty ? RemoveFileIfThere(path_) : ReplaceFileContents(path_, FormatJournal(contents));
}

}  // namespace kestrova
