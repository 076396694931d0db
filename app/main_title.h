#pragma once

#include <string>
#include <string_view>

namespace kestrova {

// "Kestrova [" + work file path + "]": the work file by its full path, from
// start-up on.
std::string WorkFileTitle(std::string_view product, std::string_view workFilePath);

}  // namespace kestrova
