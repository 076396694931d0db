#pragma once

#include <string>
#include <string_view>

namespace kestrova {

// "Kestrova [" + work directory + "\" + work file name + "]"; no second
// backslash when the directory already ends with one.
std::string StartupTitle(std::string_view product, std::string_view tempPath, std::string_view tempFileName);

// "Kestrova [" + work file path + "]".
std::string WorkFileTitle(std::string_view product, std::string_view workFilePath);

}  // namespace kestrova
