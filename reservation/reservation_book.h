// The reservation book: the table of 99 slots, the file beside the
// executable that keeps it ("Kestrova.tmr"), and the rules for changing it.
// Every change is written to the file at once (one atomic replace), so what
// the file says is what Kestrova has done, whenever it stops.
#pragma once

#include "platform/clock.h"
#include "reservation/reservation.h"

#include <bitset>
#include <cstdint>
#include <string>

namespace kestrova {

using SlotSet = std::bitset<kReservationSlots>;

class ReservationBook {
public:
    explicit ReservationBook(std::string path) : path_(std::move(path)) {}

    // Clears the table and reads the file (a missing file: 99 empty slots).
    void Load();
    // Writes the whole table; false when the file could not be written.
    bool Save();

    const std::string& path() const { return path_; }
    const ReservationTable& table() const { return table_; }
    const ReservationEntry& operator[](int slot) const { return table_[static_cast<std::size_t>(slot)]; }

    // A run or a missed span is done with: a one-time slot is emptied, a
    // weekly one moves on to its occurrence after `occurrence` (false when
    // it has none). Saved at once.
    bool Retire(const Clock& clock, int slot, std::int64_t occurrence);
    // A weekly slot placed on one of its occurrences. Saved at once when it
    // moved.
    void MoveWeekly(const Clock& clock, int slot, std::int64_t occurrence);
    // 登録 of the reservation dialog: the slots edited there (differing
    // between `opened` and `edited`) replace the live ones, which a
    // scheduled run may have changed meanwhile. Gives the slots taken.
    SlotSet Commit(const ReservationTable& opened, const ReservationTable& edited);

    // One slot set as a whole. Saved at once.
    bool Put(int slot, const ReservationEntry& entry);

    // Whether the last write of the file failed (the table in memory still
    // holds the change).
    bool saveFailed() const { return saveFailed_; }

    // Changes made while a hold lasts are written once, when it ends (many
    // slots told at once are one write, not one each).
    class Hold {
    public:
        explicit Hold(ReservationBook& book) : book_(book) { ++book_.holds_; }
        ~Hold() {
            if (--book_.holds_ == 0 && book_.unsaved_) book_.Save();
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        ReservationBook& book_;
    };

private:
    std::string path_;
    // Writes the file now, or when the last hold ends.
    bool Changed();

    ReservationTable table_{};
    bool saveFailed_ = false;
    int holds_ = 0;
    bool unsaved_ = false;
};

}  // namespace kestrova
