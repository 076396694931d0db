// Keeping the machine ready for a reserved recording: a timer that wakes it
// from sleep a little before the start, a request that it does not fall
// asleep meanwhile, and the power-off a reservation may ask for afterwards.
// Windows: a waitable timer with resume, the thread's execution state and
// ExitWindowsEx; elsewhere they do nothing.
#pragma once

#include <cstdint>
#include <memory>

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

// Switches the machine off, with the privilege that takes where the system
// asks for one; false when the system refused.
[[nodiscard]] bool PowerOffMachine();

}  // namespace kestrova
