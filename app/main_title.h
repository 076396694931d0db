#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

// "Kestrova [" + work file path + "]": the work file by its full path, from
// start-up on.
std::string WorkFileTitle(std::string_view product, std::string_view workFilePath);

// How far a copy has got: "45%" (rounded down, so 100% only when done).
std::string CopyPercent(std::uint64_t copied, std::uint64_t total);

}  // namespace kestrova
