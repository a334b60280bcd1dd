// Reads every corpus drawing of each version the reader decodes and prints
// drawings per second and MB per second per version, twice:
// - reader: the dwg library on the file's bytes in memory (parse, model
//   space, paper space, their attributes), leaving the disk out;
// - component: the whole component path from the file, one reading per
//   space as a processing run does (the files stay in the page cache).
//
//   dwg_bench [CORPUS_FOLDER] [SECONDS_PER_VERSION]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "dwg/drawing.h"
#include "modOdxAtributes.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Returns the number of attributes read, so that nothing is optimised away.
std::size_t read_both_spaces(const Bytes& bytes, bool& ok)
{
    dwg::Drawing d;
    ok = dwg::Drawing::parse(bytes, d) == dwg::Error::Ok;
    std::size_t n = 0;
    if (!ok) return n;
    for (const char* space : {"*Model_Space", "*Paper_Space"}) {
        std::uint64_t block = 0;
        if (d.find_block(space, block) != dwg::Error::Ok) continue;
        std::vector<dwg::Entity> list;
        if (d.entities(block, list) != dwg::Error::Ok) ok = false;
        for (const auto& e : list) n += e.kind == dwg::EntityKind::Attribute;
    }
    return n;
}

}  // namespace

int main(int argc, char** argv)
{
    const fs::path dir = fs::path(argc > 1 ? argv[1] : QUORVANE_CORPUS_DIR) / "dwg";
    const double seconds = argc > 2 ? std::stod(argv[2]) : 1.0;

    struct Drawing {
        fs::path path;
        Bytes bytes;
    };
    std::map<std::string, std::vector<Drawing>> by_version;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (entry.path().extension() != ".dwg") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < 6) continue;
        const std::string version(bytes.begin(), bytes.begin() + 6);
        by_version[version].push_back({entry.path(), std::move(bytes)});
    }
    if (by_version.empty()) {
        std::fprintf(stderr, "no drawings in %s\n", dir.string().c_str());
        return 1;
    }

    // Runs `one` over all drawings until `seconds` have passed; returns
    // (drawings/s, MB/s).
    const auto measure = [seconds](const std::vector<Drawing>& files, std::size_t bytes, auto&& one) {
        std::size_t passes = 0;
        const auto start = std::chrono::steady_clock::now();
        double elapsed = 0;
        do {
            for (const auto& f : files) one(f);
            ++passes;
            elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        } while (elapsed < seconds);
        return std::pair(static_cast<double>(files.size() * passes) / elapsed,
                         static_cast<double>(bytes) * static_cast<double>(passes) / 1e6 / elapsed);
    };

    std::printf("%-8s %8s %7s %6s %7s | %-12s %9s | %-12s %9s\n", "version", "drawings", "MB", "failed", "attribs",
                "reader dwg/s", "MB/s", "compon. dwg/s", "MB/s");
    for (const auto& [version, files] : by_version) {
        std::size_t bytes = 0, failed = 0, attributes = 0;
        bool any_read = false;
        for (const auto& f : files) {
            bool ok = false;
            attributes += read_both_spaces(f.bytes, ok);
            failed += !ok;
            any_read = any_read || ok;
            bytes += f.bytes.size();
        }
        if (!any_read) continue;  // a version this reader does not decode

        const auto reader = measure(files, bytes, [](const Drawing& f) {
            bool ok = false;
            read_both_spaces(f.bytes, ok);
        });
        extract::modOdxAtributes module;
        const auto component = measure(files, bytes, [&module](const Drawing& f) {
            module.ReadSpaceAttributes(f.path, "M");
            module.ReadSpaceAttributes(f.path, "P");
        });
        std::printf("%-8s %8zu %7.2f %6zu %7zu | %12.1f %9.1f | %12.1f %9.1f\n", version.c_str(), files.size(),
                    static_cast<double>(bytes) / 1e6, failed, attributes, reader.first, reader.second,
                    component.first, component.second);
    }
    return 0;
}
