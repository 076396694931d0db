#include "dialogs/about.h"

namespace kestrova {

std::string GuidePath(std::string_view executablePath, std::string_view linkCaption) {
    const std::size_t slash = executablePath.find_last_of("\\/");
    if (slash == std::string_view::npos) return std::string(linkCaption);
    return std::string(executablePath.substr(0, slash + 1)) + std::string(linkCaption);
}

}  // namespace kestrova
