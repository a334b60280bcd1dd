#pragma once
// Drawings before R13 (AC1.2 .. AC1009): no objects and no object map, only
// entity records in sections that the file header locates. The Document of
// such a drawing holds a PreR13 instead of Sections; Drawing dispatches its
// calls here.
//
// Block handles given out: 1 the model space, 2 the paper space (R11/R12),
// and for a named block the file address of its BLOCK record. An entity's
// handle is the file address of its record.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "drawing.h"
#include "sections.h"
#include "version.h"

namespace dwg::detail {

struct Document;

struct PreR13 {
    using Family = OldLayout;  // None: not a drawing before R13, the Document holds Sections
    Family family = Family::None;
    bool r10 = false, r11 = false;  // as in Release
    // Family A: the entity list. Family B: the entities section.
    std::uint32_t entities_start = 0, entities_end = 0;
    std::uint32_t records = 0;  // family A: the header's record count, bounded by the list's size
    // Family B; an absent or damaged section is empty.
    std::uint32_t blocks_start = 0, blocks_end = 0;
    std::uint32_t extras_start = 0, extras_end = 0;
    std::uint16_t block_record_size = 0, block_count = 0;
    std::uint32_t block_table = 0;
    // Both spaces walk the entities section: what it passes over counts once.
    mutable bool entities_counted = false;
};

// Reads the file header and makes the Document, or says why not.
Error open_pre_r13(Bytes bytes, std::unique_ptr<Document>& out);

using NameEquals = bool (*)(std::string_view, std::string_view);
Error find_block_pre_r13(const Document& doc, std::string_view name, NameEquals equals, std::uint64_t& block);
Error entities_pre_r13(const Document& doc, std::uint64_t block, std::vector<Entity>& out);

}  // namespace dwg::detail
