// ﾀｲﾏｰ予約: arming the reservation timer, and the reservation dialog after
// which it is armed again on the edited table.
#include "app/win32/commands.h"
#include "platform/win32_text.h"
#include "reservation/win32/reservation_dialog.h"
#include "store/string_table.h"

#include <bitset>

namespace kestrova {

void TimerCommand(CommandContext& c) {
    if (c.scheduler != nullptr) c.scheduler->Toggle();
}

// 登録 puts the slots edited in the dialog into the live table and saves it
// at once; the other slots keep what a scheduled run during the dialog did
// to them (a one-time slot retired, a weekly one moved on). Whichever button
// closed the dialog, an armed timer then waits for the (new) next
// reservation. A file that cannot be written (read-only, full disk) is told:
// the table holds while Kestrova runs, but the file keeps the old one.
void ReservationsCommand(CommandContext& c) {
    SlotSet changed;
    if (std::optional<ReservationEdit> edit = RunReservationDialog(c.instance, c.window, c.clock, c.reservations)) {
        // The slots taken from the dialog count as reserved just now.
        changed = MergeEditedSlots(edit->opened, edit->edited, c.reservations);
        if (!SaveReservationsFile(c.reservationPath, c.reservations)) {
            MessageBoxW(c.window, Widen(FormatText(strings::kNotSavedTo, c.reservationPath)).c_str(), Widen(LoadText(strings::kErrorCaption)).c_str(),
                        MB_ICONERROR);
        }
    }
    if (c.scheduler != nullptr) c.scheduler->Rearm(changed);
}

}  // namespace kestrova
