#pragma once
// What a file-structure reader hands to the object decoder: the four sections
// attribute extraction needs, each as the bytes that start with the section's
// begin sentinel (header, classes) or its first page (object map).
// One file-structure reader exists per version family:
//   R13 .. 2000 (AC1012-AC1015)   plain sections located by the file header
//   2004, 2010+ (AC1018, AC1024+) encrypted header, page and section maps, LZ77
//   2007        (AC1021)          Reed-Solomon coded header and pages, own LZ77

#include <cstdint>
#include <span>
#include <vector>

#include "error.h"

namespace dwg::detail {

enum class Version : std::uint8_t { R13, R14, R2000, R2004, R2007, R2010, R2013, R2018 };

struct Sections {
    Version version = Version::R13;
    std::uint8_t maintenance = 0;   // maintenance release byte of the file header
    std::uint16_t codepage = 0;     // $DWGCODEPAGE, the RS at file offset 0x13
    std::vector<std::uint8_t> header;   // header variables section
    std::vector<std::uint8_t> classes;  // classes section
    std::vector<std::uint8_t> handles;  // object map
    // The bytes the object map's offsets point into: the whole file for
    // R13-2000, the decompressed objects section from 2004 on (then held in
    // objects_storage).
    std::span<const std::uint8_t> objects;
    std::vector<std::uint8_t> objects_storage;
    // Checksums that did not match on structures whose contents were sane.
    std::uint32_t checksum_mismatches = 0;
};

// Each reader fills `out` from the whole file's bytes or returns why not.
// `file` outlives `out` (R13-2000 point into it).
Error read_sections_r13(std::span<const std::uint8_t> file, Sections& out);
Error read_sections_r2004(std::span<const std::uint8_t> file, Sections& out);
Error read_sections_r2007(std::span<const std::uint8_t> file, Sections& out);

}  // namespace dwg::detail
