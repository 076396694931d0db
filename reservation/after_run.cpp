#include "reservation/after_run.h"

#include "store/string_table.h"

namespace kestrova {

namespace {

// A resume this long after the wake time is still the wake timer's.
constexpr std::int64_t kWakeResumeSeconds = 10 * 60;

}  // namespace

AfterRunAction AfterRunActionOf(std::int32_t field) {
    switch (field) {
    case 0: return AfterRunAction::None;
    case 2: return AfterRunAction::Sleep;
    case 3: return AfterRunAction::Hibernate;
    default: return AfterRunAction::PowerOff;
    }
}

std::int32_t AfterRunField(bool checked, int choice) {
    if (!checked) return 0;
    return choice == 1 ? 2 : choice == 2 ? 3 : 1;
}

int AfterRunChoice(std::int32_t field) {
    switch (AfterRunActionOf(field)) {
    case AfterRunAction::Sleep: return 1;
    case AfterRunAction::Hibernate: return 2;
    default: return 0;
    }
}

std::string AfterRunName(AfterRunAction action) {
    switch (action) {
    case AfterRunAction::Sleep: return std::string(LoadText(strings::kAfterRunSleep));
    case AfterRunAction::Hibernate: return std::string(LoadText(strings::kAfterRunHibernate));
    default: return std::string(LoadText(strings::kAfterRunPowerOff));
    }
}

AfterRunCountdown::Step AfterRunCountdown::Begin(AfterRunAction action, std::int64_t now,
                                                 std::optional<std::int64_t> next, const std::string& nextLabel,
                                                 std::int32_t skipMinutes) {
    deadline_.reset();
    action_ = action;
    if (action == AfterRunAction::None) return {};
    if (next && *next - now <= std::int64_t{skipMinutes} * 60) {
        return {FillText(strings::kAfterRunSkipped, {nextLabel, std::to_string(skipMinutes), AfterRunName(action)}),
                false};
    }
    deadline_ = now + kAfterRunCountdownSeconds;
    return {FillText(strings::kAfterRunCounting, {std::to_string(kAfterRunCountdownSeconds), AfterRunName(action)}),
            true};
}

std::optional<AfterRunAction> AfterRunCountdown::Due(std::int64_t now, std::optional<std::int64_t> next,
                                                     const std::string& nextLabel, std::int32_t skipMinutes,
                                                     std::string& line) {
    if (!deadline_ || now < *deadline_) return std::nullopt;
    const Step again = Begin(action_, now, next, nextLabel, skipMinutes);
    deadline_.reset();
    if (!again.counting) {
        line = again.line;
        return std::nullopt;
    }
    line = FillText(strings::kAfterRunDone, {AfterRunName(action_)});
    return action_;
}

std::string AfterRunCountdown::Cancel() {
    if (!deadline_) return {};
    deadline_.reset();
    return FillText(strings::kAfterRunCancelled, {AfterRunName(action_)});
}

std::string AfterRunCountdown::Interrupt(const std::string& label) {
    if (!deadline_) return {};
    deadline_.reset();
    return FillText(strings::kAfterRunInterrupted, {label, AfterRunName(action_)});
}

bool PowerOffRefused(std::int64_t askedAt, std::int64_t bootedAt) { return bootedAt < askedAt; }

bool ResleepWanted(bool setting, std::optional<std::int64_t> wakeSetFor, std::optional<std::int64_t> resumedAt,
                   std::optional<std::int64_t> lastInputAt) {
    if (!setting || !wakeSetFor || !resumedAt) return false;
    if (*resumedAt < *wakeSetFor || *resumedAt > *wakeSetFor + kWakeResumeSeconds) return false;
    return !lastInputAt || *lastInputAt < *resumedAt;
}

}  // namespace kestrova
