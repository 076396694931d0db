#include "capture/pattern_device/win32/pattern_files.h"

#include "capture/avi/avi_writer.h"
#include "platform/files.h"
#include "platform/win32_handles.h"
#include "platform/win32_text.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace kestrova {

namespace {

// True when `path` names the file already open as `file`.
bool IsSameFile(HANDLE file, const std::wstring& path) {
    const UniqueHandle other(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!other) return false;
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return GetFileInformationByHandle(file, &a) && GetFileInformationByHandle(other.get(), &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

bool AllocateFile(const std::string& path, std::uint64_t bytes) {
    const std::wstring wide = Widen(path);
    UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    size.QuadPart = static_cast<LONGLONG>(bytes);
    const bool sized = SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
    file.Close();
    if (!sized) DeleteFileW(wide.c_str());
    return sized;
}

bool CopyRecording(const std::string& source, const std::string& target) {
    const std::uint64_t bytes = RecordedAviBytes(source);
    if (bytes == 0) return false;
    const UniqueHandle in(CreateFileW(Widen(source).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in) return false;
    if (IsSameFile(in.get(), Widen(target))) return true;  // the recording is already there
    FileReplacement out(target);
    std::vector<std::uint8_t> buffer(1u << 20);
    for (std::uint64_t left = bytes; left > 0;) {
        const auto want = static_cast<DWORD>(std::min<std::uint64_t>(left, buffer.size()));
        DWORD got = 0;
        if (!ReadFile(in.get(), buffer.data(), want, &got, nullptr) || got != want) return false;
        if (!out.Write(std::span<const std::uint8_t>(buffer.data(), got))) return false;
        left -= got;
    }
    return out.Commit();
}

}  // namespace kestrova
