#pragma once
// The LZ77 variant that compresses the pages of 2004-family drawings
// (AC1018, AC1024, AC1027, AC1032): both the system pages (page map,
// section map) and the data pages.

#include <cstddef>
#include <cstdint>
#include <span>

#include "error.h"

namespace dwg::detail {

// Decompresses `in` into `out`, never writing past `out.size()` and never
// reading past `in.size()`. `produced` receives the number of bytes written.
// Truncated: the input ends before its end-of-stream mark.
// Corrupt:   a copy reaches before the start of the output or past its end.
Error decompress_r2004(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& produced);

}  // namespace dwg::detail
