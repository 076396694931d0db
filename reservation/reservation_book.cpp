#include "reservation/reservation_book.h"

#include "reservation/schedule.h"

namespace kestrova {

void ReservationBook::Load() { LoadReservationsFile(path_, table_); }

bool ReservationBook::Save() {
    unsaved_ = false;
    saveFailed_ = !SaveReservationsFile(path_, table_);
    return !saveFailed_;
}

bool ReservationBook::Changed() {
    if (holds_ == 0) return Save();
    unsaved_ = true;
    return true;
}

bool ReservationBook::Retire(const Clock& clock, int slot, std::int64_t occurrence) {
    ReservationEntry& entry = table_[static_cast<std::size_t>(slot)];
    bool moved = true;
    if (entry.weekdays == 0) {
        entry.used = 0;
    } else {
        const std::int64_t next = WeeklyOccurrenceAfter(clock, entry, occurrence);
        moved = next != 0;
        if (moved) MoveWeeklyTo(clock, entry, next);
    }
    Changed();
    return moved;
}

void ReservationBook::MoveWeekly(const Clock& clock, int slot, std::int64_t occurrence) {
    ReservationEntry& entry = table_[static_cast<std::size_t>(slot)];
    const ReservationEntry before = entry;
    MoveWeeklyTo(clock, entry, occurrence);
    if (!(entry == before)) Changed();
}

SlotSet ReservationBook::Commit(const ReservationTable& opened, const ReservationTable& edited) {
    const SlotSet taken = MergeEditedSlots(opened, edited, table_);
    Changed();
    return taken;
}

bool ReservationBook::Put(int slot, const ReservationEntry& entry) {
    table_[static_cast<std::size_t>(slot)] = entry;
    return Changed();
}

}  // namespace kestrova
