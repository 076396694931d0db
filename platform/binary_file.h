// A binary file read and written at 64-bit offsets: the capture file, which
// outgrows 2 and 4 GB in the 32-bit Windows build too. Paths are UTF-8; the
// Windows build passes them to the wide file functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace kestrova {

// Why the last failed call on a file failed.
enum class FileError { None, DiskFull, Other };

// A file written at 64-bit offsets. BinaryFile is the real one; tests and
// fuzzers stand in files that fail where they choose.
class RandomAccessFile {
public:
    virtual ~RandomAccessFile() = default;
    // Writes all of data at offset; the file grows as needed. A failure may
    // leave part of the data written.
    [[nodiscard]] virtual bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) = 0;
    [[nodiscard]] virtual std::optional<std::uint64_t> Size() const = 0;
    // Cuts the file (or lengthens it with zeros) to size bytes.
    [[nodiscard]] virtual bool Truncate(std::uint64_t size) = 0;
    [[nodiscard]] virtual bool Close() = 0;
    virtual FileError LastError() const = 0;
};

class BinaryFile final : public RandomAccessFile {
public:
    BinaryFile() = default;
    ~BinaryFile() override;
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    BinaryFile(BinaryFile&& other) noexcept
        : handle_(std::exchange(other.handle_, kNoHandle)), lastError_(other.lastError_) {}
    BinaryFile& operator=(BinaryFile&& other) noexcept {
        if (this != &other) {
            // A file still open here is given up: a writer that wants to
            // know its Close went well calls Close itself first.
            static_cast<void>(Close());
            handle_ = std::exchange(other.handle_, kNoHandle);
            lastError_ = other.lastError_;
        }
        return *this;
    }

    // Opens an existing file for reading.
    [[nodiscard]] bool OpenForReading(const std::string& path);
    // Opens for reading and writing, creating the file when it is missing.
    // An existing file keeps its contents and its size: nothing is cut off.
    [[nodiscard]] bool OpenForWriting(const std::string& path);
    // Opens a new empty file for reading and writing: an existing one is
    // emptied first.
    [[nodiscard]] bool Create(const std::string& path);

    bool IsOpen() const { return handle_ != kNoHandle; }

    [[nodiscard]] bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) override;
    // Reads up to data.size() bytes at offset: the count read (fewer at the
    // end of the file), or nothing on an error.
    [[nodiscard]] std::optional<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> data);
    // The file's size in bytes, or nothing on an error.
    [[nodiscard]] std::optional<std::uint64_t> Size() const override;
    [[nodiscard]] bool Truncate(std::uint64_t size) override;
    FileError LastError() const override { return lastError_; }
    // Waits until the written data is on the disk.
    [[nodiscard]] bool Sync();
    // Closes the file; false when the system reports an error on closing.
    // Closing a closed file does nothing and succeeds.
    [[nodiscard]] bool Close() override;

private:
#ifdef _WIN32
    bool OpenWritable(const std::string& path, unsigned long disposition);
#endif
    // A file descriptor, or a Windows HANDLE (INVALID_HANDLE_VALUE is -1 too).
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;
    FileError lastError_ = FileError::None;
    // Notes the system's reason for the failure that just happened.
    bool Failed();
};

}  // namespace kestrova
