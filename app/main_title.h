#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

// "Kestrova [" + work directory + "\" + work file name + "]"; no second
// backslash when the directory already ends with one.
std::string StartupTitle(std::string_view product, std::string_view tempPath, std::string_view tempFileName);

// "Kestrova [" + work file path + "]".
std::string WorkFileTitle(std::string_view product, std::string_view workFilePath);

// How far a copy has got: "45%" (rounded down, so 100% only when done).
std::string CopyPercent(std::uint64_t copied, std::uint64_t total);

}  // namespace kestrova
