// What the fuzz targets share: a check that stops the run (so libFuzzer
// keeps the input as a crash) and a reader of the input's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace kestrova::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

#define KESTROVA_FUZZ_CHECK(cond) ((cond) ? void(0) : ::kestrova::fuzz::Fail(#cond, __FILE__, __LINE__))

// Reads numbers from the front of the input; past its end every read is 0.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint32_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint32_t U16() {
        const std::uint32_t low = U8();
        return low | U8() << 8;
    }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        return low | U16() << 16;
    }
    bool AtEnd() const { return pos_ >= size_; }
    std::string_view Rest() const {
        return {reinterpret_cast<const char*>(data_) + pos_, pos_ < size_ ? size_ - pos_ : 0};
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace kestrova::fuzz
