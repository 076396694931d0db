#include "app/view_toggles.h"

namespace kestrova {

namespace {

PictureSize FitCaptureWindowToPicture(CaptureDevice& device) {
    const auto [width, height] = device.GetCaptureSize();
    device.SetWindowSize(width, height);
    return PictureSize{width, height};
}

}  // namespace

void TogglePreview(CaptureDevice& device, AppSettings& settings) {
    if (device.IsPreviewOn()) {
        device.SetPreview(false);
        settings.Preview = 0;
    } else {
        device.SetPreview(true);
        settings.Preview = 1;
        settings.Overlay = 0;
    }
}

std::optional<PictureSize> ToggleOverlay(CaptureDevice& device, AppSettings& settings) {
    if (device.IsOverlayOn()) {
        device.SetOverlay(false);
        settings.Overlay = 0;
        return std::nullopt;
    }
    device.SetOverlay(true);
    settings.Overlay = 1;
    settings.Preview = 0;
    settings.PreviewScale = 0;
    return FitCaptureWindowToPicture(device);
}

void ToggleStatusDisplay(CaptureDevice& device, AppSettings& settings) {
    const bool on = !device.IsStatusShown();
    device.ShowStatus(on);
    settings.Status = on ? 1 : 0;
}

std::optional<PictureSize> ChangeVideoFormat(CaptureDevice& device, const AppSettings& settings) {
    device.ShowFormatDialog();
    if (settings.PreviewScale != 0) {
        device.SetPreview(settings.Preview != 0);
        return std::nullopt;
    }
    return FitCaptureWindowToPicture(device);
}

}  // namespace kestrova
