// "ｼｰｹﾝｽ" (dialog 136): the frame rate of recordings and whether sound is
// recorded with them. The list offers the common rates; any typed rate does.
#pragma once

#include "capture/capture_device.h"
#include "store/settings.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct SequenceFields {
    std::vector<std::string> rates;  // the list, from string 116
    std::string rate;                // the field, frames per second
    bool audio = false;

    friend bool operator==(const SequenceFields&, const SequenceFields&) = default;
};

// OK reads at most this many characters of the field.
inline constexpr std::size_t kSequenceFieldChars = 15;

// The fields as the dialog opens: what the capture window holds, or, without
// a capture window or an answer from it, the stored Frames and CaptureAudio.
SequenceFields OpenSequence(const AppSettings& settings, CaptureDevice* device);

// The rate OK takes from the field: its leading number, held within the
// Frames setting's range. A field without a number, or with no rate (0,
// below 0, not a finite number), is 15 frames per second.
float SequenceRate(std::string_view field);

// OK: the rate and sound to the capture window (when there is a device) and
// into Frames and CaptureAudio.
void StoreSequence(float rate, bool audio, AppSettings& settings, CaptureDevice* device);

}  // namespace kestrova
