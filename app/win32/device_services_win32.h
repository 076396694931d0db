// DeviceServices for the Windows program: Win32 files, common dialogs,
// message boxes and the main window's title.
#pragma once

#include "capture/device_services.h"

namespace kestrova {

class Win32DeviceServices : public DeviceServices {
public:
    std::optional<std::string> CreateTempFile(const std::string& directory, const std::string& prefix) override;
    bool FileExists(const std::string& path) override;
    bool RemoveFile(const std::string& path) override;
    bool MoveReplacing(const std::string& source, const std::string& target) override;
    std::optional<std::string> AskSaveVideoPath() override;
    std::optional<std::string> AskSnapshotPath(const std::string& directory) override;
    bool AskOverwrite(const std::string& name) override;
    std::optional<WaveFormat> ChooseAudioFormat(const WaveFormat& format) override;
    void ShowWorkFileFailure() override;
    void ShowSaveFailure(const std::string& target) override;
    void ShowSnapshotFailure(const std::string& name) override;
    void SetWorkFileTitle(const std::string& path) override;
};

}  // namespace kestrova
