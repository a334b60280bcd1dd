#pragma once
// The LZ77 variant of 2007 drawings (file header record, system pages, data
// pages). It differs from the 2004 one in its opcodes and in that literal
// runs are stored shuffled in blocks of up to 32 bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "error.h"

namespace dwg::detail::lz77_r2007 {

// For a literal run whose length modulo 32 is n (1..31), or a full block of
// 32 (index 32), byte i of the output comes from source byte order[n][i]
// of that part of the run.
using LiteralOrder = std::array<std::array<std::uint8_t, 32>, 33>;
const LiteralOrder& literal_order();

// Decompresses all of `in` into the front of `out` and stores the number of
// bytes produced in `produced`. Never writes past `out`; input that would
// need more room, reads past its end or refers before the start of the
// output gives Error::Corrupt.
Error decompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& produced);

}  // namespace dwg::detail::lz77_r2007
