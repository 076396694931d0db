#include "app/main_title.h"

#include <algorithm>

namespace kestrova {

std::string WorkFileTitle(std::string_view product, std::string_view workFilePath) {
    std::string title(product);
    title += " [";
    title += workFilePath;
    title += ']';
    return title;
}

std::string CopyPercent(std::uint64_t copied, std::uint64_t total) {
    if (copied >= total) return "100%";
    const auto percent = static_cast<std::uint64_t>(static_cast<double>(copied) * 100.0 / static_cast<double>(total));
    return std::to_string(std::min<std::uint64_t>(percent, 99)) + "%";
}

}  // namespace kestrova
