// A file copied beside the program's one window thread, so that a copy of
// gigabytes holds up neither the window nor the schedule. The copy goes to a
// sibling of the target, which takes the target's place in one step at the
// end (see FileReplacement): until then an existing target stays as it was,
// and a copy that fails or is cancelled leaves nothing behind.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace kestrova {

class BackgroundCopy {
public:
    // Copies the first `bytes` of `source` to `target`. `finished` is called
    // on the copying thread once the copy has ended (it only wakes the
    // window thread, which then reads the result).
    BackgroundCopy(std::string source, std::string target, std::uint64_t bytes, std::function<void()> finished);
    // Cancels a copy still running and waits for its thread.
    ~BackgroundCopy();
    BackgroundCopy(const BackgroundCopy&) = delete;
    BackgroundCopy& operator=(const BackgroundCopy&) = delete;

    const std::string& source() const { return source_; }
    const std::string& target() const { return target_; }
    std::uint64_t total() const { return total_; }
    std::uint64_t copied() const { return copied_.load(); }
    bool done() const { return done_.load(); }
    // Once done: whether the copy is in the target's place.
    bool succeeded() const { return succeeded_.load(); }
    // Asks the copy to stop; it ends soon after, leaving the target as it was.
    void Cancel() { cancelled_ = true; }
    // Waits until the copy has ended.
    void Wait();

private:
    void Run();
    bool CopyAll();

    std::string source_;
    std::string target_;
    std::uint64_t total_;
    std::function<void()> finished_;
    std::atomic<std::uint64_t> copied_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> done_{false};
    std::atomic<bool> succeeded_{false};
    std::thread thread_;
};

}  // namespace kestrova
