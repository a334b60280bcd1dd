// Whole runs to CSV and to each Access version, with 1 and 2 reading
// threads, against the time `find DIR -iname '*.dwg' -exec cat {} +` takes to
// read the same files; then the peak memory of runs over 300 and 3,000
// drawings (generated/batch listed once and ten times).
//
//   bench_run [CORPUS]
//
// CORPUS defaults to the project's corpus folder. The drawings are the R13
// and later ones of CORPUS/dwg plus CORPUS/generated/batch, gathered as
// links in a scratch folder so that `find` and the run see the same files.
// Every run goes in a child process of its own, so that its peak memory is
// its own; the page cache is warmed by a first reading.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dwg/version.h"
#include "extract/readahead.h"
#include "output/processing_run.h"

namespace fs = std::filesystem;
using namespace output;

namespace {

struct Figures {
    bool ok = false;
    int drawings = 0;
    int rows = 0;
    double total = 0, reading = 0, waiting = 0, writing = 0;
    long peakKb = 0;
};

// Runs the request in a child process; its figures come back through a pipe.
Figures RunInChild(const RunRequest& request)
{
    int pipes[2];
    if (::pipe(pipes) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipes[0]);
        ProcessingRun run;
        RunCallbacks callbacks;
        callbacks.RunFailed = [](const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); };
        const RunResult r = run.Run(request, callbacks);
        Figures f{r.completed(),    r.DrawingsHandled, r.RowsWritten,    r.SecondsTotal,
                  r.SecondsReading, r.SecondsWaiting,  r.SecondsWriting, 0};
        const bool written = ::write(pipes[1], &f, sizeof f) == static_cast<ssize_t>(sizeof f);
        std::_Exit(written ? 0 : 1);
    }
    ::close(pipes[1]);
    Figures f;
    const bool got = pid > 0 && ::read(pipes[0], &f, sizeof f) == static_cast<ssize_t>(sizeof f);
    ::close(pipes[0]);
    int status = 0;
    rusage usage{};
    if (pid > 0)
        ::wait4(pid, &status, 0, &usage);
    if (!got)
        return {};
    f.peakKb = usage.ru_maxrss;
    return f;
}

double SecondsOf(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool R13OrLater(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::uint8_t head[6] = {};
    if (!in.read(reinterpret_cast<char*>(head), 6))
        return false;
    return dwg::detail::dwg_version(head).has_value();
}

}  // namespace

int main(int argc, char* argv[])
{
    const fs::path corpus = argc > 1 ? fs::path(argv[1]) : fs::path(QUORVANE_CORPUS_DIR);
    const fs::path batch = corpus / "generated" / "batch";
    const fs::path scratch = fs::temp_directory_path() / ("quorvane-bench-run-" + std::to_string(::getpid()));
    const fs::path folder = scratch / "drawings";
    fs::create_directories(folder);

    std::vector<fs::path> sources;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(corpus / "dwg", ec))
        if (entry.path().extension() == ".dwg" && R13OrLater(entry.path()))
            sources.push_back(entry.path());
    std::vector<fs::path> batchFiles;
    for (const auto& entry : fs::directory_iterator(batch, ec))
        if (entry.path().extension() == ".dwg")
            batchFiles.push_back(entry.path());
    std::sort(sources.begin(), sources.end());
    std::sort(batchFiles.begin(), batchFiles.end());
    sources.insert(sources.end(), batchFiles.begin(), batchFiles.end());
    if (sources.empty() || batchFiles.empty()) {
        std::fprintf(stderr, "bench_run: no drawings under %s\n", corpus.string().c_str());
        return 2;
    }
    std::uintmax_t bytes = 0;
    RunRequest request;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const fs::path link = folder / (std::to_string(i) + "_" + sources[i].filename().string());
        fs::create_symlink(fs::absolute(sources[i]), link, ec);
        bytes += fs::file_size(sources[i], ec);
        request.Drawings.push_back({true, link.string()});
    }
    for (const char* tag : {"DWG_NO", "TITLE", "REV", "SHEET"}) request.TemplateItems.push_back({true, tag, tag, "M"});

    const std::string cat = "find '" + folder.string() + "' -iname '*.dwg' -exec cat {} + > /dev/null";
    SecondsOf(cat);  // warms the page cache
    double catSeconds = 1e9;
    for (int i = 0; i < 3; ++i) catSeconds = std::min(catSeconds, SecondsOf(cat));
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("%zu drawings, %.1f MB (R13 and later of %s/dwg, and generated/batch)\n", sources.size(), mb,
                corpus.string().c_str());
    std::printf("find -exec cat: %.3f s (%.0f MB/s), best of 3\n\n", catSeconds, mb / catSeconds);
    std::printf("%-11s %4s %8s %7s %9s %8s %10s %9s %9s %8s\n", "output", "jobs", "seconds", "x cat", "drawings/s",
                "MB/s", "reading s", "waiting s", "writing s", "peak MB");

    int status = 0;
    const struct {
        const char* name;
        OutputKind kind;
        const char* file;
    } kinds[] = {{"csv", OutputKind::Csv, "out.csv"},
                 {"access97", OutputKind::Access97, "out97.mdb"},
                 {"access2000", OutputKind::Access2000, "out2000.mdb"},
                 {"xlsx", OutputKind::Xlsx, "out.xlsx"}};
    for (const auto& k : kinds) {
        for (unsigned jobs : {1u, 2u}) {
            request.Kind = k.kind;
            request.Jobs = jobs;
            request.OutputPath = (scratch / k.file).string();
            // Best of two: other work on the machine only ever adds time.
            Figures best;
            for (int attempt = 0; attempt < 2; ++attempt) {
                const Figures f = RunInChild(request);
                if (f.ok && (!best.ok || f.total < best.total))
                    best = f;
            }
            if (!best.ok) {
                std::printf("%-11s %4u failed\n", k.name, jobs);
                status = 1;
                continue;
            }
            std::printf("%-11s %4u %8.3f %7.2f %10.1f %8.1f %10.3f %9.3f %9.3f %8.1f\n", k.name, jobs, best.total,
                        best.total / catSeconds, best.drawings / best.total, mb / best.total, best.reading,
                        best.waiting, best.writing, best.peakKb / 1024.0);
        }
    }

    std::printf("\npeak memory, CSV, default jobs (%u):\n", extract::DefaultJobs());
    for (int times : {1, 10}) {
        RunRequest list = request;
        list.Kind = OutputKind::Csv;
        list.Jobs = 0;
        list.OutputPath = (scratch / "list.csv").string();
        list.Drawings.clear();
        for (int t = 0; t < times; ++t)
            for (const auto& p : batchFiles) list.Drawings.push_back({true, p.string()});
        const Figures f = RunInChild(list);
        if (!f.ok)
            status = 1;
        std::printf("%6zu drawings: %8.1f MB peak, %.3f s\n", list.Drawings.size(), f.peakKb / 1024.0, f.total);
    }
    std::printf("\nreading s: inside the reader, summed over the threads; waiting s: the writer waiting for the\n"
                "next drawing; writing s: appending rows. Other work on the machine adds noise.\n");
    fs::remove_all(scratch, ec);
    return status;
}
