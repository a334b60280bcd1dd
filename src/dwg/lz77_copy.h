#pragma once
// The two copies both LZ77 variants are made of, for bounds their callers
// have already checked. Runs are mostly a few bytes long, where a call to
// memcpy with a variable length costs more than the copy: fixed-size pieces
// that overlap at the end of the run compile to a couple of moves and write
// nothing outside [dst, dst + n).

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dwg::detail::lz77 {

// n bytes from src to dst; the two ranges do not overlap.
[[gnu::always_inline]] inline void copy_bytes(std::uint8_t* dst, const std::uint8_t* src, std::size_t n)
{
    if (n >= 16) {
        std::size_t i = 0;
        for (; i + 16 <= n; i += 16) std::memcpy(dst + i, src + i, 16);
        if (i < n)
            std::memcpy(dst + n - 16, src + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + n - 8, src + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + n - 4, src + n - 4, 4);
    } else {
        for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
    }
}

// A back-reference: `length` bytes from `offset` (>= 1) bytes before dst,
// which lie in the output already written. An offset shorter than the
// length repeats the last `offset` bytes, so the output repeats every
// multiple of the offset too: once the first such multiple of at least 8
// bytes is laid down, 8-byte pieces never read what they write.
[[gnu::always_inline]] inline void copy_match(std::uint8_t* dst, std::size_t offset, std::size_t length)
{
    const std::uint8_t* src = dst - offset;
    if (offset >= length) {
        copy_bytes(dst, src, length);
    } else if (offset == 1) {
        std::memset(dst, src[0], length);
    } else {
        std::size_t i = 0;
        std::size_t period = offset;
        if (offset < 8) {
            period = offset * ((7 + offset) / offset);
            for (; i < period && i < length; ++i) dst[i] = src[i];
        }
        for (; i + 8 <= length; i += 8) std::memcpy(dst + i, dst + i - period, 8);
        for (; i < length; ++i) dst[i] = dst[i - period];
    }
}

}  // namespace dwg::detail::lz77
