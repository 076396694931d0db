// ﾀｲﾏｰ予約: arming the reservation timer, and the reservation dialog after
// which it is armed again on the edited table.
#include "app/win32/commands.h"
#include "platform/win32_text.h"
#include "reservation/win32/reservation_dialog.h"
#include "store/string_table.h"

namespace kestrova {

void TimerCommand(CommandContext& c) {
    if (c.scheduler != nullptr) c.scheduler->Toggle();
}

// 登録 replaces the live table and saves it at once; whichever button closed
// the dialog, an armed timer then waits for the (new) next reservation. A
// file that cannot be written (read-only, full disk) is told: the table
// holds while Kestrova runs, but the file keeps the old one.
void ReservationsCommand(CommandContext& c) {
    if (std::optional<ReservationTable> edited = RunReservationDialog(c.instance, c.window, c.clock, c.reservations)) {
        c.reservations = std::move(*edited);
        if (!SaveReservationsFile(c.reservationPath, c.reservations)) {
            MessageBoxW(c.window, Widen(FormatText(strings::kNotSavedTo, c.reservationPath)).c_str(), L"ｴﾗｰ",
                        MB_ICONERROR);
        }
    }
    if (c.scheduler != nullptr) c.scheduler->Rearm();
}

}  // namespace kestrova
