#include "platform/background_copy.h"

#include "platform/binary_file.h"
#include "platform/files.h"

#include <algorithm>
#include <vector>

namespace kestrova {

namespace {
constexpr std::size_t kBlockBytes = std::size_t{4} << 20;
}  // namespace

BackgroundCopy::BackgroundCopy(std::string source, std::string target, std::uint64_t bytes,
                               std::function<void()> finished)
    : source_(std::move(source)), target_(std::move(target)), total_(bytes), finished_(std::move(finished)) {
    thread_ = std::thread([this] { Run(); });
}

BackgroundCopy::~BackgroundCopy() {
    Cancel();
    Wait();
}

void BackgroundCopy::Wait() {
    if (thread_.joinable()) thread_.join();
}

void BackgroundCopy::Run() {
    bool ok = false;
    try {
        ok = CopyAll();
    } catch (...) {
        ok = false;  // out of memory: the copy fails, the program goes on
    }
    succeeded_ = ok;
    done_ = true;
    if (finished_) finished_();
}

bool BackgroundCopy::CopyAll() {
    BinaryFile in;
    if (!in.OpenForReading(source_)) return false;
    FileReplacement out(target_);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::uint64_t>(total_, kBlockBytes)));
    for (std::uint64_t at = 0; at < total_;) {
        if (cancelled_) return false;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(total_ - at, block.size()));
        const std::optional<std::size_t> got = in.ReadAt(at, std::span(block.data(), want));
        if (!got || *got != want) return false;
        if (!out.Write(std::span<const std::uint8_t>(block.data(), want))) return false;
        at += want;
        copied_ = at;
    }
    return !cancelled_ && out.Commit();
}

}  // namespace kestrova
