#include "dialogs/snapshot_settings.h"

#include "dialogs/number_field.h"
#include "platform/cp932.h"

namespace kestrova {

namespace {

constexpr std::size_t kNameBytes = 259;

}  // namespace

SnapshotFields OpenSnapshotSettings(const AppSettings& settings, std::int32_t counter) {
    return SnapshotFields{settings.SnapFile != 0, settings.SnapFileName,
                          std::to_string(static_cast<std::uint32_t>(counter)), settings.SnapOverWrite != 0};
}

void StoreSnapshotSettings(const SnapshotFields& fields, AppSettings& settings, std::int32_t& counter) {
    settings.SnapFile = fields.numbered ? 1 : 0;
    settings.SnapFileName = BoundToCp932Bytes(fields.baseName, kNameBytes);
    counter = static_cast<std::int32_t>(FieldNumber(fields.nextNumber, static_cast<std::uint32_t>(kSnapshotArrowMax)));
    settings.SnapOverWrite = fields.overwriteWarning ? 1 : 0;
}

}  // namespace kestrova
