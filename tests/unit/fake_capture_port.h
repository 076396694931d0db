// A capture port that records every call, for checking the exact order and
// arguments of what the capture device sends.
#pragma once

#include "capture/capture_port.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace kestrova::testing {

class FakeCapturePort : public CapturePort {
public:
    // What the fake "hardware" offers.
    std::vector<std::pair<std::string, std::string>> drivers{{"Fake Capture", "1.0"}};
    int missingDriverIndex = -1;       // a gap: this index fails
    WindowHandle windowToCreate = 0x100;
    bool live = true;
    bool connectSucceeds = true;
    CapDriverCaps caps{0, 1, 1, 1, 1, 1, 0};
    CapStatus status{};
    CaptureParms params{};
    WaveFormat audio{};
    std::string captureFile;
    StatusCallbackFn statusCallback;
    CapControlCallbackFn capControl;
    // What a capture does while it runs (e.g. advance the status, call the
    // capture-control callback); returns WM_CAP_SEQUENCE's result.
    std::function<bool(FakeCapturePort&)> onSequence;
    bool saveAsSucceeds = true;
    bool saveDibSucceeds = true;

    std::vector<std::string> calls;

    FakeCapturePort() {
        status.uiImageWidth = 320;
        status.uiImageHeight = 240;
    }

    // Calls recorded since the last Take, cleared.
    std::vector<std::string> Take() { return std::exchange(calls, {}); }

    bool GetDriverDescription(int index, std::string& name, std::string& version) override {
        if (index == missingDriverIndex || index >= static_cast<int>(drivers.size())) return false;
        name = drivers[static_cast<std::size_t>(index)].first;
        version = drivers[static_cast<std::size_t>(index)].second;
        return true;
    }
    WindowHandle CreateCaptureWindow(std::string_view name, std::uint32_t style, int x, int y, int w, int h,
                                     WindowHandle parent, int id) override {
        calls.push_back("create " + std::string(name) + " style=" + Hex(style) + " " + std::to_string(x) + "," +
                        std::to_string(y) + "," + std::to_string(w) + "x" + std::to_string(h) + " parent=" +
                        std::to_string(parent) + " id=" + std::to_string(id));
        return windowToCreate;
    }
    bool IsWindow(WindowHandle window) override { return live && window == windowToCreate && window != 0; }
    void SetWindowPos(WindowHandle, int x, int y, int w, int h, std::uint32_t flags) override {
        calls.push_back("SetWindowPos " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(w) +
                        "x" + std::to_string(h) + " flags=" + Hex(flags));
    }
    bool DriverConnect(WindowHandle, int index) override {
        calls.push_back("DRIVER_CONNECT " + std::to_string(index));
        return connectSucceeds;
    }
    bool DriverDisconnect(WindowHandle) override { return Record("DRIVER_DISCONNECT"); }
    bool DriverGetCaps(WindowHandle, CapDriverCaps& out) override {
        out = caps;
        return Record("DRIVER_GET_CAPS");
    }
    bool GetStatus(WindowHandle, CapStatus& out) override {
        out = status;
        return Record("GET_STATUS");
    }
    bool GetSequenceSetup(WindowHandle, CaptureParms& out) override {
        out = params;
        return Record("GET_SEQUENCE_SETUP");
    }
    bool SetSequenceSetup(WindowHandle, const CaptureParms& in) override {
        params = in;
        calls.push_back("SET_SEQUENCE_SETUP" + std::string(in.fLimitEnabled ? " limit=" + std::to_string(in.wTimeLimit) : "") +
                        (in.fMakeUserHitOKToCapture ? " confirm" : "") + " period=" + std::to_string(in.dwRequestMicroSecPerFrame) +
                        " audio=" + std::to_string(in.fCaptureAudio) + " left=" + std::to_string(in.fAbortLeftMouse) +
                        " right=" + std::to_string(in.fAbortRightMouse) +
                        " buffers=" + std::to_string(in.wNumVideoRequested));
        return true;
    }
    bool GetAudioFormat(WindowHandle, WaveFormat& out) override {
        out = audio;
        return Record("GET_AUDIOFORMAT");
    }
    bool SetAudioFormat(WindowHandle, const WaveFormat& f) override {
        audio = f;
        calls.push_back("SET_AUDIOFORMAT tag=" + std::to_string(f.wFormatTag) + " ch=" + std::to_string(f.nChannels) +
                        " rate=" + std::to_string(f.nSamplesPerSec) + " avg=" + std::to_string(f.nAvgBytesPerSec) +
                        " align=" + std::to_string(f.nBlockAlign) + " bits=" + std::to_string(f.wBitsPerSample) +
                        " cb=" + std::to_string(f.cbSize));
        return true;
    }
    bool FileSetCaptureFile(WindowHandle, std::string_view path) override {
        captureFile = path;
        return Record("FILE_SET_CAPTURE_FILE " + std::string(path));
    }
    bool FileGetCaptureFile(WindowHandle, std::string& path) override {
        path = captureFile;
        return Record("FILE_GET_CAPTURE_FILE");
    }
    bool FileAllocate(WindowHandle, std::uint32_t bytes) override {
        return Record("FILE_ALLOCATE " + std::to_string(bytes));
    }
    bool FileSaveAs(WindowHandle, std::string_view path) override {
        Record("FILE_SAVEAS " + std::string(path));
        return saveAsSucceeds;
    }
    bool FileSaveDib(WindowHandle, std::string_view path) override {
        Record("FILE_SAVEDIB " + std::string(path));
        return saveDibSucceeds;
    }
    bool Sequence(WindowHandle) override {
        calls.push_back("SEQUENCE limit=" + std::to_string(params.fLimitEnabled ? params.wTimeLimit : 0) +
                        " file=" + captureFile);
        return onSequence ? onSequence(*this) : true;
    }
    bool GrabFrameNoStop(WindowHandle) override { return Record("GRAB_FRAME_NOSTOP"); }
    bool EditCopy(WindowHandle) override { return Record("EDIT_COPY"); }
    bool DlgVideoSource(WindowHandle) override { return Record("DLG_VIDEOSOURCE"); }
    bool DlgVideoFormat(WindowHandle) override { return Record("DLG_VIDEOFORMAT"); }
    bool DlgVideoDisplay(WindowHandle) override { return Record("DLG_VIDEODISPLAY"); }
    bool DlgVideoCompression(WindowHandle) override { return Record("DLG_VIDEOCOMPRESSION"); }
    bool SetPreview(WindowHandle, bool on) override { return Record(std::string("SET_PREVIEW ") + (on ? "1" : "0")); }
    bool SetOverlay(WindowHandle, bool on) override { return Record(std::string("SET_OVERLAY ") + (on ? "1" : "0")); }
    bool SetScale(WindowHandle, bool on) override { return Record(std::string("SET_SCALE ") + (on ? "1" : "0")); }
    bool SetPreviewRate(WindowHandle, std::uint32_t ms) override {
        return Record("SET_PREVIEWRATE " + std::to_string(ms));
    }
    bool SetCallbackStatus(WindowHandle, StatusCallbackFn callback) override {
        statusCallback = std::move(callback);
        return Record(std::string("SET_CALLBACK_STATUS ") + (statusCallback ? "set" : "null"));
    }
    bool SetCallbackCapControl(WindowHandle, CapControlCallbackFn callback) override {
        capControl = std::move(callback);
        return Record(std::string("SET_CALLBACK_CAPCONTROL ") + (capControl ? "set" : "null"));
    }
    bool ClearCallbackVideoStream(WindowHandle) override { return Record("SET_CALLBACK_VIDEOSTREAM null"); }
    bool ClearCallbackFrame(WindowHandle) override { return Record("SET_CALLBACK_FRAME null"); }

private:
    bool Record(std::string call) {
        calls.push_back(std::move(call));
        return true;
    }
    static std::string Hex(std::uint32_t v) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%08X", v);
        return buffer;
    }
};

}  // namespace kestrova::testing
