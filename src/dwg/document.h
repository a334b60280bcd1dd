#pragma once
// What an open drawing holds, and the one object decoder over it. Every
// version family's file-structure reader produces the same Sections; from
// there on the versions differ only inside the decoding functions below.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "bits.h"
#include "drawing.h"
#include "file_pre_r13.h"
#include "sections.h"
#include "text.h"
#include "text/utf8.h"

namespace dwg::detail {

// Object map: handle -> offset of the object's record in Sections::objects,
// sorted by handle. It says nothing about the order of entities.
class ObjectMap {
public:
    // `objects_size` bounds the offsets of a page whose CRC does not match;
    // such a page counts in `warnings` when it is taken.
    Error read(std::span<const std::uint8_t> section, std::uint64_t objects_size = UINT64_MAX,
               Warnings* warnings = nullptr);
    // false when the handle has no entry.
    bool find(std::uint64_t handle, std::int64_t& offset) const;
    // The smallest mapped handle above `handle`, 0 when there is none.
    std::uint64_t next_after(std::uint64_t handle) const;
    std::size_t size() const { return keys_.size(); }

private:
    void sort_keeping_last();

    // Apart, so that a lookup's search touches the handles only.
    std::vector<std::uint64_t> keys_;
    std::vector<std::int64_t> offsets_;
    // Where the last lookup ended: like the deferred pages, this makes a
    // Drawing one thread's at a time.
    mutable std::size_t last_ = 0;
};

struct ClassInfo {
    std::uint16_t number = 0;
    bool is_entity = false;
};

// What a DXF file keeps for attribute extraction: a block's references with
// their attributes, nothing else, so that a huge file stays small in memory.
struct DxfBlock {
    std::string name;
    std::vector<Entity> entities;
};

struct Document {
    explicit Document(std::uint16_t codepage) : text(codepage) {}

    Bytes file;
    Sections sections;
    std::string version;  // the file's first six bytes
    ObjectMap map;
    std::vector<ClassInfo> classes;
    // From the header variables; 0 where the header could not be read.
    std::uint64_t block_control = 0;
    std::uint64_t model_space = 0;
    std::uint64_t paper_space = 0;
    // A drawing before R13 has neither sections nor objects; see file_pre_r13.h.
    PreR13 pre_r13;
    // Conversion state and what was passed over; reading is otherwise free
    // of side effects.
    mutable TextDecoder text;
    mutable Warnings warnings;
    // Entities by owner (the space records for entities marked as in a
    // space), built when a chain first breaks.
    mutable std::unordered_map<std::uint64_t, std::vector<std::uint64_t>> by_owner;
    mutable bool by_owner_built = false;
    // Objects passed over, each counted once however often it is met.
    mutable std::unordered_set<std::uint64_t> skipped;

    void skip(std::uint64_t handle) const
    {
        if (skipped.insert(handle).second)
            ++warnings.skipped_objects;
    }
    // A DXF file has no sections or object map, only its blocks: [0] the
    // model space, [1] the active paper space, then the BLOCKS section's.
    bool dxf = false;
    std::vector<DxfBlock> dxf_blocks;

    bool at_least(Version v) const { return sections.version >= v; }
};

// Block names compare without case.
using text::equal_caseless;

// Fixed object type numbers.
enum ObjectType : std::uint16_t {
    kAttrib = 2,
    kSeqend = 6,
    kInsert = 7,
    kMinsert = 8,
    kBlockControl = 48,
    kBlockHeader = 49,
};

// One object's record with its streams. `data` stands after the common
// preamble (type, handle, extended data, for entities the preview and, in
// R13-14, the bit size), ready for the common data; `handles` at the start of
// the handle stream; from 2007 on `strings` is the string stream.
struct ObjectRecord {
    std::uint16_t type = 0;
    std::uint64_t handle = 0;
    BitReader data;
    BitReader handles;
    BitReader strings;
    bool has_strings = false;
};

Error open_object(const Document& doc, std::uint64_t handle, bool entity, ObjectRecord& out);

// Whether objects of this type are entities: fixed numbers by the format's
// table, class numbers by the class's item id (unknown classes count as
// entities, so that a missing classes section loses nothing).
bool is_entity_type(const Document& doc, std::uint16_t type);

// Common entity data and its handles: what the block walk needs.
struct EntityCommon {
    unsigned entmode = 0;  // 0: owner handle stored, 1: paper space, 2: model space
    bool nolinks = true;   // before 2004: no prev/next handles stored
    std::uint64_t owner = 0;
    std::uint64_t prev = 0;
    std::uint64_t next = 0;
};
Error read_entity_common(const Document& doc, ObjectRecord& o, EntityCommon& out);

// Common data of a non-entity object, through its handle-stream prefix.
Error read_object_common(const Document& doc, ObjectRecord& o);

struct BlockControl {
    std::vector<std::uint64_t> entries;
    std::uint64_t model_space = 0;
    std::uint64_t paper_space = 0;
};
Error read_block_control(const Document& doc, std::uint64_t handle, BlockControl& out);

struct BlockHeader {
    std::string name;  // UTF-8
    // Before 2004 the first and last entity of the chain; from 2004 on the
    // owned entities in stored order.
    std::uint64_t first_entity = 0;
    std::uint64_t last_entity = 0;
    std::vector<std::uint64_t> owned;
};
Error read_block_header(const Document& doc, std::uint64_t handle, BlockHeader& out);

// INSERT / MINSERT after the common entity data.
struct Insert {
    std::uint64_t handle = 0;
    bool has_attribs = false;
    std::uint64_t first_attrib = 0;  // before 2004
    std::uint64_t last_attrib = 0;
    std::vector<std::uint64_t> attribs;  // from 2004 on
    std::uint64_t seqend = 0;
};
Error read_insert(const Document& doc, ObjectRecord& o, Insert& out);

// ATTRIB after the common entity data: tag and value, UTF-8.
Error read_attrib(const Document& doc, ObjectRecord& o, std::string& tag, std::string& value);

// Header variables: the block control object and the two space records.
Error read_header_handles(Document& doc);
// Classes section; its failure is not fatal for attribute reading.
Error read_classes(Document& doc);

}  // namespace dwg::detail
