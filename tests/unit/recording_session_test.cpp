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
using Texts = std::vector<std::pair<int, std::string>>;

TEST(RecordingTone, SampleTotalsAreExactForAnyLengthAndPiecesJoinWithoutAClick) {
    EXPECT_EQ(SamplesForDuration(33367, 48000), 1601u);  // 1601.6
    // Far beyond what a 64-bit product of time and rate could hold.
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
    EXPECT_EQ(pieces, whole);
    EXPECT_EQ(late, whole);
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
    in.NoteKey(kKeyDown, 0x0100 | kEscape, false, false);  // the key is the low byte
    in.NoteKey(kKeyUp, kEscape, false, false);
    in.NoteKey(kChar, kEscape, false, false);
    in.NoteKey(kKeyUp, kShift, false, false);
    in.NoteKey(kSysKeyDown, 'S', false, true);
    in.NoteKey(kKeyDown, kLeftControl, false, false);
    in.NoteKey(kKeyDown, 'A', false, false);
    in.NoteKey(kSysKeyUp, kRightControl, false, false);
    in.NoteKey(kKeyDown, 'B', true, false);
    in.NoteKey(kKeyDown, kLeftShift, false, false);  // still held after the Take
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
    RecordingSessionTest() {
        request.path = "C:\\録画\\kv0001.avi";
        request.width = 32;
        request.height = 24;
        request.params.dwRequestMicroSecPerFrame = 66667;
        request.params.vKeyAbort = kShiftEscape;
        request.params.fLimitEnabled = 1;
        request.params.wTimeLimit = 3;
    }

    // One recording, with the logs of the last one cleared (not the counters,
    // which are the session's own business).
    RecordingEnd Run() {
        start = now;
        confirmations = waits = closes = shown = 0;
        states = {}, texts = errors = {}, opened = {}, events = {}, rendered = {};
        RecordingSession session(*this, *this, [this](std::uint32_t n, std::uint32_t ms, DibFrame& frame) {
            rendered.push_back(n);
            return RenderPattern(PatternRequest{PatternKind::ColourBars, request.width, request.height, n, ms}, frame);
        }, counters);
        return session.Run(request);
    }
    // The frame slots written: 'V' a picture, 'D' a dropped one.
    std::string Slots() const {
        std::string out;
        for (const auto& [kind, bytes] : events) out += kind == 'A' ? "" : std::string(1, kind);
        return out;
    }

    bool ConfirmStart() override { ++confirmations; return confirm; }
    std::uint64_t Now() override { return now; }
    void WaitUntil(std::uint64_t due) override {
        ++waits;
        now = std::max(now, due) + lateness;
        if (onWait) onWait();
    }
    RecordingInput TakeInput() override { return std::exchange(input, RecordingInput{}); }
    bool CapControl(std::uint32_t state) override {
        states.push_back(state);
        return !control || control(state);
    }
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
        return true;
    }
    bool Close() override { ++closes; return true; }
    FileError Error() const override { return writesBeforeFailure == 0 ? failure : FileError::None; }
    bool Full() const override { return writesBeforeFailure == 0 && failure == FileError::None; }
    std::uint64_t RoomLeft(std::uint64_t free) const override { return free; }

    RecordingRequest request;
    RecordingCounters counters;
    // The host: a clock in microseconds that does not start at 0, wake-ups
    // `lateness` late, and what happens at each (`waits` counts from 1).
    std::uint64_t now = 7000000, start = 0, lateness = 0;
    std::function<void()> onWait;
    std::function<bool(std::uint32_t)> control;
    RecordingInput input;
    bool confirm = true;
    int confirmations = 0, waits = 0;
    int shown = 0;  // frames handed to the preview
    std::vector<std::uint32_t> states;
    Texts texts, errors;
    std::vector<std::uint32_t> rendered;  // the frames drawn
    // The file: the path it was opened for ("" when not), the chunks written
    // ('V', 'D' or 'A', with their bytes), a failing disk.
    bool openSucceeds = true;
    std::string opened;
    std::vector<std::pair<char, std::size_t>> events;
    int writesBeforeFailure = -1;  // negative: never fails
    FileError failure = FileError::DiskFull;
    int closes = 0;
};

TEST_F(RecordingSessionTest, TimeLimitEndsWithTheFramesItCoversAndADeclinedStartChangesNothing) {
    // 3 s of 66.667 ms frames: 45 slots, no sound; the last frame's time is waited out.
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    EXPECT_EQ(std::tuple(Slots(), now), std::tuple(std::string(45, 'V'), start + 45ull * 66667));
    EXPECT_EQ(counters, (RecordingCounters{45, 0, 3000, 0}));
    // The preview shows every frame, or one per preview period: 66 ms (a
    // frame less a little) still shows every frame, 133 ms every second one.
    EXPECT_EQ(shown, 45);
    for (auto [preview, frames] : {std::pair{66000u, 45}, {133334u, 23}, {1000000u, 3}}) {
        request.previewPeriodMicros = preview;
        Run();
        EXPECT_EQ(shown, frames) << preview;
    }
    request.previewPeriodMicros = 0;
    // The user says no, or the capture-control callback refuses to start
    // (asked only after the user's yes): no file, no texts.
    request.params.fMakeUserHitOKToCapture = 1;
    control = [](std::uint32_t) { return false; };
    for (const bool userSaysYes : {false, true}) {
        confirm = userSaysYes;
        EXPECT_EQ(Run(), RecordingEnd::Declined);
        EXPECT_EQ(std::tuple(confirmations, states.size(), opened, texts.size(), counters.frames),
                  std::tuple(1, userSaysYes ? 1u : 0u, "", 0u, 45u));  // the last recording's figures stay
    }
    // The limit is the whole number of frames nearest to it, at least one.
    request.params.fMakeUserHitOKToCapture = 0;
    control = nullptr;
    for (auto [period, slots] : {std::pair{33367u, 90u}, {2400000u, 1u}, {10000000u, 1u}}) {
        request.params.dwRequestMicroSecPerFrame = period;
        EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
        EXPECT_EQ(counters.frames, slots) << period;
    }
}

TEST_F(RecordingSessionTest, LateWakeUpsDropTheFramesWhoseTimePassed) {
    lateness = 1000;  // every wake-up 1 ms late: still in time
    onWait = [this] {
        // After frame 10 the machine stalls for 3.5 frame periods, after
        // frame 20 for just under one (the slot is still reached in time).
        if (waits == 11) now += 66667ull * 7 / 2;
        if (waits == 21) now += 66667 - 1001;
    };
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    // Slot 11 was due at the stall's start; when the loop woke, slot 14's
    // time had come: 11, 12 and 13 are dropped, 14 is recorded as itself.
    EXPECT_EQ(Slots(), std::string(11, 'V') + "DDD" + std::string(31, 'V'));
    EXPECT_EQ(std::tuple(counters.frames, counters.dropped), std::tuple(45u, 3u));
    EXPECT_EQ(std::tuple(rendered.size(), rendered.at(11), shown), std::tuple(42u, 14u, 42));  // dropped ones are not shown

    // A stall past the end of the limit: the rest of the limit is dropped
    // frames and the recording ends at once.
    lateness = 0;
    onWait = [this] { now += waits == 5 ? 60000000 : 0; };
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    EXPECT_EQ(Slots(), std::string(5, 'V') + std::string(40, 'D'));
    EXPECT_GE(counters.elapsedMs, 60000u);

    // With video buffers, the frames of a stall that they hold are recorded
    // late as themselves (their own times), only the older ones are lost; at
    // the limit's end too.
    request.params.wNumVideoRequested = 5;
    onWait = [this] { now += waits == 11 ? 66667ull * 7 / 2 : waits == 21 ? 66667ull * 9 : 0; };
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    // The first stall (3.5 frames) loses nothing; after the second (9
    // frames, at slot 24) the 6 newest frames are kept.
    EXPECT_EQ(Slots(), std::string(24, 'V') + "DDDD" + std::string(17, 'V'));
    EXPECT_EQ(std::tuple(rendered.at(11), rendered.at(24)), std::tuple(11u, 28u));
    onWait = [this] { now += waits == 5 ? 60000000 : 0; };
    Run();
    EXPECT_EQ(Slots(), std::string(5, 'V') + std::string(35, 'D') + std::string(5, 'V'));
    request.params.wNumVideoRequested = 0;
}

TEST_F(RecordingSessionTest, SoundStaysInStepWithThePicturesAcrossDrops) {
    request.params.dwRequestMicroSecPerFrame = 33367;  // 29.97 frames per second
    request.params.wTimeLimit = 10;
    request.audio = Pcm(2, 44100, 16);
    onWait = [this] { now += waits % 50 == 7 ? 33367ull * 3 + 5000 : 0; };  // a few drops now and then
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    // Each slot, dropped or not, is followed by the sound that makes the
    // track cover exactly the slots so far: 1471.5 samples a slot, in chunks
    // of 1471 and 1472, so nothing piles up.
    std::uint64_t slots = 0, audioBytes = 0;
    for (std::size_t i = 0; i + 1 < events.size(); i += 2, ++slots) {
        SCOPED_TRACE(slots);
        ASSERT_EQ(std::tuple(events[i].first == 'A', events[i + 1].first), std::tuple(false, 'A'));
        audioBytes += events[i + 1].second;
        EXPECT_EQ(audioBytes, SamplesForDuration((slots + 1) * 33367, 44100) * 4);
        EXPECT_TRUE(events[i + 1].second == 1471u * 4 || events[i + 1].second == 1472u * 4);
    }
    EXPECT_EQ(slots, 300u);  // ceil(10 s / 33.367 ms)
    EXPECT_GT(counters.dropped, 10u);
    EXPECT_EQ(counters.waveSamples, SamplesForDuration(300ull * 33367, 44100));
}

TEST_F(RecordingSessionTest, WithoutATimeLimitTheCaptureControlCallbackEndsIt) {
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
    EXPECT_EQ(std::tuple(Slots(), closes), std::tuple(std::string("VVVVV"), 1));
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0], RecordingCounters{});
    EXPECT_EQ(seen[5], (RecordingCounters{5, 0, (4 * 66667 + 250) / 1000, 0}));
}

TEST_F(RecordingSessionTest, UserInputEndsTheRecordingOnlyWhenItMayAndOnlyOnceStarted) {
    request.params.fLimitEnabled = 0;
    request.params.fAbortRightMouse = 1;
    // Input waiting before the start (the click that started the recording).
    input.rightClick = true;
    input.keys = {kShiftEscape};
    onWait = [this] {
        if (waits == 3) input.leftClick = true;      // not allowed
        if (waits == 4) input.keys = {kEscape, 'S'};  // not the abort key: its modifier is missing
        if (waits == 6) input.rightClick = true;
    };
    EXPECT_EQ(Run(), RecordingEnd::UserAbort);
    EXPECT_EQ(std::tuple(counters.frames, closes), std::tuple(6u, 1));
    onWait = [this] { input.windowGone = waits == 9; };
    EXPECT_EQ(Run(), RecordingEnd::WindowGone);
    EXPECT_EQ(counters.frames, 9u);
}

TEST_F(RecordingSessionTest, FileErrorsEndTheRecordingWithTheFileFinished) {
    openSucceeds = false;
    EXPECT_EQ(Run(), RecordingEnd::CreateFailed);
    EXPECT_EQ(std::tuple(closes, counters, errors.at(0).first),
              std::tuple(0, RecordingCounters{}, kTestPatternStatusCreateFailed));
    // Told in the status bar, and in the error with the file on a line of its own.
    EXPECT_EQ(std::pair(texts.back().second, errors.at(0).second),
              std::pair("ｷｬﾌﾟﾁｬﾌｧｲﾙを作成できません: " + request.path, "ｷｬﾌﾟﾁｬﾌｧｲﾙを作成できません\n" + request.path));

    // The disk fills up during the 8th slot's sound: the recording ends, the
    // file is finished with what it holds and the user is told.
    openSucceeds = true;
    request.audio = Pcm(1, 11025, 8);
    writesBeforeFailure = 15;
    EXPECT_EQ(Run(), RecordingEnd::DiskFull);
    EXPECT_EQ(std::tuple(counters.frames, closes, errors.at(0).first), std::tuple(8u, 1, kTestPatternStatusDiskFull));

    // Another write error, here on a dropped frame.
    writesBeforeFailure = 2;
    failure = FileError::Other;
    onWait = [this] { now += 200000; };
    EXPECT_EQ(Run(), RecordingEnd::WriteFailed);
    EXPECT_EQ(std::tuple(events.back().first, errors.at(0).first), std::tuple('A', kTestPatternStatusWriteFailed));

    // A file that holds all one file can ends the recording with its own
    // words, the limit and the file named, and no more sound is tried.
    writesBeforeFailure = 3;
    failure = FileError::None;
    EXPECT_EQ(Run(), RecordingEnd::FileFull);
    EXPECT_EQ(std::tuple(events.size(), errors.at(0)),
              std::tuple(3u, std::pair(kTestPatternStatusFileFull,
                                       "ｷｬﾌﾟﾁｬﾌｧｲﾙが上限の 16384 GB に達したため録画を終了しました\n" + request.path)));
}

}  // namespace
}  // namespace kestrova
