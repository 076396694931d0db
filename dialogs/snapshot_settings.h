// "ｽﾅｯﾌﾟｼｮｯﾄ設定" (dialog 138): numbered snapshot files or a name asked for
// each time; for numbered files the name's beginning, the next number and
// the warning before a file is replaced. The snapshot reads them each time.
#pragma once

#include "store/settings.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

struct SnapshotFields {
    bool numbered = false;  // the name, number, arrows and warning follow it
    std::string baseName;
    std::string nextNumber;
    bool overwriteWarning = false;

    friend bool operator==(const SnapshotFields&, const SnapshotFields&) = default;
};

// The arrows of the number field run over every number the counter holds.
inline constexpr std::int32_t kSnapshotArrowMin = 0;
inline constexpr std::int32_t kSnapshotArrowMax = INT32_MAX;

SnapshotFields OpenSnapshotSettings(const AppSettings& settings, std::int32_t counter);

// What keeps OK from storing the fields (a box's text, the dialog stays
// open): a name the settings file cannot keep exactly (StoredTextRefusal),
// also when its field is greyed. Nothing when they can be stored.
std::optional<std::string> SnapshotSettingsRefusal(const SnapshotFields& fields);

// OK: the fields into the settings, also what the greyed fields hold; the
// number of the next snapshot is returned: an empty number field is 0, and
// a number beyond the counter's range is held at its largest value.
std::int32_t StoreSnapshotSettings(const SnapshotFields& fields, AppSettings& settings);

}  // namespace kestrova
