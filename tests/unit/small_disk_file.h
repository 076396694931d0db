// A file on a disk that holds `capacity` bytes of it, kept in memory: a write
// past that writes what fits and fails as a full disk does; cutting the file
// frees room. Given a log, it also keeps every write and cut made to it, in
// order, to kill a recording at any byte. With the repair of a file held in
// memory; used by the AVI writer's unit test and fuzz target.
#pragma once

#include "capture/avi/avi_repair.h"
#include "platform/binary_file.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestrova::testing {

// A write or a cut; Apply makes it, or the first bytes of a write, to a disk.
struct Write {
    std::uint64_t at;
    std::vector<std::uint8_t> data;
    bool truncate;
};

class SmallDisk final : public RandomAccessFile {
public:
    SmallDisk(std::vector<std::uint8_t>& data, std::uint64_t capacity, std::vector<Write>* log = nullptr)
        : data_(data), capacity_(capacity), log_(log) {}
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> in) override {
        if (log_) log_->push_back({offset, std::vector<std::uint8_t>(in.begin(), in.end()), false});
        const std::uint64_t fits = offset >= capacity_ ? 0 : std::min<std::uint64_t>(in.size(), capacity_ - offset);
        if (offset + fits > data_.size()) data_.resize(offset + fits);
        std::copy_n(in.begin(), fits, data_.begin() + static_cast<std::ptrdiff_t>(offset));
        if (fits == in.size()) return true;
        error_ = FileError::DiskFull;
        return false;
    }
    std::optional<std::uint64_t> Size() const override { return data_.size(); }
    bool Truncate(std::uint64_t size) override {
        if (log_) log_->push_back({size, {}, true});
        data_.resize(std::min(size, capacity_));
        return size <= capacity_;
    }
    bool Close() override { return true; }
    FileError LastError() const override { return error_; }

private:
    std::vector<std::uint8_t>& data_;
    std::uint64_t capacity_;
    std::vector<Write>* log_;
    FileError error_ = FileError::None;
};

inline void Apply(std::vector<std::uint8_t>& disk, const Write& w, std::size_t bytes) {
    if (w.truncate) return disk.resize(w.at);
    if (w.at + bytes > disk.size()) disk.resize(w.at + bytes);
    std::copy_n(w.data.begin(), bytes, disk.begin() + static_cast<std::ptrdiff_t>(w.at));
}

inline std::optional<AviRepair> RepairInMemory(std::vector<std::uint8_t>& disk, std::uint64_t capacity = ~0ull) {
    SmallDisk file(disk, capacity);
    return RepairAviFile(
        [&disk](std::uint64_t at, std::span<std::uint8_t> into) {
            if (at > disk.size() || into.size() > disk.size() - at) return false;
            std::copy_n(disk.begin() + static_cast<std::ptrdiff_t>(at), into.size(), into.begin());
            return true;
        },
        disk.size(), file);
}

}  // namespace kestrova::testing
