// Stands in for a command Kestrova starts after a recording: writes the
// arguments it was given (as the C runtime splits its command line), one a
// line in UTF-8, to the file named by its first argument, and exits with
// the code its second argument gives. A code written "wait:N" first waits
// (ten minutes at most) for a file "go" in the current directory: a command
// that outlives a Kestrova killed meanwhile.
//
//   argprobe.exe OUT CODE [ARG...]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    std::wstring code = argv[2];
    if (code.rfind(L"wait:", 0) == 0) {
        code.erase(0, 5);
        for (int i = 0; i < 6000 && GetFileAttributesW(L"go") == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    }
    std::string text;
    for (int i = 3; i < argc; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(n > 0 ? static_cast<std::size_t>(n - 1) : 0, '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), n, nullptr, nullptr);
        text += arg + "\n";
    }
    // Written whole under a temporary name, so a reader never sees half.
    const std::wstring out = argv[1], temp = out + L".new";
    FILE* f = _wfopen(temp.c_str(), L"wb");
    if (f == nullptr) return 3;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written || !MoveFileExW(temp.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING)) return 4;
    return static_cast<int>(std::wcstol(code.c_str(), nullptr, 10));
}
