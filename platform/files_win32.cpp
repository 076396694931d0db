#include "platform/files.h"
#include "platform/win32_handles.h"
#include "platform/win32_text.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace kestrova {

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    }
    return out;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    UniqueHandle file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string data;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        data.append(buffer, got);
    }
    return data;
}

std::string FileReplacement::FollowLinks(const std::string& path) {
    // The final path of the file the name opens: a link's target. A name that
    // opens nothing is taken as it is.
    const UniqueHandle file(CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return path;
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return path;
        if (n < buffer.size()) break;
        buffer.resize(n + 1);
    }
    std::wstring resolved(buffer.data());
    if (resolved.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        resolved = L"\\\\" + resolved.substr(8);
    } else if (resolved.rfind(L"\\\\?\\", 0) == 0) {
        resolved = resolved.substr(4);
    }
    return Narrow(resolved);
}

bool FileReplacement::IsReadOnly(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool FileReplacement::PutInPlace(const std::string& from, const std::string& to) {
    // MoveFileEx with REPLACE_EXISTING swaps the directory entry in one step;
    // WRITE_THROUGH returns only once that is on the disk.
    return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void FileReplacement::Remove(const std::string& path) { DeleteFileW(Widen(path).c_str()); }

std::string ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace kestrova
