// Creates a database of 20 columns and appends 10,000 records, each with its
// own open and close as a processing run does; prints records per second and
// the file size for each format.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/jet.h"

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const int records = argc > 1 ? std::stoi(argv[1]) : 10000;
    const fs::path dir = fs::temp_directory_path() / ("jet_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::vector<std::string> columns{"Location"};
    for (int i = 1; i < 20; ++i) columns.push_back("ATTRIBUTE_TAG_" + std::to_string(i));
    int status = 0;
    for (const jet::Version v : {jet::Version::Jet3, jet::Version::Jet4}) {
        const char* label = v == jet::Version::Jet3 ? "Access 97 (Jet 3)" : "Access 2000 (Jet 4)";
        const fs::path file = dir / "bench.mdb";
        fs::remove(file);
        const auto start = std::chrono::steady_clock::now();
        jet::Status s = jet::create(file, v, "Main", columns);
        for (int r = 0; s.ok() && r < records; ++r) {
            // Values shaped like a title block: a path, short codes, some empty.
            std::vector<std::optional<std::string>> values{"C:\\Projects\\Site 12\\Drawings\\A-" + std::to_string(r) +
                                                           ".dwg"};
            for (int c = 1; c < 20; ++c) {
                if (c % 7 == 0)
                    values.emplace_back(std::nullopt);
                else
                    values.emplace_back("Value " + std::to_string(r * 31 + c));
            }
            jet::Database db;
            s = jet::Database::open(file, db);
            if (s.ok())
                s = db.append(values);
            if (s.ok())
                s = db.close();
        }
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!s.ok()) {
            std::fprintf(stderr, "%s: %s: %s\n", label, jet::message(s.code), s.detail.c_str());
            status = 1;
            continue;
        }
        std::printf(
            "%-20s %d records x 20 columns, open/append/close each: %.2f s, %.0f records/s, file %.1f MB (%ju bytes)\n",
            label, records, secs, records / secs, static_cast<double>(fs::file_size(file)) / 1e6,
            static_cast<std::uintmax_t>(fs::file_size(file)));
    }
    fs::remove_all(dir);
    return status;
}
