#include "dialogs/snapshot_settings.h"

#include "dialogs/number_field.h"
#include "dialogs/stored_text.h"

namespace kestrova {

SnapshotFields OpenSnapshotSettings(const AppSettings& settings, std::int32_t counter) {
    return SnapshotFields{settings.SnapFile != 0, settings.SnapFileName,
                          std::to_string(static_cast<std::uint32_t>(counter)), settings.SnapOverWrite != 0};
}

std::optional<std::string> SnapshotSettingsRefusal(const SnapshotFields& fields) {
    return StoredTextRefusal(fields.baseName, kStoredPathBytes);
}

std::int32_t StoreSnapshotSettings(const SnapshotFields& fields, AppSettings& settings) {
    settings.SnapFile = fields.numbered ? 1 : 0;
    settings.SnapFileName = fields.baseName;
    settings.SnapOverWrite = fields.overwriteWarning ? 1 : 0;
    return static_cast<std::int32_t>(FieldNumber(fields.nextNumber, static_cast<std::uint32_t>(kSnapshotArrowMax)));
}

}  // namespace kestrova
