// The display commands of the Options menu on the device and the settings:
// preview, overlay and the driver's status texts are coupled (overlay and
// preview exclude each other, overlay shows the picture unscaled), and each
// change is kept in the settings for the next start.
#pragma once

#include "capture/capture_device.h"
#include "store/settings.h"

#include <optional>

namespace kestrova {

struct PictureSize {
    int width = 0;
    int height = 0;

    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// Switches the preview off, or on (which ends the overlay in the settings).
void TogglePreview(CaptureDevice& device, AppSettings& settings);

// Switches the overlay off, or on: preview and scaling end, and the capture
// window takes the picture's size, which is returned; the main window is
// then fitted to it with a frame that cannot be resized.
std::optional<PictureSize> ToggleOverlay(CaptureDevice& device, AppSettings& settings);

// Switches the driver's status texts in the status bar off or on.
void ToggleStatusDisplay(CaptureDevice& device, AppSettings& settings);

// The driver's format dialog. A scaled picture just restarts the preview;
// otherwise the capture window takes the (new) picture size, which is
// returned for the main window to be fitted to.
std::optional<PictureSize> ChangeVideoFormat(CaptureDevice& device, const AppSettings& settings);

}  // namespace kestrova
