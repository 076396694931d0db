#include "capture/win32/avicap_port.h"

#include "platform/win32_text.h"

#include <mmsystem.h>
#include <vfw.h>

#include <array>
#include <cstring>
#include <map>
#include <set>
#include <utility>

namespace kestrova {

namespace {

// The records go to AVICap with these sizes as wParam; the fields are copied
// one by one, so only the Win32 layout has to match the system's.
#ifndef _WIN64
static_assert(sizeof(CAPTUREPARMS) == 96, "CAPTUREPARMS layout");
static_assert(sizeof(CAPSTATUS) == 76, "CAPSTATUS layout");
static_assert(sizeof(CAPDRIVERCAPS) == 44, "CAPDRIVERCAPS layout");
#endif
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX without extra bytes");

// The styles, flags, states and keys pass through unchanged: the portable
// names hold the Win32 values.
static_assert(kStyleChild == WS_CHILD && kStyleVisible == WS_VISIBLE, "capture window styles");
static_assert(kWindowPosNoMove == SWP_NOMOVE && kWindowPosNoZOrder == SWP_NOZORDER, "SetWindowPos flags");
static_assert(kVirtualKeyEscape == VK_ESCAPE, "the abort key");
#ifdef CONTROLCALLBACK_CAPTURING  // not every SDK's vfw.h has them
static_assert(kCaptureStatePreroll == CONTROLCALLBACK_PREROLL, "capture-control state");
static_assert(kCaptureStateCapturing == CONTROLCALLBACK_CAPTURING, "capture-control state");
#endif

constexpr int kDescriptionChars = 80;           // capGetDriverDescriptionW buffers
constexpr std::size_t kPathChars = 1024;        // WM_CAP_FILE_GET_CAPTURE_FILEW buffer
constexpr std::size_t kAudioFormatBytes = 256;  // room for a format with extra bytes

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

LRESULT Send(WindowHandle window, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(ToHwnd(window), message, wParam, lParam);
}

bool SendBool(WindowHandle window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return Send(window, message, wParam, lParam) != 0;
}

bool SendText(WindowHandle window, UINT message, std::string_view utf8) {
    const std::wstring wide = Widen(utf8);
    return SendBool(window, message, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

// The std::function callbacks of one capture window. AVICap calls plain
// functions with the window handle; the thunks below look the window up here.
struct WindowCallbacks {
    StatusCallbackFn status;
    CapControlCallbackFn capControl;
    ErrorCallbackFn error;

    bool Empty() const { return !status && !capControl && !error; }
};

std::map<HWND, WindowCallbacks>& CallbackTable() {
    static std::map<HWND, WindowCallbacks> table;
    return table;
}

LRESULT CALLBACK StatusThunk(HWND window, int id, LPCWSTR text) {
    try {
        const auto& table = CallbackTable();
        auto it = table.find(window);
        if (it == table.end() || !it->second.status) return TRUE;
        // A copy: the callback may replace or clear itself while it runs.
        const StatusCallbackFn callback = it->second.status;
        const std::string utf8 = text != nullptr ? Narrow(text) : std::string();
        return callback(id, utf8) ? TRUE : FALSE;
    } catch (...) {
        return TRUE;  // AVICap does not look at the answer; the text is just lost
    }
}

LRESULT CALLBACK ErrorThunk(HWND window, int id, LPCWSTR text) {
    try {
        const auto& table = CallbackTable();
        auto it = table.find(window);
        if (it == table.end() || !it->second.error) return TRUE;
        const ErrorCallbackFn callback = it->second.error;
        return callback(id, text != nullptr ? Narrow(text) : std::string()) ? TRUE : FALSE;
    } catch (...) {
        return TRUE;
    }
}

LRESULT CALLBACK CapControlThunk(HWND window, int state) {
    try {
        const auto& table = CallbackTable();
        auto it = table.find(window);
        if (it == table.end() || !it->second.capControl) return TRUE;
        const CapControlCallbackFn callback = it->second.capControl;
        return callback(static_cast<std::uint32_t>(state)) ? TRUE : FALSE;
    } catch (...) {
        // Nobody decides about the capture any more: end it rather than let
        // it run on without a stop.
        return FALSE;
    }
}

CAPTUREPARMS ToWin32(const CaptureParms& p) {
    CAPTUREPARMS w{};
    w.dwRequestMicroSecPerFrame = p.dwRequestMicroSecPerFrame;
    w.fMakeUserHitOKToCapture = p.fMakeUserHitOKToCapture;
    w.wPercentDropForError = p.wPercentDropForError;
    w.fYield = p.fYield;
    w.dwIndexSize = p.dwIndexSize;
    w.wChunkGranularity = p.wChunkGranularity;
    w.fUsingDOSMemory = p.fUsingDOSMemory;
    w.wNumVideoRequested = p.wNumVideoRequested;
    w.fCaptureAudio = p.fCaptureAudio;
    w.wNumAudioRequested = p.wNumAudioRequested;
    w.vKeyAbort = p.vKeyAbort;
    w.fAbortLeftMouse = p.fAbortLeftMouse;
    w.fAbortRightMouse = p.fAbortRightMouse;
    w.fLimitEnabled = p.fLimitEnabled;
    w.wTimeLimit = p.wTimeLimit;
    w.fMCIControl = p.fMCIControl;
    w.fStepMCIDevice = p.fStepMCIDevice;
    w.dwMCIStartTime = p.dwMCIStartTime;
    w.dwMCIStopTime = p.dwMCIStopTime;
    w.fStepCaptureAt2x = p.fStepCaptureAt2x;
    w.wStepCaptureAverageFrames = p.wStepCaptureAverageFrames;
    w.dwAudioBufferSize = p.dwAudioBufferSize;
    w.fDisableWriteCache = p.fDisableWriteCache;
    w.AVStreamMaster = p.AVStreamMaster;
    return w;
}

void FromWin32(const CAPTUREPARMS& w, CaptureParms& p) {
    p.dwRequestMicroSecPerFrame = w.dwRequestMicroSecPerFrame;
    p.fMakeUserHitOKToCapture = w.fMakeUserHitOKToCapture;
    p.wPercentDropForError = w.wPercentDropForError;
    p.fYield = w.fYield;
    p.dwIndexSize = w.dwIndexSize;
    p.wChunkGranularity = w.wChunkGranularity;
    p.fUsingDOSMemory = w.fUsingDOSMemory;
    p.wNumVideoRequested = w.wNumVideoRequested;
    p.fCaptureAudio = w.fCaptureAudio;
    p.wNumAudioRequested = w.wNumAudioRequested;
    p.vKeyAbort = w.vKeyAbort;
    p.fAbortLeftMouse = w.fAbortLeftMouse;
    p.fAbortRightMouse = w.fAbortRightMouse;
    p.fLimitEnabled = w.fLimitEnabled;
    p.wTimeLimit = w.wTimeLimit;
    p.fMCIControl = w.fMCIControl;
    p.fStepMCIDevice = w.fStepMCIDevice;
    p.dwMCIStartTime = w.dwMCIStartTime;
    p.dwMCIStopTime = w.dwMCIStopTime;
    p.fStepCaptureAt2x = w.fStepCaptureAt2x;
    p.wStepCaptureAverageFrames = w.wStepCaptureAverageFrames;
    p.dwAudioBufferSize = w.dwAudioBufferSize;
    p.fDisableWriteCache = w.fDisableWriteCache;
    p.AVStreamMaster = w.AVStreamMaster;
}

CAPSTATUS ToWin32(const CapStatus& s) {
    CAPSTATUS w{};
    w.uiImageWidth = s.uiImageWidth;
    w.uiImageHeight = s.uiImageHeight;
    w.fLiveWindow = s.fLiveWindow;
    w.fOverlayWindow = s.fOverlayWindow;
    w.fScale = s.fScale;
    w.ptScroll.x = s.ptScrollX;
    w.ptScroll.y = s.ptScrollY;
    w.fUsingDefaultPalette = s.fUsingDefaultPalette;
    w.fAudioHardware = s.fAudioHardware;
    w.fCapFileExists = s.fCapFileExists;
    w.dwCurrentVideoFrame = s.dwCurrentVideoFrame;
    w.dwCurrentVideoFramesDropped = s.dwCurrentVideoFramesDropped;
    w.dwCurrentWaveSamples = s.dwCurrentWaveSamples;
    w.dwCurrentTimeElapsedMS = s.dwCurrentTimeElapsedMS;
    w.hPalCurrent = nullptr;
    w.fCapturingNow = s.fCapturingNow;
    w.dwReturn = s.dwReturn;
    w.wNumVideoAllocated = s.wNumVideoAllocated;
    w.wNumAudioAllocated = s.wNumAudioAllocated;
    return w;
}

void FromWin32(const CAPSTATUS& w, CapStatus& s) {
    s.uiImageWidth = w.uiImageWidth;
    s.uiImageHeight = w.uiImageHeight;
    s.fLiveWindow = w.fLiveWindow;
    s.fOverlayWindow = w.fOverlayWindow;
    s.fScale = w.fScale;
    s.ptScrollX = w.ptScroll.x;
    s.ptScrollY = w.ptScroll.y;
    s.fUsingDefaultPalette = w.fUsingDefaultPalette;
    s.fAudioHardware = w.fAudioHardware;
    s.fCapFileExists = w.fCapFileExists;
    s.dwCurrentVideoFrame = w.dwCurrentVideoFrame;
    s.dwCurrentVideoFramesDropped = w.dwCurrentVideoFramesDropped;
    s.dwCurrentWaveSamples = w.dwCurrentWaveSamples;
    s.dwCurrentTimeElapsedMS = w.dwCurrentTimeElapsedMS;
    s.fCapturingNow = w.fCapturingNow;
    s.dwReturn = w.dwReturn;
    s.wNumVideoAllocated = w.wNumVideoAllocated;
    s.wNumAudioAllocated = w.wNumAudioAllocated;
}

CAPDRIVERCAPS ToWin32(const CapDriverCaps& c) {
    CAPDRIVERCAPS w{};
    w.wDeviceIndex = c.wDeviceIndex;
    w.fHasOverlay = c.fHasOverlay;
    w.fHasDlgVideoSource = c.fHasDlgVideoSource;
    w.fHasDlgVideoFormat = c.fHasDlgVideoFormat;
    w.fHasDlgVideoDisplay = c.fHasDlgVideoDisplay;
    w.fCaptureInitialized = c.fCaptureInitialized;
    w.fDriverSuppliesPalettes = c.fDriverSuppliesPalettes;
    return w;
}

void FromWin32(const CAPDRIVERCAPS& w, CapDriverCaps& c) {
    c.wDeviceIndex = w.wDeviceIndex;
    c.fHasOverlay = w.fHasOverlay;
    c.fHasDlgVideoSource = w.fHasDlgVideoSource;
    c.fHasDlgVideoFormat = w.fHasDlgVideoFormat;
    c.fHasDlgVideoDisplay = w.fHasDlgVideoDisplay;
    c.fCaptureInitialized = w.fCaptureInitialized;
    c.fDriverSuppliesPalettes = w.fDriverSuppliesPalettes;
}

// Puts a callback into the table and its thunk on the window, or (null)
// takes both off. The windows that got one are noted in `windows`.
template <typename Fn>
bool InstallCallback(HWND window, UINT message, Fn WindowCallbacks::*slot, Fn callback, LPARAM thunk,
                     std::set<HWND>& windows) {
    auto& table = CallbackTable();
    const auto forget = [&] {
        auto it = table.find(window);
        if (it == table.end()) return;
        it->second.*slot = nullptr;
        if (it->second.Empty()) table.erase(it);
    };
    if (!callback) {
        const bool ok = SendMessageW(window, message, 0, 0) != 0;
        forget();
        return ok;
    }
    // In place before the message: the window may call it at once.
    table[window].*slot = std::move(callback);
    windows.insert(window);
    const bool ok = SendMessageW(window, message, 0, thunk) != 0;
    if (!ok) forget();
    return ok;
}

// The reading messages fill our record in place: it goes out with its
// current values and comes back whole, so a refused message leaves it as it
// was.
template <typename Ours>
bool ReadRecord(WindowHandle window, UINT message, Ours& ours) {
    auto record = ToWin32(ours);
    const bool ok = SendBool(window, message, sizeof record, reinterpret_cast<LPARAM>(&record));
    FromWin32(record, ours);
    return ok;
}

}  // namespace

AviCapPort::~AviCapPort() {
    auto& table = CallbackTable();
    for (HWND window : callbackWindows_) {
        auto it = table.find(window);
        if (it == table.end()) continue;
        const bool hasStatus = static_cast<bool>(it->second.status);
        const bool hasCapControl = static_cast<bool>(it->second.capControl);
        const bool hasError = static_cast<bool>(it->second.error);
        table.erase(it);
        if (!::IsWindow(window)) continue;
        if (hasStatus) SendMessageW(window, WM_CAP_SET_CALLBACK_STATUSW, 0, 0);
        if (hasCapControl) SendMessageW(window, WM_CAP_SET_CALLBACK_CAPCONTROL, 0, 0);
        if (hasError) SendMessageW(window, WM_CAP_SET_CALLBACK_ERRORW, 0, 0);
    }
}

bool AviCapPort::GetDriverDescription(int index, std::string& name, std::string& version) {
    if (index < 0) return false;
    std::array<wchar_t, kDescriptionChars> wideName{};
    std::array<wchar_t, kDescriptionChars> wideVersion{};
    if (!capGetDriverDescriptionW(static_cast<UINT>(index), wideName.data(), kDescriptionChars, wideVersion.data(),
                                  kDescriptionChars)) {
        return false;
    }
    wideName.back() = L'\0';
    wideVersion.back() = L'\0';
    name = Narrow(wideName.data());
    version = Narrow(wideVersion.data());
    return true;
}

WindowHandle AviCapPort::CreateCaptureWindow(std::string_view name, std::uint32_t style, int x, int y, int width,
                                             int height, WindowHandle parent, int id) {
    HWND window = capCreateCaptureWindowW(Widen(name).c_str(), style, x, y, width, height, ToHwnd(parent), id);
    // A handle of a window that died may come back for this one: its old
    // callbacks do not belong here.
    if (window != nullptr) CallbackTable().erase(window);
    return reinterpret_cast<WindowHandle>(window);
}

bool AviCapPort::IsWindow(WindowHandle window) { return window != 0 && ::IsWindow(ToHwnd(window)) != FALSE; }

void AviCapPort::SetWindowPos(WindowHandle window, int x, int y, int width, int height, std::uint32_t flags) {
    ::SetWindowPos(ToHwnd(window), nullptr, x, y, width, height, flags);
}

bool AviCapPort::DriverConnect(WindowHandle window, int index) {
    return SendBool(window, WM_CAP_DRIVER_CONNECT, static_cast<WPARAM>(index));
}

bool AviCapPort::DriverDisconnect(WindowHandle window) { return SendBool(window, WM_CAP_DRIVER_DISCONNECT); }

bool AviCapPort::DriverGetCaps(WindowHandle window, CapDriverCaps& caps) {
    return ReadRecord(window, WM_CAP_DRIVER_GET_CAPS, caps);
}

bool AviCapPort::GetStatus(WindowHandle window, CapStatus& status) {
    return ReadRecord(window, WM_CAP_GET_STATUS, status);
}

bool AviCapPort::GetSequenceSetup(WindowHandle window, CaptureParms& params) {
    return ReadRecord(window, WM_CAP_GET_SEQUENCE_SETUP, params);
}

bool AviCapPort::SetSequenceSetup(WindowHandle window, const CaptureParms& params) {
    CAPTUREPARMS record = ToWin32(params);
    return SendBool(window, WM_CAP_SET_SEQUENCE_SETUP, sizeof record, reinterpret_cast<LPARAM>(&record));
}

bool AviCapPort::GetAudioFormat(WindowHandle window, WaveFormat& format) {
    // The window's format may carry extra bytes: a zeroed buffer with room
    // for them, of which only the WAVEFORMATEX part is taken.
    alignas(WAVEFORMATEX) std::array<unsigned char, kAudioFormatBytes> buffer{};
    if (Send(window, WM_CAP_GET_AUDIOFORMAT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data())) == 0) {
        return false;
    }
    WAVEFORMATEX record;
    std::memcpy(&record, buffer.data(), sizeof record);
    format.wFormatTag = record.wFormatTag;
    format.nChannels = record.nChannels;
    format.nSamplesPerSec = record.nSamplesPerSec;
    format.nAvgBytesPerSec = record.nAvgBytesPerSec;
    format.nBlockAlign = record.nBlockAlign;
    format.wBitsPerSample = record.wBitsPerSample;
    format.cbSize = record.cbSize;
    return true;
}

bool AviCapPort::SetAudioFormat(WindowHandle window, const WaveFormat& format) {
    WAVEFORMATEX record{};
    record.wFormatTag = format.wFormatTag;
    record.nChannels = format.nChannels;
    record.nSamplesPerSec = format.nSamplesPerSec;
    record.nAvgBytesPerSec = format.nAvgBytesPerSec;
    record.nBlockAlign = format.nBlockAlign;
    record.wBitsPerSample = format.wBitsPerSample;
    record.cbSize = format.cbSize;
    return SendBool(window, WM_CAP_SET_AUDIOFORMAT, sizeof record, reinterpret_cast<LPARAM>(&record));
}

bool AviCapPort::FileSetCaptureFile(WindowHandle window, std::string_view path) {
    return SendText(window, WM_CAP_FILE_SET_CAPTURE_FILEW, path);
}

bool AviCapPort::FileGetCaptureFile(WindowHandle window, std::string& path) {
    std::array<wchar_t, kPathChars> buffer{};
    if (!SendBool(window, WM_CAP_FILE_GET_CAPTURE_FILEW, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()))) {
        return false;
    }
    buffer.back() = L'\0';
    path = Narrow(buffer.data());
    return true;
}

bool AviCapPort::FileAllocate(WindowHandle window, std::uint32_t bytes) {
    return SendBool(window, WM_CAP_FILE_ALLOCATE, 0, static_cast<LPARAM>(bytes));
}

bool AviCapPort::FileSaveAs(WindowHandle window, std::string_view path) {
    return SendText(window, WM_CAP_FILE_SAVEASW, path);
}

bool AviCapPort::FileSaveDib(WindowHandle window, std::string_view path) {
    return SendText(window, WM_CAP_FILE_SAVEDIBW, path);
}

bool AviCapPort::Sequence(WindowHandle window) { return SendBool(window, WM_CAP_SEQUENCE); }

bool AviCapPort::GrabFrameNoStop(WindowHandle window) { return SendBool(window, WM_CAP_GRAB_FRAME_NOSTOP); }

bool AviCapPort::EditCopy(WindowHandle window) { return SendBool(window, WM_CAP_EDIT_COPY); }

bool AviCapPort::DlgVideoSource(WindowHandle window) { return SendBool(window, WM_CAP_DLG_VIDEOSOURCE); }

bool AviCapPort::DlgVideoFormat(WindowHandle window) { return SendBool(window, WM_CAP_DLG_VIDEOFORMAT); }

bool AviCapPort::DlgVideoDisplay(WindowHandle window) { return SendBool(window, WM_CAP_DLG_VIDEODISPLAY); }

bool AviCapPort::DlgVideoCompression(WindowHandle window) { return SendBool(window, WM_CAP_DLG_VIDEOCOMPRESSION); }

bool AviCapPort::SetPreview(WindowHandle window, bool on) {
    return SendBool(window, WM_CAP_SET_PREVIEW, on ? TRUE : FALSE);
}

bool AviCapPort::SetOverlay(WindowHandle window, bool on) {
    return SendBool(window, WM_CAP_SET_OVERLAY, on ? TRUE : FALSE);
}

bool AviCapPort::SetScale(WindowHandle window, bool on) { return SendBool(window, WM_CAP_SET_SCALE, on ? TRUE : FALSE); }

bool AviCapPort::SetPreviewRate(WindowHandle window, std::uint32_t milliseconds) {
    return SendBool(window, WM_CAP_SET_PREVIEWRATE, milliseconds);
}

bool AviCapPort::SetCallbackStatus(WindowHandle window, StatusCallbackFn callback) {
    return InstallCallback(ToHwnd(window), WM_CAP_SET_CALLBACK_STATUSW, &WindowCallbacks::status, std::move(callback),
                           reinterpret_cast<LPARAM>(&StatusThunk), callbackWindows_);
}

bool AviCapPort::SetCallbackCapControl(WindowHandle window, CapControlCallbackFn callback) {
    return InstallCallback(ToHwnd(window), WM_CAP_SET_CALLBACK_CAPCONTROL, &WindowCallbacks::capControl,
                           std::move(callback), reinterpret_cast<LPARAM>(&CapControlThunk), callbackWindows_);
}

bool AviCapPort::SetCallbackError(WindowHandle window, ErrorCallbackFn callback) {
    return InstallCallback(ToHwnd(window), WM_CAP_SET_CALLBACK_ERRORW, &WindowCallbacks::error, std::move(callback),
                           reinterpret_cast<LPARAM>(&ErrorThunk), callbackWindows_);
}

bool AviCapPort::ClearCallbackVideoStream(WindowHandle window) {
    return SendBool(window, WM_CAP_SET_CALLBACK_VIDEOSTREAM);
}

bool AviCapPort::ClearCallbackFrame(WindowHandle window) { return SendBool(window, WM_CAP_SET_CALLBACK_FRAME); }

}  // namespace kestrova
