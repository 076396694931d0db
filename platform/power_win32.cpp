#include "platform/power.h"

#include "platform/win32_handles.h"

#include <windows.h>

namespace kestrova {

WakeTimer::WakeTimer() : handle_(CreateWaitableTimerW(nullptr, TRUE, nullptr)) {}

WakeTimer::~WakeTimer() {
    if (handle_ == nullptr) return;
    CancelWaitableTimer(handle_);
    const UniqueHandle owned(handle_);
}

bool WakeTimer::Set(std::int64_t time) {
    if (handle_ == nullptr) return false;
    // An absolute due time: 100 ns units since 1601 (UTC).
    LARGE_INTEGER due{};
    due.QuadPart = (time + 11644473600LL) * 10000000LL;
    return SetWaitableTimer(handle_, &due, 0, nullptr, nullptr, TRUE) != 0;
}

void WakeTimer::Cancel() {
    if (handle_ != nullptr) CancelWaitableTimer(handle_);
}

void KeepSystemAwake(bool on) {
    SetThreadExecutionState(on ? (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) : ES_CONTINUOUS);
}

}  // namespace kestrova
