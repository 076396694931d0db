// ﾀｲﾏｰ予約: arming the reservation timer and arming it again after the
// reservations were edited.
#include "app/win32/commands.h"

namespace kestrova {

void TimerCommand(CommandContext& c) {
    if (c.scheduler != nullptr) c.scheduler->Toggle();
}

void ReservationsCommand(CommandContext& c) {
    if (c.scheduler != nullptr) c.scheduler->Rearm();
}

}  // namespace kestrova
