#pragma once
// DXF files, ASCII and binary, of every group-code release: read once as a
// stream of (group code, value) tags, keeping of each block only its block
// references and their attributes, so that a file of any size is never held
// whole. Layout of the parts read (the published DXF reference):
//
//   0 SECTION / 2 HEADER    9 $ACADVER -> 1 version, 9 $DWGCODEPAGE -> 3 name
//   0 SECTION / 2 BLOCKS    0 BLOCK (2 name) ... entities ... 0 ENDBLK
//   0 SECTION / 2 ENTITIES  the model space and the active paper space (67 = 1)
//   0 ENDSEC, 0 EOF
//   INSERT (66 = 1: attributes follow), ATTRIB (2 tag, 1 value; 2018: 101
//   "Embedded Object" then the multi-line text in 3 ... 3, 1), ..., SEQEND
//
// Text is in the $DWGCODEPAGE code page before 2007 (AC1021), UTF-8 from then
// on; control characters are written as ^ and a letter, ^ itself as "^ ".

#include <cstddef>
#include <cstdint>
#include <istream>
#include <span>

#include "error.h"

namespace dwg::detail {

struct Document;

enum class DxfKind : std::uint8_t { None, Ascii, Binary, Keyword };

// Which DXF form the first bytes are, if any (file_format asks this).
DxfKind dxf_kind(std::span<const std::uint8_t> head);

// Fill `doc` (its version and blocks; block ids are 1 + the index into
// Document::dxf_blocks, whose first two are named "*Model_Space" and
// "*Paper_Space") from a whole file in memory or from a stream positioned at
// the file's start.
Error read_dxf(std::span<const std::uint8_t> bytes, Document& doc);
Error read_dxf(std::istream& in, Document& doc);

}  // namespace dwg::detail
