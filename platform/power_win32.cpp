#include "platform/power.h"

#include "platform/win32_handles.h"

#include <windows.h>

namespace kestrova {

struct WakeTimer::Timer {
    UniqueHandle handle;
};

WakeTimer::WakeTimer() {
    UniqueHandle made(CreateWaitableTimerW(nullptr, TRUE, nullptr));
    if (made) timer_ = std::make_unique<Timer>(Timer{std::move(made)});
}

WakeTimer::~WakeTimer() { Cancel(); }

bool WakeTimer::Set(std::int64_t time) {
    if (timer_ == nullptr) return false;
    // An absolute due time: 100 ns units since 1601 (UTC).
    LARGE_INTEGER due{};
    due.QuadPart = (time + 11644473600LL) * 10000000LL;
    return SetWaitableTimer(timer_->handle.get(), &due, 0, nullptr, nullptr, TRUE) != 0;
}

void WakeTimer::Cancel() {
    if (timer_ != nullptr) CancelWaitableTimer(timer_->handle.get());
}

void KeepSystemAwake(bool on) {
    SetThreadExecutionState(on ? (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) : ES_CONTINUOUS);
}

}  // namespace kestrova
