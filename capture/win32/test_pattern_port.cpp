#include "capture/win32/test_pattern_port.h"

#include "capture/avi/avi_writer.h"
#include "capture/test_pattern/recording_session.h"
#include "capture/test_pattern/test_pattern_model.h"
#include "platform/files.h"
#include "platform/win32_text.h"

#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrova {

namespace {

constexpr UINT_PTR kPreviewTimer = 1;

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::uint32_t TickCount() { return GetTickCount(); }

// What one capture window holds. Owned by the window: made before it,
// handed over in WM_NCCREATE and deleted in WM_NCDESTROY.
struct CaptureWindowState {
    CaptureWindowState() : model(FileExists, TickCount) {}

    TestPatternModel model;
    DibFrame frame;  // the frame on show (previewed, grabbed or recorded); empty while nothing is shown
    CapControlCallbackFn capControl;
    bool busy = false;       // a recording (with its confirmation) is under way
    bool destroyed = false;  // the window went during the recording, which then deletes this
};

CaptureWindowState* StateOf(HWND hwnd) {
    return reinterpret_cast<CaptureWindowState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// Starts, re-times or stops the preview timer to match the model.
void UpdatePreviewTimer(HWND hwnd, const CaptureWindowState& state) {
    if (state.model.connected() && state.model.previewOn()) {
        SetTimer(hwnd, kPreviewTimer, state.model.PreviewPeriod(), nullptr);
    } else {
        KillTimer(hwnd, kPreviewTimer);
    }
}

// Takes the next live frame (or drops the picture when the preview is off)
// and has the window repainted.
void RefreshPreview(HWND hwnd, CaptureWindowState& state) {
    if (state.model.connected() && state.model.previewOn()) {
        if (!state.model.NextFrame(state.frame)) state.frame = DibFrame{};
    } else {
        state.frame = DibFrame{};
    }
    InvalidateRect(hwnd, nullptr, FALSE);
}

void Paint(HWND hwnd, const CaptureWindowState* state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) return;
    RECT client{};
    GetClientRect(hwnd, &client);
    const auto background = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));

    if (state == nullptr || state->frame.bits.empty()) {
        FillRect(dc, &client, background);
        EndPaint(hwnd, &ps);
        return;
    }
    const DibFrame& frame = state->frame;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = frame.width;
    info.bmiHeader.biHeight = frame.height;  // positive: rows bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(kTestPatternBitCount);
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(frame.bits.size());

    SetStretchBltMode(dc, COLORONCOLOR);
    if (state->model.scale()) {
        StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, frame.width, frame.height, frame.bits.data(),
                      &info, DIB_RGB_COLORS, SRCCOPY);
    } else {
        StretchDIBits(dc, 0, 0, frame.width, frame.height, 0, 0, frame.width, frame.height, frame.bits.data(),
                      &info, DIB_RGB_COLORS, SRCCOPY);
        // The rest of the window, right of and below the picture.
        const RECT right{frame.width, 0, client.right, client.bottom};
        const RECT below{0, frame.height, frame.width, client.bottom};
        if (right.left < right.right) FillRect(dc, &right, background);
        if (below.top < below.bottom) FillRect(dc, &below, background);
    }
    EndPaint(hwnd, &ps);
}

LRESULT HandleCaptureMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE: {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* pending = static_cast<std::unique_ptr<CaptureWindowState>*>(create->lpCreateParams);
        if (pending == nullptr || *pending == nullptr) return FALSE;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pending->release()));
        break;
    }
    case WM_NCDESTROY: {
        KillTimer(hwnd, kPreviewTimer);
        CaptureWindowState* state = StateOf(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (state != nullptr && state->busy) {
            state->destroyed = true;
        } else {
            delete state;
        }
        break;
    }
    case WM_TIMER:
        if (wParam == kPreviewTimer) {
            CaptureWindowState* state = StateOf(hwnd);
            // A hidden window (another driver's window is on show) skips
            // frames; during a recording the window shows the recorded ones.
            if (state != nullptr && !state->busy && IsWindowVisible(hwnd)) RefreshPreview(hwnd, *state);
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT covers every pixel
    case WM_PAINT:
        Paint(hwnd, StateOf(hwnd));
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CaptureWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return HandleCaptureMessage(hwnd, message, wParam, lParam);
    } catch (...) {
        // Out of memory for a frame or a status text: drop this message.
        if (message == WM_PAINT) ValidateRect(hwnd, nullptr);
        return message == WM_NCCREATE ? FALSE : 0;
    }
}

// ---------------------------------------------------------------------------
// Dialogs

struct DialogContext {
    HWND captureWindow;
    CaptureWindowState* state;
};

DialogContext* ContextOf(HWND dialog) {
    return reinterpret_cast<DialogContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

DialogContext* BeginDialog(HWND dialog, LPARAM lParam) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    return reinterpret_cast<DialogContext*>(lParam);
}

// The dialog procedures: a failure inside closes the dialog as cancelled.
template <typename Handler>
INT_PTR GuardedDialog(HWND dialog, Handler&& handler) {
    try {
        return handler();
    } catch (...) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
}

INT_PTR CALLBACK SourceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedDialog(dialog, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG: {
            const DialogContext* context = BeginDialog(dialog, lParam);
            const bool gradient = context->state->model.picture() == PatternKind::MovingGradient;
            CheckRadioButton(dialog, IDC_TESTPATTERN_BARS, IDC_TESTPATTERN_GRADIENT,
                             gradient ? IDC_TESTPATTERN_GRADIENT : IDC_TESTPATTERN_BARS);
            SetDlgItemTextW(dialog, IDC_TESTPATTERN_DEVICE, Widen(kTestPatternDriverName).c_str());
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                DialogContext* context = ContextOf(dialog);
                const bool gradient = IsDlgButtonChecked(dialog, IDC_TESTPATTERN_GRADIENT) == BST_CHECKED;
                context->state->model.SetPicture(gradient ? PatternKind::MovingGradient : PatternKind::ColourBars);
                RefreshPreview(context->captureWindow, *context->state);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
        }
        return FALSE;
    });
}

constexpr std::array<int, kTestPatternSizes.size()> kSizeButtons{IDC_TESTPATTERN_SIZE_160, IDC_TESTPATTERN_SIZE_320,
                                                                 IDC_TESTPATTERN_SIZE_640, IDC_TESTPATTERN_SIZE_1280};

// The size whose button is checked (the current size when none is).
FrameSize CheckedSize(HWND dialog, FrameSize current) {
    for (std::size_t i = 0; i < kSizeButtons.size(); ++i) {
        if (IsDlgButtonChecked(dialog, kSizeButtons[i]) == BST_CHECKED) return kTestPatternSizes[i];
    }
    return current;
}

// "230,400 ﾊﾞｲﾄ"
std::string ImageBytesText(FrameSize size) {
    const std::string digits = std::to_string(DibImageSize(size.width, size.height));
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped + " ﾊﾞｲﾄ";
}

INT_PTR CALLBACK FormatDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedDialog(dialog, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG: {
            const DialogContext* context = BeginDialog(dialog, lParam);
            const FrameSize current = context->state->model.frameSize();
            for (std::size_t i = 0; i < kSizeButtons.size(); ++i) {
                if (kTestPatternSizes[i] == current) {
                    CheckRadioButton(dialog, kSizeButtons.front(), kSizeButtons.back(), kSizeButtons[i]);
                }
            }
            SetDlgItemTextW(dialog, IDC_TESTPATTERN_BYTES, Widen(ImageBytesText(current)).c_str());
            return TRUE;
        }
        case WM_COMMAND: {
            DialogContext* context = ContextOf(dialog);
            const int id = LOWORD(wParam);
            if (id == IDOK) {
                context->state->model.SetFrameSize(CheckedSize(dialog, context->state->model.frameSize()));
                RefreshPreview(context->captureWindow, *context->state);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            if (id >= kSizeButtons.front() && id <= kSizeButtons.back() && HIWORD(wParam) == BN_CLICKED) {
                const FrameSize chosen = CheckedSize(dialog, context->state->model.frameSize());
                SetDlgItemTextW(dialog, IDC_TESTPATTERN_BYTES, Widen(ImageBytesText(chosen)).c_str());
                return TRUE;
            }
            break;
        }
        default:
            break;
        }
        return FALSE;
    });
}

INT_PTR CALLBACK CompressionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return GuardedDialog(dialog, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG: {
            const std::wstring entry = Widen("非圧縮 (24 ﾋﾞｯﾄ RGB)");
            SendDlgItemMessageW(dialog, IDC_TESTPATTERN_CODEC, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(entry.c_str()));
            SendDlgItemMessageW(dialog, IDC_TESTPATTERN_CODEC, CB_SETCURSEL, 0, 0);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
        }
        return FALSE;
    });
}

// ---------------------------------------------------------------------------
// Recording

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
        const std::wstring text = Widen("OKを押すとｷｬﾌﾟﾁｬを開始します");
        const std::wstring caption = Widen("ｷｬﾌﾟﾁｬ");
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
            if (inputArrived_ || state_.destroyed) return;
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
        RecordingInput taken = std::move(input_);
        input_ = RecordingInput{};
        inputArrived_ = false;
        taken.windowGone = state_.destroyed || !::IsWindow(window_);
        return taken;
    }

    bool CapControl(std::uint32_t state) override {
        // A copy: the callback may replace itself.
        const CapControlCallbackFn callback = state_.capControl;
        return !callback || callback(state);
    }

    void Status(int id, std::string_view text) override { state_.model.Report(id, text); }

    void ShowFrame(const DibFrame& frame) override {
        if (state_.destroyed || !IsWindowVisible(window_)) return;
        state_.frame = frame;
        InvalidateRect(window_, nullptr, FALSE);
    }

private:
    static constexpr int kMaxPaintsPerPump = 32;
    static constexpr std::size_t kMaxKeysKept = 64;

    void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) NoteKey(msg);
        while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) NoteClick(msg.message);
        while (PeekMessageW(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) NoteClick(msg.message);
        for (const UINT paint : {WM_ERASEBKGND, WM_NCPAINT, WM_SYNCPAINT, WM_PAINT}) {
            for (int i = 0; i < kMaxPaintsPerPump && PeekMessageW(&msg, nullptr, paint, paint, PM_REMOVE); ++i) {
                DispatchMessageW(&msg);
            }
        }
    }

    void NoteKey(const MSG& msg) {
        const bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
        const bool up = msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP;
        if (!down && !up) return;
        const auto key = static_cast<std::uint32_t>(msg.wParam & 0xFF);
        // Modifiers are followed from the messages too, which covers keys
        // posted to the window (they do not change the keyboard state).
        if (key == VK_SHIFT || key == VK_LSHIFT || key == VK_RSHIFT) {
            shiftDown_ = down;
            return;
        }
        if (key == VK_CONTROL || key == VK_LCONTROL || key == VK_RCONTROL) {
            controlDown_ = down;
            return;
        }
        if (!down || input_.keys.size() >= kMaxKeysKept) return;
        std::uint32_t pressed = key;
        if (shiftDown_ || GetKeyState(VK_SHIFT) < 0) pressed |= kAbortKeyShift;
        if (controlDown_ || GetKeyState(VK_CONTROL) < 0) pressed |= kAbortKeyControl;
        input_.keys.push_back(pressed);
        inputArrived_ = true;
    }

    void NoteClick(UINT message) {
        switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK:
            input_.leftClick = true;
            inputArrived_ = true;
            break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
        case WM_NCRBUTTONDOWN:
        case WM_NCRBUTTONDBLCLK:
            input_.rightClick = true;
            inputArrived_ = true;
            break;
        default:
            break;
        }
    }

    HWND window_;
    CaptureWindowState& state_;
    std::uint64_t frequency_ = 1;
    UINT timerPeriod_ = 0;
    RecordingInput input_;
    bool inputArrived_ = false;
    bool shiftDown_ = false;
    bool controlDown_ = false;
};

// Makes the file exist with exactly `bytes` bytes (what was in it is gone).
bool AllocateFile(const std::string& path, std::uint64_t bytes) {
    const std::wstring wide = Widen(path);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    size.QuadPart = static_cast<LONGLONG>(bytes);
    const bool sized = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    if (!sized) DeleteFileW(wide.c_str());
    return sized;
}

// True when `path` names the file already open as `file`.
bool IsSameFile(HANDLE file, const std::wstring& path) {
    HANDLE other = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (other == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    const bool same = GetFileInformationByHandle(file, &a) && GetFileInformationByHandle(other, &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                      a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(other);
    return same;
}

// Copies the recording held in `source` (without unused allocated space) to
// `target`. The copy is made beside the target and takes its place at the
// end, so a failure leaves an existing target as it was.
bool CopyRecording(const std::string& source, const std::string& target) {
    const std::uint64_t bytes = RecordedAviBytes(source);
    if (bytes == 0) return false;
    HANDLE in = CreateFileW(Widen(source).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    const std::wstring to = Widen(target);
    if (IsSameFile(in, to)) {
        CloseHandle(in);
        return true;  // the recording is already there
    }
    const std::wstring temp = to + L".new";
    HANDLE out = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        CloseHandle(in);
        return false;
    }
    std::vector<std::uint8_t> buffer(1u << 20);
    bool ok = true;
    for (std::uint64_t left = bytes; ok && left > 0;) {
        const auto want = static_cast<DWORD>(std::min<std::uint64_t>(left, buffer.size()));
        DWORD got = 0;
        DWORD wrote = 0;
        ok = ReadFile(in, buffer.data(), want, &got, nullptr) && got == want &&
             WriteFile(out, buffer.data(), got, &wrote, nullptr) && wrote == got;
        left -= got;
    }
    CloseHandle(in);
    ok = CloseHandle(out) && ok;
    ok = ok && MoveFileExW(temp.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}

// Puts the frame on the clipboard as CF_DIB.
bool CopyFrameToClipboard(HWND owner, const DibFrame& frame) {
    const std::vector<std::uint8_t> dib = PackedDibBytes(frame);
    if (dib.empty()) return false;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, dib.size());
    if (memory == nullptr) return false;
    void* bytes = GlobalLock(memory);
    if (bytes == nullptr) {
        GlobalFree(memory);
        return false;
    }
    std::memcpy(bytes, dib.data(), dib.size());
    GlobalUnlock(memory);
    if (!OpenClipboard(owner)) {
        GlobalFree(memory);
        return false;
    }
    // Once SetClipboardData succeeds the clipboard owns the memory.
    const bool placed = EmptyClipboard() && SetClipboardData(CF_DIB, memory) != nullptr;
    CloseClipboard();
    if (!placed) GlobalFree(memory);
    return placed;
}

// ---------------------------------------------------------------------------

class TestPatternPort final : public CapturePort {
public:
    explicit TestPatternPort(HINSTANCE instance) : instance_(instance) {}

    bool GetDriverDescription(int index, std::string& name, std::string& version) override {
        return TestPatternModel::Describe(index, name, version);
    }

    WindowHandle CreateCaptureWindow(std::string_view name, std::uint32_t style, int x, int y, int width,
                                     int height, WindowHandle parent, int id) override {
        auto pending = std::make_unique<CaptureWindowState>();
        HWND hwnd = CreateWindowExW(0, kTestPatternWindowClass, Widen(name).c_str(), style, x, y, width, height,
                                    ToHwnd(parent), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                                    &pending);
        return reinterpret_cast<WindowHandle>(hwnd);
    }

    bool IsWindow(WindowHandle window) override { return Find(window) != nullptr; }

    void SetWindowPos(WindowHandle window, int x, int y, int width, int height, std::uint32_t flags) override {
        if (Find(window) != nullptr) ::SetWindowPos(ToHwnd(window), nullptr, x, y, width, height, flags);
    }

    bool DriverConnect(WindowHandle window, int index) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || state->busy) return false;
        const bool connected = state->model.Connect(index);
        Restart(window, *state);
        return connected;
    }

    bool DriverDisconnect(WindowHandle window) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || state->busy) return false;
        const bool done = state->model.Disconnect();
        Restart(window, *state);
        return done;
    }

    bool DriverGetCaps(WindowHandle window, CapDriverCaps& caps) override {
        const CaptureWindowState* state = Find(window);
        return state != nullptr && state->model.GetCaps(caps);
    }

    bool GetStatus(WindowHandle window, CapStatus& status) override {
        const CaptureWindowState* state = Find(window);
        return state != nullptr && state->model.GetStatus(status);
    }

    bool GetSequenceSetup(WindowHandle window, CaptureParms& params) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        params = state->model.params();
        return true;
    }

    bool SetSequenceSetup(WindowHandle window, const CaptureParms& params) override {
        CaptureWindowState* state = Find(window);
        return state != nullptr && state->model.SetSequenceSetup(params);
    }

    bool GetAudioFormat(WindowHandle window, WaveFormat& format) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        format = state->model.audioFormat();
        return true;
    }

    bool SetAudioFormat(WindowHandle window, const WaveFormat& format) override {
        CaptureWindowState* state = Find(window);
        return state != nullptr && state->model.SetAudioFormat(format);
    }

    bool FileSetCaptureFile(WindowHandle window, std::string_view path) override {
        CaptureWindowState* state = Find(window);
        return state != nullptr && state->model.SetCaptureFile(path);
    }

    bool FileGetCaptureFile(WindowHandle window, std::string& path) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        path = state->model.captureFile();
        return true;
    }

    // The file operations need no connection; none touches the capture
    // file while a recording runs.
    bool FileAllocate(WindowHandle window, std::uint32_t bytes) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr || state->busy) return false;
        try {
            return AllocateFile(state->model.captureFile(), bytes);
        } catch (...) {
            return false;
        }
    }

    bool FileSaveAs(WindowHandle window, std::string_view path) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr || state->busy || path.empty()) return false;
        try {
            return CopyRecording(state->model.captureFile(), std::string(path));
        } catch (...) {
            return false;
        }
    }

    // The frame on show as a 24-bit BMP file.
    bool FileSaveDib(WindowHandle window, std::string_view path) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr || path.empty()) return false;
        try {
            const std::vector<std::uint8_t> bmp = BmpFileBytes(state->frame);
            return !bmp.empty() &&
                   ReplaceFileContents(std::string(path),
                                       std::string_view(reinterpret_cast<const char*>(bmp.data()), bmp.size()));
        } catch (...) {
            return false;
        }
    }

    // Records into the capture file and returns when the recording has
    // ended: true when a recording was made.
    bool Sequence(WindowHandle window) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || state->busy || !state->model.connected()) return false;
        state->busy = true;
        bool made = false;
        try {
            const RecordingRequest request = state->model.MakeRecordingRequest();
            Win32RecordingHost host(ToHwnd(window), *state);
            AviRecordingSink sink;
            RecordingSession session(
                host, sink,
                [state](std::uint32_t frameNumber, std::uint32_t milliseconds, DibFrame& frame) {
                    return state->model.RecordingFrame(frameNumber, milliseconds, frame);
                },
                state->model.recording());
            made = RecordingMade(session.Run(request));
        } catch (...) {
            state->model.recording().running = false;
            made = false;
        }
        state->busy = false;
        if (state->destroyed) delete state;
        return made;
    }

    // A fresh frame, shown and kept (the preview goes on).
    bool GrabFrameNoStop(WindowHandle window) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || state->busy || !state->model.connected()) return false;
        try {
            if (!state->model.NextFrame(state->frame)) return false;
        } catch (...) {
            return false;
        }
        InvalidateRect(ToHwnd(window), nullptr, FALSE);
        UpdateWindow(ToHwnd(window));
        return true;
    }

    // The frame on show to the clipboard.
    bool EditCopy(WindowHandle window) override {
        const CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        try {
            return CopyFrameToClipboard(ToHwnd(window), state->frame);
        } catch (...) {
            return false;
        }
    }

    bool DlgVideoSource(WindowHandle window) override {
        return RunDialog(window, IDD_TESTPATTERN_SOURCE, SourceDialogProc);
    }
    bool DlgVideoFormat(WindowHandle window) override {
        return RunDialog(window, IDD_TESTPATTERN_FORMAT, FormatDialogProc);
    }
    bool DlgVideoDisplay(WindowHandle) override { return false; }
    bool DlgVideoCompression(WindowHandle window) override {
        return RunDialog(window, IDD_TESTPATTERN_COMPRESSION, CompressionDialogProc);
    }

    bool SetPreview(WindowHandle window, bool on) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || !state->model.SetPreview(on)) return false;
        UpdatePreviewTimer(ToHwnd(window), *state);
        RefreshPreview(ToHwnd(window), *state);
        return true;
    }

    // No overlay hardware: only "off" succeeds.
    bool SetOverlay(WindowHandle window, bool on) override { return Find(window) != nullptr && !on; }

    bool SetScale(WindowHandle window, bool on) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        state->model.SetScale(on);
        InvalidateRect(ToHwnd(window), nullptr, FALSE);
        return true;
    }

    bool SetPreviewRate(WindowHandle window, std::uint32_t milliseconds) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        state->model.SetPreviewRate(milliseconds);
        UpdatePreviewTimer(ToHwnd(window), *state);
        return true;
    }

    bool SetCallbackStatus(WindowHandle window, StatusCallbackFn callback) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        state->model.SetStatusCallback(std::move(callback));
        return true;
    }

    bool SetCallbackCapControl(WindowHandle window, CapControlCallbackFn callback) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
        state->capControl = std::move(callback);
        return true;
    }

    bool ClearCallbackVideoStream(WindowHandle window) override { return Find(window) != nullptr; }
    bool ClearCallbackFrame(WindowHandle window) override { return Find(window) != nullptr; }

private:
    // The state of a live capture window of this device; null for any other window.
    static CaptureWindowState* Find(WindowHandle window) {
        HWND hwnd = ToHwnd(window);
        if (hwnd == nullptr || !::IsWindow(hwnd)) return nullptr;
        std::array<wchar_t, 64> className{};
        if (GetClassNameW(hwnd, className.data(), static_cast<int>(className.size())) == 0) return nullptr;
        if (std::wstring_view(className.data()) != kTestPatternWindowClass) return nullptr;
        return StateOf(hwnd);
    }

    // After a connection change: the timer follows the model, the picture restarts.
    static void Restart(WindowHandle window, CaptureWindowState& state) {
        UpdatePreviewTimer(ToHwnd(window), state);
        RefreshPreview(ToHwnd(window), state);
    }

    bool RunDialog(WindowHandle window, int templateId, DLGPROC procedure) {
        CaptureWindowState* state = Find(window);
        if (state == nullptr || state->busy || !state->model.connected()) return false;
        DialogContext context{ToHwnd(window), state};
        HWND owner = GetAncestor(ToHwnd(window), GA_ROOT);
        const INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(templateId), owner, procedure,
                                               reinterpret_cast<LPARAM>(&context));
        return result == IDOK || result == IDCANCEL;
    }

    HINSTANCE instance_;
};

}  // namespace

std::unique_ptr<CapturePort> CreateTestPatternPort(HINSTANCE instance) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, kTestPatternWindowClass, &existing) == 0) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = CaptureWindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = kTestPatternWindowClass;
        if (RegisterClassExW(&wc) == 0) return nullptr;
    }
    return std::make_unique<TestPatternPort>(instance);
}

}  // namespace kestrova
