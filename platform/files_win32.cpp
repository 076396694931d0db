#include "platform/files.h"
#include "platform/win32_handles.h"
#include "platform/win32_text.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace kestrova {

namespace {

// The conversion functions count in int, and a 64-bit program's text may
// be longer: it goes in pieces that end where a character does, short
// enough that a piece's result (at most three units for each) fits too.
constexpr std::size_t kMaxPiece = std::size_t{1} << 28;

std::size_t PieceLength(std::string_view utf8) {
    if (utf8.size() <= kMaxPiece) return utf8.size();
    std::size_t cut = kMaxPiece;  // back over at most three continuation bytes
    while (cut > kMaxPiece - 3 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

std::size_t PieceLength(std::wstring_view wide) {
    if (wide.size() <= kMaxPiece) return wide.size();
    return IS_LOW_SURROGATE(wide[kMaxPiece]) ? kMaxPiece - 1 : kMaxPiece;  // a pair stays whole
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
    std::wstring out;
    while (!utf8.empty()) {
        const std::size_t length = PieceLength(utf8);
        const int units = static_cast<int>(length);
        const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), units, nullptr, 0);
        if (n > 0) {
            const std::size_t at = out.size();
            out.resize(at + static_cast<std::size_t>(n));
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), units, out.data() + at, n);
        }
        utf8.remove_prefix(length);
    }
    return out;
}

std::string Narrow(std::wstring_view wide) {
    std::string out;
    while (!wide.empty()) {
        const std::size_t length = PieceLength(wide);
        const int units = static_cast<int>(length);
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
        if (n > 0) {
            const std::size_t at = out.size();
            out.resize(at + static_cast<std::size_t>(n));
            WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data() + at, n, nullptr, nullptr);
        }
        wide.remove_prefix(length);
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

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
    return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFileIfThere(const std::string& path) {
    return DeleteFileW(Widen(path).c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string CurrentDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n == 0) return {};
        if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
        buffer.resize(n);  // the size asked for, its NUL included
    }
}

bool ChangeCurrentDirectory(const std::string& path) { return SetCurrentDirectoryW(Widen(path).c_str()) != 0; }

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
