#include "capture/pattern_device/win32/pattern_recording.h"

#include "capture/pattern_device/recording_session.h"
#include "platform/win32_text.h"
#include "store/string_table.h"

#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>

namespace kestrova {

namespace {

// The abort rule's numbers are the system's.
static_assert(input_codes::kKeyDown == WM_KEYDOWN && input_codes::kKeyUp == WM_KEYUP &&
              input_codes::kSysKeyDown == WM_SYSKEYDOWN && input_codes::kSysKeyUp == WM_SYSKEYUP);
static_assert(input_codes::kLeftButtonDown == WM_LBUTTONDOWN &&
              input_codes::kLeftButtonDoubleClick == WM_LBUTTONDBLCLK &&
              input_codes::kRightButtonDown == WM_RBUTTONDOWN &&
              input_codes::kRightButtonDoubleClick == WM_RBUTTONDBLCLK &&
              input_codes::kNonClientLeftButtonDown == WM_NCLBUTTONDOWN &&
              input_codes::kNonClientLeftButtonDoubleClick == WM_NCLBUTTONDBLCLK &&
              input_codes::kNonClientRightButtonDown == WM_NCRBUTTONDOWN &&
              input_codes::kNonClientRightButtonDoubleClick == WM_NCRBUTTONDBLCLK);
static_assert(input_codes::kShift == VK_SHIFT && input_codes::kControl == VK_CONTROL &&
              input_codes::kLeftShift == VK_LSHIFT && input_codes::kRightShift == VK_RSHIFT &&
              input_codes::kLeftControl == VK_LCONTROL && input_codes::kRightControl == VK_RCONTROL);

// The recording's link to the system. While it waits for the next frame it
// keeps the windows painted and nothing else: timer and posted messages stay
// in the queue and run once the recording has returned; keyboard and mouse
// messages are taken out of the queue only to look for the abort key and
// clicks, and are never dispatched.
class Win32RecordingHost final : public RecordingHost {
public:
    Win32RecordingHost(HWND window, CaptureWindowState& state) : window_(window), state_(state) {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        frequency_ = frequency.QuadPart > 0 ? static_cast<std::uint64_t>(frequency.QuadPart) : 1;
        // Waits wake within a millisecond rather than a scheduler tick.
        // KESTROVA_DISK_WATCH=0 lets a recording run into a full disk (the
        // tests of what happens then).
        std::array<wchar_t, 4> watch{};
        const DWORD length = GetEnvironmentVariableW(L"KESTROVA_DISK_WATCH", watch.data(), 4);
        watchDisk_ = !(length == 1 && watch[0] == L'0');
        TIMECAPS caps{};
        if (timeGetDevCaps(&caps, sizeof caps) == MMSYSERR_NOERROR) {
            timerPeriod_ = std::max<UINT>(caps.wPeriodMin, 1);
            if (timeBeginPeriod(timerPeriod_) != TIMERR_NOERROR) timerPeriod_ = 0;
        }
    }
    ~Win32RecordingHost() override {
        if (timerPeriod_ != 0) timeEndPeriod(timerPeriod_);
    }
    Win32RecordingHost(const Win32RecordingHost&) = delete;
    Win32RecordingHost& operator=(const Win32RecordingHost&) = delete;

    bool ConfirmStart() override {
        const std::wstring text = Widen(LoadText(strings::kPatternConfirmStart));
        const std::wstring caption = Widen(LoadText(strings::kPatternConfirmCaption));
        return MessageBoxW(GetAncestor(window_, GA_ROOT), text.c_str(), caption.c_str(),
                           MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
    }

    std::uint64_t Now() override {
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
        return ticks / frequency_ * 1000000 + ticks % frequency_ * 1000000 / frequency_;
    }

    void WaitUntil(std::uint64_t due) override {
        for (;;) {
            Pump();
            if (input_.Arrived() || state_.destroyed) return;
            const std::uint64_t now = Now();
            if (now >= due) return;
            const auto milliseconds = static_cast<DWORD>(std::min<std::uint64_t>((due - now + 999) / 1000, 1000));
            // Wakes for input, painting and messages sent from other threads;
            // timers and posted messages do not count.
            MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_INPUT | QS_PAINT | QS_SENDMESSAGE);
        }
    }

    RecordingInput TakeInput() override {
        Pump();
        RecordingInput taken = input_.Take();
        taken.windowGone = state_.destroyed || !::IsWindow(window_);
        return taken;
    }

    bool CapControl(std::uint32_t state) override {
        // A copy: the callback may replace itself.
        const CapControlCallbackFn callback = state_.capControl;
        return !callback || callback(state);
    }

    void Status(int id, std::string_view text) override { state_.model.Report(id, text); }

    void Error(int id, std::string_view text) override {
        const ErrorCallbackFn callback = state_.error;  // a copy: it may replace itself
        if (callback) callback(id, text);
    }

    std::optional<std::uint64_t> FreeBytes(const std::string& path) override {
        if (!watchDisk_) return std::nullopt;
        const std::size_t cut = path.find_last_of("\\/");
        const std::wstring directory = Widen(cut == std::string::npos ? std::string(".") : path.substr(0, cut + 1));
        ULARGE_INTEGER available{};
        if (!GetDiskFreeSpaceExW(directory.c_str(), &available, nullptr, nullptr)) return std::nullopt;
        return available.QuadPart;
    }

    void ShowFrame(DibFrame& frame) override {
        if (state_.destroyed || !IsWindowVisible(window_)) return;
        std::swap(state_.frame, frame);  // no copy of the pixels
        InvalidateRect(window_, nullptr, FALSE);
    }

private:
    static constexpr int kMaxPaintsPerPump = 32;

    // One look at the queue tells what is there; only that is taken out.
    // Every PeekMessage is a round trip to the system (under Wine, to its
    // server and the X server), and none of them may yield the processor.
    // The high word is what the queue holds now: the low word only tells
    // what arrived since the last look or peek, so a key that came while
    // the paints were taken out would stay in the queue unseen, and a stop
    // key be lost.
    void Pump() {
        const UINT queued = HIWORD(GetQueueStatus(QS_KEY | QS_MOUSE | QS_PAINT | QS_SENDMESSAGE));
        MSG msg;
        if ((queued & QS_KEY) != 0) {
            while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE | PM_NOYIELD)) NoteKey(msg);
        }
        if ((queued & QS_MOUSE) != 0) {
            while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE | PM_NOYIELD)) {
                input_.NoteClick(msg.message);
            }
            while (PeekMessageW(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE | PM_NOYIELD)) {
                input_.NoteClick(msg.message);
            }
        }
        if ((queued & (QS_PAINT | QS_SENDMESSAGE)) == 0) return;
        for (const UINT paint : {WM_ERASEBKGND, WM_NCPAINT, WM_SYNCPAINT, WM_PAINT}) {
            for (int i = 0; i < kMaxPaintsPerPump && PeekMessageW(&msg, nullptr, paint, paint, PM_REMOVE | PM_NOYIELD);
                 ++i) {
                DispatchMessageW(&msg);
            }
        }
    }

    void NoteKey(const MSG& msg) {
        input_.NoteKey(msg.message, static_cast<std::uint32_t>(msg.wParam), GetKeyState(VK_SHIFT) < 0,
                       GetKeyState(VK_CONTROL) < 0);
    }

    HWND window_;
    CaptureWindowState& state_;
    std::uint64_t frequency_ = 1;
    UINT timerPeriod_ = 0;
    RecordingInputCollector input_;
    bool watchDisk_ = true;
};

}  // namespace

bool RecordOnPatternWindow(HWND window, CaptureWindowState& state) {
    const RecordingRequest request = state.model.MakeRecordingRequest();
    Win32RecordingHost host(window, state);
    AviRecordingSink sink;
    RecordingSession session(
        host, sink,
        [&state](std::uint32_t frameNumber, std::uint32_t milliseconds, DibFrame& frame) {
            return state.model.RecordingFrame(frameNumber, milliseconds, frame);
        },
        state.model.recording());
    return RecordingMade(session.Run(request));
}

}  // namespace kestrova
