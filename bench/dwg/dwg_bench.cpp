// Reads every corpus drawing of each version the reader decodes, as an
// extraction does (parse, model space, paper space, their attributes), and
// prints drawings per second and MB per second per version. The files are
// read into memory first, so the figures leave the disk out.
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

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Returns the number of attributes read, so that nothing is optimised away.
std::size_t extract(const Bytes& bytes, bool& ok)
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

    std::map<std::string, std::vector<Bytes>> by_version;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (entry.path().extension() != ".dwg") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < 6) continue;
        by_version[std::string(bytes.begin(), bytes.begin() + 6)].push_back(std::move(bytes));
    }
    if (by_version.empty()) {
        std::fprintf(stderr, "no drawings in %s\n", dir.string().c_str());
        return 1;
    }

    std::printf("%-8s %9s %9s %8s %12s %9s %8s\n", "version", "drawings", "MB", "failed", "drawings/s", "MB/s",
                "attribs");
    for (const auto& [version, files] : by_version) {
        std::size_t bytes = 0, failed = 0, attributes = 0;
        bool any_read = false;
        for (const auto& f : files) {
            bool ok = false;
            attributes += extract(f, ok);
            failed += !ok;
            any_read = any_read || ok;
            bytes += f.size();
        }
        if (!any_read) continue;  // a version this reader does not decode

        std::size_t passes = 0;
        const auto start = std::chrono::steady_clock::now();
        double elapsed = 0;
        do {
            for (const auto& f : files) {
                bool ok = false;
                extract(f, ok);
            }
            ++passes;
            elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        } while (elapsed < seconds);
        const double drawings = static_cast<double>(files.size() * passes);
        const double mb = static_cast<double>(bytes) * static_cast<double>(passes) / 1e6;
        std::printf("%-8s %9zu %9.2f %8zu %12.1f %9.1f %8zu\n", version.c_str(), files.size(),
                    static_cast<double>(bytes) / 1e6, failed, drawings / elapsed, mb / elapsed, attributes);
    }
    return 0;
}
