#include "app/main_title.h"

namespace kestrova {

std::string StartupTitle(std::string_view product, std::string_view tempPath, std::string_view tempFileName) {
    std::string title(product);
    title += " [";
    title += tempPath;
    if (title.back() != '\\') title += '\\';
    title += tempFileName;
    title += ']';
    return title;
}

std::string WorkFileTitle(std::string_view product, std::string_view workFilePath) {
    std::string title(product);
    title += " [";
    title += workFilePath;
    title += ']';
    return title;
}

}  // namespace kestrova
