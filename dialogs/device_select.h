// ｷｬﾌﾟﾁｬﾃﾞﾊﾞｲｽ選択: the capture drivers the device found, one line each, and
// the one to connect. The About box lists the same lines.
#pragma once

#include "capture/capture_device.h"

#include <string>
#include <vector>

namespace kestrova {

// "name [version]" of every driver, in driver-index order; none without a
// device.
std::vector<std::string> DriverLines(const CaptureDevice* device);

struct DeviceSelectValues {
    std::vector<std::string> lines;
    int selected = -1;  // the line chosen, -1 for none
};

// The lines with the driver in use chosen.
DeviceSelectValues OpenDeviceSelect(const CaptureDevice* device);

// OK: the chosen driver is connected (again, when it is the one in use) and
// becomes the DeviceIndex setting; with no line chosen nothing happens.
// Connecting stops the live picture: once connected, preview or overlay is
// switched on again as the settings say.
void ApplyDeviceSelect(const DeviceSelectValues& values, CaptureDevice* device, const AppSettings& settings);

}  // namespace kestrova
