#include "dialogs/device_select.h"

namespace kestrova {

// Every driver the device can list can be the one kept in DeviceIndex.
static_assert(setting_range::DeviceIndex.low == 0 && setting_range::DeviceIndex.high == kMaxDrivers - 1);

std::vector<std::string> DriverLines(const CaptureDevice* device) {
    std::vector<std::string> lines;
    if (device == nullptr) return lines;
    for (int index = 0; index < device->deviceCount(); ++index) lines.push_back(device->GetDeviceDescription(index));
    return lines;
}

DeviceSelectValues OpenDeviceSelect(const CaptureDevice* device) {
    DeviceSelectValues values{DriverLines(device), -1};
    if (device != nullptr && device->deviceIndex() >= 0 && device->deviceIndex() < device->deviceCount()) {
        values.selected = device->deviceIndex();
    }
    return values;
}

void ApplyDeviceSelect(const DeviceSelectValues& values, CaptureDevice* device, const AppSettings& settings) {
    if (device == nullptr || values.selected < 0) return;
    device->SelectDevice(values.selected);
    if (!device->connected()) return;
    if (settings.Overlay != 0) {
        device->SetOverlay(true);
    } else if (settings.Preview != 0) {
        device->SetPreview(true);
    }
}

}  // namespace kestrova
