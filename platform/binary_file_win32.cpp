#include "platform/binary_file.h"
#include "platform/win32_handles.h"
#include "platform/win32_text.h"

#include <windows.h>

#include <algorithm>

namespace kestrova {
namespace {

// WriteFile and ReadFile take a DWORD count; stay well below it.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool Seek(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

// A file still open is given up: writers that need its result call Close.
BinaryFile::~BinaryFile() { static_cast<void>(Close()); }

bool BinaryFile::OpenForReading(const std::string& path) {
    static_cast<void>(Close());  // the file this one held is given up
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool BinaryFile::OpenForWriting(const std::string& path) {
    // OPEN_ALWAYS: an existing (pre-allocated) file is written in place.
    return OpenWritable(path, OPEN_ALWAYS);
}

bool BinaryFile::Create(const std::string& path) { return OpenWritable(path, CREATE_ALWAYS); }

bool BinaryFile::OpenWritable(const std::string& path, unsigned long disposition) {
    static_cast<void>(Close());  // the file this one held is given up
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool BinaryFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) {
    if (!IsOpen()) return false;
    if (!Seek(Handle(handle_), offset)) return Failed();
    while (!data.empty()) {
        const DWORD want = static_cast<DWORD>(std::min(data.size(), kMaxTransfer));
        DWORD wrote = 0;
        if (!WriteFile(Handle(handle_), data.data(), want, &wrote, nullptr)) return Failed();
        if (wrote == 0) {
            SetLastError(ERROR_DISK_FULL);
            return Failed();
        }
        data = data.subspan(wrote);
    }
    return true;
}

bool BinaryFile::Truncate(std::uint64_t size) {
    if (!IsOpen()) return false;
    return (Seek(Handle(handle_), size) && SetEndOfFile(Handle(handle_))) || Failed();
}

bool BinaryFile::Failed() {
    const DWORD error = GetLastError();
    lastError_ = (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) ? FileError::DiskFull
                                                                                 : FileError::Other;
    return false;
}

std::optional<std::size_t> BinaryFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> data) {
    if (!IsOpen() || !Seek(Handle(handle_), offset)) return std::nullopt;
    std::size_t done = 0;
    while (done < data.size()) {
        const DWORD want = static_cast<DWORD>(std::min(data.size() - done, kMaxTransfer));
        DWORD got = 0;
        if (!ReadFile(Handle(handle_), data.data() + done, want, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        done += got;
    }
    return done;
}

std::optional<std::uint64_t> BinaryFile::Size() const {
    LARGE_INTEGER size;
    if (!IsOpen() || !GetFileSizeEx(Handle(handle_), &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool BinaryFile::Sync() { return IsOpen() && FlushFileBuffers(Handle(handle_)) != 0; }

bool BinaryFile::Close() {
    if (!IsOpen()) return true;
    return UniqueHandle(Handle(std::exchange(handle_, kNoHandle))).Close();
}

}  // namespace kestrova
