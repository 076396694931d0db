#include "reservation/scheduler.h"

#include "platform/files.h"
#include "store/string_table.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <utility>

namespace kestrova {

namespace {

// Clock jumps kept to explain what they passed over.
constexpr std::size_t kJumpsKept = 8;

std::string ClockText(const Clock& clock, std::int64_t t) {
    const LocalTime l = clock.ToLocal(t);
    char text[32];
    std::snprintf(text, sizeof text, "%02d時%02d分%02d秒", l.hour, l.minute, l.second);
    return text;
}

std::string DateText(const Clock& clock, std::int64_t t) {
    const LocalTime l = clock.ToLocal(t);
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d %02d:%02d:%02d", l.month, l.day, l.hour, l.minute, l.second);
    return text;
}

// A time as the command after a recording gets it: "2001-05-12 21:00:00".
std::string CommandTime(const Clock& clock, std::int64_t t) { return DateTimeText(clock.ToLocal(t), '-'); }

std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20); }

// How many of a weekly slot's occurrences lie from `first` (one of them)
// up to, not including, `next` (a later one): days counted, not walked, so
// a slot left alone for decades costs nothing.
std::int64_t OccurrencesBetween(const Clock& clock, std::int32_t weekdays, std::int64_t first, std::int64_t next) {
    const LocalTime from = clock.ToLocal(first);
    const std::int64_t days = DayNumber(clock.ToLocal(next)) - DayNumber(from);
    const unsigned bits = static_cast<unsigned>(weekdays) & 0x7Fu;
    std::int64_t count = days / 7 * std::popcount(bits);
    for (std::int64_t d = 0; d < days % 7; ++d) count += (bits >> ((from.weekday + d) % 7)) & 1u;
    return count;
}

}  // namespace

std::string ReasonText(ScheduleReason reason) {
    static constexpr unsigned kTexts[] = {strings::kReasonAnotherRecording, strings::kReasonNotRunning,
                                          strings::kReasonTimerOff,         strings::kReasonAsleep,
                                          strings::kReasonClockChanged,     strings::kReasonPassedWhenReserved,
                                          strings::kReasonTimerLate};
    return std::string(LoadText(kTexts[static_cast<std::size_t>(reason)]));
}

Scheduler::Scheduler(const Clock& clock, SchedulerHost& host, ReservationBook& book, const AppSettings& settings,
                     RunRecorder& recorder, RecordWriter writer, RunJournal journal)
    : clock_(clock),
      host_(host),
      book_(book),
      settings_(settings),
      recorder_(recorder),
      writer_(std::move(writer)),
      journal_(std::move(journal)),
      afterCommands_(host),
      startedAt_(clock.Now()) {}

void Scheduler::Start() {
    for (int i = 0; i < kReservationSlots; ++i) {
        const ReservationEntry& entry = book_[i];
        weeklyKnown_[static_cast<std::size_t>(i)] = entry.weekdays != 0 && IsWeeklyOccurrence(clock_, entry);
    }
    Recover();
    TellRefusedPowerOff();
    TellUnreadable();
    Look();
}

// A power-off asked for before this start whose machine never went off
// (the system has run since before the request) is told: a program that
// would not close kept it on.
void Scheduler::TellRefusedPowerOff() {
    const std::string note = PowerOffNote();
    const std::optional<std::string> text = ReadWholeFile(note);
    if (!text) return;
    static_cast<void>(RemoveFileIfThere(note));
    char* end = nullptr;
    const long long asked = std::strtoll(text->c_str(), &end, 10);
    if (end == text->c_str() || !PowerOffRefused(asked, host_.BootedAt())) return;
    const std::string line = FillText(strings::kPowerOffRefused, {DateText(clock_, asked)});
    Notice(line);
    Tell(line);
}

// A slot the file holds but that cannot be used is told once, by its
// number and what it says; the file keeps it as it is.
void Scheduler::TellUnreadable() {
    std::vector<std::string> told;
    for (int slot = 0; slot < kReservationSlots; ++slot) {
        if (!Unreadable(book_[slot])) continue;
        told.push_back(UnreadableNotice(slot, book_[slot]));
        Notice(told.back());
    }
    if (!told.empty()) Tell(told.front());
}

void Scheduler::Toggle() {
    if (armed_) {
        if (settings_.Preview != 0) recorder_.SetPreview(true);
        CancelAfterRun();  // whoever disarms is at the machine
        SetTimer(false);
        SetWake(std::nullopt);
        host_.KeepAwake(false);
        armed_ = false;
        armedIndex_ = -1;
        notice_.clear();
        if (!host_.WindowVisible()) host_.ShowWindow();
        host_.ClearStatusText();
        UpdateStatus();
    } else {
        armed_ = true;
        armedAt_ = clock_.Now();
        overlapStale_ = true;
        Look();
    }
}

void Scheduler::Rearm(const SlotSet& edited) {
    const std::int64_t now = clock_.Now();
    for (std::size_t i = 0; i < edited.size(); ++i) {
        if (!edited[i]) continue;
        reservedAt_[i] = now;
        keptAfterKill_[i] = 0;
        weeklyKnown_[i] = false;
    }
    if (book_.saveFailed()) TellSaveFailure();
    if (armed_) host_.KeepAwake(false);
    roomChecked_.reset();
    overlapStale_ = true;
    Look();
}

void Scheduler::Tick() {
    if (host_.Recording()) {
        // A recording by hand: whoever started it is at the machine.
        StopAfterRun(afterRun_.Interrupt(std::string(LoadText(strings::kRecordingByHand))));
        return;
    }
    NoteTime(clock_.Now(), true);
    Look();
}

// A resume of its own (the wake timer's, or another wake event) is kept for
// a sleep again after the run; once someone is at the machine it is not.
void Scheduler::Resumed(bool byUser) {
    if (byUser) {
        wokeFor_.reset();
        return;
    }
    resumedAt_ = clock_.Now();
    wokeFor_ = wakeAt_;
    NoteGap(lastLook_, *resumedAt_, ScheduleReason::Asleep);
}

void Scheduler::ClockChanged() {
    NoteTime(clock_.Now(), true);
    wakeAt_.reset();  // set again for the new clock
}

void Scheduler::Review() {
    if (timerOn_) host_.StartTimer();
    Look();
}

void Scheduler::NoteGap(std::int64_t from, std::int64_t to, ScheduleReason reason) {
    if (from == 0 || to <= from) return;  // a clock set back passes over nothing
    gap_ = Interval{from, to};
    gapReason_ = reason;
}

// What happened to the clock since the last look: a jump that the steady
// clock does not share is a change of the clock (a forward one is kept, to
// hold the spans it passed over), a silence of the ticks that both share is
// a sleep. A look after a run sees a change made while it recorded.
void Scheduler::NoteTime(std::int64_t now, bool ticked) {
    const std::int64_t steady = clock_.Steady();
    if (lastLook_ != 0) {
        const std::int64_t skew = (now - lastLook_) - (steady - lastSteady_);
        if (skew > kClockChangeSeconds || skew < -kClockChangeSeconds) {
            NoteGap(lastLook_, now, ScheduleReason::ClockChanged);
            if (skew > 0) {
                if (jumps_.size() == kJumpsKept) jumps_.erase(jumps_.begin());
                jumps_.push_back(ClockJump{lastLook_ + (steady - lastSteady_), now, steady});
            } else {
                // Set back: what the forward jumps passed over is ahead of
                // the clock again, as far as the clock went back.
                for (ClockJump& jump : jumps_) jump.to = std::max(jump.from, jump.to + skew);
                std::erase_if(jumps_, [](const ClockJump& jump) { return jump.to == jump.from; });
            }
            if (timerOn_) host_.StartTimer();  // on the whole second again
        } else if (ticked && steady - lastSteady_ > kTickSilenceSeconds) {
            NoteGap(lastLook_, now, ScheduleReason::Asleep);
            if (timerOn_) host_.StartTimer();
        }
    }
    lastLook_ = now;
    lastSteady_ = steady;
}

// Spans that ended while nothing could record them are told; what is due
// records (each run may let others pass, so look again after it); then the
// timer waits for the next start.
void Scheduler::Look() {
    if (host_.Recording()) return;
    for (;;) {
        const std::int64_t now = clock_.Now();
        NoteTime(now, false);
        TellMissed(now);
        const std::optional<int> due = armed_ ? DueSlot(now) : std::nullopt;
        if (!due) break;
        StopAfterRun(afterRun_.Interrupt(SlotLabel(*due, book_[*due].comment)));
        Run(*due, now);
    }
    LookAfterRun(clock_.Now());
    const auto before = std::tuple(armedIndex_, overlapText_, notice_);
    const bool stale = overlapStale_;
    ArmNext(clock_.Now());
    // Ticks look once a second; the status bar is written when it changes.
    if (stale || before != std::tuple(armedIndex_, overlapText_, notice_)) UpdateStatus();
}

std::optional<Span> Scheduler::PendingSpan(int slot, std::int64_t now) {
    const ReservationEntry& entry = book_[slot];
    if (entry.used == 0) return std::nullopt;
    if (entry.weekdays != 0 && !weeklyKnown_[static_cast<std::size_t>(slot)]) {
        const std::int64_t occurrence = WeeklyOccurrenceEndingAfter(clock_, entry, now);
        if (occurrence == 0) return std::nullopt;
        book_.MoveWeekly(clock_, slot, occurrence);
        weeklyKnown_[static_cast<std::size_t>(slot)] = true;
        if (book_.saveFailed()) TellSaveFailure();
    }
    return SpanOf(clock_, book_[slot]);
}

// A span the clock jumped over is not missed yet: its end has not come in
// real time, and the clock may be set back before it does.
bool Scheduler::HeldByClockJump(const Span& span) const {
    const std::int64_t steady = clock_.Steady();
    return std::any_of(jumps_.begin(), jumps_.end(), [&](const ClockJump& jump) {
        return span.end > jump.from && span.end <= jump.to && steady < jump.steady + (span.end - jump.from);
    });
}

bool Scheduler::HoldsJumpedSpan(std::int64_t now) {
    for (int slot = 0; slot < kReservationSlots; ++slot) {
        const std::optional<Span> span = PendingSpan(slot, now);
        if (span && span->end <= now && HeldByClockJump(*span)) return true;
    }
    return false;
}

void Scheduler::TellMissed(std::int64_t now) {
    const ReservationBook::Hold hold(book_);
    std::vector<std::string> told;
    ScheduleReason last = ScheduleReason::TimerLate;
    for (int slot = 0; slot < kReservationSlots; ++slot) {
        const std::optional<Span> span = PendingSpan(slot, now);
        if (!span || span->end > now || HeldByClockJump(*span)) continue;
        last = TellMissedSlot(slot, *span, now, told);
    }
    if (told.empty()) return;
    overlapStale_ = true;
    Tell(told.size() == 1 ? told.front()
                          : FillText(strings::kMissedSummary, {std::to_string(told.size()), ReasonText(last)}));
}

// The slot's span (and, for a weekly slot, every occurrence since that has
// ended too) is told in one record, and the slot retired or moved on.
ScheduleReason Scheduler::TellMissedSlot(int slot, const Span& span, std::int64_t now,
                                         std::vector<std::string>& told) {
    const ReservationEntry entry = book_[slot];
    const std::int64_t next = entry.weekdays != 0 ? WeeklyOccurrenceEndingAfter(clock_, entry, now) : 0;
    const bool onlyThisOne =
        entry.weekdays == 0 || (next != 0 && OccurrencesBetween(clock_, entry.weekdays, span.start, next) <= 1);
    if (keptAfterKill_[static_cast<std::size_t>(slot)] == span.start && onlyThisOne) {
        // What a killed run recorded of it is kept and has its record; the
        // rest could not follow before its end.
        if (entry.weekdays == 0) {
            book_.Retire(clock_, slot, span.start);
        } else {
            book_.MoveWeekly(clock_, slot, next);
        }
        if (book_.saveFailed()) TellSaveFailure();
        return ReasonAt(slot, span.end);
    }
    MissedRecord missed{slot, entry.comment, span.start, {}, 1, span.start};
    std::int64_t lastEnd = span.end;
    if (next != 0) {
        missed.occurrences = std::max<std::int64_t>(1, OccurrencesBetween(clock_, entry.weekdays, span.start, next));
        for (std::int64_t at = std::max(span.start, next - std::int64_t{8} * 86400); at != 0 && at < next;
             at = WeeklyOccurrenceAfter(clock_, entry, at)) {
            if (at >= span.start) missed.lastStart = at;
        }
        lastEnd = missed.lastStart + ReservationLength(clock_, entry);
    }
    const ScheduleReason reason = ReasonAt(slot, lastEnd);
    missed.reason = ReasonText(reason);
    const RecordWritten written = writer_.WriteMissed(host_.LogPath(), missed);
    for (const std::string& text : written.told) host_.ShowFailure(text);
    told.push_back(FillText(strings::kMissedNotice, {std::to_string(slot + 1), DateText(clock_, span.start), missed.reason}));
    if (entry.weekdays == 0) {
        book_.Retire(clock_, slot, span.start);
    } else if (next != 0) {
        book_.MoveWeekly(clock_, slot, next);
    }
    if (book_.saveFailed()) TellSaveFailure();
    return reason;
}

Scheduler::Spans Scheduler::PendingSpans(std::int64_t now) {
    Spans spans;
    for (int slot = 0; slot < kReservationSlots; ++slot) spans[static_cast<std::size_t>(slot)] = PendingSpan(slot, now);
    return spans;
}

// What the slot's pending span records, its margins given way to the
// other slots' spans.
Span Scheduler::RecordedSpan(int slot, const Spans& spans) const {
    const Margins margins = MarginsInForce();
    if (margins.before == 0 && margins.after == 0) return *spans[static_cast<std::size_t>(slot)];
    std::vector<Span> others;
    for (int other = 0; other < kReservationSlots; ++other) {
        if (const auto& span = spans[static_cast<std::size_t>(other)]; other != slot && span) others.push_back(*span);
    }
    return MarginSpan(*spans[static_cast<std::size_t>(slot)], others, margins);
}

// The reservation to record now: its recording (its start margin
// included) has begun and its span has not ended; the earliest start
// first, equal starts the lower slot.
std::optional<int> Scheduler::DueSlot(std::int64_t now) {
    const Spans spans = PendingSpans(now);
    std::optional<int> chosen;
    std::int64_t chosenStart = 0;
    for (int slot = 0; slot < kReservationSlots; ++slot) {
        const std::optional<Span>& span = spans[static_cast<std::size_t>(slot)];
        if (!span || span->end <= now) continue;
        const std::int64_t start = RecordedSpan(slot, spans).start;
        if (start > now) continue;
        if (!chosen || start < chosenStart) {
            chosen = slot;
            chosenStart = start;
        }
    }
    return chosen;
}

// Why a moment went by unseen: the slot reserved after it, Kestrova not yet
// running, a sleep or a clock change, another recording, the timer off, or
// (none of these) a late tick.
ScheduleReason Scheduler::ReasonAt(int slot, std::int64_t t) const {
    if (t < reservedAt_[static_cast<std::size_t>(slot)]) return ScheduleReason::PassedWhenReserved;
    if (t < startedAt_) return ScheduleReason::NotRunning;
    if (std::any_of(jumps_.begin(), jumps_.end(), [t](const ClockJump& j) { return t > j.from && t <= j.to; })) {
        return ScheduleReason::ClockChanged;
    }
    if (gap_.Holds(t)) return gapReason_;
    if (lastRun_.Holds(t)) return ScheduleReason::AnotherRecording;
    if (!armed_ || t < armedAt_) return ScheduleReason::TimerOff;
    return ScheduleReason::TimerLate;
}

// Records what is left of the slot's span; its action follows once it is
// stored.
void Scheduler::Run(int slot, std::int64_t now) {
    SetTimer(false);
    // A copy: the reservation dialog may replace the table while the run waits.
    const ReservationEntry entry = book_[slot];
    const Span span = SpanOf(clock_, entry);
    const std::int64_t end = RecordedSpan(slot, PendingSpans(now)).end;
    Pending& pending = pending_.emplace_back(
        Pending{nextRunId_++, JournalRun{JournalRun::Stage::Recording, slot, span.start, end, entry.comment, {}, {}}});
    {
        // The machine kept awake, the window in its unattended state and the
        // recording icon, for the run and undone on every way out of it.
        struct UnattendedRun {
            explicit UnattendedRun(SchedulerHost& host) : host_(host) {
                host_.KeepAwake(true);
                host_.BeginUnattendedRun();
                if (host_.WindowMinimized()) host_.SwapTrayIcon(kTrayIconRecording);
            }
            ~UnattendedRun() {
                if (host_.WindowMinimized()) host_.SwapTrayIcon(kTrayIconNormal);
                host_.EndUnattendedRun();
                host_.KeepAwake(false);
            }
            UnattendedRun(const UnattendedRun&) = delete;
            UnattendedRun& operator=(const UnattendedRun&) = delete;
            SchedulerHost& host_;
        };
        const UnattendedRun unattended(host_);
        Record(pending, span.start, now);
        Retire(slot, entry, span, pending.run);
        roomChecked_.reset();
    }
    pending.action = AfterRunActionOf(entry.powerOff);
    Store(pending);
}

// The recording of one run, up to the end its journal entry holds (its end
// margin included), journalled from before it begins: each work file is in
// the journal as soon as it is made. Late is late for the reserved start.
void Scheduler::Record(Pending& pending, std::int64_t reservedStart, std::int64_t now) {
    JournalRun& run = pending.run;
    if (now > reservedStart) {
        run.notes.push_back(FillText(strings::kStartedLate, {ClockText(clock_, reservedStart),
                                                              std::to_string(now - reservedStart),
                                                              ReasonText(ReasonAt(run.slot, reservedStart))}));
    }
    CheckRoom(run.slot);  // a run that follows another at once was never armed
    if (!roomShort_.empty()) run.notes.push_back(roomShort_);
    run.account.began = now;
    if (const std::optional<std::string> unavailable = recorder_.Unavailable()) {
        run.account.ended = now;
        run.account.failure = *unavailable;
        run.stage = JournalRun::Stage::Stored;
        return;
    }
    SaveJournal();
    const auto made = [this, &run](const std::string& file) {
        run.account.files.push_back(file);
        SaveJournal();
    };
    const std::int64_t began = run.account.began;
    run.account = recorder_.Record(static_cast<std::int32_t>(run.spanEnd - now), made);
    run.account.began = std::max(run.account.began, began);
    lastRun_ = Interval{now, run.account.ended};
    run.stage = JournalRun::Stage::Storing;
}

// The slot is done with once its run has recorded: retired, or moved on to
// its next occurrence, and the file says so at once. A slot the dialog
// changed meanwhile is left as the dialog made it.
void Scheduler::Retire(int slot, const ReservationEntry& entry, const Span& span, JournalRun& run) {
    if (!(book_[slot] == entry)) return;
    book_.Retire(clock_, slot, span.start);
    overlapStale_ = true;
    if (!book_.saveFailed()) return;
    run.notes.push_back(FormatText(strings::kNotSavedTo, book_.path()));
    TellSaveFailure();
}

// The run's recording goes to its dated name; its record is written once
// it is there (in run order).
void Scheduler::Store(Pending& pending) {
    SaveJournal();
    if (pending.run.stage != JournalRun::Stage::Storing) {
        WriteRecords();
        return;
    }
    const std::uint64_t id = pending.id;
    recorder_.Store(pending.run.account, [this, id](StoredRecording stored) { Stored(id, std::move(stored)); });
}

void Scheduler::Stored(std::uint64_t id, StoredRecording stored) {
    for (Pending& p : pending_) {
        if (p.id != id) continue;
        p.run.account.files = std::move(stored.files);
        if (!stored.kept.empty()) {
            p.run.notes.push_back(stored.kept);
            host_.ShowFailure(stored.kept);
        }
        p.run.stage = JournalRun::Stage::Stored;
    }
    SaveJournal();
    WriteRecords();
}

// The records of the runs that are stored, in the order they ran; the
// command after a recording starts as its record is written, which says so.
void Scheduler::WriteRecords() {
    bool wrote = false;
    AfterRunAction asked = AfterRunAction::None;
    while (!pending_.empty() && pending_.front().run.stage == JournalRun::Stage::Stored) {
        JournalRun& run = pending_.front().run;
        const RecordingAccount& a = run.account;
        const std::string logPath = host_.LogPath();
        if (!run.commandsStarted && !settings_.AfterCommand.empty()) {
            for (std::string& line : afterCommands_.Start(
                     settings_.AfterCommand, a.files,
                     AfterCommandValues{{}, run.comment, CommandTime(clock_, a.began), CommandTime(clock_, a.ended)},
                     DirectoryOf(logPath))) {
                run.notes.push_back(std::move(line));
            }
            // Kept at once: a start after a kill writes the record, and
            // watches the commands on, without starting them again.
            run.commandsStarted = true;
            SaveJournal();
        }
        const RecordWritten written = writer_.WriteRun(
            logPath, RunRecord{run.slot, run.comment, a.began, a.ended, a.frames, a.dropped, a.elapsedMs,
                               a.cutShort, a.failure, run.notes});
        for (const std::string& text : written.told) host_.ShowFailure(text);
        asked = pending_.front().action;
        if (asked == AfterRunAction::None &&
            ResleepWanted(settings_.ResleepAfterWake != 0, wokeFor_, resumedAt_, host_.LastInputAt())) {
            asked = AfterRunAction::Sleep;
        }
        pending_.pop_front();
        wrote = true;
    }
    if (!wrote) return;
    SaveJournal();
    BeginAfterRun(asked);
}

// The action of the run whose record was just written: it waits for the
// countdown, unless another run still records or is stored, or the next
// reservation starts soon (Kestrova then stays up for it).
void Scheduler::BeginAfterRun(AfterRunAction action) {
    if (action == AfterRunAction::None) return;
    const std::int64_t now = clock_.Now();
    const NextRun next = NextRunAfter(now);
    const AfterRunCountdown::Step step =
        afterRun_.Begin(action, now, next.start, next.label, settings_.ActionSkipMinutes);
    Notice(step.line);
    if (!step.counting) {
        host_.Notify(step.line);
        return;
    }
    host_.ShowCountdown(action, *afterRun_.deadline());
    SaveJournal();
    SetTimer(true);
}

// The countdown's end: the action, unless a reservation now starts soon.
void Scheduler::LookAfterRun(std::int64_t now) {
    if (!afterRun_.counting()) return;
    const NextRun next = NextRunAfter(now);
    std::string line;
    const std::optional<AfterRunAction> act =
        afterRun_.Due(now, next.start, next.label, settings_.ActionSkipMinutes, line);
    if (afterRun_.counting()) return;
    StopAfterRun(line);
    if (!act) return;
    if (*act == AfterRunAction::PowerOff) {
        // Told at the next start when the machine stayed on.
        if (!ReplaceFileContents(PowerOffNote(), std::to_string(now))) {
            Notice(FormatText(strings::kNotSavedTo, PowerOffNote()));  // in the log: Kestrova ends now
        }
        host_.PowerOff();
        return;
    }
    ArmNext(now);  // the wake timer for the next reservation first
    const std::string failed = host_.Suspend(*act == AfterRunAction::Hibernate);
    if (!failed.empty()) Notice(FillText(strings::kAfterRunFailed, {AfterRunName(*act), failed}));
}

void Scheduler::CancelAfterRun() { StopAfterRun(afterRun_.Cancel()); }

void Scheduler::ForgetPowerOff() { static_cast<void>(RemoveFileIfThere(PowerOffNote())); }

// When a power-off was asked for ("Kestrova.off", beside the journal).
std::string Scheduler::PowerOffNote() const { return ReplaceLastThree(journal_.path(), "off"); }

// The countdown is over (`line` says how; empty: none ran).
void Scheduler::StopAfterRun(const std::string& line) {
    if (line.empty()) return;
    host_.HideCountdown();
    Notice(line);
    host_.Notify(line);
    SaveJournal();
}

// A line of the text log outside any run's record.
void Scheduler::Notice(const std::string& line) {
    if (line.empty()) return;
    for (const std::string& text : writer_.WriteNotice(host_.LogPath(), line).told) host_.ShowFailure(text);
}

void Scheduler::CommandEnded(std::uint64_t id, std::uint32_t exitCode) {
    const std::string line = afterCommands_.Ended(id, exitCode);
    if (line.empty()) return;
    Notice(line);
    SaveJournal();
}

// The runs not yet recorded and the commands still running; Kestrova may
// end, or be killed, at any moment.
void Scheduler::SaveJournal() {
    JournalContents contents;
    for (const Pending& p : pending_) contents.runs.push_back(p.run);
    contents.commands = afterCommands_.Running();
    if (afterRun_.counting()) contents.action = AwaitedAction{afterRun_.action(), *afterRun_.deadline()};
    if (!journal_.Save(contents)) {
        host_.ShowFailure(FormatText(strings::kNotSavedTo, journal_.path()));
    }
}

// What the journal says an earlier Kestrova left unfinished: the commands
// it left running are watched on (their ends logged as if this one had
// started them), an action whose countdown it did not see out is told as
// never done (a start by hand does not switch the machine off), and the
// runs a kill cut off are finished.
void Scheduler::Recover() {
    const std::int64_t now = clock_.Now();
    JournalContents left = journal_.Load();
    for (const std::string& line : afterCommands_.WatchOn(left.commands)) Notice(line);
    if (left.action) {
        Notice(FillText(strings::kAfterRunLost, {DateText(clock_, left.action->deadline), AfterRunName(left.action->action)}));
    }
    for (JournalRun& run : left.runs) RecoverRun(std::move(run), now);
    SaveJournal();
}

// A run a kill cut off: its work files ended at their last whole frame,
// stored under its dated name and told; its slot retired when its span is
// over (else what is left of the span records as for any late start). A
// run that was being stored is stored again; one stored gets its record.
void Scheduler::RecoverRun(JournalRun run, std::int64_t now) {
    if (run.stage == JournalRun::Stage::Recording) {
        RecordingAccount& a = run.account;
        std::vector<std::string> kept;
        for (const std::string& file : a.files) {
            const std::optional<RecordingAccount> repaired = recorder_.Repair(file);
            if (!repaired) continue;
            // Killed before its first frame: nothing to keep under a dated name.
            if (repaired->frames == 0 && recorder_.Discard(file)) continue;
            kept.push_back(file);
            a.frames += repaired->frames;
            a.dropped += repaired->dropped;
            a.elapsedMs += repaired->elapsedMs;
        }
        a.files = kept;
        a.ended = a.began + static_cast<std::int64_t>(a.elapsedMs / 1000);
        a.cutShort = std::string(LoadText(strings::kEndedDuringRun));
        // A run that recorded nothing has its record; its span records or
        // is told as missed as if it had never begun.
        run.stage = a.files.empty() ? JournalRun::Stage::Stored : JournalRun::Stage::Storing;
        const ReservationEntry& entry = book_[run.slot];
        const bool same = entry.used != 0 && entry.start == run.spanStart;
        if (!a.files.empty()) {
            Tell(FillText(strings::kKeptAfterEnd, {std::to_string(run.slot + 1), DateText(clock_, a.began)}));
            if (same) keptAfterKill_[static_cast<std::size_t>(run.slot)] = run.spanStart;
            if (same && run.spanEnd <= now) book_.Retire(clock_, run.slot, run.spanStart);
        }
    }
    Store(pending_.emplace_back(Pending{nextRunId_++, std::move(run)}));
}

// What records next, for the action after a run: a run still recording or
// being stored counts as now; else, while armed, the earliest recorded
// start of a span not yet over (one due now included).
Scheduler::NextRun Scheduler::NextRunAfter(std::int64_t now) {
    std::optional<std::pair<int, std::int64_t>> next;
    if (!pending_.empty()) {
        next = std::pair(pending_.front().run.slot, now);
    } else if (armed_) {
        const Spans spans = PendingSpans(now);
        for (int slot = 0; slot < kReservationSlots; ++slot) {
            const std::optional<Span>& span = spans[static_cast<std::size_t>(slot)];
            if (!span || span->end <= now) continue;
            const std::int64_t start = RecordedSpan(slot, spans).start;
            if (!next || start < next->second) next = std::pair(slot, start);
        }
    }
    if (!next) return {};
    return {next->second, SlotLabel(next->first, book_[next->first].comment)};
}

void Scheduler::ArmNext(std::int64_t now) {
    int next = -1;
    std::int64_t nextStart = 0;
    if (armed_) {
        const Spans spans = PendingSpans(now);
        for (int slot = 0; slot < kReservationSlots; ++slot) {
            if (!spans[static_cast<std::size_t>(slot)]) continue;
            const std::int64_t start = RecordedSpan(slot, spans).start;
            if (start <= now) continue;
            if (next < 0 || start < nextStart) {
                next = slot;
                nextStart = start;
            }
        }
    }
    const bool moved = next != armedIndex_;
    armedIndex_ = next;
    if (next < 0) {
        overlapText_.clear();
        SetWake(std::nullopt);
        // A span the clock jumped over still waits for its real time: the
        // ticks go on, to see the clock set back (which Windows need not
        // announce) or to tell the span once its real end has come. The
        // countdown before an action after a run ticks too.
        SetTimer((armed_ && HoldsJumpedSpan(now)) || afterRun_.counting());
        return;
    }
    recorder_.SetPreview(false);
    SetWake(nextStart - kWakeLeadSeconds);
    SetTimer(true);
    if (nextStart - now <= kStayAwakeSeconds) host_.KeepAwake(true);
    if (moved || overlapStale_) {
        overlapStale_ = false;
        const std::vector<int> others = SlotsOverlapping(OverlappingReservations(clock_, book_.table(), now), next);
        overlapText_ = others.empty() ? "" : FillText(strings::kOverlapMark, {std::to_string(others.front() + 1)});
    }
    CheckRoom(next);
}

// Whether the work directory's volume holds the next recording, told once
// per reservation when it does not (the recording still runs; the disk
// watchdog ends it cleanly).
void Scheduler::CheckRoom(int slot) {
    const ReservationEntry& entry = book_[slot];
    const auto key = std::pair(slot, entry.start);
    if (roomChecked_ == key) return;
    roomChecked_ = key;
    roomShort_.clear();
    const std::optional<RecordingRoom> room =
        recorder_.RoomFor(ReservationLength(clock_, entry) + settings_.StartMargin + settings_.EndMargin);
    if (!room || room->available >= room->needed) return;
    roomShort_ = FillText(strings::kRoomShort, {Megabytes(room->needed), room->directory, Megabytes(room->available)});
    Tell(roomShort_);
}

void Scheduler::Tell(const std::string& text) {
    notice_ = text;
    host_.Notify(text);
}

void Scheduler::TellSaveFailure() { host_.ShowFailure(FormatText(strings::kNotSavedTo, book_.path())); }

void Scheduler::SetTimer(bool on) {
    if (on == timerOn_) return;
    timerOn_ = on;
    if (on) {
        host_.StartTimer();
    } else {
        host_.StopTimer();
    }
}

void Scheduler::SetWake(std::optional<std::int64_t> time) {
    if (time == wakeAt_ && time) return;
    wakeAt_ = time;
    host_.WakeAt(time);
}

void Scheduler::UpdateStatus() {
    if (armed_ && armedIndex_ >= 0) {
        const ReservationEntry& entry = book_[armedIndex_];
        std::string text = TimerStatusText(clock_, entry) + overlapText_;
        if (!notice_.empty()) text += "  " + notice_;
        host_.ShowTimerText(text);
    }
    host_.SetTitle(Title());
}

std::string Scheduler::Title() const {
    if (!armed_ || armedIndex_ < 0) return host_.MainTitle();
    return TimerTitle(host_.MainTitle(), clock_, book_[armedIndex_]);
}

}  // namespace kestrova
