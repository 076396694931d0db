#include "platform/power.h"

namespace kestrova {

struct WakeTimer::Timer {};

WakeTimer::WakeTimer() = default;
WakeTimer::~WakeTimer() = default;
bool WakeTimer::Set(std::int64_t) { return false; }
void WakeTimer::Cancel() {}
void KeepSystemAwake(bool) {}
bool PowerOffMachine() { return false; }

}  // namespace kestrova
