// The workbook writer on its own: rows per second and the process's peak
// memory for a run of many drawings, so a large batch shows it stays small.
//
//   bench_xlsx [ROWS] [FIELDS]
//
// ROWS defaults to 100000, FIELDS (attribute columns beside the path) to 8.
// Values mix short codes with leading zeros, Latin and CJK titles and a long
// note, so the text checks and the width tracking do real work.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "output/xlsx_file.h"

namespace fs = std::filesystem;

namespace {

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char* argv[])
{
    const long rows = argc > 1 ? std::max(1L, std::atol(argv[1])) : 100000;
    const int fields = argc > 2 ? std::max(1, std::atoi(argv[2])) : 8;

    std::vector<std::string> header{"File Name"};
    for (int f = 0; f < fields; ++f) header.push_back("FIELD_" + std::to_string(f));
    const std::vector<std::string> samples = {"007",
                                              "A-1042-003",
                                              "Caf\xC3\xA9 pump station, level 2",
                                              "\xE5\x9B\xBE\xE7\xBA\xB8\xE7\xAC\xAC\xE4\xB8\x89\xE5\x8F\xB7",
                                              "",
                                              "Rev C: moved valve V-12 to grid line 4 and\nrerouted the drain",
                                              "2026-12-07",
                                              std::string(300, 'n')};

    const fs::path scratch = fs::temp_directory_path() / ("quorvane-bench-xlsx-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    const fs::path out = scratch / "out.xlsx";
    const long before = PeakKilobytes();
    const auto start = std::chrono::steady_clock::now();

    output::XlsxFile xlsx;
    output::Status status = xlsx.Create(out, {header.begin(), header.end()});
    std::vector<std::string> row(header.size());
    output::CellChanges changes;
    for (long r = 0; r < rows && status.ok(); ++r) {
        row[0] = "/drawings/site " + std::to_string(r / 1000) + "/sheet-" + std::to_string(r) + ".dwg";
        for (int f = 0; f < fields; ++f) row[f + 1] = samples[(r + f) % samples.size()];
        status = xlsx.Append({row.begin(), row.end()}, changes);
    }
    const double appending = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status.ok())
        status = xlsx.Close();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!status.ok()) {
        std::fprintf(stderr, "bench_xlsx: %s\n", status.detail.c_str());
        fs::remove_all(scratch);
        return 1;
    }
    std::error_code ec;
    const auto bytes = fs::file_size(out, ec);
    std::printf("%ld rows x %zu columns\n", rows, header.size());
    std::printf("%-10s %10s %12s %12s %10s %14s\n", "output", "seconds", "rows/s", "close s", "file MB",
                "peak memory MB");
    std::printf("%-10s %10.3f %12.0f %12.3f %10.1f %14.1f\n", "xlsx", seconds, rows / seconds, seconds - appending,
                bytes / 1e6, PeakKilobytes() / 1024.0);
    std::printf("(peak memory before writing: %.1f MB)\n", before / 1024.0);
    fs::remove_all(scratch, ec);
    return 0;
}
