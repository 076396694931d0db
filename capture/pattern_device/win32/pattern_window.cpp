#include "capture/pattern_device/win32/pattern_window.h"

#include "capture/pattern_device/pattern_format_file.h"
#include "platform/files.h"
#include "platform/win32_handles.h"
#include "platform/win32_text.h"
#include "store/string_table.h"

#include <array>
#include <memory>
#include <string>

namespace kestrova {

namespace {

constexpr UINT_PTR kPreviewTimer = 1;

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::uint32_t TickCount() { return GetTickCount(); }

CaptureWindowState* StateOf(HWND hwnd) {
    return reinterpret_cast<CaptureWindowState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

BITMAPINFO FrameInfo(const DibFrame& frame) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = frame.width;
    info.bmiHeader.biHeight = frame.height;  // positive: rows bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(kTestPatternBitCount);
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(frame.bits.size());
    return info;
}

void Paint(HWND hwnd, const CaptureWindowState* state) {
    const PaintDC paint(hwnd);
    const HDC dc = paint.get();
    if (dc == nullptr) return;
    RECT client{};
    GetClientRect(hwnd, &client);
    const auto background = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    if (state == nullptr || state->frame.bits.empty()) {
        FillRect(dc, &client, background);
        return;
    }
    const DibFrame& frame = state->frame;
    const BITMAPINFO info = FrameInfo(frame);
    SetStretchBltMode(dc, COLORONCOLOR);
    if (state->model.scale()) {
        StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, frame.width, frame.height, frame.bits.data(),
                      &info, DIB_RGB_COLORS, SRCCOPY);
        return;
    }
    StretchDIBits(dc, 0, 0, frame.width, frame.height, 0, 0, frame.width, frame.height, frame.bits.data(), &info,
                  DIB_RGB_COLORS, SRCCOPY);
    // The rest of the window, right of and below the picture.
    const RECT right{frame.width, 0, client.right, client.bottom};
    const RECT below{0, frame.height, frame.width, client.bottom};
    if (right.left < right.right) FillRect(dc, &right, background);
    if (below.top < below.bottom) FillRect(dc, &below, background);
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
        if (state != nullptr && state->model.capturing()) {
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
            if (state != nullptr && !state->model.capturing() && IsWindowVisible(hwnd)) RefreshPreview(hwnd, *state);
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

}  // namespace

CaptureWindowState::CaptureWindowState()
    : model(FileExists, TickCount), formatFile(DirectoryOf(ExecutablePath()) + std::string(kPatternFormatFileName)) {
    const PatternFormat kept = LoadPatternFormat(formatFile);
    model.Restore(kept.size, kept.picture);
}

void SaveFormat(const CaptureWindowState& state) {
    if (SavePatternFormat(state.formatFile, PatternFormat{state.model.frameSize(), state.model.picture()})) return;
    state.model.Report(kTestPatternStatusNotKept, FillText(strings::kPatternFormatNotKept, {state.formatFile}));
}

bool RegisterPatternWindowClass(HINSTANCE instance) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, kPatternWindowClass, &existing) != 0) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = CaptureWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kPatternWindowClass;
    return RegisterClassExW(&wc) != 0;
}

HWND CreatePatternWindow(HINSTANCE instance, std::string_view name, std::uint32_t style, int x, int y,
                         int width, int height, HWND parent, int id) {
    // The window takes the state in WM_NCCREATE; if it never gets that far,
    // the state is freed here.
    auto pending = std::make_unique<CaptureWindowState>();
    return CreateWindowExW(0, kPatternWindowClass, Widen(name).c_str(), style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, &pending);
}

CaptureWindowState* FindPatternWindow(WindowHandle window) {
    HWND hwnd = ToHwnd(window);
    if (hwnd == nullptr || !::IsWindow(hwnd)) return nullptr;
    std::array<wchar_t, 64> className{};
    if (GetClassNameW(hwnd, className.data(), static_cast<int>(className.size())) == 0) return nullptr;
    if (std::wstring_view(className.data()) != kPatternWindowClass) return nullptr;
    return StateOf(hwnd);
}

void UpdatePreviewTimer(HWND window, const CaptureWindowState& state) {
    if (state.model.connected() && state.model.previewOn()) {
        SetTimer(window, kPreviewTimer, state.model.PreviewPeriod(), nullptr);
    } else {
        KillTimer(window, kPreviewTimer);
    }
}

void RefreshPreview(HWND window, CaptureWindowState& state) {
    if (state.model.connected() && state.model.previewOn()) {
        if (!state.model.NextFrame(state.frame)) state.frame = DibFrame{};
    } else {
        state.frame = DibFrame{};
    }
    InvalidateRect(window, nullptr, FALSE);
}

}  // namespace kestrova
