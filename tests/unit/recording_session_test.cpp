// The abort rule's input, and the recording loop against a fake clock. Real recordings, their
// lengths, a full disk and the disk watchdog are in tests/e2e (test_recording.py,
// test_reservations.py, test_failures.py).
#include "capture/pattern_device/recording_input.h"
#include "capture/pattern_device/recording_session.h"
#include "capture/pattern_device/tone.h"

#include "pcm_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace kestrova {
namespace {

constexpr std::uint32_t kEscape = 0x1B;
constexpr std::uint32_t kShiftEscape = kAbortKeyShift | kEscape;

using testing::Pcm;

// n pictures or dropped frames, as the file's frame slots show them.
std::string V(std::size_t n) { return std::string(n, 'V'); }
std::string D(std::size_t n) { return std::string(n, 'D'); }

TEST(RecordingTone, SampleTotalsAreExactForAnyLengthAndPiecesJoinWithoutAClick) {
    // Whole samples only, far beyond what a 64-bit product of time and rate could hold.
    EXPECT_EQ(SamplesForDuration((1ull << 40) * 1000000 + 999999, 96000), (1ull << 40) * 96000 + 95999);

    // A half-scale 1 kHz sine: at 8000 Hz the peaks are at samples 2 and 6.
    std::vector<std::uint8_t> out;
    AppendTone(Pcm(1, 8000, 8), 0, 8, out);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{128, 173, 192, 173, 128, 83, 64, 83}));
    // Pieces of any length make the same sound as the whole, also hours in.
    const WaveFormat f = Pcm(2, 44100, 16);
    std::vector<std::uint8_t> whole, pieces, late;
    AppendTone(f, 0, 1000, whole);
    for (std::uint32_t at = 0, length = 1; at < 1000; at += length, length = std::min(1 + at % 37, 1000 - at)) {
        AppendTone(f, at, length, pieces);
    }
    AppendTone(f, 44100ull * 3600 * 1000, 1000, late);
    EXPECT_EQ(std::tuple(pieces, late), std::tuple(whole, whole));
}

TEST(RecordingInput, KeysAndClicksReachTheAbortRuleWithTheModifiersHeld) {
    using namespace input_codes;
    constexpr std::uint32_t kChar = 0x0102, kLeftButtonUp = 0x0202, kMiddleButtonDown = 0x0207;
    RecordingInputCollector in;
    // Shift and Ctrl count from their messages (keys posted to the window
    // leave the keyboard state alone) or from the keyboard state; releases,
    // characters and the modifiers themselves are no presses.
    in.NoteKey(kKeyDown, kRightShift, false, false);
    EXPECT_FALSE(in.Arrived());
    const std::tuple<std::uint32_t, std::uint32_t, bool, bool> keys[] = {
        {kKeyDown, 0x0100 | kEscape, false, false},  // the key is the low byte
        {kKeyUp, kEscape, false, false}, {kChar, kEscape, false, false}, {kKeyUp, kShift, false, false},
        {kSysKeyDown, 'S', false, true}, {kKeyDown, kLeftControl, false, false}, {kKeyDown, 'A', false, false},
        {kSysKeyUp, kRightControl, false, false}, {kKeyDown, 'B', true, false},
        {kKeyDown, kLeftShift, false, false}};  // still held after the Take
    for (const auto& [message, key, shift, control] : keys) in.NoteKey(message, key, shift, control);
    EXPECT_TRUE(in.Arrived());
    EXPECT_EQ(in.Take().keys, (std::vector<std::uint32_t>{kShiftEscape, kAbortKeyControl | 'S',
                                                          kAbortKeyControl | 'A', kAbortKeyShift | 'B'}));
    EXPECT_FALSE(in.Arrived());
    for (int i = 0; i < 70; ++i) in.NoteKey(kKeyDown, kEscape, false, false);
    EXPECT_EQ(in.Take().keys, std::vector<std::uint32_t>(RecordingInputCollector::kMaxKeys, kShiftEscape));

    // Left and right presses and double clicks, in the window or on its frame.
    for (const std::uint32_t other : {kLeftButtonUp, kMiddleButtonDown, 0x0200u /* a move */}) in.NoteClick(other);
    EXPECT_FALSE(in.Arrived());
    for (const auto& [click, left] : {std::pair{kLeftButtonDown, true}, {kLeftButtonDoubleClick, true},
                                     {kNonClientLeftButtonDown, true}, {kNonClientLeftButtonDoubleClick, true},
                                     {kRightButtonDown, false}, {kRightButtonDoubleClick, false},
                                     {kNonClientRightButtonDown, false}, {kNonClientRightButtonDoubleClick, false}}) {
        in.NoteClick(click);
        const RecordingInput taken = in.Take();
        EXPECT_EQ(std::pair(taken.leftClick, taken.rightClick), std::pair(left, !left)) << click;
    }

    // The abort key asks for at least its modifiers; a vKeyAbort of 0 is none.
    EXPECT_TRUE(AbortKeyMatches(kShiftEscape, kShiftEscape | kAbortKeyControl));
    EXPECT_FALSE(AbortKeyMatches(kShiftEscape, kEscape) || AbortKeyMatches(kShiftEscape, kAbortKeyShift | 'E'));
    EXPECT_FALSE(AbortKeyMatches(0, 0) || AbortKeyMatches(kAbortKeyShift, kAbortKeyShift));
}

// The fixture is the session's host and its file.
class RecordingSessionTest : public ::testing::Test, public RecordingHost, public RecordingSink {
protected:
    // One recording, with the logs of the last one cleared (not the counters,
    // which are the session's own business).
    RecordingEnd Run() {
        start = now;
        confirmations = waits = controls = closes = shown = 0;
        opened = slots = {}, texts = errors = {}, events = {}, rendered = {};
        RecordingSession session(*this, *this, [this](std::uint32_t n, std::uint32_t ms, DibFrame& frame) {
            rendered.push_back(n);
            return RenderPattern(PatternRequest{PatternKind::ColourBars, request.width, request.height, n, ms}, frame);
        }, counters);
        return session.Run(request);
    }

    bool ConfirmStart() override { ++confirmations; return confirm; }
    std::uint64_t Now() override { return now; }
    void WaitUntil(std::uint64_t due) override {
        ++waits;
        now = std::max(now, due) + lateness;
        if (onWait) onWait();
    }
    RecordingInput TakeInput() override { return std::exchange(input, RecordingInput{}); }
    bool CapControl(std::uint32_t state) override { return ++controls, !control || control(state); }
    void Status(int id, std::string_view text) override { texts.emplace_back(id, std::string(text)); }
    void Error(int id, std::string_view text) override { errors.emplace_back(id, std::string(text)); }
    void ShowFrame(DibFrame&) override { ++shown; }
    std::optional<std::uint64_t> FreeBytes(const std::string&) override { return std::nullopt; }  // not watched

    bool Open(const std::string& path, const AviVideoFormat&, const std::optional<WaveFormat>&) override {
        opened = path;
        return openSucceeds;
    }
    bool WriteVideoFrame(std::span<const std::uint8_t> dib) override { return Write('V', dib.size()); }
    bool WriteDroppedFrame() override { return Write('D', 0); }
    bool WriteAudio(std::span<const std::uint8_t> pcm) override { return Write('A', pcm.size()); }
    bool Write(char kind, std::size_t bytes) {
        if (writesBeforeFailure == 0) return false;
        if (writesBeforeFailure > 0) --writesBeforeFailure;
        events.emplace_back(kind, bytes);
        if (kind != 'A') slots += kind;
        return true;
    }
    bool Close() override { ++closes; return true; }
    FileError Error() const override { return writesBeforeFailure == 0 ? failure : FileError::None; }
    bool Full() const override { return writesBeforeFailure == 0 && failure == FileError::None; }
    std::uint64_t RoomLeft(std::uint64_t free) const override { return free; }

    RecordingRequest request{.path = "C:\\録画\\kv0001.avi",
                             .params = {.dwRequestMicroSecPerFrame = 66667, .vKeyAbort = kShiftEscape,
                                        .fLimitEnabled = 1, .wTimeLimit = 3},
                             .width = 32, .height = 24, .audio = {}};
    RecordingCounters counters;
    // The host: a clock in microseconds that does not start at 0, wake-ups
    // `lateness` late, and what happens at each (`waits` counts from 1).
    std::uint64_t now = 7000000, start = 0, lateness = 0;
    std::function<void()> onWait;
    std::function<bool(std::uint32_t)> control;
    RecordingInput input;
    bool confirm = true, openSucceeds = true;
    int confirmations = 0, waits = 0, controls = 0;
    int shown = 0;                        // frames handed to the preview
    std::vector<std::uint32_t> rendered;  // the frames drawn
    std::vector<std::pair<int, std::string>> texts, errors;
    // The file: the path it was opened for ("" when not), the chunks written
    // ('V', 'D' or 'A', with their bytes) and the frame slots among them, a failing disk.
    std::string opened, slots;
    std::vector<std::pair<char, std::size_t>> events;
    int writesBeforeFailure = -1;  // negative: never fails
    FileError failure = FileError::DiskFull;
    int closes = 0;
};

TEST_F(RecordingSessionTest, TimeLimitEndsWithTheFramesItCoversAndADeclinedStartChangesNothing) {
    // 3 s of 66.667 ms frames: 45 slots, no sound; the last frame's time is waited out. The preview
    // shows every frame, or one per preview period, half a frame early counting as in time: 66 ms
    // (a frame less a little) still shows every frame, 133.4 ms every second one.
    for (auto [preview, frames] : {std::pair{0u, 45}, {66000u, 45}, {133400u, 23}, {1000000u, 3}}) {
        request.previewPeriodMicros = preview;
        EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
        EXPECT_EQ(std::tuple(slots, now, counters, shown),
                  std::tuple(V(45), start + 45ull * 66667, RecordingCounters{45, 0, 3000, 0}, frames)) << preview;
    }
    // The user says no, or the capture-control callback refuses to start
    // (asked only after the user's yes): no file, no texts.
    request.params.fMakeUserHitOKToCapture = 1;
    control = [](std::uint32_t) { return false; };
    for (const bool userSaysYes : {false, true}) {
        confirm = userSaysYes;
        EXPECT_EQ(Run(), RecordingEnd::Declined);
        EXPECT_EQ(std::tuple(confirmations, controls, opened, texts.size(), counters.frames),
                  std::tuple(1, userSaysYes ? 1 : 0, "", 0u, 45u));  // the last recording's figures stay
    }
    // The limit is the whole number of frames nearest to it, at least one.
    request.params.fMakeUserHitOKToCapture = 0;
    control = nullptr;
    for (auto [period, frames] : {std::pair{33367u, 90u}, {2400000u, 1u}, {10000000u, 1u}}) {
        request.params.dwRequestMicroSecPerFrame = period;
        EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
        EXPECT_EQ(counters.frames, frames) << period;
    }
}

TEST_F(RecordingSessionTest, LateWakeUpsDropTheFramesWhoseTimePassedAndTheSoundStaysInStepWithTheSlots) {
    // The video buffers, how late every wake-up is, the clock's jump after the nth wait, the slots.
    const std::tuple<std::uint32_t, std::uint64_t, std::vector<std::pair<int, std::uint64_t>>, std::string> table[] = {
        // Wake-ups 1 ms late are in time. Slot 11 was due as a stall of 3.5 periods began; when the
        // loop woke, slot 14's time had come: 11 to 13 are dropped, 14 is recorded as itself. A stall
        // of just under a period drops nothing.
        {0, 1000, {{11, 66667ull * 7 / 2}, {21, 66667 - 1001}}, V(11) + D(3) + V(31)},
        // A stall past the end of the limit: the rest of it is dropped and the recording ends at once.
        {0, 0, {{5, 60000000}}, V(5) + D(40)},
        // The frames of a stall that the buffers hold are recorded late as themselves, only older ones
        // are lost, at the limit's end too: 3.5 periods lose nothing; after 9 the 6 newest are kept.
        {5, 0, {{11, 66667ull * 7 / 2}, {21, 66667ull * 9}}, V(24) + D(4) + V(17)},
        {5, 0, {{5, 60000000}}, V(5) + D(35) + V(5)},
    };
    request.audio = Pcm(2, 8000, 16);
    for (const auto& [buffers, late, stalls, expected] : table) {
        SCOPED_TRACE(expected);
        request.params.wNumVideoRequested = buffers;
        lateness = late;
        onWait = [this, jumps = stalls] {
            for (const auto& [wait, jump] : jumps) now += wait == waits ? jump : 0;
        };
        EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
        // Each picture is drawn and shown as its own slot, dropped ones are not; the time runs to the end.
        std::vector<std::uint32_t> pictures;
        for (std::uint32_t slot = 0; slot < slots.size(); ++slot) {
            if (slots[slot] == 'V') pictures.push_back(slot);
        }
        EXPECT_EQ(std::tuple(slots, rendered, shown),
                  std::tuple(expected, pictures, static_cast<int>(pictures.size())));
        // Each slot, dropped or not, is followed by the sound that makes the track cover exactly the
        // slots so far: 533.3 samples a slot, so nothing piles up.
        std::uint64_t audioBytes = 0;
        for (std::size_t i = 0; i + 1 < events.size(); i += 2) {
            ASSERT_EQ(std::tuple(events[i].first == 'A', events[i + 1].first), std::tuple(false, 'A')) << i;
            audioBytes += events[i + 1].second;
            EXPECT_EQ(audioBytes, SamplesForDuration((i / 2 + 1) * 66667, 8000) * 4) << i;
        }
        EXPECT_EQ(std::tuple(events.size(), counters),
                  std::tuple(90u, RecordingCounters{45, 45 - static_cast<std::uint32_t>(pictures.size()),
                                                    static_cast<std::uint32_t>((now - start) / 1000), 24000}));
    }
}

TEST_F(RecordingSessionTest, WithoutATimeLimitTheCaptureControlCallbackOrTheUserEndsIt) {
    // A limit of 0 seconds is none either. What CAPSTATUS would show inside
    // the callback: the frames so far, the time since the first frame.
    request.params.wTimeLimit = 0;
    std::vector<RecordingCounters> seen;
    control = [&](std::uint32_t state) {
        seen.push_back(counters);
        return state != kCaptureStateCapturing || seen.size() <= 5;
    };
    lateness = 250;
    EXPECT_EQ(Run(), RecordingEnd::CapControl);
    EXPECT_EQ(std::tuple(slots, closes, seen.size()), std::tuple(V(5), 1, 6u));
    EXPECT_EQ(std::tuple(seen.at(0), seen.at(5)),
              std::tuple(RecordingCounters{}, RecordingCounters{5, 0, (4 * 66667 + 250) / 1000, 0}));

    // Keys and clicks end it only when they may, and only once it runs: not
    // the input waiting before the start (the click that started it).
    control = nullptr;
    request.params.fLimitEnabled = 0, request.params.wTimeLimit = 3, request.params.fAbortRightMouse = 1;
    input = {.keys = {kShiftEscape}, .rightClick = true};
    onWait = [this] {
        if (waits == 3) input.leftClick = true;      // not allowed
        if (waits == 4) input.keys = {kEscape, 'S'};  // not the abort key: its modifier is missing
        if (waits == 6) input.rightClick = true;
    };
    EXPECT_EQ(Run(), RecordingEnd::UserAbort);
    EXPECT_EQ(std::tuple(counters.frames, closes), std::tuple(6u, 1));
    onWait = [this] { input.windowGone = waits == 50; };  // past the time limit, which is off
    EXPECT_EQ(Run(), RecordingEnd::WindowGone);
    EXPECT_EQ(counters.frames, 50u);
}

TEST_F(RecordingSessionTest, FileErrorsEndTheRecordingWithTheFileFinished) {
    // The writes that go through (below 0: the file cannot be created), the failure after them and the
    // clock's jump at each wake-up; the end, the frames the file is finished with, the id and the text.
    // The disk fills up during the 9th slot's sound; another error strikes the first dropped frame,
    // after its sound; a file that holds all one file can ends with its own words, no more sound tried.
    request.audio = Pcm(1, 11025, 8);
    const std::tuple<int, FileError, std::uint64_t, RecordingEnd, std::uint32_t, int, std::string> table[] = {
        {-1, FileError::DiskFull, 0, RecordingEnd::CreateFailed, 0, kTestPatternStatusCreateFailed,
         "ｷｬﾌﾟﾁｬﾌｧｲﾙを作成できません"},
        {15, FileError::DiskFull, 0, RecordingEnd::DiskFull, 8, kTestPatternStatusDiskFull,
         "ﾃﾞｨｽｸがいっぱいになったため録画を終了しました"},
        {2, FileError::Other, 200000, RecordingEnd::WriteFailed, 1, kTestPatternStatusWriteFailed,
         "ｷｬﾌﾟﾁｬﾌｧｲﾙに書き込めません"},
        {3, FileError::None, 0, RecordingEnd::FileFull, 2, kTestPatternStatusFileFull,
         "ｷｬﾌﾟﾁｬﾌｧｲﾙが上限の 16384 GB に達したため録画を終了しました"}};
    for (const auto& [writes, fails, stall, end, frames, id, told] : table) {
        SCOPED_TRACE(id);
        openSucceeds = writes >= 0, writesBeforeFailure = writes, failure = fails;
        onWait = [this, jump = stall] { now += jump; };
        EXPECT_EQ(Run(), end);
        EXPECT_EQ(std::tuple(counters.frames, closes), std::tuple(frames, writes >= 0 ? 1 : 0));
        // Told in the status bar, and in the error with the file on a line of its own.
        EXPECT_EQ(std::tuple(texts.back(), errors), std::tuple(std::pair(id, told + ": " + request.path),
                                                               std::vector{std::pair(id, told + "\n" + request.path)}));
    }
}

}  // namespace
}  // namespace kestrova
