#include "app/win32/device_services_win32.h"

#include "capture/avi/avi_writer.h"
#include "history/capture_log.h"
#include "platform/files.h"
#include "platform/win32_handles.h"
#include "platform/win32_text.h"
#include "store/string_table.h"

#include <commdlg.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstdio>
#include <vector>

namespace kestrova {

namespace {

std::optional<std::string> AskSavePath(HWND owner, const wchar_t* filter, const wchar_t* initialName,
                                       const std::wstring& directory, const wchar_t* title,
                                       const wchar_t* defaultExtension, std::size_t size) {
    std::vector<wchar_t> file(size, L'\0');
    wcsncpy(file.data(), initialName, size - 1);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(size);
    ofn.lpstrInitialDir = directory.c_str();
    ofn.lpstrTitle = title;
    // Browsing into another folder leaves the current directory alone.
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    ofn.lpstrDefExt = defaultExtension;
    if (!GetSaveFileNameW(&ofn)) return std::nullopt;
    return Narrow(file.data());
}

// One type of the save dialog: its name (from the string table), its
// pattern, and the empty entry that ends the list.
std::wstring FileFilter(unsigned nameId, const wchar_t* pattern) {
    std::wstring filter = Widen(LoadText(nameId));
    filter += L'\0';
    filter += pattern;
    filter += L'\0';
    return filter;  // c_str() adds the final NUL
}

}  // namespace

bool Win32DeviceServices::IsDirectory(const std::string& path) { return kestrova::IsDirectory(path); }

std::string Win32DeviceServices::StartFolder() { return kestrova::StartFolder(); }

std::optional<std::string> Win32DeviceServices::CreateTempFile(const std::string& directory,
                                                               const std::string& prefix) {
    wchar_t name[MAX_PATH + 1];
    if (GetTempFileNameW(Widen(directory).c_str(), Widen(prefix).c_str(), 0, name) == 0) return std::nullopt;
    // The name counts only when the file is really there and takes writing:
    // the call can report success for a directory it cannot write in.
    const UniqueHandle made(CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!made) return std::nullopt;
    return Narrow(name);
}

bool Win32DeviceServices::CanWriteFile(const std::string& path) {
    const std::wstring wide = Widen(path);
    // An existing file is opened for writing as the recording will open it
    // (another program writing it refuses); a new one is made and goes again.
    UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        file.reset(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    }
    // A device name ("CON", "NUL") opens too, but holds no recording.
    return file && GetFileType(file.get()) == FILE_TYPE_DISK;
}

bool Win32DeviceServices::FileExists(const std::string& path) {
    // A file that cannot be opened for reading counts as absent.
    const UniqueHandle file(CreateFileW(Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

void Win32DeviceServices::RemoveFile(const std::string& path) { DeleteFileW(Widen(path).c_str()); }

bool Win32DeviceServices::SameFile(const std::string& a, const std::string& b) {
    const auto identity = [](const std::string& path) {
        BY_HANDLE_FILE_INFORMATION info{};
        const UniqueHandle file(CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!file || !GetFileInformationByHandle(file.get(), &info)) return std::optional<std::uint64_t>();
        return std::optional<std::uint64_t>((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow) ^
                                            (static_cast<std::uint64_t>(info.dwVolumeSerialNumber) << 48));
    };
    const std::optional<std::uint64_t> first = identity(a);
    return first && first == identity(b);
}

std::uint64_t Win32DeviceServices::RecordedBytes(const std::string& path) {
    const std::uint64_t recorded = RecordedAviBytes(path);
    return recorded != 0 ? recorded : FileSize(path).value_or(0);
}

void Win32DeviceServices::CopyInBackground(const std::string& source, const std::string& target, std::uint64_t bytes,
                                           std::function<void(bool)> done) {
    HWND owner = Owner();
    const UINT message = copyMessage_;
    copies_.push_back(Copy{std::make_unique<BackgroundCopy>(source, target, bytes,
                                                            [owner, message] { PostMessageW(owner, message, 0, 0); }),
                           std::move(done)});
}

void Win32DeviceServices::CopiesEnded() {
    for (auto it = copies_.begin(); it != copies_.end();) {
        if (!it->copy->done()) {
            ++it;
            continue;
        }
        it->copy->Wait();
        const bool copied = it->copy->succeeded();
        const std::function<void(bool)> done = std::move(it->done);
        it = copies_.erase(it);
        if (done) done(copied);  // may begin another copy
    }
}

std::pair<std::uint64_t, std::uint64_t> Win32DeviceServices::CopyProgress() const {
    std::pair<std::uint64_t, std::uint64_t> progress{0, 0};
    for (const Copy& c : copies_) {
        progress.first += c.copy->copied();
        progress.second += c.copy->total();
    }
    return progress;
}

void Win32DeviceServices::CancelCopies() {
    for (Copy& c : copies_) c.copy->Cancel();
    copies_.clear();  // each waits for its thread
}

bool Win32DeviceServices::MoveReplacing(const std::string& source, const std::string& target) {
    return MoveFileExW(Widen(source).c_str(), Widen(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != 0;
}

std::optional<std::uint64_t> Win32DeviceServices::FreeBytes(const std::string& directory) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(Widen(directory.empty() ? std::string(".") : directory).c_str(), &available, nullptr,
                             nullptr)) {
        return std::nullopt;
    }
    return available.QuadPart;
}

std::optional<std::uint64_t> Win32DeviceServices::FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::optional<std::string> Win32DeviceServices::AskSaveVideoPath(const std::string& directory) {
    const std::wstring filter = FileFilter(strings::kVideoFileType, L"*.avi");
    return AskSavePath(Owner(), filter.c_str(), L"*.avi", Widen(directory), nullptr, L"avi", 256);
}

std::optional<std::string> Win32DeviceServices::AskSnapshotPath(const std::string& directory) {
    const std::wstring filter = FileFilter(strings::kSnapshotFileType, L"*.BMP");
    const std::wstring title = Widen(LoadText(strings::kSaveSnapshotTitle));
    return AskSavePath(Owner(), filter.c_str(), L"*.BMP", Widen(directory), title.c_str(), nullptr, MAX_PATH);
}

bool Win32DeviceServices::AskOverwrite(const std::string& name) {
    const std::wstring question = Widen(FormatText(strings::kOverwriteQuestion, name));
    return MessageBoxW(Owner(), question.c_str(), Widen(LoadText(strings::kWarningCaption)).c_str(), MB_ICONWARNING | MB_YESNO) == IDYES;
}

std::optional<WaveFormat> Win32DeviceServices::ChooseAudioFormat(const WaveFormat& format) {
    std::vector<BYTE> buffer(256, 0);
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(buffer.data());
    wfx->wFormatTag = format.wFormatTag;
    wfx->nChannels = format.nChannels;
    wfx->nSamplesPerSec = format.nSamplesPerSec;
    wfx->nAvgBytesPerSec = format.nAvgBytesPerSec;
    wfx->nBlockAlign = format.nBlockAlign;
    wfx->wBitsPerSample = format.wBitsPerSample;
    wfx->cbSize = 0;
    ACMFORMATCHOOSEW choose{};
    choose.cbStruct = sizeof choose;
    choose.fdwStyle = ACMFORMATCHOOSE_STYLEF_INITTOWFXSTRUCT;
    choose.hwndOwner = Owner();
    choose.pwfx = wfx;
    choose.cbwfx = static_cast<DWORD>(buffer.size());
    const std::wstring title = Widen(LoadText(strings::kAudioFormatTitle));
    choose.pszTitle = title.c_str();
    if (acmFormatChooseW(&choose) != MMSYSERR_NOERROR) return std::nullopt;
    return WaveFormat{wfx->wFormatTag,   wfx->nChannels,      wfx->nSamplesPerSec, wfx->nAvgBytesPerSec,
                      wfx->nBlockAlign, wfx->wBitsPerSample, 0};
}

void Win32DeviceServices::Report(FailureKind kind, const std::string& text) {
    switch (OutletFor(kind, unattended_)) {
    case FailureOutlet::LogLine:
        if (logPath_ && AppendLogLine(logPath_(), text)) return;
        [[fallthrough]];
    case FailureOutlet::Notice:
        if (notice_) {
            notice_(text);
            return;
        }
        break;
    case FailureOutlet::Box:
        break;
    }
    // The work file's box has the system's caption, as it always had.
    const std::wstring caption = kind == FailureKind::WorkFile ? L"" : Widen(LoadText(strings::kErrorCaption));
    MessageBoxW(Owner(), Widen(text).c_str(), caption.empty() ? nullptr : caption.c_str(), MB_ICONERROR);
}

void Win32DeviceServices::ShowWorkFileFailure() {
    Report(FailureKind::WorkFile, std::string(LoadText(strings::kWorkFileFailed)));
}

void Win32DeviceServices::ShowError(const std::string& text) { Report(FailureKind::Save, text); }

void Win32DeviceServices::ShowSaved(const std::string& target) {
    if (notice_) notice_(FormatText(strings::kSavedTo, target));
}

void Win32DeviceServices::ShowSaveFailure(const std::string& target) {
    Report(FailureKind::Save, FormatText(strings::kSaveFailed, target));
}

void Win32DeviceServices::ShowSnapshotFailure(const std::string& name) {
    Report(FailureKind::Snapshot, FormatText(strings::kNotSavedTo, name));
}

void Win32DeviceServices::ShowRecordingFailure(const std::string& text) {
    Report(FailureKind::Recording, text);
}

void Win32DeviceServices::SetWorkFileTitle(const std::string& path) {
    if (showWorkFile_) showWorkFile_(path);
}

}  // namespace kestrova
