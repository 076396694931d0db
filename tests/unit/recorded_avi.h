// Recordings of the AVI writer for its tests: a script of frames, dropped
// frames and sound written with recognisable bytes, and a file read back
// chunk by chunk with its counts.
#pragma once

#include "capture/avi/avi_writer.h"
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace kestrova::testing {

using Bytes = std::vector<std::uint8_t>;

// Little-endian numbers and four-character codes in a file's bytes.
inline std::uint64_t Le(const Bytes& b, std::uint64_t at, int bytes = 4) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | b.at(at + static_cast<std::uint64_t>(i));
    return value;
}
inline std::string Tag(const Bytes& b, std::uint64_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

// A chunk; 'RIFF' and 'LIST' ones have a type.
struct Chunk {
    std::string id, type;
    std::uint64_t at = 0;  // of the header
    std::uint32_t size = 0;
    std::uint64_t End() const { return at + 8 + size; }  // without a pad byte
};

inline std::size_t FrameSize(const AviVideoFormat& v) { return static_cast<std::size_t>((v.width * 3 + 3) & ~3) * v.height; }

inline Bytes Pattern(std::size_t size, std::size_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed * 31);
    return b;
}

struct Written {
    std::string id;  // 00db or 01wb
    Bytes data;      // none for a dropped frame
};

// Records a script of frames ('v'), dropped frames ('d') and sound chunks
// ('a', audioBytes each) up to the first write refused; returns what went in.
// Another seed gives other bytes.
inline std::vector<Written> Record(AviWriter& w, const AviVideoFormat& v, const std::string& script,
                                   std::size_t audioBytes, std::size_t seed = 0) {
    std::vector<Written> out;
    for (const char step : script) {
        const std::size_t size = step == 'd' ? 0 : step == 'a' ? audioBytes : FrameSize(v);
        Written c{step == 'a' ? "01wb" : "00db", Pattern(size, out.size() + seed)};
        const bool taken = step == 'd' ? w.WriteDroppedFrame() : step == 'a' ? w.WriteAudio(c.data)
                                                                                : w.WriteVideoFrame(c.data);
        if (!taken) break;
        out.push_back(std::move(c));
    }
    return out;
}

inline Bytes ReadBytes(const std::string& path) {
    const std::optional<std::string> file = ReadWholeFile(path);
    EXPECT_TRUE(file.has_value()) << path;
    return file ? Bytes(file->begin(), file->end()) : Bytes();
}

// A recording read back: all its chunks in file order (a list before what
// it holds), its RIFF chunks and its data chunks.
struct AviFile {
    Bytes bytes;
    std::vector<Chunk> chunks, riffs, data;

    explicit AviFile(const std::string& path) : AviFile(ReadBytes(path)) {}
    explicit AviFile(Bytes file) : bytes(std::move(file)) {
        std::set<std::uint64_t> ends{bytes.size()};
        for (std::uint64_t at = 0; at + 8 <= bytes.size(); ends.insert(at)) {
            Chunk c{Tag(bytes, at), "", at, static_cast<std::uint32_t>(Le(bytes, at + 4))};
            const bool list = c.id == "RIFF" || c.id == "LIST";
            if (list) c.type = Tag(bytes, at + 8);
            chunks.push_back(c);
            if (c.id == "RIFF") riffs.push_back(c);
            if (c.id == "00db" || c.id == "01wb") data.push_back(c);
            at = list ? at + 12 : c.End() + (c.size & 1);
        }
        // Each chunk ends where the next one starts; at the end of the file
        // an odd one may lack its pad byte.
        for (const Chunk& c : chunks) {
            EXPECT_TRUE(c.End() <= bytes.size() && ends.count(c.End()) + ends.count(c.End() + 1)) << c.id << c.at;
        }
    }
    // avih's total frames, dmlh's, and the video stream's length.
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> Counts() const {
        auto value = [&](const std::string& id, int offset) {  // in the first `id` chunk
            const auto c = std::find_if(chunks.begin(), chunks.end(), [&](const Chunk& c) { return c.id == id; });
            return c == chunks.end() ? ~0ull : Le(bytes, c->at + 8 + offset);
        };
        return {value("avih", 16), value("dmlh", 0), value("strh", 32)};
    }
    // The data chunks are what was written, in order.
    void ExpectHolds(const std::vector<Written>& written) const {
        ASSERT_EQ(data.size(), written.size());
        for (std::size_t i = 0; i < data.size(); ++i) {
            EXPECT_EQ(data[i].id, written[i].id) << i;
            EXPECT_EQ(Bytes(bytes.begin() + data[i].at + 8, bytes.begin() + data[i].End()), written[i].data) << i;
        }
    }
};

inline std::string Script(int slots, int dropEvery) {
    std::string script;
    for (int i = 0; i < slots; ++i) script += i % dropEvery == dropEvery - 1 ? "da" : "va";
    return script;
}

}  // namespace kestrova::testing
