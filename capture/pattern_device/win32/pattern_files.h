// The file operations of the test-pattern device's capture window.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova {

// Makes the file exist with exactly `bytes` bytes (what was in it is gone).
bool AllocateFile(const std::string& path, std::uint64_t bytes);

// Copies the recording held in `source` (without unused allocated space) to
// `target`, which it replaces in one step only once the copy is whole: a
// failure leaves an existing target as it was.
bool CopyRecording(const std::string& source, const std::string& target);

}  // namespace kestrova
