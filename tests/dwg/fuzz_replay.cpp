// Replays a fuzz target over its seeds: the files named on the command line,
// folders walked. The corpus itself is read by tests/extract/corpus_test.cpp.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    int n = 0;
    std::error_code ec;
    auto replay = [&n](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++n;
    };
    for (int i = 1; i < argc; ++i) {
        if (std::filesystem::is_directory(argv[i], ec)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i], ec))
                if (entry.is_regular_file())
                    replay(entry.path());
        } else {
            replay(argv[i]);
        }
    }
    std::printf("replayed %d inputs\n", n);
    return n > 0 ? 0 : 1;
}
