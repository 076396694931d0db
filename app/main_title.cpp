#include "app/main_title.h"

namespace kestrova {

std::string WorkFileTitle(std::string_view product, std::string_view workFilePath) {
    std::string title(product);
    title += " [";
    title += workFilePath;
    title += ']';
    return title;
}

}  // namespace kestrova
