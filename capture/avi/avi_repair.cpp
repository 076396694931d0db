// The repair of a recording left open: the headers give the format and the
// RIFFs the super indexes list; those are taken as they are once their
// standard indexes check out. The last of them is read again chunk by chunk
// (a kill in the middle of the headers' rewrite may have left its entries
// half written), and so is every RIFF after it. The writer's own state is
// then rebuilt from what was found and the writer closes the file as it
// would have.
#include "capture/avi/avi_repair.h"

#include "capture/avi/avi_writer_impl.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kestrova {

using avi::Bytes;
using avi::Load32;

namespace {

constexpr std::uint64_t kMaxHeaderBytes = std::uint64_t{16} << 20;
constexpr std::array<std::uint32_t, 2> kIndexIds{FourCC("ix00"), FourCC("ix01")};
constexpr std::uint32_t kAvifHasIndex = 0x10;

std::uint64_t Load64(const std::uint8_t* at) { return Load32(at) | std::uint64_t{Load32(at + 4)} << 32; }

// The file as read; every read is of whole bytes within it.
class Source {
public:
    Source(const AviReader& read, std::uint64_t size) : read_(read), size_(size) {}
    std::uint64_t Size() const { return size_; }
    std::optional<Bytes> Read(std::uint64_t at, std::uint64_t n) const {
        if (at > size_ || n > size_ - at || n > (std::uint64_t{1} << 30)) return std::nullopt;
        Bytes out(static_cast<std::size_t>(n));
        if (!read_(at, out)) return std::nullopt;
        return out;
    }

private:
    const AviReader& read_;
    std::uint64_t size_;
};

// Writes only bytes that differ from the file's: a repair of a whole file
// changes nothing, a repair done again writes nothing it wrote before.
class CarefulFile final : public RandomAccessFile {
public:
    CarefulFile(const AviReader& read, RandomAccessFile& file) : read_(read), file_(file) {}
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) override {
        const std::uint64_t size = file_.Size().value_or(0);
        if (offset <= size && data.size() <= size - offset) {
            Bytes old(data.size());
            if (read_(offset, old) && std::equal(old.begin(), old.end(), data.begin())) return true;
        }
        changed_ = true;
        return file_.WriteAt(offset, data);
    }
    std::optional<std::uint64_t> Size() const override { return file_.Size(); }
    bool Truncate(std::uint64_t size) override {
        if (file_.Size() == size) return true;
        changed_ = true;
        return file_.Truncate(size);
    }
    bool Close() override { return true; }
    FileError LastError() const override { return file_.LastError(); }
    bool Changed() const { return changed_; }

private:
    const AviReader& read_;
    RandomAccessFile& file_;
    bool changed_ = false;
};

// A file that cannot be written (opened read-only).
class ReadOnlyFile final : public RandomAccessFile {
public:
    explicit ReadOnlyFile(std::uint64_t size) : size_(size) {}
    bool WriteAt(std::uint64_t, std::span<const std::uint8_t>) override { return false; }
    std::optional<std::uint64_t> Size() const override { return size_; }
    bool Truncate(std::uint64_t) override { return false; }
    bool Close() override { return true; }
    FileError LastError() const override { return FileError::Other; }

private:
    std::uint64_t size_;
};

// Steps through chunks as the writer lays them, one after the other.
class Cursor {
public:
    explicit Cursor(const Bytes& b, std::uint64_t at) : b_(b), at_(at) {}
    // The data of the next chunk when it has this id (and, unless 0, this
    // size); the cursor moves past it.
    std::optional<std::uint64_t> Take(std::uint32_t id, std::uint32_t size = 0) {
        if (at_ + 8 > b_.size() || Load32(&b_[at_]) != id) return std::nullopt;
        const std::uint32_t length = Load32(&b_[at_ + 4]);
        if ((size != 0 && length != size) || at_ + 8 + length > b_.size()) return std::nullopt;
        const std::uint64_t data = at_ + 8;
        at_ = data + length + (length & 1);
        return data;
    }
    // Into the next chunk when it is a LIST of this type.
    bool Enter(std::uint32_t type) {
        if (at_ + 12 > b_.size() || Load32(&b_[at_]) != FourCC("LIST") || Load32(&b_[at_ + 8]) != type) return false;
        at_ += 12;
        return true;
    }
    std::uint64_t At() const { return at_; }

private:
    const Bytes& b_;
    std::uint64_t at_;
};

// The headers of a recording by this writer, as the disk has them.
struct Headers {
    avi::AviFormat format;
    AviWriterOptions options;
    avi::RecordingNote note;
    std::uint32_t flags = 0;
    std::uint32_t firstRiffSize = 0;
    std::uint32_t firstMoviSize = 0;
    // Each stream's super index entries as stored, all reserved ones.
    std::array<std::vector<avi::SuperIndexEntry>, 2> super;
};

int Streams(const Headers& h) { return h.format.audio ? 2 : 1; }

std::vector<avi::SuperIndexEntry> SuperEntries(const Bytes& b, std::uint64_t indx, std::uint32_t size) {
    std::vector<avi::SuperIndexEntry> out;
    for (std::uint64_t e = indx + avi::kSuperIndexHeader; e + avi::kSuperIndexEntry <= indx + size;
         e += avi::kSuperIndexEntry) {
        out.push_back({Load64(&b[e]), Load32(&b[e + 8]), Load32(&b[e + 12])});
    }
    return out;
}

// A stream list: strh of the type and handler, strf of the size, indx of
// the stream's chunks. Returns the strf data and fills in the super index
// entries.
std::optional<std::uint64_t> TakeStream(Cursor& c, const Bytes& b, const std::array<std::uint32_t, 2>& type,
                                        std::uint32_t strfBytes, int stream, Headers& h) {
    if (!c.Enter(FourCC("strl"))) return std::nullopt;
    const std::optional<std::uint64_t> strh = c.Take(FourCC("strh"), 56);
    const std::optional<std::uint64_t> strf = c.Take(FourCC("strf"), strfBytes);
    const std::uint64_t indxAt = c.At();
    const std::optional<std::uint64_t> indx = c.Take(FourCC("indx"));
    if (!strh || !strf || !indx || Load32(&b[*strh]) != type[0] || Load32(&b[*strh + 4]) != type[1]) {
        return std::nullopt;
    }
    const std::uint32_t size = Load32(&b[indxAt + 4]);
    if (size < avi::kSuperIndexHeader || (size - avi::kSuperIndexHeader) % avi::kSuperIndexEntry != 0 ||
        Load32(&b[*indx]) != 4 || Load32(&b[*indx + 8]) != avi::kChunkIds[static_cast<std::size_t>(stream)]) {
        return std::nullopt;
    }
    h.super[static_cast<std::size_t>(stream)] = SuperEntries(b, *indx, size);
    return strf;
}

WaveFormat ReadWaveFormat(const std::uint8_t* at) {
    const auto u16 = [at](int i) { return static_cast<std::uint16_t>(at[i] | at[i + 1] << 8); };
    return WaveFormat{u16(0), u16(2), Load32(at + 4), Load32(at + 8), u16(12), u16(14), u16(16)};
}

// The hdrl list: the format and the super indexes.
bool ReadHdrl(const Bytes& b, Headers& h) {
    Cursor c(b, 24);
    const std::optional<std::uint64_t> avih = c.Take(FourCC("avih"), 56);
    if (!avih) return false;
    const std::uint32_t streams = Load32(&b[*avih + 24]);
    h.flags = Load32(&b[*avih + 12]);
    h.format.video.microSecPerFrame = Load32(&b[*avih]);
    const std::optional<std::uint64_t> bih = TakeStream(c, b, {FourCC("vids"), FourCC("DIB ")}, 40, 0, h);
    if (!bih || Load32(&b[*bih]) != 40 || (Load32(&b[*bih + 12]) >> 16) != 24 || Load32(&b[*bih + 16]) != 0 ||
        (streams != 1 && streams != 2)) {
        return false;
    }
    h.format.video.width = static_cast<int>(Load32(&b[*bih + 4]));
    h.format.video.height = static_cast<int>(Load32(&b[*bih + 8]));
    if (streams == 2) {
        const std::optional<std::uint64_t> wfx = TakeStream(c, b, {FourCC("auds"), 0}, 18, 1, h);
        if (!wfx) return false;
        h.format.audio = ReadWaveFormat(&b[*wfx]);
    }
    return c.Enter(FourCC("odml")) && c.Take(FourCC("dmlh"), 248).has_value();
}

// The headers, when they are this writer's.
std::optional<Headers> ReadHeaders(const Source& src) {
    const std::optional<Bytes> head = src.Read(0, 24);
    if (!head || Load32(&(*head)[0]) != FourCC("RIFF") || Load32(&(*head)[8]) != FourCC("AVI ") ||
        Load32(&(*head)[12]) != FourCC("LIST") || Load32(&(*head)[20]) != FourCC("hdrl")) {
        return std::nullopt;
    }
    const std::uint64_t hdrlEnd = 20 + std::uint64_t{Load32(&(*head)[16])};
    if (hdrlEnd > kMaxHeaderBytes) return std::nullopt;
    std::optional<Bytes> b = src.Read(0, hdrlEnd + 8 + std::uint64_t{avi::kNoteCopies} * avi::kNoteBytes);
    Headers h;
    if (!b || !ReadHdrl(*b, h) || Load32(&(*b)[hdrlEnd]) != FourCC("JUNK")) return std::nullopt;
    // Of the whole copies, the one that says most: progress only grows, and
    // before the headers are written both copies are the new recording's.
    std::optional<avi::RecordingNote> note;
    for (std::uint32_t i = 0; i < avi::kNoteCopies; ++i) {
        const std::optional<avi::RecordingNote> copy =
            avi::ReadNote(std::span(*b).subspan(hdrlEnd + 8 + std::uint64_t{i} * avi::kNoteBytes));
        if (copy && (!note || copy->writtenEnd > note->writtenEnd)) note = copy;
    }
    const std::uint64_t movi = hdrlEnd + 8 + Load32(&(*b)[hdrlEnd + 4]);
    const std::optional<Bytes> list = src.Read(movi, 12);
    if (!note || !list || Load32(&(*list)[0]) != FourCC("LIST") || Load32(&(*list)[8]) != FourCC("movi")) {
        return std::nullopt;
    }
    h.note = *note;
    h.options.riffBytes = note->riffBytes;
    h.options.superIndexEntries = static_cast<std::uint32_t>(h.super[0].size());
    h.format.frameBytes = avi::FrameBytes(h.format.video);
    h.format.headerBytes = static_cast<std::uint32_t>(movi + 12);
    h.firstRiffSize = Load32(&(*head)[4]);
    h.firstMoviSize = Load32(&(*list)[4]);
    const bool withAudio = h.format.audio.has_value();
    if (!avi::Recordable(h.format.video, h.format.audio, h.options) ||
        (withAudio && h.super[1].size() != h.super[0].size()) ||
        AviHeaderBytes(withAudio, h.options) != h.format.headerBytes) {
        return std::nullopt;
    }
    return h;
}

// A top-level RIFF; size 0 while it was never completed.
struct Riff {
    std::uint64_t start = 0;
    std::uint32_t size = 0;
    std::uint64_t End() const { return start + 8 + size; }
};

// The RIFFs in a row: each one after a complete one. An AVIX is complete
// when its movi list's size, patched after the RIFF's, agrees with it: a kill
// between the two patches, or one that tore either, leaves it to be read
// chunk by chunk as one still being written.
std::vector<Riff> RiffChain(const Source& src, const Headers& h) {
    const auto whole = [&](std::uint64_t start, std::uint32_t size) {
        return size > 4 && size % 2 == 0 && size <= h.options.riffBytes - 8 && start + 8 + size <= src.Size();
    };
    std::vector<Riff> chain{{0, whole(0, h.firstRiffSize) ? h.firstRiffSize : 0u}};
    while (chain.back().size != 0) {
        const std::uint64_t at = chain.back().End();
        const std::optional<Bytes> head = src.Read(at, 24);
        if (!head || Load32(&(*head)[0]) != FourCC("RIFF") || Load32(&(*head)[8]) != FourCC("AVIX") ||
            Load32(&(*head)[12]) != FourCC("LIST") || Load32(&(*head)[20]) != FourCC("movi")) {
            break;
        }
        const std::uint32_t size = Load32(&(*head)[4]);
        chain.push_back({at, whole(at, size) && Load32(&(*head)[16]) == size - 12 ? size : 0u});
    }
    return chain;
}

// What a finished RIFF's standard index of one stream holds.
struct Listed {
    std::size_t riff = 0;
    avi::SuperIndexEntry entry;
    std::uint32_t dropped = 0;
    std::uint64_t bytes = 0;
    std::uint32_t largest = 0;
};

// A super index entry's standard index, when it is one of a complete RIFF
// after `after` and lists chunks that this format can have, in that RIFF.
std::optional<Listed> CheckListed(const Source& src, const Headers& h, const std::vector<Riff>& chain, int stream,
                                  const avi::SuperIndexEntry& e, std::size_t after) {
    const std::optional<Bytes> head = src.Read(e.offset, 8 + avi::kStdIndexHeader);
    if (!head || e.size < 8 + avi::kStdIndexHeader) return std::nullopt;
    const std::uint32_t n = Load32(&(*head)[12]);
    const std::uint64_t base = Load64(&(*head)[20]);
    const auto riff = std::find_if(chain.begin(), chain.end(), [&](const Riff& r) { return r.start == base; });
    if (Load32(&(*head)[0]) != kIndexIds[static_cast<std::size_t>(stream)] ||
        Load32(&(*head)[4]) != e.size - 8 || Load32(&(*head)[8]) != 0x01000002 || n == 0 ||
        e.size != avi::StdIndexChunkBytes(n) || Load32(&(*head)[16]) != avi::kChunkIds[static_cast<std::size_t>(stream)] ||
        riff == chain.end() || riff->size == 0 || e.offset < base || e.offset + e.size > riff->End()) {
        return std::nullopt;
    }
    Listed l{static_cast<std::size_t>(riff - chain.begin()), e};
    const std::optional<Bytes> entries = src.Read(e.offset + 8 + avi::kStdIndexHeader, std::uint64_t{8} * n);
    if (!entries || l.riff < after) return std::nullopt;
    const std::uint32_t align = stream == 1 ? h.format.audio->nBlockAlign : 1;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t field = Load32(&(*entries)[8 * i + 4]);
        const std::uint32_t size = field & ~avi::kIndexDeltaFrame;
        const bool dropped = (field & avi::kIndexDeltaFrame) != 0;
        const bool fits = stream == 0 ? (dropped ? size == 0 : size == h.format.frameBytes)
                                      : (!dropped && size > 0 && size % align == 0);
        if (!fits || base + Load32(&(*entries)[8 * i]) + size > e.offset) return std::nullopt;
        l.dropped += dropped ? 1 : 0;
        l.bytes += size;
        l.largest = std::max(l.largest, size);
    }
    if (e.duration != (stream == 0 ? n : l.bytes / align)) return std::nullopt;
    return l;
}

// Each stream's entries in use, up to the first empty one or one past what
// this recording wrote (an older recording's, when a kill cut short the
// headers it began with). A rewrite of the headers cut short leaves every
// entry whole or empty but the one it was writing, the last in use: that
// RIFF is then read chunk by chunk, as one the headers do not list yet.
// Nothing when another entry does not check out, as the file is then not
// what its headers say.
using ListedEntries = std::array<std::vector<Listed>, 2>;
std::optional<ListedEntries> ListedRiffs(const Source& src, const Headers& h, const std::vector<Riff>& chain,
                                         std::uint64_t trusted) {
    ListedEntries out;
    for (int s = 0; s < Streams(h); ++s) {
        const std::vector<avi::SuperIndexEntry>& entries = h.super[static_cast<std::size_t>(s)];
        auto& listed = out[static_cast<std::size_t>(s)];
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const avi::SuperIndexEntry& e = entries[i];
            if (e.offset == 0 || e.offset + e.size > trusted) break;
            const std::optional<Listed> l = CheckListed(src, h, chain, s, e, listed.empty() ? 0 : listed.back().riff + 1);
            const bool lastInUse = i + 1 == entries.size() || entries[i + 1].offset == 0;
            if (!l && lastInUse) break;
            if (!l) return std::nullopt;
            listed.push_back(*l);
        }
    }
    return out;
}

}  // namespace

// Rebuilds the writer's state from the file and closes it with the writer's steps.
struct AviRecovery {
    AviRecovery(const Source& src, const Headers& h, CarefulFile& file, std::unique_ptr<CarefulFile> owned)
        : src_(src), h_(h), file_(file), w_(*writer_.impl_) {
        w_.file = std::move(owned);
        w_.format = h.format;
        w_.options = h.options;
        w_.indexes = avi::AviIndexes(Streams(h), h.format.audio ? h.format.audio->nBlockAlign : 1,
                                     h.options.superIndexEntries);
        // Past what this recording wrote, a larger file holds older bytes.
        trusted_ = std::min(src.Size() > h.note.sizeAtOpen ? src.Size() : h.note.writtenEnd, src.Size());
    }

    // Nothing when the chunks contradict the headers: a file damaged
    // otherwise than by an end cut short is left as it is.
    std::optional<AviRepair> Run() {
        const std::vector<Riff> chain = RiffChain(src_, h_);
        const std::optional<ListedEntries> entries = ListedRiffs(src_, h_, chain, trusted_);
        if (!entries) return std::nullopt;
        const ListedEntries& listed = *entries;
        // The RIFFs the headers list, each with at least one entry and known
        // to be this recording's; the last of them is read again, as its
        // entries may be half of a rewrite.
        std::size_t known = 0;
        const auto lists = [&](const std::vector<Listed>& l) {
            return std::any_of(l.begin(), l.end(), [&](const Listed& e) { return e.riff == known; });
        };
        while (known < chain.size() && chain[known].End() <= trusted_ &&
               std::any_of(listed.begin(), listed.end(), lists)) {
            ++known;
        }
        const std::size_t from = known > 0 ? known - 1 : 0;
        for (std::size_t r = 0; r < from; ++r) TakeFinished(r, listed);
        w_.riffChunks = static_cast<std::uint32_t>(from + 1);
        std::size_t r = from;
        for (; Walk(chain[r]) && w_.FinishRiff(); ++r) {
            const bool whole = chain[r].size != 0 && chain[r].End() == w_.End();
            if (!whole || r + 1 >= chain.size() || chain[r + 1].start != w_.End() ||
                chain[r + 1].start + 24 > trusted_) {
                lastWhole_ = whole;
                return Finish();
            }
            ++w_.riffChunks;
        }
        if (contradicted_) return std::nullopt;
        return w_.failed ? Result() : Finish();
    }

private:
    // A RIFF the headers list, taken as its standard indexes tell.
    void TakeFinished(std::size_t r, const ListedEntries& listed) {
        avi::SuperIndexAdditions added;
        for (int s = 0; s < Streams(h_); ++s) {
            for (const Listed& l : listed[static_cast<std::size_t>(s)]) {
                if (l.riff != r) continue;
                added[static_cast<std::size_t>(s)] = l.entry;
                if (s == 0) {
                    w_.counts.videoFrames += l.entry.duration;
                    w_.counts.droppedFrames += l.dropped;
                } else {
                    w_.counts.audioBytes += l.bytes;
                    w_.counts.largestAudioChunk = std::max(w_.counts.largestAudioChunk, l.largest);
                }
            }
        }
        w_.indexes.CommitRiff(added);
        w_.largestAudioFinished = w_.counts.largestAudioChunk;
        if (r > 0) return;
        w_.indexes.ReleaseIdx1();
        w_.first = {false, (h_.flags & kAvifHasIndex) != 0, h_.firstRiffSize, h_.firstMoviSize, w_.counts.videoFrames};
    }

    // Takes the RIFF's whole chunks into the indexes. False when it holds
    // none and is not the first (the file then ends before it), or when what
    // it holds contradicts the headers.
    bool Walk(const Riff& riff) {
        w_.riffStart = riff.start;
        w_.moviStart = riff.start == 0 ? h_.format.headerBytes - 12 : riff.start + 12;
        w_.chunksInRiff = 0;
        std::uint64_t limit = std::min(trusted_, riff.start + h_.options.riffBytes);
        if (riff.size != 0) limit = std::min(limit, riff.End());
        std::uint64_t at = w_.moviStart + 12;
        while (at + 8 <= limit) {
            const std::optional<Bytes> head = src_.Read(at, 8);
            if (!head) break;
            const std::uint32_t id = Load32(&(*head)[0]);
            const std::uint32_t size = Load32(&(*head)[4]);
            const std::uint64_t end = at + 8 + size + (size & 1);
            if (id == avi::kChunkIds[0] && w_.counts.videoFrames == 0xFFFFFFFF) break;  // the writer's limit
            if (!Fits(id, size) || end > limit) {
                contradicted_ = Contradicts(riff, id, size, end);
                if (contradicted_) return false;
                break;
            }
            w_.Index(id == avi::kChunkIds[0] ? 0 : 1, at, size, id != avi::kChunkIds[0] || size > 0);
            at = end;
        }
        // Whatever was found, its indexes must fit in the RIFF as the writer keeps them.
        while (w_.chunksInRiff > 0 && w_.DataEnd() + w_.IndexBytesWith(-1) - w_.riffStart > h_.options.riffBytes) {
            w_.DropLastChunk();
        }
        w_.bufferBase = w_.DataEnd();
        lastDataEnd_ = w_.bufferBase;
        if (w_.chunksInRiff > 0 || riff.start == 0) return true;
        // An AVIX without a whole chunk: the RIFF before it is the last.
        w_.bufferBase = riff.start;
        lastDataEnd_ = riff.start;
        --w_.riffChunks;
        lastWhole_ = false;
        return false;
    }

    // What a kill cannot leave where the chunks end: a chunk of a stream that
    // the format does not allow, one across the end of a complete RIFF, or
    // anything but its closing indexes (or, in the first, idx1) after the
    // last chunk of one.
    bool Contradicts(const Riff& riff, std::uint32_t id, std::uint32_t size, std::uint64_t end) const {
        const bool data = id == avi::kChunkIds[0] || (h_.format.audio && id == avi::kChunkIds[1]);
        if (data) return !Fits(id, size) || (riff.size != 0 && end > riff.End());
        const bool closing = id == kIndexIds[0] || id == kIndexIds[1] || (riff.start == 0 && id == FourCC("idx1"));
        return riff.size != 0 && !closing;
    }

    bool Fits(std::uint32_t id, std::uint32_t size) const {
        if (id == avi::kChunkIds[0]) return size == 0 || size == h_.format.frameBytes;
        return h_.format.audio && id == avi::kChunkIds[1] && size > 0 && size % h_.format.audio->nBlockAlign == 0;
    }

    // A finished file keeps a rest that JUNK covers (as Close leaves a
    // pre-allocated file); a repaired one is cut after the recording, and so
    // is a rest too short for JUNK (a torn chunk header).
    AviRepair Finish() {
        if (!w_.CoverUnusedEnd() || !w_.WriteHeaders(true)) return Result();
        const std::uint64_t size = w_.file->Size().value_or(0);
        // A rest that cannot be cut stays after the last RIFF, which readers
        // do not read past: the file is whole either way.
        if (file_.Changed() || (size > w_.End() && size < w_.End() + 8)) static_cast<void>(w_.file->Truncate(w_.End()));
        return Result();
    }

    AviRepair Result() const {
        AviRepair r;
        r.frames = w_.counts.videoFrames;
        r.droppedFrames = w_.counts.droppedFrames;
        r.audioBytes = w_.counts.audioBytes;
        r.durationMs = std::uint64_t{r.frames} * h_.format.video.microSecPerFrame / 1000;
        r.recordedBytes = w_.End();
        r.changed = file_.Changed();
        r.error = w_.failed ? w_.error : FileError::None;
        const std::uint64_t size = w_.file->Size().value_or(0);
        r.cut = r.changed && (src_.Size() > size || (src_.Size() > lastDataEnd_ && !lastWhole_));
        return r;
    }

    const Source& src_;
    const Headers& h_;
    CarefulFile& file_;
    AviWriter writer_;
    AviWriter::Impl& w_;
    std::uint64_t trusted_ = 0;
    std::uint64_t lastDataEnd_ = 0;
    bool lastWhole_ = false;
    bool contradicted_ = false;
};

std::optional<AviRepair> RepairAviFile(const AviReader& read, std::uint64_t size, RandomAccessFile& file) {
    const Source src(read, size);
    const std::optional<Headers> h = ReadHeaders(src);
    if (!h) return std::nullopt;
    auto careful = std::make_unique<CarefulFile>(read, file);
    CarefulFile& ref = *careful;
    return AviRecovery(src, *h, ref, std::move(careful)).Run();
}

std::optional<AviRepair> RepairAviFile(const std::string& path) {
    BinaryFile reading;
    if (!reading.OpenForReading(path)) return std::nullopt;  // not opened for writing: that would make it
    BinaryFile writing;
    const bool writable = writing.OpenForWriting(path);
    if (writable) static_cast<void>(reading.Close());  // only read
    BinaryFile& file = writable ? writing : reading;
    const std::optional<std::uint64_t> size = file.Size();
    if (!size) return std::nullopt;
    const AviReader read = [&file](std::uint64_t offset, std::span<std::uint8_t> into) {
        const std::optional<std::size_t> got = file.ReadAt(offset, into);
        return got && *got == into.size();
    };
    ReadOnlyFile readOnly(*size);
    std::optional<AviRepair> repair = RepairAviFile(read, *size, writable ? static_cast<RandomAccessFile&>(writing)
                                                                          : static_cast<RandomAccessFile&>(readOnly));
    if (repair && repair->changed && !writing.Sync() && repair->error == FileError::None) repair->error = FileError::Other;
    if (writable && !writing.Close() && repair && repair->error == FileError::None) repair->error = FileError::Other;
    return repair;
}

}  // namespace kestrova
