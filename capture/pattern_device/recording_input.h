// What the user may do to stop a recording of the built-in device: the abort
// key (vKeyAbort, with the Shift and Ctrl it asks for) and, when the
// parameters allow them, a left or right click. While the recording runs the
// host takes the keyboard and mouse messages out of the input (they never
// reach the program) and hands each to a RecordingInputCollector; the
// session reads what it gathered with InputAbortsRecording.
#pragma once

#include "capture/capture_port.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrova {

// vKeyAbort: a virtual-key code in the low byte, plus the modifiers that
// must be held with it (kAbortKeyShift, kAbortKeyControl of the port).

// The window system's numbers the rule reads: input messages (WM_*) and the
// virtual keys of the modifiers (VK_*). The Windows build checks them against
// its headers.
namespace input_codes {
inline constexpr std::uint32_t kKeyDown = 0x0100;
inline constexpr std::uint32_t kKeyUp = 0x0101;
inline constexpr std::uint32_t kSysKeyDown = 0x0104;
inline constexpr std::uint32_t kSysKeyUp = 0x0105;
inline constexpr std::uint32_t kLeftButtonDown = 0x0201;
inline constexpr std::uint32_t kLeftButtonDoubleClick = 0x0203;
inline constexpr std::uint32_t kRightButtonDown = 0x0204;
inline constexpr std::uint32_t kRightButtonDoubleClick = 0x0206;
inline constexpr std::uint32_t kNonClientLeftButtonDown = 0x00A1;
inline constexpr std::uint32_t kNonClientLeftButtonDoubleClick = 0x00A3;
inline constexpr std::uint32_t kNonClientRightButtonDown = 0x00A4;
inline constexpr std::uint32_t kNonClientRightButtonDoubleClick = 0x00A6;
inline constexpr std::uint32_t kShift = 0x10;
inline constexpr std::uint32_t kControl = 0x11;
inline constexpr std::uint32_t kLeftShift = 0xA0;
inline constexpr std::uint32_t kRightShift = 0xA1;
inline constexpr std::uint32_t kLeftControl = 0xA2;
inline constexpr std::uint32_t kRightControl = 0xA3;
}  // namespace input_codes

// Key presses and clicks the host took out of the input while recording
// (they never reach the program).
struct RecordingInput {
    // Keys pressed, each as its virtual-key code plus kAbortKeyShift /
    // kAbortKeyControl for the modifiers held at the time.
    std::vector<std::uint32_t> keys;
    bool leftClick = false;
    bool rightClick = false;
    bool windowGone = false;  // the capture window has been destroyed
};

// True when `pressed` is the abort key: the same key, with at least the
// modifiers the abort key asks for. A vKeyAbort of 0 matches nothing.
bool AbortKeyMatches(std::uint32_t vKeyAbort, std::uint32_t pressed);
// True when the input ends a recording made with these parameters.
bool InputAbortsRecording(const CaptureParms& params, const RecordingInput& input);

// Gathers the presses and clicks among the input messages of a recording.
class RecordingInputCollector {
public:
    // The most key presses kept between two Takes.
    static constexpr std::size_t kMaxKeys = 64;

    // A keyboard message (others are left alone) for virtualKey, with what
    // the keyboard state says of Shift and Ctrl. Shift and Ctrl are followed
    // from the messages too, which covers keys posted to the window (they do
    // not change the keyboard state); a press of another key is noted with
    // the modifiers held.
    void NoteKey(std::uint32_t message, std::uint32_t virtualKey, bool shiftHeld, bool controlHeld);
    // A mouse message: a left or right button pressed or double-clicked, in
    // the window or on its frame, is a click.
    void NoteClick(std::uint32_t message);
    // True when a key press or a click has come since the last Take.
    bool Arrived() const { return arrived_; }
    // What has come since the last Take (the modifiers stay followed).
    RecordingInput Take();

private:
    RecordingInput input_;
    bool arrived_ = false;
    bool shiftDown_ = false;
    bool controlDown_ = false;
};

}  // namespace kestrova
