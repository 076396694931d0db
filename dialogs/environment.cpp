#include "dialogs/environment.h"

#include "dialogs/number_field.h"

namespace kestrova {

namespace {

// A field's number, held at `limit` (0 or more).
std::int32_t FieldSetting(std::string_view text, std::int32_t limit) {
    return static_cast<std::int32_t>(FieldNumber(text, static_cast<std::uint32_t>(limit)));
}

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
    const IntRange& rate = setting_range::PreviewRate;
    settings.PreviewRate = rate.Clamp(FieldSetting(fields.previewRate, rate.high));
    settings.LClick = fields.leftClick ? 1 : 0;
    settings.RClick = fields.rightClick ? 1 : 0;
    settings.PreviewScale = fields.scaling ? 1 : 0;
    const IntRange& buffers = setting_range::VideoBuffers;
    const std::int32_t count = FieldSetting(fields.videoBuffers, buffers.high + 1);  // past the top: not taken
    if (buffers.Holds(count)) settings.VideoBuffers = count;
    settings.PartCapture = fields.partCapture ? 1 : 0;
    const IntRange& part = setting_range::PartTime;
    settings.PartTime = part.Clamp(FieldSetting(fields.partMinutes, part.high / 60) * 60);
}

std::optional<PictureExtent> ApplyEnvironment(CaptureDevice& device, const AppSettings& settings) {
    device.SetPreviewRate(static_cast<std::uint32_t>(settings.PreviewRate));
    device.SetPreview(settings.Preview != 0);
    CaptureParms params = device.params();
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
