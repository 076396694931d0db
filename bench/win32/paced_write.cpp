// The disk path's own limit for the recording bench: writes BYTES with plain
// WriteFile once every PERIOD microseconds for SECONDS, as a recording of
// uncompressed frames does, and counts the periods missed (a write that ends
// after its period). Run by hand under Wine:
//     paced_write.exe FILE BYTES PERIOD SECONDS
//     paced_write.exe Z:\tmp\paced.bin 6220800 16667 60     (1920x1080 at 60 fps)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

long long Micros(const LARGE_INTEGER& frequency) {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart / frequency.QuadPart * 1000000 + counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

double Seconds(const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: paced_write FILE BYTES PERIOD_US SECONDS\n");
        return 2;
    }
    const auto bytes = static_cast<DWORD>(std::atoll(argv[2]));
    const long long period = std::atoll(argv[3]);
    const long long slots = std::atoll(argv[4]) * 1000000 / (period > 0 ? period : 1);
    HANDLE file = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE || period <= 0) return 1;
    const std::vector<char> buffer(bytes, 7);
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    const long long start = Micros(frequency);
    long long missed = 0;
    long long worst = 0;
    for (long long slot = 0; slot < slots;) {
        DWORD written = 0;
        if (!WriteFile(file, buffer.data(), bytes, &written, nullptr)) return 1;
        const long long now = Micros(frequency) - start;
        worst = std::max(worst, now - (slot + 1) * period);
        const long long next = now / period + 1;
        missed += next - slot - 1;
        slot = next;
        const long long wait = slot * period - now;
        if (wait > 1000) Sleep(static_cast<DWORD>(wait / 1000));
    }
    CloseHandle(file);
    FILETIME created{}, ended{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    std::printf("%lld periods, %lld missed, worst %.1f ms late; kernel %.1f s, user %.1f s\n", slots, missed,
                static_cast<double>(worst) / 1000.0, Seconds(kernel), Seconds(user));
    return 0;
}
