#include "capture/test_pattern/recording_session.h"
#include "capture/test_pattern/tone.h"

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

// ---------------------------------------------------------------------------
// The tone, the sample arithmetic and the abort keys

TEST(RecordingTone, SampleTotalsAreExactForAnyLength) {
    EXPECT_EQ(SamplesForDuration(22, 44100), 0u);  // 0.97 of a sample
    EXPECT_EQ(SamplesForDuration(33367, 48000), 1601u);  // 1601.6
    // A day at 29.97 frames per second lands on the exact floor, and so does
    // a time far beyond what a 64-bit product of time and rate could hold.
    const std::uint64_t day = 24ull * 3600 * 30 * 33367;
    EXPECT_EQ(SamplesForDuration(day, 96000), day * 96000 / 1000000);
    EXPECT_EQ(SamplesForDuration((1ull << 40) * 1000000 + 999999, 96000), (1ull << 40) * 96000 + 95999);
}

TEST(RecordingTone, HalfScaleSineInEachFormatThatJoinsWithoutAClick) {
    // 8000 Hz: a 1 kHz period is 8 samples; the peaks are at 2 and 6.
    std::vector<std::uint8_t> out;
    AppendTone(Pcm(1, 8000, 8), 0, 8, out);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{128, 173, 192, 173, 128, 83, 64, 83}));
    out.clear();
    AppendTone(Pcm(2, 8000, 16), 2, 1, out);    // +16384 in both channels, little-endian
    AppendTone(Pcm(1, 8000, 16), 6, 1, out);    // -16384, appended
    AppendTone(Pcm(1, 44100, 24), 0, 10, out);  // nothing for an unknown depth
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0x00, 0x40, 0x00, 0x40, 0x00, 0xC0}));
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

TEST(RecordingAbort, KeysNeedTheirModifiers) {
    const std::tuple<std::uint32_t, std::uint32_t, bool> table[] = {
        {kEscape, kEscape, true}, {kEscape, kShiftEscape, true},  // extra modifiers do not matter
        {kShiftEscape, kShiftEscape | kAbortKeyControl, true}, {kShiftEscape, kEscape, false},
        {kShiftEscape, kAbortKeyControl | kEscape, false}, {kShiftEscape, kAbortKeyShift | 0x1C, false},
        {kAbortKeyControl | 'Q', 'Q', false}, {kAbortKeyControl | 'Q', kAbortKeyControl | 'Q', true},
        {0, 0, false}, {kAbortKeyShift, kAbortKeyShift, false}};  // no abort key, not even 0 with modifiers
    for (auto [abortKey, pressed, matches] : table) {
        EXPECT_EQ(AbortKeyMatches(abortKey, pressed), matches) << std::hex << abortKey << " " << pressed;
    }
}

// ---------------------------------------------------------------------------
// The session against a fake clock: the fixture is its host and its file.

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
        confirmations = waits = shown = closes = 0;
        states.clear();
        texts.clear();
        errors.clear();
        opened.clear();
        events.clear();
        rendered.clear();
        RecordingSession session(*this, *this, [this](std::uint32_t n, std::uint32_t ms, DibFrame& frame) {
            rendered.emplace_back(n, ms, now);
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
    // Every picture went into its own slot: frame n rendered before slot
    // n + 1 began, at the time of its slot.
    void ExpectNothingLate() const {
        const std::uint64_t period = request.params.dwRequestMicroSecPerFrame;
        for (const auto& [frame, milliseconds, time] : rendered) {
            EXPECT_LT(time, start + (frame + 1ull) * period) << "frame " << frame;
            EXPECT_EQ(milliseconds, static_cast<std::uint32_t>(frame * period / 1000)) << "frame " << frame;
        }
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
    void ShowFrame(const DibFrame&) override { ++shown; }
    std::optional<std::uint64_t> FreeBytes(const std::string&) override { return volumeFree; }

    bool Open(const std::string& path, const AviVideoFormat& video, const std::optional<WaveFormat>& audio) override {
        opened = path + " " + std::to_string(video.width) + "x" + std::to_string(video.height) + " " +
                 std::to_string(video.microSecPerFrame);
        openedAudio = audio;
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
    int confirmations = 0, waits = 0, shown = 0;
    std::vector<std::uint32_t> states;
    Texts texts, errors;
    std::optional<std::uint64_t> volumeFree;  // not watched unless set
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint64_t>> rendered;  // frame, ms, when
    // The file: what it was opened for ("" when not), the chunks written
    // ('V', 'D' or 'A', with their bytes), a failing disk.
    bool openSucceeds = true;
    std::string opened;
    std::optional<WaveFormat> openedAudio;
    std::vector<std::pair<char, std::size_t>> events;
    int writesBeforeFailure = -1;  // negative: never fails
    FileError failure = FileError::DiskFull;
    int closes = 0;
};

TEST_F(RecordingSessionTest, TimeLimitEndsWithTheFramesItCovers) {
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    // 3 s of 66.667 ms frames: 45 slots, no sound.
    EXPECT_EQ(opened, "C:\\録画\\kv0001.avi 32x24 66667");
    EXPECT_FALSE(openedAudio.has_value());
    EXPECT_EQ(events, (std::vector<std::pair<char, std::size_t>>(45, {'V', DibImageSize(32, 24)})));
    EXPECT_EQ(closes, 1);
    // The recording waits out the last frame's time before it ends.
    EXPECT_EQ(now, start + 45ull * 66667);
    EXPECT_EQ(counters, (RecordingCounters{45, 0, 3000, 0, false}));
    EXPECT_EQ(shown, 45);
    ExpectNothingLate();
    // The limit is the whole number of frames nearest to it.
    for (auto [period, slots] :
         {std::pair{66666u, 45u}, {33367u, 90u}, {10000000u, 1u}, {2400000u, 1u}, {1800000u, 2u}}) {
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
    EXPECT_EQ(std::pair(counters.frames, counters.dropped), std::pair(45u, 3u));
    ASSERT_EQ(rendered.size(), 42u);
    EXPECT_EQ(std::get<0>(rendered[11]), 14u);
    EXPECT_EQ(shown, 42);
    ExpectNothingLate();
    EXPECT_EQ(texts, (Texts{{kTestPatternStatusCaptureStart, "ｷｬﾌﾟﾁｬを開始しました: C:\\録画\\kv0001.avi"},
                            {kTestPatternStatusCaptureEnd, "ｷｬﾌﾟﾁｬ終了: 45 ﾌﾚｰﾑ (ﾄﾞﾛｯﾌﾟ 3) 3.001 秒"}}));

    // A stall past the end of the limit: the rest of the limit is dropped
    // frames and the recording ends at once.
    lateness = 0;
    onWait = [this] { now += waits == 5 ? 60000000 : 0; };
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    EXPECT_EQ(Slots(), std::string(5, 'V') + std::string(40, 'D'));
    EXPECT_EQ(std::pair(counters.frames, counters.dropped), std::pair(45u, 40u));
    EXPECT_GE(counters.elapsedMs, 60000u);
}

TEST_F(RecordingSessionTest, SoundStaysInStepWithThePicturesAcrossDrops) {
    request.params.dwRequestMicroSecPerFrame = 33367;  // 29.97 frames per second
    request.params.wTimeLimit = 10;
    request.audio = Pcm(2, 44100, 16);
    onWait = [this] { now += waits % 50 == 7 ? 33367ull * 3 + 5000 : 0; };  // a few drops now and then
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    EXPECT_EQ(openedAudio, Pcm(2, 44100, 16));

    // Each slot, dropped or not, is followed by the sound that makes the
    // track cover exactly the slots so far: 1471.5 samples a slot, in chunks
    // of 1471 and 1472, so nothing piles up.
    std::uint64_t slots = 0, audioBytes = 0;
    for (std::size_t i = 0; i < events.size(); i += 2, ++slots) {
        SCOPED_TRACE(slots);
        EXPECT_NE(events[i].first, 'A');
        ASSERT_LT(i + 1, events.size());
        ASSERT_EQ(events[i + 1].first, 'A');
        audioBytes += events[i + 1].second;
        EXPECT_EQ(audioBytes, SamplesForDuration((slots + 1) * 33367, 44100) * 4);
        EXPECT_TRUE(events[i + 1].second == 1471u * 4 || events[i + 1].second == 1472u * 4);
    }
    EXPECT_EQ(slots, 300u);  // ceil(10 s / 33.367 ms)
    EXPECT_GT(counters.dropped, 10u);
    EXPECT_EQ(counters.waveSamples, SamplesForDuration(300ull * 33367, 44100));
}

TEST_F(RecordingSessionTest, WithoutATimeLimitTheCaptureControlCallbackEndsIt) {
    // A limit of 0 seconds is none either.
    request.params.wTimeLimit = 0;
    control = [&](std::uint32_t) { return states.size() < 100; };
    EXPECT_EQ(Run(), RecordingEnd::CapControl);
    EXPECT_EQ(counters.frames, 99u);
    request.params.fLimitEnabled = 0;
    request.params.wTimeLimit = 3;
    std::vector<RecordingCounters> seen;
    control = [&](std::uint32_t state) {
        seen.push_back(counters);
        return state != kCaptureStateCapturing || seen.size() <= 5;
    };
    lateness = 250;
    EXPECT_EQ(Run(), RecordingEnd::CapControl);
    EXPECT_EQ(states, (std::vector<std::uint32_t>{kCaptureStatePreroll, 2, 2, 2, 2, 2}));
    EXPECT_EQ(Slots(), "VVVVV");
    EXPECT_EQ(closes, 1);
    // What CAPSTATUS would show inside the callback: running, the frames so
    // far and the time since the first frame.
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_FALSE(seen[0].running);
    for (std::uint32_t i = 1; i < 6; ++i) {
        EXPECT_EQ(seen[i], (RecordingCounters{i, 0, ((i - 1) * 66667 + 250) / 1000, 0, true})) << i;
    }
    EXPECT_EQ(std::pair(counters.frames, counters.running), std::pair(5u, false));
}

TEST_F(RecordingSessionTest, DeclinedBeforeTheStartLeavesEverythingAsItWas) {
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    EXPECT_EQ(confirmations, 0);  // not asked for
    // The user says no, or the capture-control callback refuses to start
    // (asked only after the user's yes): no file, no texts, the last
    // recording's figures stay.
    request.params.fMakeUserHitOKToCapture = 1;
    for (const bool userSaysYes : {false, true}) {
        confirm = userSaysYes;
        control = [](std::uint32_t) { return false; };
        EXPECT_EQ(Run(), RecordingEnd::Declined);
        EXPECT_EQ(confirmations, 1);
        EXPECT_EQ(states.size(), userSaysYes ? 1u : 0u);  // the preroll callback comes after the yes
        EXPECT_EQ(opened, "");
        EXPECT_TRUE(texts.empty());
        EXPECT_EQ(counters.frames, 45u);
    }
}

TEST_F(RecordingSessionTest, UserInputEndsTheRecordingOnlyWhenItMayAndOnlyOnceStarted) {
    request.params.fLimitEnabled = 0;
    request.params.fAbortRightMouse = 1;
    // Input waiting before the start (the click that started the recording).
    input.rightClick = true;
    input.keys = {kShiftEscape};
    onWait = [this] {
        if (waits == 3) input.leftClick = true;      // not allowed
        if (waits == 4) input.keys = {kEscape, 'S'};  // not the abort key
        if (waits == 6) input.keys = {kShiftEscape};
    };
    EXPECT_EQ(Run(), RecordingEnd::UserAbort);
    EXPECT_EQ(counters.frames, 6u);
    EXPECT_EQ(closes, 1);

    onWait = [this] { input.rightClick = waits == 2; };
    EXPECT_EQ(Run(), RecordingEnd::UserAbort);
    EXPECT_EQ(counters.frames, 2u);

    onWait = [this] { input.windowGone = waits == 9; };
    EXPECT_EQ(Run(), RecordingEnd::WindowGone);
    EXPECT_EQ(counters.frames, 9u);
    EXPECT_TRUE(RecordingMade(RecordingEnd::WindowGone));
}

TEST_F(RecordingSessionTest, FileErrorsAreReportedAndTheFileIsFinished) {
    openSucceeds = false;
    EXPECT_EQ(Run(), RecordingEnd::CreateFailed);
    EXPECT_FALSE(RecordingMade(RecordingEnd::CreateFailed));
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(states, std::vector<std::uint32_t>{kCaptureStatePreroll});
    EXPECT_EQ(counters, RecordingCounters{});
    EXPECT_EQ(texts, (Texts{{kTestPatternStatusCreateFailed, "ｷｬﾌﾟﾁｬﾌｧｲﾙを作成できません: C:\\録画\\kv0001.avi"}}));
    EXPECT_EQ(errors, (Texts{{kTestPatternStatusCreateFailed, "ｷｬﾌﾟﾁｬﾌｧｲﾙを作成できません\nC:\\録画\\kv0001.avi"}}));

    // The disk fills up during the 8th slot's sound: the recording ends, the
    // file is finished with what it holds and the user is told.
    openSucceeds = true;
    request.audio = Pcm(1, 11025, 8);
    writesBeforeFailure = 15;
    EXPECT_EQ(Run(), RecordingEnd::DiskFull);
    EXPECT_TRUE(RecordingMade(RecordingEnd::DiskFull));
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(std::pair(counters.frames, counters.running), std::pair(8u, false));
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2].first, kTestPatternStatusDiskFull);
    EXPECT_EQ(errors, (Texts{{kTestPatternStatusDiskFull,
                              "ﾃﾞｨｽｸがいっぱいになったため録画を終了しました\nC:\\録画\\kv0001.avi"}}));

    // Another write error, here on a dropped frame.
    writesBeforeFailure = 2;
    failure = FileError::Other;
    onWait = [this] { now += 200000; };
    EXPECT_EQ(Run(), RecordingEnd::WriteFailed);
    EXPECT_EQ(events.back().first, 'A');
    EXPECT_EQ(errors.at(0).first, kTestPatternStatusWriteFailed);
}

TEST_F(RecordingSessionTest, ARecordingEndsWhileTheDiskStillHasRoomToFinishIt) {
    // 2312 bytes a frame at 15 per second: the next two seconds and the
    // margin need about 4.3 MB. The disk loses 300 kB at every wake-up.
    request.params.fLimitEnabled = 0;
    volumeFree = 10000000;
    onWait = [this] { *volumeFree -= std::min<std::uint64_t>(*volumeFree, 300000); };
    EXPECT_EQ(Run(), RecordingEnd::LowDisk);
    EXPECT_TRUE(RecordingMade(RecordingEnd::LowDisk));
    EXPECT_EQ(closes, 1);
    EXPECT_LT(*volumeFree, 4400000u);
    EXPECT_GT(*volumeFree, 4400000u - 5 * 300000u);  // noticed within a quarter second
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors.at(0).first, kTestPatternStatusLowDisk);
    // Too little room from the start: nothing is recorded, the file is still finished.
    volumeFree = 1000;
    EXPECT_EQ(Run(), RecordingEnd::LowDisk);
    EXPECT_EQ(std::pair(counters.frames, closes), std::pair(0u, 1));
}

TEST_F(RecordingSessionTest, SoundNeverRunsPastThePicturesTime) {
    // One frame in ten seconds, ended after 2.5 s: 2.5 s of sound, not the
    // slot's ten (a 1e-30 frames-per-second setting ends up here).
    request.params.fLimitEnabled = 0;
    request.params.dwRequestMicroSecPerFrame = 10000000;
    request.audio = Pcm(1, 8000, 8);
    onWait = [this] {
        now = start + 2500000;
        input.keys = {kShiftEscape};
    };
    EXPECT_EQ(Run(), RecordingEnd::UserAbort);
    EXPECT_EQ(Slots(), "V");
    EXPECT_EQ(counters.waveSamples, 20000u);
}

}  // namespace
}  // namespace kestrova
