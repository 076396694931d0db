// Where a failure the user must see is told. Normally a message box; inside
// an unattended (scheduled) run a box would wait for a click and hold every
// later reservation, so the failures a run can meet go to the notice (the
// status bar and the notification balloon) instead. Saving under a new name
// and snapshots are only ever the user's own commands: always a box.
#pragma once

namespace kestrova {

enum class FailureKind { WorkFile, Recording, Save, Snapshot };
enum class FailureOutlet { Box, Notice };

constexpr FailureOutlet OutletFor(FailureKind kind, bool unattended) {
    const bool runCanMeetIt = kind == FailureKind::WorkFile || kind == FailureKind::Recording;
    return unattended && runCanMeetIt ? FailureOutlet::Notice : FailureOutlet::Box;
}

}  // namespace kestrova
