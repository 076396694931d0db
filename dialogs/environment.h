// "環境設定" (dialog 134): the preview's rate and scaling, split recordings,
// the mouse clicks that stop a recording, and the video buffers. OK stores
// the fields in the settings and applies them to the device at once.
#pragma once

#include "capture/capture_device.h"
#include "store/settings.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

// What the dialog's controls show, and what they hold when OK is pressed.
struct EnvironmentFields {
    std::string previewRate;     // milliseconds; empty without a device
    bool scaling = false;
    bool scalingEnabled = true;  // greyed while the overlay is on
    bool partCapture = false;    // the minutes field and its arrows follow it
    std::string partMinutes;
    bool leftClick = false;
    bool rightClick = false;
    std::string videoBuffers;

    friend bool operator==(const EnvironmentFields&, const EnvironmentFields&) = default;
};

// The arrows of the rate and minutes fields go from 1 to 999, and both
// fields take at most three characters; the settings hold all they give.
inline constexpr int kEnvironmentArrowMin = 1;
inline constexpr int kEnvironmentArrowMax = 999;
inline constexpr int kEnvironmentFieldChars = 3;
static_assert(setting_range::PreviewRate.Holds(kEnvironmentArrowMax) &&
              setting_range::PartTime.high == kEnvironmentArrowMax * 60);

// The fields as the dialog opens: the rate is the device's current preview
// period (nothing without a device).
EnvironmentFields OpenEnvironment(const AppSettings& settings, std::optional<std::uint16_t> devicePreviewRate);

// OK: the fields into the settings. The rate and the minutes are held
// within their settings' ranges; a buffer count outside its range (2 to
// 1000, as the dialog states) leaves VideoBuffers as it was. The minutes are
// taken also while their field is greyed. The stop-key settings (EndKey,
// Ctrl, Shift, VkKey) are left alone.
void StoreEnvironment(const EnvironmentFields& fields, AppSettings& settings);

struct PictureExtent {
    int width = 0;
    int height = 0;

    friend bool operator==(const PictureExtent&, const PictureExtent&) = default;
};

// OK on the device: the preview rate, preview and scaling, the stop clicks
// and buffers. Without scaling the capture window takes the picture's size,
// which is returned for the main window to be fitted to.
std::optional<PictureExtent> ApplyEnvironment(CaptureDevice& device, const AppSettings& settings);

}  // namespace kestrova
