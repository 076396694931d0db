#include "capture/pattern_device/recording_input.h"

#include <algorithm>
#include <utility>

namespace kestrova {

namespace {

constexpr std::uint32_t kAbortKeyModifiers = kAbortKeyShift | kAbortKeyControl;

}  // namespace

bool AbortKeyMatches(std::uint32_t vKeyAbort, std::uint32_t pressed) {
    const std::uint32_t key = vKeyAbort & 0xFF;
    if (key == 0 || (pressed & 0xFF) != key) return false;
    const std::uint32_t needed = vKeyAbort & kAbortKeyModifiers;
    return (pressed & needed) == needed;
}

bool InputAbortsRecording(const CaptureParms& params, const RecordingInput& input) {
    if (input.leftClick && params.fAbortLeftMouse != 0) return true;
    if (input.rightClick && params.fAbortRightMouse != 0) return true;
    return std::any_of(input.keys.begin(), input.keys.end(),
                       [&](std::uint32_t pressed) { return AbortKeyMatches(params.vKeyAbort, pressed); });
}

void RecordingInputCollector::NoteKey(std::uint32_t message, std::uint32_t virtualKey, bool shiftHeld,
                                      bool controlHeld) {
    using namespace input_codes;
    const bool down = message == kKeyDown || message == kSysKeyDown;
    const bool up = message == kKeyUp || message == kSysKeyUp;
    if (!down && !up) return;
    const std::uint32_t key = virtualKey & 0xFF;
    if (key == kShift || key == kLeftShift || key == kRightShift) {
        shiftDown_ = down;
        return;
    }
    if (key == kControl || key == kLeftControl || key == kRightControl) {
        controlDown_ = down;
        return;
    }
    if (!down || input_.keys.size() >= kMaxKeys) return;
    std::uint32_t pressed = key;
    if (shiftDown_ || shiftHeld) pressed |= kAbortKeyShift;
    if (controlDown_ || controlHeld) pressed |= kAbortKeyControl;
    input_.keys.push_back(pressed);
    arrived_ = true;
}

void RecordingInputCollector::NoteClick(std::uint32_t message) {
    using namespace input_codes;
    switch (message) {
    case kLeftButtonDown:
    case kLeftButtonDoubleClick:
    case kNonClientLeftButtonDown:
    case kNonClientLeftButtonDoubleClick:
        input_.leftClick = true;
        arrived_ = true;
        break;
    case kRightButtonDown:
    case kRightButtonDoubleClick:
    case kNonClientRightButtonDown:
    case kNonClientRightButtonDoubleClick:
        input_.rightClick = true;
        arrived_ = true;
        break;
    default:
        break;
    }
}

RecordingInput RecordingInputCollector::Take() {
    RecordingInput taken = std::move(input_);
    input_ = RecordingInput{};
    arrived_ = false;
    return taken;
}

}  // namespace kestrova
