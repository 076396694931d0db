// "ﾀｲﾏｰ予約設定" (dialog 140, template in resources/dialogs/reservation.rc):
// the 99 reservation slots and the form that edits them.
#pragma once

#define IDD_RESERVATION 140

#define IDC_RES_RESERVE 3    // 予約する
#define IDC_RES_RELEASE 4    // 予約解除
#define IDC_RES_NOW 5        // 現時刻設定
#define IDC_RES_LIST 1026
#define IDC_RES_MONTH 1029
#define IDC_RES_MONTH_SPIN 1030
#define IDC_RES_DAY 1031
#define IDC_RES_DAY_SPIN 1032
#define IDC_RES_START_HOUR 1033
#define IDC_RES_START_HOUR_SPIN 1034
#define IDC_RES_START_MINUTE 1035
#define IDC_RES_START_MINUTE_SPIN 1036
#define IDC_RES_END_HOUR 1037
#define IDC_RES_END_HOUR_SPIN 1038
#define IDC_RES_END_MINUTE 1039
#define IDC_RES_END_MINUTE_SPIN 1040
#define IDC_RES_COMMENT 1041
#define IDC_RES_SUNDAY 1042  // 1042 + k: 日 月 火 水 木 金 土
#define IDC_RES_MONDAY 1043
#define IDC_RES_TUESDAY 1044
#define IDC_RES_WEDNESDAY 1045
#define IDC_RES_THURSDAY 1046
#define IDC_RES_FRIDAY 1047
#define IDC_RES_SATURDAY 1048
#define IDC_RES_NUMBER 1049
#define IDC_RES_LENGTH 1050
#define IDC_RES_POWEROFF 1051
#define IDC_RES_START_SECOND 1052
#define IDC_RES_START_SECOND_SPIN 1053
#define IDC_RES_END_SECOND 1054
#define IDC_RES_END_SECOND_SPIN 1055
#define IDC_RES_DUMMY 1056  // the hidden default button: Enter presses nothing
#define IDC_RES_MARGINS 1057  // the margins in force
#define IDC_RES_AFTERRUN 1061  // what PowerOFF does: 電源OFF, スリープ, 休止
#define IDC_RES_PROGRAMME 1063  // 番組ﾌｧｲﾙ...: a TV-guide programme into the first free slot

#ifndef RC_INVOKED

#include "platform/clock.h"
#include "reservation/reservation.h"
#include "reservation/reservation_book.h"
#include "reservation/scheduler.h"

#include <windows.h>

#include <optional>

namespace kestrova {

// What 登録 gives back: the working copy as edited and the table as it was
// when the dialog opened, so that only the slots edited in the dialog
// replace the live ones (MergeEditedSlots).
struct ReservationEdit {
    ReservationTable opened;
    ReservationTable edited;
};

// Runs the dialog modally over `owner` on a working copy of `live`: the
// edit when it was closed with 登録, nothing for ｷｬﾝｾﾙ. `live` may change
// while the dialog is open (a scheduled run goes on under it).
// ｵﾌﾟｼｮﾝ → ﾀｲﾏｰ予約設定. 登録 puts the slots edited in the dialog into the
// live table and saves it at once; the other slots keep what a scheduled run
// during the dialog did to them (a one-time slot retired, a weekly one moved
// on). Whichever button closed the dialog, an armed timer then waits for the
// (new) next reservation. A file that cannot be written (read-only, full
// disk) is told: the table holds while Kestrova runs, but the file keeps the
// old one.
// With `placed` (a programme from a TV-guide file), the dialog opens with it
// in the first free slot, selected; a full table is told and nothing opens.
// 番組ﾌｧｲﾙ... places one the same way while the dialog is open.
void ReservationsCommand(HINSTANCE instance, HWND owner, const Clock& clock, ReservationBook& book,
                         Scheduler& scheduler, const ReservationEntry* placed = nullptr);

std::optional<ReservationEdit> RunReservationDialog(HINSTANCE instance, HWND owner, const Clock& clock,
                                                    const ReservationTable& live, Margins margins,
                                                    const ReservationEntry* placed = nullptr);

// A TV-guide programme file (dropped, on the command line, handed over by a
// later start): read, and the reservation dialog opened with it; a file that
// is no programme is refused in a box that names its first bad line.
void ProgrammeFileCommand(HINSTANCE instance, HWND owner, const Clock& clock, ReservationBook& book,
                          Scheduler& scheduler, const std::string& path);

}  // namespace kestrova

#endif  // RC_INVOKED
