// DeviceServices for the Windows program: Win32 files, common dialogs,
// message boxes and the main window's title.
#pragma once

#include "app/failure_outlet.h"
#include "capture/device_services.h"
#include "platform/background_copy.h"

#include <windows.h>

#include <functional>
#include <list>
#include <memory>

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
    // The Capture.log that failures while ending go to.
    void SetLogPath(std::function<std::string()> logPath) { logPath_ = std::move(logPath); }
    // Every failure the user must see is told here: a box, the notice or a
    // log line (OutletFor); a log line that cannot be written becomes a
    // notice.
    void Report(FailureKind kind, const std::string& text);
    // The message a copy beside the window posts to `owner` when it ends.
    void SetCopyMessage(UINT message) { copyMessage_ = message; }
    // On that message: each copy that has ended is told to whoever began it.
    void CopiesEnded();
    // The copies still running: bytes copied and in all (none: 0 of 0).
    std::pair<std::uint64_t, std::uint64_t> CopyProgress() const;
    bool Copying() const { return !copies_.empty(); }
    // Stops every copy still running (they leave nothing behind) and forgets
    // who began them.
    void CancelCopies();

    bool IsDirectory(const std::string& path) override;
    std::string StartFolder() override;
    std::optional<std::string> CreateTempFile(const std::string& directory, const std::string& prefix) override;
    bool FileExists(const std::string& path) override;
    void RemoveFile(const std::string& path) override;
    bool CanWriteFile(const std::string& path) override;
    bool MoveReplacing(const std::string& source, const std::string& target) override;
    bool SameFile(const std::string& a, const std::string& b) override;
    std::uint64_t RecordedBytes(const std::string& path) override;
    void CopyInBackground(const std::string& source, const std::string& target, std::uint64_t bytes,
                          std::function<void(bool copied)> done) override;
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
    void ShowSaved(const std::string& target) override;
    void ShowSaveFailure(const std::string& target) override;
    void ShowSnapshotFailure(const std::string& name) override;
    // No work file could be made for a recording.
    void ShowWorkFileFailure();
    // A failure of the user's own command, in a box captioned "ｴﾗｰ".
    void ShowError(const std::string& text);
    // A recording that could not be made, or ended on a failure.
    void ShowRecordingFailure(const std::string& text);
    void SetWorkFileTitle(const std::string& path) override;

private:
    HWND Owner() const { return owner_ ? owner_() : nullptr; }

    std::function<HWND()> owner_;
    std::function<void(const std::string&)> showWorkFile_;
    std::function<void(const std::string&)> notice_;
    std::function<std::string()> logPath_;
    bool unattended_ = false;
    UINT copyMessage_ = 0;
    struct Copy {
        std::unique_ptr<BackgroundCopy> copy;
        std::function<void(bool)> done;
    };
    std::list<Copy> copies_;
};

}  // namespace kestrova
