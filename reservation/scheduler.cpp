#include "reservation/scheduler.h"

#include "history/capture_log.h"
#include "history/history_log.h"
#include "store/string_table.h"

#include <cstdio>
#include <tuple>
#include <utility>

namespace kestrova {

namespace {

// No reservation's occurrences are told one by one for longer than this
// many look-ups in one go (a weekly slot left alone for years); the rest
// follow at the next look.
constexpr int kMaxMissedPerLook = 1000;

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

std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20); }

}  // namespace

std::string ReasonText(ScheduleReason reason) {
    switch (reason) {
    case ScheduleReason::AnotherRecording: return std::string(LoadText(strings::kReasonAnotherRecording));
    case ScheduleReason::NotRunning: return std::string(LoadText(strings::kReasonNotRunning));
    case ScheduleReason::TimerOff: return std::string(LoadText(strings::kReasonTimerOff));
    case ScheduleReason::Asleep: return std::string(LoadText(strings::kReasonAsleep));
    case ScheduleReason::ClockChanged: return std::string(LoadText(strings::kReasonClockChanged));
    case ScheduleReason::PassedWhenReserved: return std::string(LoadText(strings::kReasonPassedWhenReserved));
    case ScheduleReason::TimerLate: return std::string(LoadText(strings::kReasonTimerLate));
    }
    return {};
}

Scheduler::Scheduler(const Clock& clock, SchedulerHost& host, ReservationTable& table, const AppSettings& settings,
                     std::string historyDirectory)
    : clock_(clock),
      host_(host),
      table_(table),
      settings_(settings),
      historyDirectory_(std::move(historyDirectory)),
      startedAt_(clock.Now()) {}

void Scheduler::Start() {
    for (int i = 0; i < kReservationSlots; ++i) {
        const ReservationEntry& entry = table_[static_cast<std::size_t>(i)];
        weeklyKnown_[static_cast<std::size_t>(i)] = entry.weekdays != 0 && IsWeeklyOccurrence(clock_, entry);
    }
    Look();
}

void Scheduler::Toggle() {
    if (armed_) {
        if (settings_.Preview != 0 && device_ != nullptr) device_->SetPreview(true);
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
        weeklyKnown_[i] = false;
    }
    if (armed_) host_.KeepAwake(false);
    roomChecked_.reset();
    overlapStale_ = true;
    Look();
}

void Scheduler::Tick() {
    if (running_) return;
    const std::int64_t now = clock_.Now();
    if (lastLook_ != 0 && (now > lastLook_ + kTickSilenceSeconds || now < lastLook_)) {
        NoteGap(lastLook_, now, now < lastLook_ ? ScheduleReason::ClockChanged : ScheduleReason::Asleep);
        if (timerOn_) host_.StartTimer();  // on the whole second again
    }
    Look();
}

void Scheduler::Resumed() { NoteGap(lastLook_, clock_.Now(), ScheduleReason::Asleep); }

void Scheduler::ClockChanged() {
    NoteGap(lastLook_, clock_.Now(), ScheduleReason::ClockChanged);
    wakeAt_.reset();  // set again for the new clock
}

void Scheduler::Review() {
    if (running_) return;
    if (timerOn_) host_.StartTimer();
    Look();
}

void Scheduler::NoteGap(std::int64_t from, std::int64_t to, ScheduleReason reason) {
    if (from == 0 || to <= from) return;  // a clock set back passes over nothing
    gap_ = Interval{from, to};
    gapReason_ = reason;
}

// Spans that ended while nothing could record them are told; what is due
// records (each run may let others pass, so look again after it); then the
// timer waits for the next start.
void Scheduler::Look() {
    if (running_) return;
    for (;;) {
        const std::int64_t now = clock_.Now();
        lastLook_ = now;
        TellMissed(now);
        const std::optional<int> due = armed_ ? DueSlot(now) : std::nullopt;
        if (!due) break;
        if (!Run(*due, now)) return;  // the machine is being switched off
    }
    const auto before = std::tuple(armedIndex_, overlapText_, notice_);
    const bool stale = overlapStale_;
    ArmNext(clock_.Now());
    // Ticks look once a second; the status bar is written when it changes.
    if (stale || before != std::tuple(armedIndex_, overlapText_, notice_)) UpdateStatus();
}

std::optional<Span> Scheduler::PendingSpan(int slot, std::int64_t now) {
    ReservationEntry& entry = table_[static_cast<std::size_t>(slot)];
    if (entry.used == 0) return std::nullopt;
    if (entry.weekdays != 0 && !weeklyKnown_[static_cast<std::size_t>(slot)]) {
        const std::int64_t occurrence = WeeklyOccurrenceEndingAfter(clock_, entry, now);
        if (occurrence == 0) return std::nullopt;
        MoveWeeklyTo(clock_, entry, occurrence);
        weeklyKnown_[static_cast<std::size_t>(slot)] = true;
    }
    return SpanOf(clock_, entry);
}

void Scheduler::TellMissed(std::int64_t now) {
    std::vector<std::string> told;
    ScheduleReason lastReason = ScheduleReason::TimerLate;
    for (int slot = 0; slot < kReservationSlots; ++slot) {
        for (int n = 0; n < kMaxMissedPerLook; ++n) {
            const std::optional<Span> span = PendingSpan(slot, now);
            if (!span || span->end > now) break;
            const ReservationEntry& entry = table_[static_cast<std::size_t>(slot)];
            lastReason = ReasonAt(slot, span->end);
            const std::string reason = ReasonText(lastReason);
            // Shaped like a run's record: the reserved start, then why.
            const std::string logPath = host_.LogPath();
            bool logged = AppendLogLine(logPath, LogDateLine(clock_, span->start, span->start));
            logged = AppendLogLine(logPath, FillText(strings::kNotRecorded, {reason})) && logged;
            logged = AppendLogLine(logPath, kLogSeparator) && logged;
            if (!logged) told.push_back(FormatText(strings::kNotSavedTo, logPath));
            told.push_back(FillText(strings::kMissedNotice,
                                    {std::to_string(slot + 1), DateText(clock_, span->start), reason}));
            if (!Retire(slot, *span) || entry.used == 0) break;
        }
    }
    if (told.empty()) return;
    overlapStale_ = true;
    const std::size_t count = told.size();
    Tell(count == 1 ? told.front()
                    : FillText(strings::kMissedSummary, {std::to_string(count), ReasonText(lastReason)}));
}

// A one-time slot is done with; a weekly one moves on to its next
// occurrence (false when it has none to move to).
bool Scheduler::Retire(int slot, const Span& span) {
    ReservationEntry& entry = table_[static_cast<std::size_t>(slot)];
    overlapStale_ = true;
    if (entry.weekdays == 0) {
        entry.used = 0;
        return true;
    }
    const std::int64_t next = WeeklyOccurrenceAfter(clock_, entry, span.start);
    if (next == 0) return false;
    MoveWeeklyTo(clock_, entry, next);
    return true;
}

// The reservation to record now: its span has begun and not ended; the
// earliest start first, equal starts the lower slot.
std::optional<int> Scheduler::DueSlot(std::int64_t now) {
    std::optional<int> chosen;
    std::int64_t chosenStart = 0;
    for (int slot = 0; slot < kReservationSlots; ++slot) {
        const std::optional<Span> span = PendingSpan(slot, now);
        if (!span || span->start > now || span->end <= now) continue;
        if (!chosen || span->start < chosenStart) {
            chosen = slot;
            chosenStart = span->start;
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
    if (gap_.Holds(t)) return gapReason_;
    if (lastRun_.Holds(t)) return ScheduleReason::AnotherRecording;
    if (!armed_ || t < armedAt_) return ScheduleReason::TimerOff;
    return ScheduleReason::TimerLate;
}

// Records what is left of the slot's span. False when the run switches the
// machine off (nothing may follow).
bool Scheduler::Run(int slot, std::int64_t now) {
    running_ = true;
    SetTimer(false);
    // A copy: the reservation dialog may replace the table while the run waits.
    const ReservationEntry entry = table_[static_cast<std::size_t>(slot)];
    const Span span = SpanOf(clock_, entry);
    std::vector<std::string> lines;
    if (now > span.start) {
        lines.push_back(FillText(strings::kStartedLate, {ClockText(clock_, span.start), std::to_string(now - span.start),
                                                         ReasonText(ReasonAt(slot, span.start))}));
    }
    CheckRoom(slot);  // a run that follows another at once was never armed
    if (!roomShort_.empty()) lines.push_back(roomShort_);
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
        Record(lines, entry, now, static_cast<std::int32_t>(span.end - now));
        if (table_[static_cast<std::size_t>(slot)] == entry) Retire(slot, span);
        roomChecked_.reset();
    }
    running_ = false;
    if (entry.powerOff != 0) {
        host_.PowerOff();
        return false;
    }
    return true;
}

// The recording of one run, stored under its dated name, and its record.
void Scheduler::Record(std::vector<std::string>& lines, const ReservationEntry& entry, std::int64_t now,
                       std::int32_t length) {
    CapStatus status;
    bool recorded = false;
    if (device_ != nullptr && device_->connected()) {
        recorded = device_->RecordTimed(length);
        device_->GetStatus(status);
        if (!device_->lastFailure().empty()) {
            lines.push_back(FillText(strings::kRecordingFailed, {device_->lastFailure()}));
        }
    } else {
        lines.push_back(FillText(strings::kRecordingFailed, {LoadText(strings::kReasonNoDevice)}));
    }
    const std::int64_t ended = clock_.Now();
    lastRun_ = Interval{now, ended};
    if (recorded) {
        const std::string kept = StoreRecording(now);
        if (!kept.empty()) {
            host_.ShowFailure(kept);
            lines.push_back(kept);
        }
    }
    WriteRecord(lines, entry, now, length, ended, status);
}

// The run's log lines and history row, with the times the recording really
// has. A run nobody watches must not lose its record without a word: a page
// that cannot be written is told and noted in the log above the run's
// separator; a log that cannot be written is told.
void Scheduler::WriteRecord(const std::vector<std::string>& extraLines, const ReservationEntry& entry,
                            std::int64_t began, std::int32_t length, std::int64_t ended, const CapStatus& status) {
    const std::string logPath = host_.LogPath();
    bool logged = AppendLogLine(logPath, LogDateLine(clock_, ended, began));
    logged = AppendLogLine(logPath, FormatRecordingStatistics(status)) && logged;
    for (const std::string& line : extraLines) logged = AppendLogLine(logPath, line) && logged;
    HistoryLog history(historyDirectory_, clock_);
    if (!history.AddEntry(HistoryEntry{began, began + length, length, entry.comment})) {
        const std::string failure = FormatText(strings::kNotSavedTo, history.historyPath());
        host_.ShowFailure(failure);
        AppendLogLine(logPath, failure);
    }
    logged = AppendLogLine(logPath, kLogSeparator) && logged;
    if (!logged) host_.ShowFailure(FormatText(strings::kNotSavedTo, logPath));
}

// The recording under its dated name (from when it began) in the work
// directory: the parts of a split recording (or of a span longer than one
// capture) as "…_NN.avi", else the work file; never over an earlier
// recording. What could not take its name stays where it is (a fixed work
// file is first set aside, so the next run cannot record over it): the text
// says where, or is empty when all went well.
std::string Scheduler::StoreRecording(std::int64_t began) {
    const std::size_t parts = device_->PartFileList().size();
    const bool asParts = parts > 1 || (settings_.PartCapture != 0 && parts > 0);
    const std::string path =
        FreeRecordingPath(settings_.TempPath, DatedRecordingName(clock_, began), asParts ? parts : 1,
                          [this](const std::string& p) { return device_->FileExists(p); });
    if (asParts) {
        const std::vector<std::string> left = device_->RenamePartFiles(path);
        if (left.empty()) return {};
        std::string where;
        for (const std::string& file : left) where += (where.empty() ? "" : ", ") + file;
        return FillText(strings::kKeptAt, {path, where});
    }
    if (device_->SaveWorkFileTo(path)) return {};
    const std::string work = device_->CurrentWorkFile();
    std::string where = work;
    if (settings_.FixedTempFile != 0) {
        if (std::optional<std::string> aside = device_->SetAsideWorkFile()) where = *aside;
    }
    return FillText(strings::kKeptAt, {path, where});
}

void Scheduler::ArmNext(std::int64_t now) {
    int next = -1;
    std::int64_t nextStart = 0;
    if (armed_) {
        for (int slot = 0; slot < kReservationSlots; ++slot) {
            const std::optional<Span> span = PendingSpan(slot, now);
            if (!span || span->start <= now) continue;
            if (next < 0 || span->start < nextStart) {
                next = slot;
                nextStart = span->start;
            }
        }
    }
    const bool moved = next != armedIndex_;
    armedIndex_ = next;
    if (next < 0) {
        overlapText_.clear();
        SetWake(std::nullopt);
        SetTimer(false);
        return;
    }
    if (device_ != nullptr) device_->SetPreview(false);
    SetWake(nextStart - kWakeLeadSeconds);
    SetTimer(true);
    if (nextStart - now <= kStayAwakeSeconds) host_.KeepAwake(true);
    if (moved || overlapStale_) {
        overlapStale_ = false;
        const std::vector<int> others = SlotsOverlapping(OverlappingReservations(clock_, table_, now), next);
        overlapText_ = others.empty() ? "" : FillText(strings::kOverlapMark, {std::to_string(others.front() + 1)});
    }
    CheckRoom(next);
}

// Whether the work directory's volume holds the next recording, told once
// per reservation when it does not (the recording still runs; the disk
// watchdog ends it cleanly).
void Scheduler::CheckRoom(int slot) {
    const ReservationEntry& entry = table_[static_cast<std::size_t>(slot)];
    const auto key = std::pair(slot, entry.start);
    if (roomChecked_ == key) return;
    roomChecked_ = key;
    roomShort_.clear();
    if (device_ == nullptr) return;
    const std::optional<RecordingRoom> room = device_->RoomFor(ReservationLength(clock_, entry));
    if (!room || room->available >= room->needed) return;
    roomShort_ = FillText(strings::kRoomShort, {Megabytes(room->needed), room->directory, Megabytes(room->available)});
    Tell(roomShort_);
}

void Scheduler::Tell(const std::string& text) {
    notice_ = text;
    host_.Notify(text);
}

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
        const ReservationEntry& entry = table_[static_cast<std::size_t>(armedIndex_)];
        timerText_ = TimerStatusText(clock_, entry) + overlapText_;
        if (!notice_.empty()) timerText_ += "  " + notice_;
        host_.ShowTimerText(timerText_);
        host_.SetTitle(TimerTitle(mainTitle_, clock_, entry));
    } else {
        host_.SetTitle(mainTitle_);
    }
}

}  // namespace kestrova
