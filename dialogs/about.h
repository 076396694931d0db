// ﾊﾞｰｼﾞｮﾝ情報: the product, the installed capture drivers (DriverLines of
// dialogs/device_select.h) and a link to the user guide that ships beside
// the executable.
#pragma once

#include <string>
#include <string_view>

namespace kestrova {

// The link's caption: the guide's file name.
inline constexpr char kGuideFileName[] = "Kestrova.html";

// The file the link opens: the caption taken in the executable's directory.
std::string GuidePath(std::string_view executablePath, std::string_view linkCaption);

}  // namespace kestrova
