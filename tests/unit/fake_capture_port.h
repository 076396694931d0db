// A capture port that records every call, for checking the order and
// arguments of what the capture device sends, and can fail any of them; and
// a status bar that keeps what it was shown.
#pragma once

#include "capture/capture_port.h"
#include "capture/device_services.h"
#include "capture/status_sink.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace kestrova::testing {

class FakeCapturePort : public CapturePort {
public:
    // What the fake "hardware" offers.
    std::vector<std::pair<std::string, std::string>> drivers{{"Fake Capture", "1.0"}};
    int missingDriverIndex = -1;  // a gap: this index fails
    WindowHandle windowToCreate = 0x100;
    bool live = true;
    // The calls that fail, by the first word of their log line
    // ("DRIVER_CONNECT", "FILE_SAVEDIB", ...); they are logged all the same.
    std::set<std::string> failing;
    CapDriverCaps caps{0, 1, 1, 1, 1, 1, 0};
    CapStatus status{.uiImageWidth = 320, .uiImageHeight = 240};
    CaptureParms params{};
    WaveFormat audio{};
    std::string captureFile;
    StatusCallbackFn statusCallback;
    CapControlCallbackFn capControl;
    ErrorCallbackFn errorCallback;
    // What a capture does while it runs (e.g. advance the status, call the
    // capture-control callback); returns WM_CAP_SEQUENCE's result.
    std::function<bool(FakeCapturePort&)> onSequence;

    std::vector<std::string> calls;

    // Calls recorded since the last Take, cleared.
    std::vector<std::string> Take() { return std::exchange(calls, {}); }

    bool GetDriverDescription(int index, std::string& name, std::string& version) override {
        if (index < 0 || index == missingDriverIndex || index >= static_cast<int>(drivers.size())) return false;
        std::tie(name, version) = drivers[static_cast<std::size_t>(index)];
        return true;
    }
    WindowHandle CreateCaptureWindow(std::string_view name, std::uint32_t style, int x, int y, int w, int h,
                                     WindowHandle parent, int id) override {
        Log("create ", name, " style=", Hex(style), " ", x, ",", y, ",", w, "x", h, " parent=", parent, " id=", id);
        return windowToCreate;
    }
    bool IsWindow(WindowHandle window) override { return live && window == windowToCreate && window != 0; }
    void SetWindowPos(WindowHandle, int x, int y, int w, int h, std::uint32_t flags) override {
        Log("SetWindowPos ", x, ",", y, " ", w, "x", h, " flags=", Hex(flags));
    }
    bool DriverConnect(WindowHandle, int index) override { return Log("DRIVER_CONNECT ", index); }
    bool DriverDisconnect(WindowHandle) override { return Log("DRIVER_DISCONNECT"); }
    bool DriverGetCaps(WindowHandle, CapDriverCaps& out) override { out = caps; return Log("DRIVER_GET_CAPS"); }
    bool GetStatus(WindowHandle, CapStatus& out) override { out = status; return Log("GET_STATUS"); }
    bool GetSequenceSetup(WindowHandle, CaptureParms& out) override { out = params; return Log("GET_SEQUENCE_SETUP"); }
    bool SetSequenceSetup(WindowHandle, const CaptureParms& in) override {
        params = in;
        return Log("SET_SEQUENCE_SETUP", in.fLimitEnabled ? " limit=" + std::to_string(in.wTimeLimit) : "",
                   in.fMakeUserHitOKToCapture ? " confirm" : "", " period=", in.dwRequestMicroSecPerFrame,
                   " audio=", in.fCaptureAudio, " left=", in.fAbortLeftMouse, " right=", in.fAbortRightMouse,
                   " buffers=", in.wNumVideoRequested);
    }
    bool GetAudioFormat(WindowHandle, WaveFormat& out) override { out = audio; return Log("GET_AUDIOFORMAT"); }
    bool SetAudioFormat(WindowHandle, const WaveFormat& f) override {
        audio = f;
        return Log("SET_AUDIOFORMAT tag=", f.wFormatTag, " ch=", f.nChannels, " rate=", f.nSamplesPerSec,
                   " avg=", f.nAvgBytesPerSec, " align=", f.nBlockAlign, " bits=", f.wBitsPerSample, " cb=", f.cbSize);
    }
    bool FileSetCaptureFile(WindowHandle, std::string_view path) override {
        captureFile = path;
        return Log("FILE_SET_CAPTURE_FILE ", path);
    }
    bool FileGetCaptureFile(WindowHandle, std::string& path) override {
        path = captureFile;
        return Log("FILE_GET_CAPTURE_FILE");
    }
    bool FileAllocate(WindowHandle, std::uint32_t bytes) override { return Log("FILE_ALLOCATE ", bytes); }
    bool FileSaveAs(WindowHandle, std::string_view path) override {
        return Log("FILE_SAVEAS ", path);
    }
    bool FileSaveDib(WindowHandle, std::string_view path) override {
        return Log("FILE_SAVEDIB ", path);
    }
    bool Sequence(WindowHandle) override {
        if (!Log("SEQUENCE limit=", params.fLimitEnabled ? params.wTimeLimit : 0, " file=", captureFile)) return false;
        return onSequence ? onSequence(*this) : true;
    }
    bool GrabFrameNoStop(WindowHandle) override { return Log("GRAB_FRAME_NOSTOP"); }
    bool EditCopy(WindowHandle) override { return Log("EDIT_COPY"); }
    bool DlgVideoSource(WindowHandle) override { return Log("DLG_VIDEOSOURCE"); }
    bool DlgVideoFormat(WindowHandle) override { return Log("DLG_VIDEOFORMAT"); }
    bool DlgVideoDisplay(WindowHandle) override { return Log("DLG_VIDEODISPLAY"); }
    bool DlgVideoCompression(WindowHandle) override { return Log("DLG_VIDEOCOMPRESSION"); }
    bool SetPreview(WindowHandle, bool on) override { return Log("SET_PREVIEW ", int{on}); }
    bool SetOverlay(WindowHandle, bool on) override { return Log("SET_OVERLAY ", int{on}); }
    bool SetScale(WindowHandle, bool on) override { return Log("SET_SCALE ", int{on}); }
    bool SetPreviewRate(WindowHandle, std::uint32_t ms) override { return Log("SET_PREVIEWRATE ", ms); }
    bool SetCallbackStatus(WindowHandle, StatusCallbackFn callback) override {
        statusCallback = std::move(callback);
        return Log("SET_CALLBACK_STATUS ", statusCallback ? "set" : "null");
    }
    bool SetCallbackError(WindowHandle, ErrorCallbackFn callback) override {
        errorCallback = std::move(callback);
        return Log("SET_CALLBACK_ERROR ", errorCallback ? "set" : "null");
    }
    bool SetCallbackCapControl(WindowHandle, CapControlCallbackFn callback) override {
        capControl = std::move(callback);
        return Log("SET_CALLBACK_CAPCONTROL ", capControl ? "set" : "null");
    }
    bool ClearCallbackVideoStream(WindowHandle) override { return Log("SET_CALLBACK_VIDEOSTREAM null"); }
    bool ClearCallbackFrame(WindowHandle) override { return Log("SET_CALLBACK_FRAME null"); }

private:
    template <class... Parts>
    bool Log(const Parts&... parts) {
        std::ostringstream line;
        (line << ... << parts);
        calls.push_back(line.str());
        return failing.count(calls.back().substr(0, calls.back().find(' '))) == 0;
    }
    static std::string Hex(std::uint32_t v) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%08X", v);
        return buffer;
    }
};

struct FakeStatusSink : StatusSink {
    bool bar = true;
    std::vector<std::string> shown;
    const std::string* lastShown = nullptr;  // the text the bar holds on to
    int clears = 0;

    bool HasStatusBar() const override { return bar; }
    void ShowOwnerDrawn(const std::string& text) override {
        shown.push_back(text);
        lastShown = &text;
    }
    void ClearPart0() override { ++clears; }
};

// The device's files and the user's answers, with what it was asked to do
// in `log`. Every directory is there but the missing ones.
struct FakeDeviceServices : DeviceServices {
    bool IsDirectory(const std::string& path) override { return missingDirectories.count(path) == 0; }
    std::string StartFolder() override { return startFolder; }
    std::optional<std::string> CreateTempFile(const std::string& dir, const std::string& prefix) override {
        if (tempFails) return std::nullopt;
        char name[16];
        std::snprintf(name, sizeof name, "%s%X.tmp", prefix.c_str(), nextTemp++);
        return *files.insert(dir + "\\" + name).first;
    }
    bool FileExists(const std::string& path) override { return files.count(path) != 0; }
    void RemoveFile(const std::string& path) override {
        log.push_back("delete " + path);
        files.erase(path);
    }
    bool MoveReplacing(const std::string& from, const std::string& to) override {
        log.push_back("move " + from + " -> " + to);
        if (!moveSucceeds || unmovable.count(to) != 0) return false;
        files.erase(from);
        files.insert(to);
        return true;
    }
    bool SameFile(const std::string& a, const std::string& b) override { return a == b; }
    std::uint64_t RecordedBytes(const std::string& path) override { return files.count(path) != 0 ? recordedBytes : 0; }
    // A copy ends when the test says so (FinishCopies), as it would later on
    // the window's thread.
    void CopyInBackground(const std::string& from, const std::string& to, std::uint64_t bytes,
                          std::function<void(bool)> done) override {
        log.push_back("copy " + from + " -> " + to + " " + std::to_string(bytes));
        copies.push_back({to, std::move(done)});
    }
    void FinishCopies(bool succeed) {
        for (auto& [to, done] : std::exchange(copies, {})) {
            if (succeed) files.insert(to);
            done(succeed);
        }
    }
    void ShowSaved(const std::string& target) override { log.push_back("saved " + target); }
    std::optional<std::string> AskSaveVideoPath(const std::string& directory) override {
        saveDirectory = directory;
        return saveAnswer;
    }
    std::optional<std::string> AskSnapshotPath(const std::string& directory) override {
        snapshotDirectory = directory;
        return snapshotAnswer;
    }
    bool AskOverwrite(const std::string& name) override {
        log.push_back("ask overwrite " + name);
        return overwriteAnswer;
    }
    std::optional<WaveFormat> ChooseAudioFormat(const WaveFormat&) override { return audioAnswer; }
    void ShowSaveFailure(const std::string& target) override { log.push_back("save failure " + target); }
    void ShowSnapshotFailure(const std::string& name) override { log.push_back("snapshot failure " + name); }
    bool CanWriteFile(const std::string& path) override { return unwritable.count(path) == 0; }
    void SetWorkFileTitle(const std::string& path) override { title = path; }
    std::optional<std::uint64_t> FreeBytes(const std::string&) override { return freeBytes; }
    std::optional<std::uint64_t> FileSize(const std::string& path) override {
        return files.count(path) != 0 ? std::optional<std::uint64_t>(fileSize) : std::nullopt;
    }

    std::set<std::string> files, unwritable, unmovable, missingDirectories;
    std::string startFolder = "C:\\Start";
    std::optional<std::uint64_t> freeBytes = std::uint64_t{1} << 40;
    std::uint64_t fileSize = 0;
    std::uint64_t recordedBytes = 1000;
    std::vector<std::pair<std::string, std::function<void(bool)>>> copies;
    int nextTemp = 0x1A;
    bool tempFails = false, moveSucceeds = true, overwriteAnswer = true;
    std::optional<std::string> saveAnswer, snapshotAnswer;
    std::optional<WaveFormat> audioAnswer;
    std::string snapshotDirectory, saveDirectory, title;
    std::vector<std::string> log;
};

}  // namespace kestrova::testing
