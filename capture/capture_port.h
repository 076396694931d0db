// The capture-window port: the only way Kestrova reaches capture hardware.
// One call per capture-window call or message the program uses. Two
// implementations: the AVICap adapter (Windows) and the built-in test-pattern
// device; unit tests use a recording fake.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kestrova {

// The capture records, with the fields of their Win32 counterparts (the
// adapter copies them field by field; sizes there are 96, 76 and 44 bytes).
struct CaptureParms {
    std::uint32_t dwRequestMicroSecPerFrame = 0;
    std::int32_t fMakeUserHitOKToCapture = 0;
    std::uint32_t wPercentDropForError = 0;
    std::int32_t fYield = 0;
    std::uint32_t dwIndexSize = 0;
    std::uint32_t wChunkGranularity = 0;
    std::int32_t fUsingDOSMemory = 0;
    std::uint32_t wNumVideoRequested = 0;
    std::int32_t fCaptureAudio = 0;
    std::uint32_t wNumAudioRequested = 0;
    std::uint32_t vKeyAbort = 0;
    std::int32_t fAbortLeftMouse = 0;
    std::int32_t fAbortRightMouse = 0;
    std::int32_t fLimitEnabled = 0;
    std::uint32_t wTimeLimit = 0;
    std::int32_t fMCIControl = 0;
    std::int32_t fStepMCIDevice = 0;
    std::uint32_t dwMCIStartTime = 0;
    std::uint32_t dwMCIStopTime = 0;
    std::int32_t fStepCaptureAt2x = 0;
    std::uint32_t wStepCaptureAverageFrames = 0;
    std::uint32_t dwAudioBufferSize = 0;
    std::int32_t fDisableWriteCache = 0;
    std::uint32_t AVStreamMaster = 0;

    friend bool operator==(const CaptureParms&, const CaptureParms&) = default;
};

struct CapStatus {
    std::uint32_t uiImageWidth = 0;
    std::uint32_t uiImageHeight = 0;
    std::int32_t fLiveWindow = 0;
    std::int32_t fOverlayWindow = 0;
    std::int32_t fScale = 0;
    std::int32_t ptScrollX = 0;
    std::int32_t ptScrollY = 0;
    std::int32_t fUsingDefaultPalette = 0;
    std::int32_t fAudioHardware = 0;
    std::int32_t fCapFileExists = 0;
    std::uint32_t dwCurrentVideoFrame = 0;
    std::uint32_t dwCurrentVideoFramesDropped = 0;
    std::uint32_t dwCurrentWaveSamples = 0;
    std::uint32_t dwCurrentTimeElapsedMS = 0;
    std::int32_t fCapturingNow = 0;
    std::uint32_t dwReturn = 0;
    std::uint32_t wNumVideoAllocated = 0;
    std::uint32_t wNumAudioAllocated = 0;

    friend bool operator==(const CapStatus&, const CapStatus&) = default;
};

struct CapDriverCaps {
    std::uint32_t wDeviceIndex = 0;
    std::int32_t fHasOverlay = 0;
    std::int32_t fHasDlgVideoSource = 0;
    std::int32_t fHasDlgVideoFormat = 0;
    std::int32_t fHasDlgVideoDisplay = 0;
    std::int32_t fCaptureInitialized = 0;
    std::int32_t fDriverSuppliesPalettes = 0;

    friend bool operator==(const CapDriverCaps&, const CapDriverCaps&) = default;
};

// WAVEFORMATEX without extra bytes (18 bytes on the wire).
struct WaveFormat {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;

    friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

inline constexpr int kMaxDrivers = 10;

// The Win32 values that travel through the port, under names of their own
// (the Windows adapters check each against its Win32 name).
// Window styles of the capture window.
inline constexpr std::uint32_t kStyleChild = 0x40000000u;    // WS_CHILD
inline constexpr std::uint32_t kStyleVisible = 0x10000000u;  // WS_VISIBLE
// SetWindowPos flags.
inline constexpr std::uint32_t kWindowPosNoMove = 0x0002u;    // SWP_NOMOVE
inline constexpr std::uint32_t kWindowPosNoZOrder = 0x0004u;  // SWP_NOZORDER
// The capture-control callback's states.
inline constexpr std::uint32_t kCaptureStatePreroll = 1;    // CONTROLCALLBACK_PREROLL
inline constexpr std::uint32_t kCaptureStateCapturing = 2;  // CONTROLCALLBACK_CAPTURING
// vKeyAbort: a virtual-key code in the low byte, plus modifiers that must be
// held with it.
inline constexpr std::uint32_t kVirtualKeyEscape = 0x1Bu;  // VK_ESCAPE
inline constexpr std::uint32_t kAbortKeyShift = 0x4000u;
inline constexpr std::uint32_t kAbortKeyControl = 0x8000u;

// An opaque window handle (an HWND in the Windows build).
using WindowHandle = std::uintptr_t;

// Status callback: (status id, text); id 0 clears. Returns TRUE.
using StatusCallbackFn = std::function<bool(int id, std::string_view text)>;
// Capture-control callback: (state); FALSE ends the current capture.
using CapControlCallbackFn = std::function<bool(std::uint32_t state)>;
// Error callback: (error id, text); id 0 clears. Returns TRUE.
using ErrorCallbackFn = std::function<bool(int id, std::string_view text)>;

class CapturePort {
public:
    virtual ~CapturePort() = default;

    // capGetDriverDescription: false when there is no driver at index.
    [[nodiscard]] virtual bool GetDriverDescription(int index, std::string& name, std::string& version) = 0;
    // capCreateCaptureWindow: 0 when no window results.
    virtual WindowHandle CreateCaptureWindow(std::string_view name, std::uint32_t style, int x, int y, int width,
                                             int height, WindowHandle parent, int id) = 0;
    // IsWindow: the live-window guard in front of every message.
    [[nodiscard]] virtual bool IsWindow(WindowHandle window) = 0;
    // SetWindowPos of the capture window (no insert-after window).
    virtual void SetWindowPos(WindowHandle window, int x, int y, int width, int height, std::uint32_t flags) = 0;

    // The capture-window messages.
    [[nodiscard]] virtual bool DriverConnect(WindowHandle window, int index) = 0;
    [[nodiscard]] virtual bool DriverDisconnect(WindowHandle window) = 0;
    [[nodiscard]] virtual bool DriverGetCaps(WindowHandle window, CapDriverCaps& caps) = 0;
    [[nodiscard]] virtual bool GetStatus(WindowHandle window, CapStatus& status) = 0;
    [[nodiscard]] virtual bool GetSequenceSetup(WindowHandle window, CaptureParms& params) = 0;
    [[nodiscard]] virtual bool SetSequenceSetup(WindowHandle window, const CaptureParms& params) = 0;
    [[nodiscard]] virtual bool GetAudioFormat(WindowHandle window, WaveFormat& format) = 0;
    [[nodiscard]] virtual bool SetAudioFormat(WindowHandle window, const WaveFormat& format) = 0;
    [[nodiscard]] virtual bool FileSetCaptureFile(WindowHandle window, std::string_view path) = 0;
    [[nodiscard]] virtual bool FileGetCaptureFile(WindowHandle window, std::string& path) = 0;
    [[nodiscard]] virtual bool FileAllocate(WindowHandle window, std::uint32_t bytes) = 0;
    [[nodiscard]] virtual bool FileSaveAs(WindowHandle window, std::string_view path) = 0;
    [[nodiscard]] virtual bool FileSaveDib(WindowHandle window, std::string_view path) = 0;
    [[nodiscard]] virtual bool Sequence(WindowHandle window) = 0;
    [[nodiscard]] virtual bool GrabFrameNoStop(WindowHandle window) = 0;
    [[nodiscard]] virtual bool EditCopy(WindowHandle window) = 0;
    [[nodiscard]] virtual bool DlgVideoSource(WindowHandle window) = 0;
    [[nodiscard]] virtual bool DlgVideoFormat(WindowHandle window) = 0;
    [[nodiscard]] virtual bool DlgVideoDisplay(WindowHandle window) = 0;
    [[nodiscard]] virtual bool DlgVideoCompression(WindowHandle window) = 0;
    [[nodiscard]] virtual bool SetPreview(WindowHandle window, bool on) = 0;
    [[nodiscard]] virtual bool SetOverlay(WindowHandle window, bool on) = 0;
    [[nodiscard]] virtual bool SetScale(WindowHandle window, bool on) = 0;
    [[nodiscard]] virtual bool SetPreviewRate(WindowHandle window, std::uint32_t milliseconds) = 0;
    [[nodiscard]] virtual bool SetCallbackStatus(WindowHandle window, StatusCallbackFn callback) = 0;
    [[nodiscard]] virtual bool SetCallbackCapControl(WindowHandle window, CapControlCallbackFn callback) = 0;
    [[nodiscard]] virtual bool SetCallbackError(WindowHandle window, ErrorCallbackFn callback) = 0;
    [[nodiscard]] virtual bool ClearCallbackVideoStream(WindowHandle window) = 0;
    [[nodiscard]] virtual bool ClearCallbackFrame(WindowHandle window) = 0;
};

}  // namespace kestrova
