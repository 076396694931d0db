// Where a failure the user must see is told. Normally a message box; inside
// an unattended (scheduled) run a box would wait for a click and hold every
// later reservation, so the failures a run can meet go to the notice (the
// status bar and the notification balloon) instead, and the schedule's own
// failures always do. Saving under a new name and snapshots are only ever
// the user's own commands: always a box. What goes wrong while Windows or
// Kestrova is ending has nobody to click a box: it goes to Capture.log,
// where the user reads what happened.
#pragma once

namespace kestrova {

enum class FailureKind { WorkFile, Recording, Save, Snapshot, Schedule, Ending };
enum class FailureOutlet { Box, Notice, LogLine };

constexpr FailureOutlet OutletFor(FailureKind kind, bool unattended) {
    if (kind == FailureKind::Ending) return FailureOutlet::LogLine;
    if (kind == FailureKind::Schedule) return FailureOutlet::Notice;
    const bool runCanMeetIt = kind == FailureKind::WorkFile || kind == FailureKind::Recording;
    return unattended && runCanMeetIt ? FailureOutlet::Notice : FailureOutlet::Box;
}

}  // namespace kestrova
