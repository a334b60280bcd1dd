// A whole run over the generated batch drawings, to CSV and to each Access
// version: drawings per second, and the share of the time spent outside
// reading drawings (building rows, writing and reopening the output file).
//
//   bench_run [DRAWING_FOLDER] [REPEAT]
//
// The folder defaults to the corpus's generated/batch (300 drawings); REPEAT
// (default 1) lists every drawing that many times.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "output/processing_run.h"

namespace fs = std::filesystem;
using namespace output;

int main(int argc, char* argv[]) {
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::path(QUORVANE_CORPUS_DIR) / "generated" / "batch";
    const int repeat = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;

    std::vector<std::string> paths;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().extension() == ".dwg") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    if (paths.empty()) {
        std::fprintf(stderr, "bench_run: no drawings in %s\n", folder.string().c_str());
        return 2;
    }

    RunRequest request;
    for (const char* tag : {"DWG_NO", "TITLE", "REV", "SHEET"}) request.TemplateItems.push_back({true, tag, tag, "M"});
    for (int r = 0; r < repeat; ++r)
        for (const auto& p : paths) request.Drawings.push_back({true, p});

    const fs::path scratch = fs::temp_directory_path() / ("quorvane-bench-run-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    std::printf("%zu drawings from %s\n", request.Drawings.size(), folder.string().c_str());
    std::printf("%-11s %10s %10s %12s %14s %9s\n", "output", "seconds", "drawings/s", "reading s", "outside read", "not read");
    int status = 0;
    const struct {
        const char* name;
        OutputKind kind;
        const char* file;
    } kinds[] = {{"csv", OutputKind::Csv, "out.csv"},
                 {"access97", OutputKind::Access97, "out97.mdb"},
                 {"access2000", OutputKind::Access2000, "out2000.mdb"}};
    for (const auto& k : kinds) {
        request.Kind = k.kind;
        request.OutputPath = (scratch / k.file).string();
        ProcessingRun run;
        RunCallbacks callbacks;
        callbacks.RunFailed = [](const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); };
        const RunResult result = run.Run(request, callbacks);
        if (!result.completed()) {
            status = 1;
            continue;
        }
        const double outside = result.SecondsTotal - result.SecondsReading;
        std::printf("%-11s %10.3f %10.1f %12.3f %13.1f%% %9d\n", k.name, result.SecondsTotal,
                    result.DrawingsHandled / result.SecondsTotal, result.SecondsReading,
                    100.0 * outside / result.SecondsTotal, result.DrawingsNotProcessed);
    }
    fs::remove_all(scratch, ec);
    return status;
}
