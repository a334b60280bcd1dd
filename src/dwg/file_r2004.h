#pragma once
// File structure of 2004-family drawings (AC1018, AC1024, AC1027, AC1032):
// an encrypted file header at 0x80 points to the page map; the page map
// gives each page's address, the section map lists each section's pages;
// every page is LZ77-compressed (lz77_r2004.h). `read_sections_r2004`
// (sections.h) is the entry point; the pieces below are exposed for tests.

#include <cstddef>
#include <cstdint>
#include <span>

namespace dwg::detail {

// CRC-32 (reflected polynomial 0xEDB88320) as used for the encrypted header.
std::uint32_t crc32_r2004(std::uint32_t seed, std::span<const std::uint8_t> data);

// The Adler-like sum of system and data pages: two 16-bit sums modulo
// 0xFFF1, reduced every 0x15B0 bytes, continued from `seed`.
std::uint32_t page_checksum_r2004(std::uint32_t seed, std::span<const std::uint8_t> data);

// XORs `data` with the fixed key stream that hides the file header at 0x80.
void unmask_file_header_r2004(std::span<std::uint8_t> data);

}  // namespace dwg::detail
