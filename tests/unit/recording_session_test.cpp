#include "capture/test_pattern/recording_session.h"
#include "capture/test_pattern/tone.h"
#include "platform/cp932.h"

#include "pcm_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace kestrova {
namespace {

constexpr std::uint32_t kEscape = 0x1B;
constexpr std::uint32_t kShiftEscape = kAbortKeyShift | kEscape;

using testing::Pcm;

// ---------------------------------------------------------------------------
// The tone and the sample arithmetic

TEST(RecordingTone, SampleTotalsAreExactForAnyLength) {
    EXPECT_EQ(SamplesForDuration(0, 44100), 0u);
    EXPECT_EQ(SamplesForDuration(1000000, 11025), 11025u);
    EXPECT_EQ(SamplesForDuration(22, 44100), 0u);   // 0.97 of a sample
    EXPECT_EQ(SamplesForDuration(23, 44100), 1u);   // 1.01
    EXPECT_EQ(SamplesForDuration(33367, 48000), 1601u);  // 1601.6
    // A day at 29.97 frames per second, slot by slot, lands on the same
    // total as the whole day at once, and that total is the exact floor.
    const std::uint64_t frames = 24ull * 3600 * 30;
    EXPECT_EQ(SamplesForDuration(frames * 33367, 96000), frames * 33367 * 96000 / 1000000);
    // Far beyond what a 64-bit product of time and rate could hold.
    const std::uint64_t huge = (1ull << 40) * 1000000 + 999999;
    EXPECT_EQ(SamplesForDuration(huge, 96000), (1ull << 40) * 96000 + 95999);
}

TEST(RecordingTone, SamplesInEachFormat) {
    // 8000 Hz: a 1 kHz period is 8 samples; the peaks are at 2 and 6.
    std::vector<std::uint8_t> eight;
    AppendTone(Pcm(1, 8000, 8), 0, 8, eight);
    EXPECT_EQ(eight, (std::vector<std::uint8_t>{128, 173, 192, 173, 128, 83, 64, 83}));

    std::vector<std::uint8_t> sixteen;
    AppendTone(Pcm(2, 8000, 16), 2, 1, sixteen);  // +16384 in both channels, little-endian
    EXPECT_EQ(sixteen, (std::vector<std::uint8_t>{0x00, 0x40, 0x00, 0x40}));
    sixteen.clear();
    AppendTone(Pcm(1, 8000, 16), 6, 1, sixteen);  // -16384
    EXPECT_EQ(sixteen, (std::vector<std::uint8_t>{0x00, 0xC0}));

    // Appends whole blocks; nothing for an unknown depth.
    std::vector<std::uint8_t> out{9};
    AppendTone(Pcm(2, 22050, 8), 12345, 1000, out);
    EXPECT_EQ(out.size(), 2001u);
    EXPECT_EQ(out[0], 9);
    AppendTone(Pcm(1, 44100, 24), 0, 10, out);
    EXPECT_EQ(out.size(), 2001u);
}

TEST(RecordingTone, PiecesJoinWithoutAClick) {
    const WaveFormat f = Pcm(2, 44100, 16);
    std::vector<std::uint8_t> whole;
    AppendTone(f, 0, 1000, whole);
    std::vector<std::uint8_t> pieces;
    for (std::uint32_t at = 0; at < 1000;) {
        const std::uint32_t length = std::min<std::uint32_t>(1 + at % 37, 1000 - at);
        AppendTone(f, at, length, pieces);
        at += length;
    }
    EXPECT_EQ(pieces, whole);
    // Hours into a recording the tone is still the same 1 kHz sine.
    std::vector<std::uint8_t> late;
    AppendTone(f, 44100ull * 3600 * 1000, 1000, late);
    EXPECT_EQ(late, whole);
}

// ---------------------------------------------------------------------------
// Abort keys

TEST(RecordingAbort, KeysNeedTheirModifiers) {
    EXPECT_TRUE(AbortKeyMatches(kEscape, kEscape));
    EXPECT_TRUE(AbortKeyMatches(kEscape, kShiftEscape));  // extra modifiers do not matter
    EXPECT_TRUE(AbortKeyMatches(kShiftEscape, kShiftEscape));
    EXPECT_TRUE(AbortKeyMatches(kShiftEscape, kShiftEscape | kAbortKeyControl));
    EXPECT_FALSE(AbortKeyMatches(kShiftEscape, kEscape));
    EXPECT_FALSE(AbortKeyMatches(kShiftEscape, kAbortKeyControl | kEscape));
    EXPECT_FALSE(AbortKeyMatches(kShiftEscape, kAbortKeyShift | 0x1C));
    EXPECT_FALSE(AbortKeyMatches(kAbortKeyControl | 'Q', 'Q'));
    EXPECT_TRUE(AbortKeyMatches(kAbortKeyControl | 'Q', kAbortKeyControl | 'Q'));
    // No abort key: nothing matches, not even a key code of 0 with modifiers.
    EXPECT_FALSE(AbortKeyMatches(0, 0));
    EXPECT_FALSE(AbortKeyMatches(kAbortKeyShift, kAbortKeyShift));
}

// ---------------------------------------------------------------------------
// The session against a fake clock

struct SinkEvent {
    char kind;  // 'V' frame, 'D' dropped frame, 'A' sound
    std::size_t bytes;
};

class FakeSink final : public RecordingSink {
public:
    bool Open(const std::string& path, const AviVideoFormat& video, const std::optional<WaveFormat>& audio) override {
        ++opens;
        openedPath = path;
        openedVideo = video;
        openedAudio = audio;
        return openSucceeds;
    }
    bool WriteVideoFrame(std::span<const std::uint8_t> dib) override { return Add('V', dib.size()); }
    bool WriteDroppedFrame() override { return Add('D', 0); }
    bool WriteAudio(std::span<const std::uint8_t> pcm) override { return Add('A', pcm.size()); }
    bool Close() override {
        ++closes;
        return true;
    }

    std::string Kinds(char kind) const {
        std::string out;
        for (const SinkEvent& e : events)
            if (e.kind == kind || (kind == 'F' && e.kind != 'A')) out += e.kind;
        return out;
    }

    bool openSucceeds = true;
    int writesBeforeFailure = -1;  // -1: never fails
    int opens = 0;
    int closes = 0;
    std::string openedPath;
    AviVideoFormat openedVideo;
    std::optional<WaveFormat> openedAudio;
    std::vector<SinkEvent> events;

private:
    bool Add(char kind, std::size_t bytes) {
        if (writesBeforeFailure == 0) return false;
        if (writesBeforeFailure > 0) --writesBeforeFailure;
        events.push_back({kind, bytes});
        return true;
    }
};

class FakeHost final : public RecordingHost {
public:
    bool ConfirmStart() override {
        ++confirmations;
        return confirm;
    }
    std::uint64_t Now() override { return now; }
    void WaitUntil(std::uint64_t due) override {
        ++waits;
        if (due > now) now = due;
        now += lateness;
        if (onWait) onWait(*this);
    }
    RecordingInput TakeInput() override { return std::exchange(input, RecordingInput{}); }
    bool CapControl(std::uint32_t state) override {
        states.push_back(state);
        return control ? control(state) : true;
    }
    void Status(int id, std::string_view text) override { texts.emplace_back(id, std::string(text)); }
    void ShowFrame(const DibFrame& frame) override { shown.push_back(frame.width); }

    std::uint64_t now = 7000000;  // the clock does not start at 0
    std::uint64_t lateness = 0;   // how late each wait wakes up
    bool confirm = true;
    int confirmations = 0;
    int waits = 0;
    std::function<void(FakeHost&)> onWait;
    std::function<bool(std::uint32_t)> control;
    RecordingInput input;
    std::vector<std::uint32_t> states;
    std::vector<std::pair<int, std::string>> texts;
    std::vector<int> shown;
};

struct Rendered {
    std::uint32_t frame;
    std::uint32_t milliseconds;
    std::uint64_t time;
};

class RecordingSessionTest : public ::testing::Test {
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

    RecordingEnd Run() {
        RecordingSession session(host, sink, [this](std::uint32_t n, std::uint32_t ms, DibFrame& frame) {
            rendered.push_back({n, ms, host.now});
            return RenderPattern(PatternRequest{PatternKind::ColourBars, request.width, request.height, n, ms}, frame);
        }, counters);
        return session.Run(request);
    }

    // Every picture went into its own slot: frame n rendered and written
    // before slot n + 1 began.
    void ExpectNothingLate(std::uint64_t start) const {
        const std::uint64_t period = request.params.dwRequestMicroSecPerFrame;
        for (const Rendered& r : rendered) {
            EXPECT_LT(r.time, start + (r.frame + 1ull) * period) << "frame " << r.frame;
            EXPECT_EQ(r.milliseconds, static_cast<std::uint32_t>(r.frame * period / 1000)) << "frame " << r.frame;
        }
    }

    FakeHost host;
    FakeSink sink;
    RecordingCounters counters;
    RecordingRequest request;
    std::vector<Rendered> rendered;
};

TEST_F(RecordingSessionTest, TimeLimitEndsWithTheFramesItCovers) {
    const std::uint64_t start = host.now;
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    // 3 s of 66.667 ms frames: 45 slots.
    EXPECT_EQ(sink.Kinds('F'), std::string(45, 'V'));
    EXPECT_EQ(sink.opens, 1);
    EXPECT_EQ(sink.closes, 1);
    EXPECT_EQ(sink.openedPath, request.path);
    EXPECT_EQ(sink.openedVideo.width, 32);
    EXPECT_EQ(sink.openedVideo.height, 24);
    EXPECT_EQ(sink.openedVideo.microSecPerFrame, 66667u);
    EXPECT_FALSE(sink.openedAudio.has_value());
    EXPECT_TRUE(sink.Kinds('A').empty());
    for (const SinkEvent& e : sink.events) EXPECT_EQ(e.bytes, DibImageSize(32, 24));
    // The recording waits out the last frame's time before it ends.
    EXPECT_EQ(host.now, start + 45ull * 66667);
    EXPECT_EQ(counters, (RecordingCounters{45, 0, 3000, 0, false}));
    EXPECT_EQ(host.shown.size(), 45u);
    ExpectNothingLate(start);
    // The limit is the whole number of frames nearest to it.
    for (auto [period, slots] : {std::pair{66666u, 45u}, std::pair{33367u, 90u}, std::pair{10000000u, 1u},
                                 std::pair{2400000u, 1u}, std::pair{1800000u, 2u}}) {
        request.params.dwRequestMicroSecPerFrame = period;
        EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
        EXPECT_EQ(counters.frames, slots) << period;
    }
    request.params.dwRequestMicroSecPerFrame = 66667;
    // No time limit: a limit of 0 seconds, or the flag off, runs on (here
    // until the capture-control callback ends it).
    for (auto [enabled, seconds] : {std::pair{1, 0u}, std::pair{0, 3u}}) {
        request.params.fLimitEnabled = enabled;
        request.params.wTimeLimit = seconds;
        host.control = [&](std::uint32_t) { return host.states.size() < 100; };
        host.states.clear();
        EXPECT_EQ(Run(), RecordingEnd::CapControl);
        EXPECT_EQ(counters.frames, 99u);
    }
}

TEST_F(RecordingSessionTest, LateWakeUpsDropTheFramesWhoseTimePassed) {
    const std::uint64_t start = host.now;
    host.lateness = 1000;  // every wake-up 1 ms late: still in time
    host.onWait = [](FakeHost& h) {
        // After frame 10 the machine stalls for 3.5 frame periods, after
        // frame 20 for just under one (the slot is still reached in time).
        if (h.waits == 11) h.now += 66667ull * 7 / 2;
        if (h.waits == 21) h.now += 66667 - 1001;
    };
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    // Slot 11 was due at the stall's start; when the loop woke, slot 14's
    // time had come: 11, 12 and 13 are dropped, 14 is recorded as itself.
    const std::string expected = std::string(11, 'V') + "DDD" + std::string(31, 'V');
    EXPECT_EQ(sink.Kinds('F'), expected);
    EXPECT_EQ(counters.frames, 45u);
    EXPECT_EQ(counters.dropped, 3u);
    EXPECT_EQ(rendered.size(), 42u);
    EXPECT_EQ(rendered[11].frame, 14u);
    EXPECT_EQ(host.shown.size(), 42u);
    ExpectNothingLate(start);
    ASSERT_EQ(host.texts.size(), 2u);
    EXPECT_EQ(host.texts[0], (std::pair<int, std::string>{kTestPatternStatusCaptureStart,
                                                          "ｷｬﾌﾟﾁｬを開始しました: C:\\録画\\kv0001.avi"}));
    EXPECT_EQ(host.texts[1],
              (std::pair<int, std::string>{kTestPatternStatusCaptureEnd, "ｷｬﾌﾟﾁｬ終了: 45 ﾌﾚｰﾑ (ﾄﾞﾛｯﾌﾟ 3) 3.001 秒"}));
    for (const auto& [id, text] : host.texts) EXPECT_EQ(Cp932ToUtf8(Utf8ToCp932(text)), text);

    // A stall past the end of the limit: the rest of the limit is dropped
    // frames and the recording ends at once.
    rendered.clear();
    sink.events.clear();
    host.waits = 0;
    host.lateness = 0;
    host.onWait = [](FakeHost& h) {
        if (h.waits == 5) h.now += 60000000;
    };
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    EXPECT_EQ(sink.Kinds('F'), std::string(5, 'V') + std::string(40, 'D'));
    EXPECT_EQ(counters.frames, 45u);
    EXPECT_EQ(counters.dropped, 40u);
    EXPECT_GE(counters.elapsedMs, 60000u);
}

TEST_F(RecordingSessionTest, SoundStaysInStepWithThePicturesAcrossDrops) {
    request.params.dwRequestMicroSecPerFrame = 33367;  // 29.97 frames per second
    request.params.wTimeLimit = 10;
    request.audio = Pcm(2, 44100, 16);
    host.onWait = [](FakeHost& h) {
        if (h.waits % 50 == 7) h.now += 33367ull * 3 + 5000;  // a few drops now and then
    };
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    ASSERT_TRUE(sink.openedAudio.has_value());
    EXPECT_EQ(*sink.openedAudio, Pcm(2, 44100, 16));

    // After every slot, dropped or not, the sound covers exactly the slots so far.
    std::uint64_t slots = 0;
    std::uint64_t audioBytes = 0;
    std::size_t smallest = SIZE_MAX;
    std::size_t largest = 0;
    for (std::size_t i = 0; i < sink.events.size(); ++i) {
        const SinkEvent& e = sink.events[i];
        if (e.kind == 'A') {
            audioBytes += e.bytes;
            smallest = std::min(smallest, e.bytes);
            largest = std::max(largest, e.bytes);
            continue;
        }
        ++slots;
        ASSERT_LT(i + 1, sink.events.size());
        EXPECT_EQ(sink.events[i + 1].kind, 'A') << "slot " << slots;
        EXPECT_EQ(audioBytes, SamplesForDuration((slots - 1) * 33367, 44100) * 4) << "slot " << slots;
    }
    EXPECT_EQ(slots, 300u);  // ceil(10 s / 33.367 ms)
    EXPECT_GT(counters.dropped, 10u);
    EXPECT_EQ(audioBytes, SamplesForDuration(300ull * 33367, 44100) * 4);
    EXPECT_EQ(counters.waveSamples, SamplesForDuration(300ull * 33367, 44100));
    // 1471.5 samples a frame: chunks of 1471 and 1472, nothing piles up.
    EXPECT_EQ(smallest, 1471u * 4);
    EXPECT_EQ(largest, 1472u * 4);
}

TEST_F(RecordingSessionTest, CaptureControlBeforeTheStartAndAtEveryFrame) {
    request.params.fLimitEnabled = 0;
    std::vector<RecordingCounters> seen;
    host.control = [&](std::uint32_t state) {
        seen.push_back(counters);
        return state != kCaptureStateCapturing || seen.size() <= 5;
    };
    host.lateness = 250;
    EXPECT_EQ(Run(), RecordingEnd::CapControl);
    EXPECT_EQ(host.states, (std::vector<std::uint32_t>{kCaptureStatePreroll, 2, 2, 2, 2, 2}));
    EXPECT_EQ(sink.Kinds('F'), "VVVVV");
    EXPECT_EQ(sink.closes, 1);
    // What CAPSTATUS would show inside the callback: running, the frames so
    // far and the time since the first frame.
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_FALSE(seen[0].running);
    for (std::uint32_t i = 1; i < 6; ++i) {
        EXPECT_TRUE(seen[i].running);
        EXPECT_EQ(seen[i].frames, i);
        EXPECT_EQ(seen[i].elapsedMs, ((i - 1) * 66667 + 250) / 1000);
    }
    EXPECT_FALSE(counters.running);
    EXPECT_EQ(counters.frames, 5u);

    // Refused before the start: no file, no texts, the old counters stay.
    sink.opens = 0;
    host.texts.clear();
    host.control = [](std::uint32_t) { return false; };
    EXPECT_EQ(Run(), RecordingEnd::Declined);
    EXPECT_EQ(sink.opens, 0);
    EXPECT_TRUE(host.texts.empty());
    EXPECT_EQ(counters.frames, 5u);
}

TEST_F(RecordingSessionTest, ConfirmationComesFirst) {
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    EXPECT_EQ(host.confirmations, 0);

    request.params.fMakeUserHitOKToCapture = 1;
    host.confirm = false;
    host.states.clear();
    host.texts.clear();
    sink.opens = 0;
    EXPECT_EQ(Run(), RecordingEnd::Declined);
    EXPECT_EQ(host.confirmations, 1);
    EXPECT_TRUE(host.states.empty());
    EXPECT_TRUE(host.texts.empty());
    EXPECT_EQ(sink.opens, 0);
    EXPECT_EQ(counters.frames, 45u);  // the last recording's figures stay

    host.confirm = true;
    EXPECT_EQ(Run(), RecordingEnd::TimeLimit);
    EXPECT_EQ(host.confirmations, 2);
    EXPECT_EQ(sink.opens, 1);
}

TEST_F(RecordingSessionTest, UserInputEndsTheRecordingOnlyWhenItMayAndOnlyOnceStarted) {
    request.params.fLimitEnabled = 0;
    request.params.fAbortRightMouse = 1;
    // Input waiting before the start (the click that started the recording).
    host.input.rightClick = true;
    host.input.keys = {kShiftEscape};
    host.onWait = [](FakeHost& h) {
        if (h.waits == 3) h.input.leftClick = true;         // not allowed
        if (h.waits == 4) h.input.keys = {kEscape, 'S'};     // not the abort key
        if (h.waits == 6) h.input.keys = {kShiftEscape};
    };
    EXPECT_EQ(Run(), RecordingEnd::UserAbort);
    EXPECT_EQ(counters.frames, 6u);
    EXPECT_EQ(sink.closes, 1);

    host.waits = 0;
    host.onWait = [](FakeHost& h) {
        if (h.waits == 2) h.input.rightClick = true;
    };
    EXPECT_EQ(Run(), RecordingEnd::UserAbort);
    EXPECT_EQ(counters.frames, 2u);

    host.waits = 0;
    host.onWait = [](FakeHost& h) {
        if (h.waits == 9) h.input.windowGone = true;
    };
    EXPECT_EQ(Run(), RecordingEnd::WindowGone);
    EXPECT_EQ(counters.frames, 9u);
    EXPECT_TRUE(RecordingMade(RecordingEnd::WindowGone));
}

TEST_F(RecordingSessionTest, FileErrorsAreReportedAndEndTheRecording) {
    sink.openSucceeds = false;
    EXPECT_EQ(Run(), RecordingEnd::CreateFailed);
    EXPECT_FALSE(RecordingMade(RecordingEnd::CreateFailed));
    EXPECT_EQ(sink.closes, 0);
    EXPECT_EQ(host.states, std::vector<std::uint32_t>{kCaptureStatePreroll});
    EXPECT_EQ(counters, RecordingCounters{});
    EXPECT_EQ(host.texts, (std::vector<std::pair<int, std::string>>{
                              {kTestPatternStatusCreateFailed, "ｷｬﾌﾟﾁｬﾌｧｲﾙを作成できません: C:\\録画\\kv0001.avi"}}));

    // The disk fills up during the 8th slot's sound.
    sink.openSucceeds = true;
    request.audio = Pcm(1, 11025, 8);
    sink.writesBeforeFailure = 15;
    host.texts.clear();
    EXPECT_EQ(Run(), RecordingEnd::WriteFailed);
    EXPECT_FALSE(RecordingMade(RecordingEnd::WriteFailed));
    EXPECT_EQ(sink.closes, 1);
    EXPECT_EQ(counters.frames, 8u);
    EXPECT_FALSE(counters.running);
    ASSERT_EQ(host.texts.size(), 3u);
    EXPECT_EQ(host.texts[2].first, kTestPatternStatusWriteFailed);

    // A failed dropped frame is a write error too.
    sink.writesBeforeFailure = 2;
    host.waits = 0;
    host.onWait = [](FakeHost& h) { h.now += 200000; };
    EXPECT_EQ(Run(), RecordingEnd::WriteFailed);
    EXPECT_EQ(sink.events.back().kind, 'A');
}

// The real writer takes what a session gives it: the file's main header
// counts every slot, dropped ones included, at the requested period.
TEST_F(RecordingSessionTest, MakesAnAviFileThroughTheWriter) {
    const std::string path = ::testing::TempDir() + "kestrova_recording_session.avi";
    request.path = path;
    request.params.wTimeLimit = 2;
    request.audio = Pcm(1, 11025, 8);
    host.onWait = [](FakeHost& h) {
        if (h.waits == 4) h.now += 66667ull * 2;
    };
    AviRecordingSink avi;
    RecordingSession real(host, avi, [this](std::uint32_t n, std::uint32_t ms, DibFrame& frame) {
        return RenderPattern(PatternRequest{PatternKind::MovingGradient, request.width, request.height, n, ms}, frame);
    }, counters);
    ASSERT_EQ(real.Run(request), RecordingEnd::TimeLimit);
    EXPECT_EQ(counters.frames, 30u);
    EXPECT_EQ(counters.dropped, 2u);

    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    EXPECT_EQ(RecordedAviBytes(path), file.size());
    std::remove(path.c_str());
    ASSERT_GT(file.size(), 64u);
    auto at32 = [&](std::size_t offset) {
        return static_cast<std::uint32_t>(file[offset] | file[offset + 1] << 8 | file[offset + 2] << 16 |
                                          static_cast<std::uint32_t>(file[offset + 3]) << 24);
    };
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 12), "AVI ");
    EXPECT_EQ(std::string(file.begin() + 24, file.begin() + 28), "avih");
    EXPECT_EQ(at32(32), 66667u);  // dwMicroSecPerFrame
    EXPECT_EQ(at32(48), 30u);     // dwTotalFrames
    EXPECT_EQ(at32(56), 2u);      // dwStreams: pictures and sound
}

}  // namespace
}  // namespace kestrova
