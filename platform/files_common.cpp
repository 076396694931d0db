#include "platform/files.h"

namespace kestrova {

std::string ReplaceLastThree(std::string_view path, std::string_view ext) {
    std::string out(path.substr(0, path.size() >= 3 ? path.size() - 3 : 0));
    out += ext;
    return out;
}

}  // namespace kestrova
