// Reading speed of the DWG reader over the corpus drawings, per version and in
// total, two ways:
// - reader: the dwg library on the file's bytes already in memory (parse, both
//   spaces' entities and attributes), leaving the disk out;
// - component: the whole component path from the file, one reading per space
//   as a processing run does (the files stay in the page cache).
//
//   bench_dwg [CORPUS_FOLDER [SECONDS_PER_VERSION [VERSIONS]]]
// Defaults: the configured corpus (every drawing beneath it but broken/),
// 1 second per version and way, every version the reader decodes; versions
// as a comma list, e.g. AC1012,AC1014,AC1015. DXF files count as the
// versions "dxf" (ASCII) and "dxf-bin" (binary).
//
//   bench_dwg --huge-dxf [MEGABYTES]
// writes an ASCII DXF file of that size (default 2048) to the temporary
// folder, reads it from the file as the component does, and prints MB/s
// and the peak memory of the process.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "dwg/drawing.h"
#include "dwg/version.h"
#include "dxf_writer.h"
#include "modOdxAtributes.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Keep in step with the versions the reader decodes.
const std::set<std::string> kAllVersions = {"AC1.40", "AC2.10", "AC1003", "AC1004", "AC1006", "AC1009",
                                            "AC1012", "AC1013", "AC1014", "AC1015", "AC1018", "AC1021",
                                            "AC1024", "AC1027", "AC1032", "dxf",    "dxf-bin"};

struct Drawing {
    fs::path path;
    Bytes bytes;
};

// Returns the number of attributes read, so that nothing is optimised away.
std::size_t read_both_spaces(const Bytes& bytes, bool& ok)
{
    dwg::Drawing d;
    ok = dwg::Drawing::parse(bytes, d) == dwg::Error::Ok;
    std::size_t n = 0;
    if (!ok)
        return n;
    for (const char* space : {"*Model_Space", "*Paper_Space"}) {
        std::uint64_t block = 0;
        if (d.find_block(space, block) != dwg::Error::Ok)
            continue;
        std::vector<dwg::Entity> list;
        if (d.entities(block, list) != dwg::Error::Ok)
            ok = false;
        for (const auto& e : list) n += e.kind == dwg::EntityKind::Attribute;
    }
    return n;
}

struct Tally {
    std::size_t drawings = 0;
    double bytes = 0;
    double seconds = 0;
};

// Runs `one` over all drawings, whole passes, until `seconds` have passed.
template <typename One>
Tally measure(const std::vector<Drawing>& files, double bytes, double seconds, One&& one)
{
    Tally t;
    const auto start = std::chrono::steady_clock::now();
    do {
        for (const auto& f : files) one(f);
        t.drawings += files.size();
        t.bytes += bytes;
        t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (t.seconds < seconds);
    return t;
}

// The total counts one pass of each version, so that every drawing weighs the
// same whatever its version's speed.
void add_one_pass(Tally& sum, const Tally& t, std::size_t drawings, double bytes)
{
    sum.drawings += drawings;
    sum.bytes += bytes;
    sum.seconds += t.seconds * static_cast<double>(drawings) / static_cast<double>(t.drawings);
}

void print_row(const char* version, std::size_t drawings, double megabytes, std::size_t left_out,
               std::size_t attributes, const Tally& reader, const Tally& component)
{
    std::printf("%-8s %8zu %7.2f %8zu %8zu | %12.1f %8.1f | %12.1f %8.1f\n", version, drawings, megabytes, left_out,
                attributes, reader.drawings / reader.seconds, reader.bytes / reader.seconds / 1e6,
                component.drawings / component.seconds, component.bytes / component.seconds / 1e6);
}

double peak_rss_mb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

// Processor seconds of the process so far, user and system.
double cpu_seconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

int huge_dxf(double megabytes)
{
    const fs::path path = fs::temp_directory_path() / "bench_dwg_huge.dxf";
    std::uint64_t attributes = 0;
    {
        std::ofstream out(path, std::ios::binary);
        attributes = dxf_writer::write_huge(out, static_cast<std::uint64_t>(megabytes * 1e6));
        if (!out) {
            std::fprintf(stderr, "could not write %s\n", path.string().c_str());
            return 1;
        }
    }
    const double size = static_cast<double>(fs::file_size(path));
    const double before = peak_rss_mb();
    const double cpu = cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    dwg::Drawing d;
    std::size_t read = 0;
    const dwg::Error e = dwg::Drawing::open(path, d);
    std::uint64_t block = 0;
    std::vector<dwg::Entity> list;
    if (e == dwg::Error::Ok && d.find_block("*Model_Space", block) == dwg::Error::Ok &&
        d.entities(block, list) == dwg::Error::Ok)
        for (const auto& entity : list) read += entity.kind == dwg::EntityKind::Attribute;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu_used = cpu_seconds() - cpu;
    fs::remove(path);
    // Wall time includes waiting for the disk; processor time does not.
    std::printf("huge ASCII DXF: %.0f MB, %zu of %llu attributes; %.2f s, %.1f MB/s; %.2f s of processor, "
                "%.1f MB/s; peak memory %.1f MB (%.1f MB before reading)\n",
                size / 1e6, read, static_cast<unsigned long long>(attributes), seconds, size / seconds / 1e6, cpu_used,
                size / cpu_used / 1e6, peak_rss_mb(), before);
    return e == dwg::Error::Ok && read == attributes ? 0 : 1;
}

// "dxf" and "dxf-bin" for DXF files, else the first six bytes.
std::string version_of(const Bytes& bytes)
{
    const dwg::detail::FileFormat format = dwg::detail::file_format(bytes);
    if (format.dxf())
        return format.kind == dwg::detail::FileKind::DxfBinary ? "dxf-bin" : "dxf";
    return std::string(bytes.begin(), bytes.begin() + std::min<std::size_t>(6, bytes.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--huge-dxf")
        return huge_dxf(argc > 2 ? std::atof(argv[2]) : 2048);
    const fs::path root = argc > 1 && *argv[1] ? argv[1] : QUORVANE_CORPUS_DIR;
    const double seconds = argc > 2 ? std::max(0.0, std::atof(argv[2])) : 1.0;
    std::set<std::string> versions = kAllVersions;
    if (argc > 3) {
        versions.clear();
        const std::string list = argv[3];
        for (std::size_t at = 0; at <= list.size();) {
            const std::size_t comma = std::min(list.find(',', at), list.size());
            versions.insert(list.substr(at, comma - at));
            at = comma + 1;
        }
    }

    std::map<std::string, std::vector<Drawing>> by_version;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(root, ec)) {
        const auto& p = entry.path();
        if ((p.extension() != ".dwg" && p.extension() != ".dxf") || p.parent_path().filename() == "broken")
            continue;
        std::ifstream in(p, std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < 6)
            continue;
        const std::string version = version_of(bytes);
        if (versions.count(version))
            by_version[version].push_back({p, std::move(bytes)});
    }
    if (by_version.empty()) {
        std::fprintf(stderr, "no drawings of the chosen versions under %s\n", root.string().c_str());
        return 1;
    }

    std::printf("%s, %.1f s per version and way; MB/s counts file bytes; drawings the reader rejects are left out\n",
                root.string().c_str(), seconds);
    std::printf("%-8s %8s %7s %8s %8s | %-12s %8s | %-12s %8s\n", "version", "drawings", "MB", "left out", "attribs",
                "reader dwg/s", "MB/s", "compon dwg/s", "MB/s");
    Tally reader_sum, component_sum;
    std::size_t drawings_sum = 0, left_out_sum = 0, attributes_sum = 0;
    double bytes_sum = 0;
    extract::modOdxAtributes module;
    for (auto& [version, all] : by_version) {
        // Only those the reader opens count; the rest would measure error paths.
        std::vector<Drawing> files;
        double bytes = 0;
        std::size_t attributes = 0;
        for (auto& f : all) {
            bool ok = false;
            const std::size_t n = read_both_spaces(f.bytes, ok);
            if (!ok)
                continue;
            attributes += n;
            bytes += f.bytes.size();
            files.push_back(std::move(f));
        }
        const std::size_t left_out = all.size() - files.size();
        left_out_sum += left_out;
        if (files.empty()) {
            std::printf("%-8s %8zu %7s %8zu\n", version.c_str(), std::size_t{0}, "-", left_out);
            continue;
        }

        const Tally reader = measure(files, bytes, seconds, [](const Drawing& f) {
            bool ok = false;
            read_both_spaces(f.bytes, ok);
        });
        const Tally component = measure(files, bytes, seconds, [&module](const Drawing& f) {
            module.ReadSpaceAttributes(f.path, "M");
            module.ReadSpaceAttributes(f.path, "P");
        });
        print_row(version.c_str(), files.size(), bytes / 1e6, left_out, attributes, reader, component);
        add_one_pass(reader_sum, reader, files.size(), bytes);
        add_one_pass(component_sum, component, files.size(), bytes);
        drawings_sum += files.size();
        bytes_sum += bytes;
        attributes_sum += attributes;
    }
    if (reader_sum.seconds > 0)
        print_row("total", drawings_sum, bytes_sum / 1e6, left_out_sum, attributes_sum, reader_sum, component_sum);
    return 0;
}
