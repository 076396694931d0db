#include "dialogs/about.h"

#include "platform/files.h"

namespace kestrova {

std::string GuidePath(std::string_view executablePath, std::string_view linkCaption) {
    return DirectoryOf(executablePath) + std::string(linkCaption);
}

}  // namespace kestrova
