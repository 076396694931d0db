// Keeping the machine ready for a reserved recording: a timer that wakes it
// from sleep a little before the start, and a request that it does not fall
// asleep meanwhile. Windows: a waitable timer with resume and the thread's
// execution state; elsewhere they do nothing.
#pragma once

#include <cstdint>

namespace kestrova {

class WakeTimer {
public:
    WakeTimer();
    ~WakeTimer();
    WakeTimer(const WakeTimer&) = delete;
    WakeTimer& operator=(const WakeTimer&) = delete;

    // Wakes the machine at `time` (seconds since 1970, UTC) if it sleeps then.
    bool Set(std::int64_t time);
    void Cancel();

private:
    [[maybe_unused]] void* handle_ = nullptr;  // the waitable timer (Windows)
};

// While on, the machine is not put to sleep for being idle.
void KeepSystemAwake(bool on);

}  // namespace kestrova
