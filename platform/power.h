// Keeping the machine ready for a reserved recording: a timer that wakes it
// from sleep a little before the start, a request that it does not fall
// asleep meanwhile, and the power-off, sleep or hibernation a reservation
// may ask for afterwards. Windows: a waitable timer with resume, the
// thread's execution state, ExitWindowsEx and SetSuspendState; elsewhere
// they do nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kestrova {

class WakeTimer {
public:
    WakeTimer();
    ~WakeTimer();
    WakeTimer(const WakeTimer&) = delete;
    WakeTimer& operator=(const WakeTimer&) = delete;

    // Wakes the machine at `time` (seconds since 1970, UTC) if it sleeps then.
    [[nodiscard]] bool Set(std::int64_t time);
    void Cancel();

private:
    struct Timer;  // the system's timer, where there is one
    std::unique_ptr<Timer> timer_;
};

// While on, the machine is not put to sleep for being idle.
void KeepSystemAwake(bool on);

// The machine switched off or put to sleep, with the privilege that takes.
class PowerPort {
public:
    virtual ~PowerPort() = default;
    // Asks for the machine to go off, other programs closing normally (one
    // that hangs is closed, one that refuses keeps the machine on); false
    // when the system refused the request itself.
    [[nodiscard]] virtual bool PowerOff() = 0;
    // Sleep, or hibernation, with wake events (the wake timer) kept on:
    // empty once the machine is back, or why it could not sleep.
    virtual std::string Suspend(bool hibernate) = 0;
};

// The system's power calls; or, where the environment variable
// KESTROVA_POWER_LOG names a file (the end-to-end tests, whose Wine must
// not switch off the machine it runs on), a port that only appends each
// call and its arguments to that file, one line each.
std::unique_ptr<PowerPort> MakePowerPort();

}  // namespace kestrova
