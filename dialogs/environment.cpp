#include "dialogs/environment.h"

#include "dialogs/number_field.h"

#include <limits>

namespace kestrova {

namespace {

constexpr std::uint32_t kIntLimit = std::numeric_limits<std::int32_t>::max();
// The device keeps the preview period in 16 bits.
constexpr std::uint32_t kPreviewRateLimit = 0xFFFF;

}  // namespace

EnvironmentFields OpenEnvironment(const AppSettings& settings, std::optional<std::uint16_t> devicePreviewRate) {
    EnvironmentFields fields;
    if (devicePreviewRate) fields.previewRate = std::to_string(*devicePreviewRate);
    fields.videoBuffers = std::to_string(settings.VideoBuffers);
    fields.partMinutes = std::to_string(settings.PartTime / 60);
    fields.partCapture = settings.PartCapture != 0;
    fields.leftClick = settings.LClick != 0;
    fields.rightClick = settings.RClick != 0;
    fields.scaling = settings.PreviewScale != 0;
    fields.scalingEnabled = settings.Overlay == 0;
    return fields;
}

void StoreEnvironment(const EnvironmentFields& fields, AppSettings& settings) {
    settings.PreviewRate = static_cast<std::int32_t>(FieldNumber(fields.previewRate, kPreviewRateLimit));
    settings.LClick = fields.leftClick ? 1 : 0;
    settings.RClick = fields.rightClick ? 1 : 0;
    settings.PreviewScale = fields.scaling ? 1 : 0;
    const std::uint32_t buffers = FieldNumber(fields.videoBuffers, kIntLimit);
    if (buffers >= kMinVideoBuffers && buffers <= kMaxVideoBuffers) {
        settings.VideoBuffers = static_cast<std::int32_t>(buffers);
    }
    settings.PartCapture = fields.partCapture ? 1 : 0;
    settings.PartTime = static_cast<std::int32_t>(FieldNumber(fields.partMinutes, kIntLimit / 60) * 60);
}

std::optional<PictureExtent> ApplyEnvironment(CaptureDevice& device, const AppSettings& settings) {
    device.SetPreviewRate(static_cast<std::uint32_t>(settings.PreviewRate));
    device.SetPreview(settings.Preview != 0);
    CaptureParms params;
    device.GetSequenceSetup(params);
    params.fAbortLeftMouse = settings.LClick;
    params.wNumVideoRequested = static_cast<std::uint32_t>(settings.VideoBuffers);
    params.fAbortRightMouse = settings.RClick;
    device.SetSequenceSetup(params);
    if (settings.PreviewScale != 0) return std::nullopt;
    const auto [width, height] = device.GetCaptureSize();
    device.SetWindowSize(width, height);
    return PictureExtent{width, height};
}

}  // namespace kestrova
