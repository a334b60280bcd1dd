// Replays the fuzz target over its seeds: the files named on the command
// line (folders are walked), the corpus drawings of the versions we read and
// the corpus's DXF files.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int replay(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    int n = 0;
    std::error_code ec;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path p = argv[i];
        if (std::filesystem::is_directory(p, ec)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(p, ec))
                if (entry.is_regular_file())
                    n += replay(entry.path());
        } else {
            n += replay(p);
        }
    }
    for (const char* sub : {"dwg", "unsettled", "broken", "dxf"}) {
        for (const auto& entry : std::filesystem::directory_iterator(corpus::dir() / sub, ec)) {
            char magic[7] = {};
            std::ifstream(entry.path(), std::ios::binary).read(magic, 6);
            if (corpus::read_versions().count(magic) || std::string(sub) == "broken" || entry.path().extension() == ".dxf")
                n += replay(entry.path());
        }
    }
    std::printf("replayed %d inputs\n", n);
    return n > 0 ? 0 : 1;
}
