// ﾃﾝﾎﾟﾗﾘﾃﾞｨｽｸ: the work directory, the fixed work file, the pre-allocation
// of that file and fast saving. The dialog's controls hold a
// TempDiskValues; opening fills it from the settings, OK checks the texts
// and (on request makes) the directory, stores the settings and hands the
// directory to the device at once.
#pragma once

#include "capture/capture_device.h"
#include "store/settings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

struct TempDiskValues {
    std::string directory;       // the work directory field, as typed
    bool reserveSpace = false;   // 領域確保: pre-allocate the fixed work file
    std::string sizeText;        // its size in megabytes, as typed
    bool fixedFile = true;       // 固定 (else ｷｬﾌﾟﾁｬ毎にﾜｰｸﾌｧｲﾙを作成)
    std::string fileName;        // the fixed work file's name
    bool speedSave = false;      // 高速保存

    // What is enabled follows the two choices: the size (and its arrows)
    // with pre-allocation, the name with the fixed file, fast saving only
    // without pre-allocation (a pre-allocated file is never moved away).
    bool SizeEnabled() const { return reserveSpace; }
    bool FileNameEnabled() const { return fixedFile; }
    bool SpeedSaveEnabled() const { return !reserveSpace; }

    // 領域確保 ticked or cleared: ticking it clears fast saving.
    void SetReserveSpace(bool on);
};

// The fields when the dialog opens: TempPath as stored, also when it names
// no directory (the start folder stands in for it then).
TempDiskValues OpenTempDisk(const AppSettings& settings);

// The size field read as megabytes: its digits (blanks around them allowed),
// held within setting_range::TempSize (at most what one pre-allocation can
// reserve); anything else counts as 0.
std::int32_t TempSizeMegabytes(std::string_view text);

// "ﾃﾞｨﾚｸﾄﾘ <dir> は存在しません\n作成しますか？"
std::string CreateDirectoryQuestion(std::string_view directory);
// "ﾃﾞｨﾚｸﾄﾘ <dir> を作成できません"
std::string CannotCreateDirectoryMessage(std::string_view directory);

// What OK needs from the system around the dialog.
class WorkDirectoryHost {
public:
    virtual ~WorkDirectoryHost() = default;
    // A relative path is taken from the start folder, as the work directory is.
    virtual bool IsDirectory(const std::string& path) = 0;
    // The creation question (caption "ｴﾗｰ", OK and Cancel): true for OK.
    virtual bool AskCreate(const std::string& question) = 0;
    // Makes the directory (one level); true when it is there afterwards.
    virtual bool MakeDirectory(const std::string& path) = 0;
    // A box with caption "ｴﾗｰ".
    virtual void ShowError(const std::string& text) = 0;
    // The process's current directory (relative names resolve there).
    virtual void ChangeCurrentDirectory(const std::string& path) = 0;
};

// OK. A directory or work file name the settings file cannot keep exactly
// (StoredTextRefusal) is refused with a box; a missing directory is offered
// for creation; when the user declines or it cannot be made (the box names
// it), nothing is stored and the result is false: the dialog stays open as
// it is. Otherwise the settings take the
// values, the directory becomes the current one and the device's work
// directory (with the space reserved at once when asked), and the result is
// true.
bool ApplyTempDisk(const TempDiskValues& values, AppSettings& settings, CaptureDevice* device,
                   WorkDirectoryHost& host);

}  // namespace kestrova
