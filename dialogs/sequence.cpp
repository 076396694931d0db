#include "dialogs/sequence.h"

#include "store/string_table.h"

#include <cstdio>

namespace kestrova {

namespace {

constexpr double kMicroseconds = 1000000.0;

std::vector<std::string> SplitAtCommas(std::string_view text) {
    std::vector<std::string> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        pieces.emplace_back(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) return pieces;
        start = comma + 1;
    }
}

std::string RateOfPeriod(std::uint32_t microseconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%2.2f", kMicroseconds / static_cast<double>(microseconds));
    return text;
}

}  // namespace

SequenceFields OpenSequence(const AppSettings& settings, CaptureDevice* device) {
    SequenceFields fields;
    fields.rates = SplitAtCommas(LoadText(strings::kFrameRates));
    fields.rate = FormatFrames(settings.Frames);
    fields.audio = settings.CaptureAudio != 0;
    if (device == nullptr || device->captureWindow() == 0) return fields;
    CaptureParms params;
    if (!device->GetSequenceSetup(params) || params.dwRequestMicroSecPerFrame == 0) return fields;  // nothing came back
    fields.rate = RateOfPeriod(params.dwRequestMicroSecPerFrame);
    fields.audio = params.fCaptureAudio != 0;
    return fields;
}

float SequenceRate(std::string_view field) {
    return BoundFrames(ParseFrames(field.substr(0, kSequenceFieldChars)));
}

void StoreSequence(float rate, bool audio, AppSettings& settings, CaptureDevice* device) {
    if (device != nullptr) {
        CaptureParms params = device->params();
        params.dwRequestMicroSecPerFrame = FramePeriodMicroseconds(rate);
        params.fCaptureAudio = audio ? 1 : 0;
        device->SetSequenceSetup(params);
    }
    settings.Frames = rate;
    settings.CaptureAudio = audio ? 1 : 0;
}

}  // namespace kestrova
