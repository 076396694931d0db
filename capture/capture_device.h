// CaptureDevice: the one object through which Kestrova talks to the capture
// hardware. It owns the capture window (through the CapturePort), the list of
// drivers, the connected driver's capabilities and the last parameters.
#pragma once

#include "app/settings.h"
#include "capture/capture_port.h"
#include "capture/status_sink.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace kestrova {

// dwRequestMicroSecPerFrame for a frame rate: 1,000,000 / rate, truncated.
// A rate that is not a positive finite number has no period; 15 frames per
// second (66666 us) stands in for it.
std::uint32_t FramePeriodMicroseconds(float framesPerSecond);

// The audio format rebuilt from the four settings. A sample rate of 0 would
// divide by zero: the format then uses 44100 (the setting itself is kept).
WaveFormat AudioFormatFromSettings(const AppSettings& settings);

class CaptureDevice {
public:
    CaptureDevice(CapturePort& port, AppSettings& settings, StatusSink& status);
    virtual ~CaptureDevice();
    CaptureDevice(const CaptureDevice&) = delete;
    CaptureDevice& operator=(const CaptureDevice&) = delete;

    // Creates the capture window, finds the drivers, connects the chosen one
    // and sends it the settings. Returns connected, or 0 without a driver.
    int Create(std::string_view windowName, std::uint32_t style, int x, int y, int width, int height,
               WindowHandle parent, int id);
    int SelectDevice(int index);
    // "name [version]" of a listed driver.
    std::string GetDeviceDescription(int index) const;

    void SetPreview(bool on);
    bool IsPreviewOn();
    void SetOverlay(bool on);
    bool IsOverlayOn();
    void SetPreviewRate(std::uint32_t milliseconds);

    bool HasOverlay() const { return caps_.fHasOverlay != 0; }
    bool HasSourceDialog() const { return caps_.fHasDlgVideoSource != 0; }
    bool HasFormatDialog() const { return caps_.fHasDlgVideoFormat != 0; }
    bool HasDisplayDialog() const { return caps_.fHasDlgVideoDisplay != 0; }

    int ShowSourceDialog();
    int ShowFormatDialog();
    int ShowDisplayDialog();
    int ShowCompressionDialog();

    void ShowStatus(bool on);
    bool IsStatusShown() const { return statusShown_ != 0; }
    // The status callback the capture window calls with its texts.
    bool StatusCallback(int id, std::string_view text);

    void GetSequenceSetup(CaptureParms& params);
    void SetSequenceSetup(const CaptureParms& params);
    void GetStatus(CapStatus& status);
    std::pair<int, int> GetCaptureSize();
    void SetWindowSize(int width, int height);

    // Read directly by the main window and the dialogs.
    bool connected() const { return connected_ != 0; }
    int deviceCount() const { return deviceCount_; }
    int deviceIndex() const { return deviceIndex_; }
    const std::string& workDirectory() const { return workDirectory_; }
    std::uint16_t previewRate() const { return previewRate_; }
    const std::string& captureFile() const { return captureFile_; }
    WindowHandle captureWindow() const { return captureWindow_; }
    const CaptureParms& params() const { return params_; }

protected:
    // True when the stored capture window is a live window: every message
    // to the window is sent only then.
    bool Live();

    CapturePort& port_;
    AppSettings& settings_;
    StatusSink& statusSink_;

    CaptureParms params_;
    CapStatus status_;
    CapDriverCaps caps_;
    std::uint16_t previewRate_ = 0;
    std::array<std::string, kMaxDrivers> driverVersion_;
    std::array<std::string, kMaxDrivers> driverName_;
    int deviceIndex_ = 0;
    int deviceCount_ = 0;
    WindowHandle captureWindow_ = 0;
    std::string captureFile_;
    std::string workDirectory_;
    int statusShown_ = 0;
    int connected_ = 0;
    std::string statusText_;  // the status callback's own buffer
};

// directory + "\" (unless it ends with one) + name.
std::string JoinWorkPath(std::string_view directory, std::string_view name);

}  // namespace kestrova
