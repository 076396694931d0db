#include "capture/win32/test_pattern_port.h"

#include "capture/test_pattern/test_pattern_model.h"
#include "platform/win32_text.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

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
    DibFrame frame;  // the frame on show; empty while the preview is off
    CapControlCallbackFn capControl;
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
        delete StateOf(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        break;
    }
    case WM_TIMER:
        if (wParam == kPreviewTimer) {
            CaptureWindowState* state = StateOf(hwnd);
            // A hidden window (another driver's window is on show) skips frames.
            if (state != nullptr && IsWindowVisible(hwnd)) RefreshPreview(hwnd, *state);
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
        if (state == nullptr) return false;
        const bool connected = state->model.Connect(index);
        Restart(window, *state);
        return connected;
    }

    bool DriverDisconnect(WindowHandle window) override {
        CaptureWindowState* state = Find(window);
        if (state == nullptr) return false;
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

    // Recording and still pictures come with the next version of the device.
    bool FileAllocate(WindowHandle, std::uint32_t) override { return false; }
    bool FileSaveAs(WindowHandle, std::string_view) override { return false; }
    bool FileSaveDib(WindowHandle, std::string_view) override { return false; }
    bool Sequence(WindowHandle) override { return false; }
    bool GrabFrameNoStop(WindowHandle) override { return false; }
    bool EditCopy(WindowHandle) override { return false; }

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
        if (state == nullptr || !state->model.connected()) return false;
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
