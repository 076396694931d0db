// save_stress: saves the settings file and the reservation file again and
// again through the same functions Kestrova's exit uses (SaveSettingsFile,
// SaveReservationsFile), each generation with recognisable contents, so that
// bench/crash_safety.py can kill it at any moment and check what is left.
//
//   save_stress.exe DIR FIRST [COUNT]
//
// Writes DIR\Kestrova.ini and DIR\Kestrova.tmr for generation FIRST, FIRST+1,
// ... (COUNT generations, or until it is killed). Prints "ready" once before
// the first save, then "ini N" when the settings save of generation N has
// returned and "tmr N" when the reservation save has; a failed save prints
// "fail ini N" or "fail tmr N" and ends the program with exit code 1. Each
// line is written straight to the standard output handle, without a
// buffer, so a printed line means that save was done.
//
// What generation N holds (crash_safety.py builds the same bytes):
//   settings: TempPath "Z:\世代\N", TempSize, SampleRate, PreviewRate,
//     PartTime, TopMost, WindowPosX and WindowPosY N, SnapFileName "ｽﾅｯﾌﾟN",
//     FontFaceName "書体N", TempFileName "録画N.avi", Onetouch "15,30,45,N";
//     every other key its default;
//   reservations: slot i empty when (i + N) % 4 == 0, else start
//     1700000000 + 60 N + i, end start + 1800, weekdays (N + i) % 128,
//     comment "世代N 枠i" followed by N % 40 times "長", power-off (N + i) % 2.
#include "reservation/reservation.h"
#include "store/settings.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>

namespace {

using namespace kestrova;

void Print(std::string_view line) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string Utf8(const wchar_t* wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

bool Number(const wchar_t* text, std::int64_t& value) {
    wchar_t* end = nullptr;
    value = std::wcstoll(text, &end, 10);
    return end != text && *end == L'\0' && value >= 0;
}

AppSettings SettingsOf(std::int32_t n) {
    const std::string g = std::to_string(n);
    AppSettings s;
    s.TempPath = "Z:\\世代\\" + g;
    s.TempSize = n;
    s.SampleRate = n;
    s.PreviewRate = n;
    s.PartTime = n;
    s.TopMost = n;
    s.SnapFileName = "ｽﾅｯﾌﾟ" + g;
    s.FontFaceName = "書体" + g;
    s.TempFileName = "録画" + g + ".avi";
    s.Onetouch = "15,30,45," + g;
    return s;
}

ReservationTable ReservationsOf(std::int32_t n) {
    ReservationTable table{};
    for (int i = 0; i < kReservationSlots; ++i) {
        if ((i + n) % 4 == 0) continue;
        ReservationEntry& e = table[static_cast<std::size_t>(i)];
        e.used = 1;
        e.start = 1700000000 + std::int64_t{60} * n + i;
        e.end = e.start + 1800;
        e.weekdays = (n + i) % 128;
        e.comment = "世代" + std::to_string(n) + " 枠" + std::to_string(i);
        for (int k = 0; k < n % 40; ++k) e.comment += "長";
        e.powerOff = (n + i) % 2;
    }
    return table;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::int64_t first = 0;
    std::int64_t count = -1;
    if ((argc != 3 && argc != 4) || !Number(argv[2], first) || first > INT32_MAX / 2 ||
        (argc == 4 && !Number(argv[3], count))) {
        Print("usage: save_stress.exe DIR FIRST [COUNT]\n");
        return 2;
    }
    std::string dir = Utf8(argv[1]);
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    const std::string ini = dir + "Kestrova.ini";
    const std::string tmr = dir + "Kestrova.tmr";

    Print("ready\n");
    for (std::int64_t i = 0; count < 0 || i < count; ++i) {
        const auto n = static_cast<std::int32_t>(first + i);
        const std::string g = std::to_string(n);
        if (!SaveSettingsFile(ini, SettingsOf(n), n, n)) {
            Print("fail ini " + g + "\n");
            return 1;
        }
        Print("ini " + g + "\n");
        if (!SaveReservationsFile(tmr, ReservationsOf(n))) {
            Print("fail tmr " + g + "\n");
            return 1;
        }
        Print("tmr " + g + "\n");
    }
    return 0;
}
