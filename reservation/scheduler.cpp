#include "reservation/scheduler.h"

#include "history/capture_log.h"
#include "history/history_log.h"
#include "reservation/schedule.h"
#include "store/string_table.h"

#include <utility>

namespace kestrova {

Scheduler::Scheduler(const Clock& clock, SchedulerHost& host, ReservationTable& table, const AppSettings& settings,
                     std::string historyDirectory, std::string logPath)
    : clock_(clock),
      host_(host),
      table_(table),
      settings_(settings),
      historyDirectory_(std::move(historyDirectory)),
      logPath_(std::move(logPath)) {}

void Scheduler::Arm() {
    armedIndex_ = SelectNextReservation(clock_, table_);
    if (armedIndex_ < 0) {
        host_.WakeAt(std::nullopt);
        return;
    }
    if (device_ != nullptr) device_->SetPreview(false);
    host_.WakeAt(table_[static_cast<std::size_t>(armedIndex_)].start - kWakeLeadSeconds);
    host_.StartTimer();
}

void Scheduler::Toggle() {
    if (armed_) {
        if (settings_.Preview != 0 && device_ != nullptr) device_->SetPreview(true);
        host_.StopTimer();
        host_.WakeAt(std::nullopt);
        host_.KeepAwake(false);
        armed_ = false;
        if (!host_.WindowVisible()) host_.ShowWindow();
        host_.ClearStatusText();
    } else {
        armed_ = true;
        Arm();
    }
    UpdateStatus();
}

void Scheduler::Rearm() {
    if (!armed_) return;
    host_.StopTimer();
    host_.KeepAwake(false);
    Arm();
    if (armedIndex_ >= 0) UpdateStatus();
}

void Scheduler::UpdateStatus() {
    if (armed_ && armedIndex_ >= 0) {
        const ReservationEntry& entry = table_[static_cast<std::size_t>(armedIndex_)];
        timerText_ = TimerStatusText(clock_, entry);
        host_.ShowTimerText(timerText_);
        host_.SetTitle(TimerTitle(mainTitle_, clock_, entry));
    } else {
        host_.SetTitle(mainTitle_);
    }
}

void Scheduler::Tick() {
    if (!armed_ || armedIndex_ < 0 || running_) return;
    const ReservationEntry& next = table_[static_cast<std::size_t>(armedIndex_)];
    if (IsReservationDue(clock_, next)) {
        Run();
    } else if (next.start - clock_.Now() <= kStayAwakeSeconds) {
        host_.KeepAwake(true);
    }
}

void Scheduler::Run() {
    running_ = true;
    host_.StopTimer();
    // A copy: the reservation dialog may replace the table while the run waits.
    const ReservationEntry entry = table_[static_cast<std::size_t>(armedIndex_)];
    const int slot = armedIndex_;
    const std::int32_t length = ReservationLength(clock_, entry);
    host_.KeepAwake(true);
    host_.LockMenuBar();
    if (host_.WindowMinimized()) host_.SwapTrayIcon(kTrayIconRecording);
    host_.SetUnattended(true);
    CapStatus status;
    if (device_ != nullptr) {
        device_->RecordTimed(length);
        device_->GetStatus(status);
    }
    const std::int64_t ended = clock_.Now();
    WriteRecord(entry, length, ended, status);
    host_.UnlockMenuBar();
    StoreRecording(entry);
    if (entry.weekdays == 0 && table_[static_cast<std::size_t>(slot)] == entry) {
        table_[static_cast<std::size_t>(slot)].used = 0;
    }
    if (host_.WindowMinimized()) host_.SwapTrayIcon(kTrayIconNormal);
    host_.SetUnattended(false);
    host_.KeepAwake(false);
    running_ = false;
    if (entry.powerOff != 0) {
        host_.PowerOff();
        return;
    }
    Arm();
    UpdateStatus();
}

// The run's log lines and history row. A run nobody watches must not lose
// its record without a word: a page that cannot be written is told and
// noted in the log above the run's separator; a log that cannot be
// written is told.
void Scheduler::WriteRecord(const ReservationEntry& entry, std::int32_t length, std::int64_t ended,
                            const CapStatus& status) {
    bool logged = AppendLogLine(logPath_, LogDateLine(clock_, ended, entry.start)) == 0;
    logged = AppendLogLine(logPath_, FormatRecordingStatistics(status)) == 0 && logged;
    HistoryLog history(historyDirectory_, clock_);
    if (history.AddEntry(HistoryEntry{entry.start, entry.end, length, entry.comment}) != 0) {
        const std::string failure = FormatText(strings::kNotSavedTo, history.historyPath());
        host_.ShowFailure(failure);
        AppendLogLine(logPath_, failure);
    }
    logged = AppendLogLine(logPath_, kLogSeparator) == 0 && logged;
    if (!logged) host_.ShowFailure(FormatText(strings::kNotSavedTo, logPath_));
}

// The recording under its dated name in the work directory: the parts of a
// split recording (or of a span longer than one capture) as "…_NN.avi",
// else the work file; never over an earlier recording.
void Scheduler::StoreRecording(const ReservationEntry& entry) {
    if (device_ == nullptr) return;
    const std::size_t parts = device_->PartFileList().size();
    const bool asParts = parts > 1 || (settings_.PartCapture != 0 && parts > 0);
    const std::string path =
        FreeRecordingPath(settings_.TempPath, DatedRecordingName(clock_, entry.start), asParts ? parts : 1,
                          [this](const std::string& p) { return device_->FileExists(p); });
    if (asParts) {
        device_->RenamePartFiles(path);
    } else {
        device_->SaveWorkFileTo(path);
    }
}

}  // namespace kestrova
