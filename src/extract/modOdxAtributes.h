#pragma once
// Reading the attributes of one space of a drawing through the drawing
// component. One object of this class is the program's attribute module: the
// sample import and the per-drawing extraction read `DrawingAttributes` right
// after calling one of the two readers.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dwg/drawing.h"

namespace extract {

// All texts UTF-8. SpaceCode is "M" (model space) or "P" (paper space).
struct AttributeRecord {
    std::string Tag;
    std::string Value;
    std::string SpaceCode;
};

// Whether two UTF-8 tags are the same tag: letter case is ignored for
// Latin, Greek and Cyrillic letters.
bool SameTag(const std::string& a, const std::string& b);

// One reading of every attribute of a space, free of shared state, so that
// drawings can be read on several threads at once (see readahead.h).
struct SpaceRead {
    std::uint16_t Code = 0;                // as ReadSpaceAttributes returns it
    std::vector<AttributeRecord> Records;  // Tag and Value, entity order, duplicates kept
    dwg::Warnings Warnings;
};
SpaceRead ReadSpace(const std::filesystem::path& drawingPath, const std::string& spaceCode);

// Whether a reading with this code gives its drawing a row: the drawing was
// opened, even when the space was not there (the row then has empty fields).
bool GivesRow(std::uint16_t code);

// How a run fills a field: the value of the first record, in entity order,
// whose tag equals `tag` exactly (letter case counts); null when none does.
const std::string* FirstValue(const std::vector<AttributeRecord>& records, const std::string& tag);

class modOdxAtributes {
public:
    std::vector<AttributeRecord> DrawingAttributes;
    // What the reader passed over in the drawing last read.
    dwg::Warnings LastWarnings;

    // Replaces DrawingAttributes with one record per distinct tag of the
    // space ("Rev" and "REV" are one tag, spelled as first met), valued from
    // the first attribute met; each record carries spaceCode. A missing or
    // unreadable drawing leaves the list empty. Returns the component's
    // LastError, as ReadSpaceAttributes does.
    std::uint16_t ReadDrawingAttributes(const std::filesystem::path& drawingPath, const std::string& spaceCode);

    // Replaces DrawingAttributes with every attribute of the space in entity
    // order, duplicates kept, Tag and Value only (SpaceCode stays empty).
    // Returns the component's LastError: 0 when the drawing was read, 3 when
    // the file does not exist, another code (see dwg/error.h) when it could
    // not be opened or its space could not be read; the list then holds what
    // was gathered.
    std::uint16_t ReadSpaceAttributes(const std::filesystem::path& drawingPath, const std::string& spaceCode);
};

}  // namespace extract
