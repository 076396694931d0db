// The time to add one row to a history page that already holds 10,000 rows
// (each entry rewrites the whole page and replaces it in one step).
//   history_bench [directory] [rows]
#include "history/history_log.h"
#include "platform/clock.h"
#include "platform/cp932.h"
#include "platform/files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace kestrova;
    const std::string directory = argc > 1 ? std::string(argv[1]) + "/" : std::string("./");
    const int rows = argc > 2 ? std::atoi(argv[2]) : 10000;
    const ManualClock clock(1000000000);
    const HistoryEntry entry{clock.Now(), clock.Now() + 1800, 1800, "ﾍﾞﾝﾁﾏｰｸ"};

    // The page with its rows, built in one go.
    HistoryLog log(directory, clock);
    std::string page = *ReadWholeFile(log.historyPath());
    std::string row;
    for (const char c : Utf8ToCp932(HistoryRow(clock, clock.Now(), entry))) {
        if (c == '\n') row += '\r';
        row += c;
    }
    const std::size_t marker = page.find("<!--begin_log-->\r\n") + 18;
    std::string many;
    for (int i = 0; i < rows; ++i) many += row;
    page.insert(marker, many);
    if (!ReplaceFileContents(log.historyPath(), page)) return 1;

    std::vector<double> ms;
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!log.AddEntry(entry).added) return 1;
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("rows %d, page %zu bytes: add one row median %.1f ms, max %.1f ms\n", rows + 20,
                ReadWholeFile(log.historyPath())->size(), ms[ms.size() / 2], ms.back());
    return 0;
}
