// Reading speed of the DWG reader over the corpus drawings of the versions
// it reads, for the reader alone (bytes already in memory, both spaces'
// entities and attributes) and for the whole component path (file opened and
// read through the drawing component, both spaces, as a processing run does).
//   bench_dwg [corpus folder [rounds [versions]]]
// Defaults: the configured corpus, 5 rounds, every version the reader
// decodes; versions as a comma list, e.g. AC1012,AC1014,AC1015.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "dwg/drawing.h"
#include "modOdxAtributes.h"

namespace {

// Keep in step with the versions the reader decodes.
const std::set<std::string> kAllVersions = {"AC1012", "AC1013", "AC1014", "AC1015", "AC1018", "AC1021",
                                         "AC1024", "AC1027", "AC1032"};

struct Drawing {
    std::filesystem::path path;
    std::vector<std::uint8_t> bytes;
};

std::size_t read_spaces(const dwg::Drawing& d)
{
    std::size_t attributes = 0;
    for (const char* name : {"*Model_Space", "*Paper_Space"}) {
        std::uint64_t block = 0;
        std::vector<dwg::Entity> list;
        if (d.find_block(name, block) == dwg::Error::Ok)
            d.entities(block, list);
        for (const auto& e : list)
            attributes += e.kind == dwg::EntityKind::Attribute;
    }
    return attributes;
}

void report(const char* what, std::size_t drawings, std::uint64_t bytes, double seconds, std::size_t attributes)
{
    std::printf("%-28s %8zu drawings  %8.1f drawings/s  %8.1f MB/s  (%zu attributes, %.2f s)\n", what, drawings,
                drawings / seconds, bytes / seconds / 1e6, attributes, seconds);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path root = argc > 1 && *argv[1] ? argv[1] : QUORVANE_CORPUS_DIR;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::set<std::string> versions = kAllVersions;
    if (argc > 3) {
        versions.clear();
        std::string list = argv[3];
        for (std::size_t at = 0; at <= list.size();) {
            const std::size_t comma = std::min(list.find(',', at), list.size());
            versions.insert(list.substr(at, comma - at));
            at = comma + 1;
        }
    }

    std::vector<Drawing> drawings;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ec)) {
        const auto& p = entry.path();
        if (p.extension() != ".dwg" || p.parent_path().filename() == "broken")
            continue;
        std::ifstream in(p, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() >= 6 && versions.count(std::string(bytes.begin(), bytes.begin() + 6)))
            drawings.push_back({p, std::move(bytes)});
    }
    // Only those the reader opens count; the rest would measure error paths.
    std::vector<Drawing> readable;
    std::uint64_t total = 0;
    for (auto& d : drawings) {
        dwg::Drawing probe;
        if (dwg::Drawing::parse(d.bytes, probe) == dwg::Error::Ok) {
            total += d.bytes.size();
            readable.push_back(std::move(d));
        }
    }
    std::printf("%zu drawings (%.1f MB) under %s, %d rounds\n", readable.size(), total / 1e6, root.string().c_str(),
                rounds);
    if (readable.empty())
        return 1;

    using clock = std::chrono::steady_clock;
    std::size_t attributes = 0;
    auto start = clock::now();
    for (int r = 0; r < rounds; ++r) {
        for (const auto& d : readable) {
            dwg::Drawing drawing;
            if (dwg::Drawing::parse(d.bytes, drawing) == dwg::Error::Ok)
                attributes += read_spaces(drawing);
        }
    }
    double seconds = std::chrono::duration<double>(clock::now() - start).count();
    report("reader (in memory)", readable.size() * rounds, total * rounds, seconds, attributes);

    extract::modOdxAtributes module;
    attributes = 0;
    start = clock::now();
    for (int r = 0; r < rounds; ++r) {
        for (const auto& d : readable) {
            for (const char* space : {"M", "P"}) {
                module.ReadSpaceAttributes(d.path, space);
                attributes += module.DrawingAttributes.size();
            }
        }
    }
    seconds = std::chrono::duration<double>(clock::now() - start).count();
    report("component (file, M and P)", readable.size() * rounds, total * rounds, seconds, attributes);
    return 0;
}
