#include "reservation/typed_number.h"

#include <algorithm>

namespace kestrova {

std::int64_t TypedNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    bool minus = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) minus = text[at++] == '-';
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = std::min<std::int64_t>(value * 10 + (text[at] - '0'), INT32_MAX);
    }
    return minus ? -value : value;
}

}  // namespace kestrova
