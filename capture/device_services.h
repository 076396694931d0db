// What the capture device needs from the program around it besides the
// capture window: files in the work directory, the user's answers and the
// main window's title. The Windows build implements it with the Win32 file
// functions and common dialogs; unit tests use a fake.
#pragma once

#include "capture/capture_port.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kestrova {

class DeviceServices {
public:
    virtual ~DeviceServices() = default;

    // --- the work directory (ChooseWorkDirectory) ---
    [[nodiscard]] virtual bool IsDirectory(const std::string& path) = 0;
    // The folder Kestrova was started in, taken once at launch.
    virtual std::string StartFolder() = 0;

    // --- files ---
    // GetTempFileName: a new empty file "<prefix>XXXX.tmp" in directory, or
    // nothing when none can be made.
    virtual std::optional<std::string> CreateTempFile(const std::string& directory, const std::string& prefix) = 0;
    [[nodiscard]] virtual bool FileExists(const std::string& path) = 0;
    // Tidies a file away (a temporary name, a sibling never used): one that
    // stays harms nothing, so there is no answer.
    virtual void RemoveFile(const std::string& path) = 0;
    // Whether a recording can go into path: a file on a disk that can be
    // opened (or made) for writing now. Nothing is left behind.
    [[nodiscard]] virtual bool CanWriteFile(const std::string& path) = 0;
    // Free bytes on the volume of directory, or nothing when it cannot be read.
    virtual std::optional<std::uint64_t> FreeBytes(const std::string& directory) = 0;
    virtual std::optional<std::uint64_t> FileSize(const std::string& path) = 0;
    // Replaces target with source; may copy when they lie on different
    // volumes. False (and the source kept) when it fails.
    [[nodiscard]] virtual bool MoveReplacing(const std::string& source, const std::string& target) = 0;
    // Whether two names are the one file.
    [[nodiscard]] virtual bool SameFile(const std::string& a, const std::string& b) = 0;
    // The bytes of the recording an AVI file holds (without unused
    // pre-allocated space after it), or its size when it is no AVI file;
    // 0 when it holds nothing.
    virtual std::uint64_t RecordedBytes(const std::string& path) = 0;
    // Copies the first `bytes` of source to target beside the window's
    // thread (an existing target stays until the copy takes its place);
    // `done` is told on the window's thread whether it succeeded.
    virtual void CopyInBackground(const std::string& source, const std::string& target, std::uint64_t bytes,
                                  std::function<void(bool copied)> done) = 0;

    // --- the user ---
    // The Save dialog for a recording ("AVI ﾌｧｲﾙ (*.avi)"), opened in
    // directory; nothing when cancelled. Neither Save dialog changes the
    // current directory.
    virtual std::optional<std::string> AskSaveVideoPath(const std::string& directory) = 0;
    // The Save dialog for a snapshot ("ｽﾅｯﾌﾟｼｮｯﾄを保存"), opened in directory.
    virtual std::optional<std::string> AskSnapshotPath(const std::string& directory) = 0;
    // "<name> は既に存在します\n上書きしますか？" with Yes and No.
    [[nodiscard]] virtual bool AskOverwrite(const std::string& name) = 0;
    // The audio format chooser, opened on format; nothing when cancelled.
    virtual std::optional<WaveFormat> ChooseAudioFormat(const WaveFormat& format) = 0;
    // A copy of Save As has ended in its place.
    virtual void ShowSaved(const std::string& target) = 0;
    // Failures of the user's own commands, which the user must see.
    virtual void ShowSaveFailure(const std::string& target) = 0;
    virtual void ShowSnapshotFailure(const std::string& name) = 0;

    // --- the main window ---
    virtual void SetWorkFileTitle(const std::string& path) = 0;
};

}  // namespace kestrova
