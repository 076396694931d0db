#include "platform/power.h"

namespace kestrova {

struct WakeTimer::Timer {};

WakeTimer::WakeTimer() = default;
WakeTimer::~WakeTimer() = default;
bool WakeTimer::Set(std::int64_t) { return false; }
void WakeTimer::Cancel() {}
void KeepSystemAwake(bool) {}

namespace {

class NoPower final : public PowerPort {
public:
    bool PowerOff() override { return false; }
    std::string Suspend(bool) override { return "not supported"; }
};

}  // namespace

std::unique_ptr<PowerPort> MakePowerPort() { return std::make_unique<NoPower>(); }

}  // namespace kestrova
