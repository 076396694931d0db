#include "dialogs/temp_disk.h"

#include "dialogs/stored_text.h"
#include "store/string_table.h"

#include <algorithm>

namespace kestrova {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

void TempDiskValues::SetReserveSpace(bool on) {
    reserveSpace = on;
    if (on) speedSave = false;
}

TempDiskValues OpenTempDisk(const AppSettings& settings) {
    TempDiskValues values;
    values.directory = settings.TempPath;
    values.reserveSpace = settings.TempFile != 0;
    values.sizeText = std::to_string(static_cast<std::uint32_t>(settings.TempSize));
    values.fixedFile = settings.FixedTempFile != 0;
    values.fileName = settings.TempFileName;
    values.speedSave = !values.reserveSpace && settings.SpeedSave != 0;
    return values;
}

std::int32_t TempSizeMegabytes(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return 0;
    std::int32_t megabytes = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        megabytes = std::min(megabytes * 10 + (c - '0'), setting_range::TempSize.high);
    }
    return setting_range::TempSize.Clamp(megabytes);
}

std::string CreateDirectoryQuestion(std::string_view directory) {
    return FillText(strings::kCreateDirectoryQuestion, {directory});
}

std::string CannotCreateDirectoryMessage(std::string_view directory) {
    return FillText(strings::kCannotCreateDirectory, {directory});
}

bool ApplyTempDisk(const TempDiskValues& values, AppSettings& settings, CaptureDevice* device,
                   WorkDirectoryHost& host) {
    std::optional<std::string> refusal = StoredTextRefusal(values.directory, kStoredPathBytes);
    if (!refusal && values.fixedFile) refusal = StoredTextRefusal(values.fileName, kStoredNameBytes);
    if (refusal) {
        host.ShowError(*refusal);
        return false;
    }
    const std::string& directory = values.directory;
    if (!host.IsDirectory(directory)) {
        if (!host.AskCreate(CreateDirectoryQuestion(directory))) return false;
        if (!host.MakeDirectory(directory)) {
            host.ShowError(CannotCreateDirectoryMessage(directory));
            return false;
        }
    }
    settings.TempPath = directory;
    host.ChangeCurrentDirectory(directory);
    settings.TempFile = values.reserveSpace ? 1 : 0;
    settings.TempSize = values.reserveSpace ? TempSizeMegabytes(values.sizeText) : 0;
    settings.FixedTempFile = values.fixedFile ? 1 : 0;
    if (values.fixedFile) {
        settings.TempFileName = values.fileName.empty() ? std::string(kDefaultWorkFileName) : values.fileName;
    }
    settings.SpeedSave = values.speedSave && !values.reserveSpace ? 1 : 0;
    if (device != nullptr) {
        device->SetWorkDirectory(directory);
        if (settings.TempFile != 0 && !device->AllocateWorkFile(settings.TempSize)) {
            host.ShowError(FillText(strings::kAllocationFailed, {device->captureFile(), std::to_string(settings.TempSize)}));
        }
    }
    return true;
}

}  // namespace kestrova
