#include "platform/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kestrova {
namespace {

// Larger requests are split: Linux moves at most about 2 GiB per call.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

// A file still open is given up: writers that need its result call Close.
BinaryFile::~BinaryFile() { static_cast<void>(Close()); }

bool BinaryFile::OpenForReading(const std::string& path) {
    static_cast<void>(Close());  // the file this one held is given up
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    handle_ = fd;
    return true;
}

bool BinaryFile::OpenForWriting(const std::string& path) {
    static_cast<void>(Close());  // the file this one held is given up
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    handle_ = fd;
    return true;
}

bool BinaryFile::Create(const std::string& path) {
    static_cast<void>(Close());  // the file this one held is given up
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    handle_ = fd;
    return true;
}

bool BinaryFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) {
    if (!IsOpen()) return false;
    while (!data.empty()) {
        const std::size_t want = std::min(data.size(), kMaxTransfer);
        const ssize_t n = ::pwrite(Fd(handle_), data.data(), want, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failed();
        }
        if (n == 0) {
            errno = ENOSPC;
            return Failed();
        }
        data = data.subspan(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

std::optional<std::size_t> BinaryFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> data) {
    if (!IsOpen()) return std::nullopt;
    std::size_t done = 0;
    while (done < data.size()) {
        const std::size_t want = std::min(data.size() - done, kMaxTransfer);
        const ssize_t n = ::pread(Fd(handle_), data.data() + done, want, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::optional<std::uint64_t> BinaryFile::Size() const {
    if (!IsOpen()) return std::nullopt;
    struct stat info {};
    if (::fstat(Fd(handle_), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

bool BinaryFile::Truncate(std::uint64_t size) {
    if (!IsOpen()) return false;
    return ::ftruncate(Fd(handle_), static_cast<off_t>(size)) == 0 || Failed();
}

bool BinaryFile::Failed() {
    lastError_ = (errno == ENOSPC || errno == EDQUOT) ? FileError::DiskFull : FileError::Other;
    return false;
}

bool BinaryFile::Sync() { return IsOpen() && ::fdatasync(Fd(handle_)) == 0; }

bool BinaryFile::Close() {
    if (!IsOpen()) return true;
    const int fd = Fd(std::exchange(handle_, kNoHandle));
    return ::close(fd) == 0;
}

}  // namespace kestrova
