// DeviceServices for the Windows program: Win32 files, common dialogs,
// message boxes and the main window's title.
#pragma once

#include "app/failure_outlet.h"
#include "capture/device_services.h"

#include <windows.h>

#include <functional>

namespace kestrova {

class Win32DeviceServices : public DeviceServices {
public:
    // `owner` gives the window that owns the dialogs and message boxes;
    // `showWorkFile` puts a new work file's path into the main window's title.
    void Attach(std::function<HWND()> owner, std::function<void(const std::string&)> showWorkFile) {
        owner_ = std::move(owner);
        showWorkFile_ = std::move(showWorkFile);
    }
    // Inside an unattended (scheduled) run failures are not boxes that wait
    // for a click, which would hold every later reservation: they go to
    // `notice` (the status bar and the notification balloon).
    void SetNotice(std::function<void(const std::string&)> notice) { notice_ = std::move(notice); }
    void SetUnattended(bool unattended) { unattended_ = unattended; }

    bool IsDirectory(const std::string& path) override;
    std::string StartFolder() override;
    std::optional<std::string> CreateTempFile(const std::string& directory, const std::string& prefix) override;
    bool FileExists(const std::string& path) override;
    bool RemoveFile(const std::string& path) override;
    bool CanWriteFile(const std::string& path) override;
    bool MoveReplacing(const std::string& source, const std::string& target) override;
    std::optional<std::uint64_t> FreeBytes(const std::string& directory) override;
    std::optional<std::uint64_t> FileSize(const std::string& path) override;
    // The status bar and the balloon, never a box.
    void Notify(const std::string& text) {
        if (notice_) notice_(text);
    }
    std::optional<std::string> AskSaveVideoPath(const std::string& directory) override;
    std::optional<std::string> AskSnapshotPath(const std::string& directory) override;
    bool AskOverwrite(const std::string& name) override;
    std::optional<WaveFormat> ChooseAudioFormat(const WaveFormat& format) override;
    void ShowWorkFileFailure() override;
    void ShowSaveFailure(const std::string& target) override;
    void ShowSnapshotFailure(const std::string& name) override;
    void ShowRecordingFailure(const std::string& text) override;
    void SetWorkFileTitle(const std::string& path) override;

private:
    HWND Owner() const { return owner_ ? owner_() : nullptr; }

    std::function<HWND()> owner_;
    std::function<void(const std::string&)> showWorkFile_;
    std::function<void(const std::string&)> notice_;
    bool unattended_ = false;

    // A failure the user must see: a box, or the notice inside a scheduled run.
    void Tell(FailureKind kind, const std::string& text, const wchar_t* caption);
};

}  // namespace kestrova
