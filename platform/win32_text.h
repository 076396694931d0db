// UTF-8 <-> UTF-16 for the wide Win32 functions (Windows build only).
#pragma once
#ifdef _WIN32

#include <string>
#include <string_view>

namespace kestrova {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace kestrova

#endif
