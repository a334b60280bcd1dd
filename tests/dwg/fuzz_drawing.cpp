// Fuzz target: any bytes through the whole reading path. Built for libFuzzer
// with -DQUORVANE_FUZZ=ON (clang); fuzz_replay.cpp runs it over the seeds as
// an ordinary test.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dwg/drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    dwg::Drawing d;
    if (dwg::Drawing::parse(std::vector<std::uint8_t>(data, data + size), d) != dwg::Error::Ok)
        return 0;
    for (const char* name : {"*Model_Space", "*Paper_Space", "SOME_BLOCK"}) {
        std::uint64_t block = 0;
        std::vector<dwg::Entity> list;
        if (d.find_block(name, block) == dwg::Error::Ok)
            d.entities(block, list);
    }
    return 0;
}
