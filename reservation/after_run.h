// What a reservation asks for once its recording is stored: nothing, or the
// machine switched off, put to sleep or hibernated. The action waits a
// minute first, with a countdown the user may cancel, and is skipped when
// the next reservation starts soon: Kestrova then stays up for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

// The slot's fifth field: 0 nothing, 2 sleep, 3 hibernate; any other value
// switches the machine off, as it did before the other choices existed.
enum class AfterRunAction { None, PowerOff, Sleep, Hibernate };
AfterRunAction AfterRunActionOf(std::int32_t field);

// The reservation dialog's check box and drop-down (0 電源OFF, 1 スリープ,
// 2 休止) to the field and back.
std::int32_t AfterRunField(bool checked, int choice);
int AfterRunChoice(std::int32_t field);

// The action's name in the log and the countdown ("電源OFF", "スリープ", "休止").
std::string AfterRunName(AfterRunAction action);

inline constexpr std::int64_t kAfterRunCountdownSeconds = 60;

// The Windows side of the action: the countdown on screen and the power calls.
class AfterRunHost {
public:
    virtual ~AfterRunHost() = default;
    // The countdown window with its cancel, and the balloon that says which
    // action comes at `deadline`; hidden again when it is over either way.
    virtual void ShowCountdown(AfterRunAction action, std::int64_t deadline) = 0;
    virtual void HideCountdown() = 0;
    // The program ends with its closing work done, then switches the machine
    // off (other programs may close normally, and may refuse).
    virtual void PowerOff() = 0;
    // Sleep or hibernation, the wake timer already set; returns once the
    // machine is back, or at once with why it could not (empty: it slept).
    virtual std::string Suspend(bool hibernate) = 0;
};

// The countdown between the last stored run and its action. The decisions
// are made here on given times; the scheduler logs the lines it returns.
class AfterRunCountdown {
public:
    // What to tell, and whether the countdown began.
    struct Step {
        std::string line;  // for the log; empty: nothing to tell
        bool counting = false;
    };

    // The runs that asked for `action` are stored. `next` is the next
    // reservation's recorded start (margins included; one already due or
    // recording counts as now) with its label: within `skipMinutes` of
    // `now` the action is skipped, and said why.
    Step Begin(AfterRunAction action, std::int64_t now, std::optional<std::int64_t> next, const std::string& nextLabel,
               std::int32_t skipMinutes);
    // A tick: at the deadline, the action when it is still wanted (nothing
    // else: the countdown goes on or is over). A reservation reserved
    // meanwhile that now starts within the minutes skips it as Begin does.
    std::optional<AfterRunAction> Due(std::int64_t now, std::optional<std::int64_t> next, const std::string& nextLabel,
                                      std::int32_t skipMinutes, std::string& line);
    // The user cancelled; a reservation's recording begins. The line to log
    // (empty when no countdown ran).
    std::string Cancel();
    std::string Interrupt(const std::string& label);

    bool counting() const { return deadline_.has_value(); }
    AfterRunAction action() const { return action_; }
    std::optional<std::int64_t> deadline() const { return deadline_; }

private:
    AfterRunAction action_ = AfterRunAction::None;
    std::optional<std::int64_t> deadline_;
};

// The machine was switched off at `askedAt` and Kestrova started again with
// the system up since `bootedAt`: had the machine gone off, it would have
// booted after the request. A program that refused to close kept it on.
bool PowerOffRefused(std::int64_t askedAt, std::int64_t bootedAt);

// A machine that Kestrova's own wake timer woke for a run (it resumed on
// its own within the minutes after the wake time) and that nobody has used
// since goes back to sleep after that run, when the setting asks for it.
bool ResleepWanted(bool setting, std::optional<std::int64_t> wakeSetFor, std::optional<std::int64_t> resumedAt,
                   std::optional<std::int64_t> lastInputAt);

}  // namespace kestrova
