// Fuzz target: the 2004-family LZ77 decoder alone. The first two bytes give
// the output size (little-endian), the rest is the compressed stream, so the
// fuzzer explores both short outputs and long runs. Built for libFuzzer with
// -DQUORVANE_FUZZ=ON (clang); fuzz_replay.cpp runs it over the seeds.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "dwg/lz77_r2004.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t capacity = data[0] | std::size_t{data[1]} << 8;
    // One guard byte behind the output catches a write past its end even
    // without a sanitizer.
    std::vector<std::uint8_t> out(capacity + 1, 0xA5);
    std::size_t produced = 0;
    dwg::detail::decompress_r2004({data + 2, size - 2}, std::span(out).first(capacity), produced);
    if (produced > capacity || out[capacity] != 0xA5)
        std::abort();
    return 0;
}
