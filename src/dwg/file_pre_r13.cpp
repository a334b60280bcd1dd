// Drawings before R13. Two record layouts exist:
//
// Family A (AC1.40): the header is followed by one list of fixed-size
// records, block definitions inline (BLOCK .. ENDBLK). No attributes exist.
// | offset | size | meaning                                  |
// |--------|------|------------------------------------------|
// | 0x24   | 4    | end of the entity list                   |
// | 0x202  |      | first record: RS type (negative: erased), |
// |        |      | RS layer, then the type's fixed fields   |
//
// Family B (AC1.50 .. AC1009): sections located by the file header.
// | offset | size | meaning                                              |
// |--------|------|------------------------------------------------------|
// | 0x11   | 2    | number of header variables                           |
// | 0x14   | 4    | entities section: start                             |
// | 0x18   | 4    | entities section: end                               |
// | 0x1C   | 4    | blocks section: start                                |
// | 0x20   | 4    | blocks section: size (low 24 bits)                   |
// | 0x24   | 4    | extras section: start, 0 = none                      |
// | 0x28   | 4    | extras section: size (low 24 bits)                   |
// | 0x2C   | 10   | BLOCK table: RS record size, RS count, RS -, RL address |
// | 0x3F9  | 2    | DWGCODEPAGE (more than 129 header variables)         |
//
// Family B entity record:
// | +0 | 1 | type; bit 0x80: erased                                        |
// | +1 | 1 | flags: 0x01 colour, 0x02 linetype, 0x04 elevation, 0x08        |
// |    |   | thickness, 0x20 handle (R10 on), 0x40 extended flags (R11),   |
// |    |   | 0x80 attributes follow (INSERT)                               |
// | +2 | 2 | length of the whole record (R11: with its trailing CRC-16)    |
// | +4 | 2 | layer                                                         |
// | +6 | 2 | bits of the type's optional fields                            |
// | +8 |   | optional common fields in this order: extended flags RC       |
// |    |   | (0x02: RS n + n bytes of extended data follow), colour RC,    |
// |    |   | linetype RC (R11: RS), elevation RD, thickness RD, handle     |
// |    |   | (RC n + n bytes), extended flags 0x04: RS; then the type's    |
// |    |   | own fields                                                    |
// In logical order an INSERT with flag 0x80 is followed by its ATTRIBs and a
// SEQEND. A record enlarged in place was moved to the extras section: a JUMP
// stands where it was, and a JUMP at the end of the moved records leads back.

#include "file_pre_r13.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "bits.h"
#include "document.h"

namespace dwg::detail {

namespace {

// Which stored mark puts an R11/R12 entity in paper space. The two differ
// only for model-space entities that carry extended data.
enum class PaperSpaceRule : std::uint8_t {
    EntityFlag40,    // entity flags bit 0x40 ("has extended flags") alone
    ExtendedFlag04,  // extended flags bit 0x04 (followed by its RS field)
};

// The rule in force. Flag 0x40 only says that an extended flags byte
// follows, which extended data needs as well: in drawings whose current space
// is the model, entities with extended data carry 0x40 with extended flags
// 0x02 alone, while every paper-space entity seen carries extended flags 0x04
// and its field.
constexpr PaperSpaceRule kPaperSpaceRule = PaperSpaceRule::ExtendedFlag04;

constexpr std::uint64_t kModelSpace = 1;
constexpr std::uint64_t kPaperSpace = 2;
constexpr std::uint16_t kAnsi1252 = 30;  // the code page where the drawing names none

enum RecordType : std::uint8_t {
    kBlock = 12,
    kEndblk = 13,
    kInsert = 14,
    kAttrib = 16,
    kSeqend = 17,
    kJump = 18,
    kVertex = 20,
};

enum EntityFlags : std::uint8_t {
    kColour = 0x01,
    kLinetype = 0x02,
    kElevation = 0x04,
    kThickness = 0x08,
    kHandle = 0x20,
    kExtended = 0x40,
    kFollows = 0x80,
};

enum ExtendedFlags : std::uint8_t { kExtendedData = 0x02, kPaperField = 0x04 };

// Counted text (RS byte count, then the bytes) at the reader's position, as a
// view of `bytes`, the span the reader reads.
std::string_view counted_text(ByteReader& r, std::span<const std::uint8_t> bytes)
{
    const std::uint16_t n = r.RS();
    if (!r.ok() || n > r.left()) {
        r.fail();
        return {};
    }
    const std::string_view s(reinterpret_cast<const char*>(bytes.data()) + r.pos(), n);
    r.seek(r.pos() + n);
    return s;
}

// Some writers store a 16-bit address sign-extended to 32 bits.
std::uint32_t repair_address(std::uint32_t address, std::size_t file_size)
{
    return address >= 0xFFFF0000u && address > file_size ? address & 0xFFFFu : address;
}

Error read_header_a(std::span<const std::uint8_t> file, PreR13& p)
{
    constexpr std::uint32_t kFirstRecord = 0x202;
    ByteReader r(file);
    r.seek(0x24);
    const std::uint32_t end = r.RL();
    const std::uint16_t count = r.RS();
    if (!r.ok())
        return Error::Truncated;
    if (end < kFirstRecord)
        return Error::Corrupt;
    if (end > file.size())
        return Error::Truncated;
    p.entities_start = kFirstRecord;
    p.entities_end = end;
    // Records are four bytes at least.
    p.records = std::min<std::uint32_t>(count, (end - kFirstRecord) / 4);
    return Error::Ok;
}

Error read_header_b(std::span<const std::uint8_t> file, PreR13& p, std::uint16_t& codepage)
{
    constexpr std::uint32_t kFixedHeader = 0x5E;
    ByteReader r(file);
    r.seek(0x11);
    const std::uint16_t variables = r.RS();
    r.seek(0x14);
    const std::uint32_t entities_start = r.RL();
    const std::uint32_t entities_end = r.RL();
    const std::uint32_t blocks_start = repair_address(r.RL(), file.size());
    const std::uint32_t blocks_size = r.RL() & 0xFFFFFF;
    const std::uint32_t extras_start = r.RL();
    const std::uint32_t extras_size = r.RL() & 0xFFFFFF;
    const std::uint16_t record_size = r.RS();
    const std::uint16_t record_count = r.RS();
    r.RS();
    const std::uint32_t table = repair_address(r.RL(), file.size());
    if (!r.ok() || file.size() < kFixedHeader)
        return Error::Truncated;
    if (entities_start < kFixedHeader || entities_end < entities_start)
        return Error::Corrupt;
    if (entities_end > file.size())
        return Error::Truncated;
    p.entities_start = entities_start;
    p.entities_end = entities_end;

    // Sections and the table serve named blocks only: damaged, they are empty.
    auto fits = [&](std::uint32_t start, std::uint64_t size) {
        return start <= file.size() && size <= file.size() - start;
    };
    if (fits(blocks_start, blocks_size)) {
        p.blocks_start = blocks_start;
        p.blocks_end = blocks_start + blocks_size;
    }
    if (extras_start != 0 && fits(extras_start, extras_size)) {
        p.extras_start = extras_start;
        p.extras_end = extras_start + extras_size;
    }
    if (record_size >= (p.r11 ? 39 : 37) && fits(table, std::uint64_t{record_size} * record_count)) {
        p.block_record_size = record_size;
        p.block_count = record_count;
        p.block_table = table;
    }

    constexpr std::size_t kCodepageAt = 0x3F9;
    if (variables > 129 && kCodepageAt + 2 <= entities_start)
        codepage = le16_at(file, kCodepageAt);
    // R11's header and record CRCs go unchecked: every field read here is
    // checked against the file, and checking them would halve the speed.
    return Error::Ok;
}

// In place: a list can hold thousands of entities and nothing else.
void add_entity(std::vector<Entity>& out, bool insert, std::uint32_t at)
{
    Entity& e = out.emplace_back();
    e.kind = insert ? EntityKind::BlockReference : EntityKind::Other;
    e.handle = at;
}

// ---------------------------------------------------------------------------
// Family B records

struct Record {
    std::uint32_t at = 0;  // file address
    std::uint16_t length = 0;
    std::uint8_t type = 0;  // without the erased bit
    std::uint8_t flags = 0;
};

// The live records of one section in logical order: a JUMP into the extras
// section reads the moved records there in its place. Damage that leaves
// the record lengths readable is stepped over and counted.
class RecordWalk {
public:
    RecordWalk(const PreR13& p, std::span<const std::uint8_t> file, std::uint32_t begin, std::uint32_t end)
        : p_(p), file_(file), main_{begin, end}
    {
    }

    // false at the end of the section or where a record length is damaged.
    bool next(Record& rec)
    {
        for (;;) {
            Range& range = in_extras_ ? extras_ : main_;
            if (range.pos >= range.end) {
                if (!in_extras_)
                    return false;
                // Moved records that end without a way back: go on after the
                // jump that led here.
                ++skipped_;
                in_extras_ = false;
                continue;
            }
            if (!read(range, rec))
                return false;
            // Every moved record is reached once; more means jumps that lead
            // to the same records again.
            if (in_extras_ && (extras_read_ += rec.length) > p_.extras_end - p_.extras_start) {
                error_ = Error::Corrupt;
                return false;
            }
            if (file_[rec.at] & 0x80)
                continue;  // erased
            if (rec.type != kJump)
                return true;
            follow(rec);
        }
    }

    Error error() const { return error_; }
    std::uint32_t skipped() const { return skipped_; }

private:
    struct Range {
        std::uint32_t pos, end;
    };

    bool read(Range& range, Record& rec)
    {
        const std::uint32_t least = p_.r11 ? 10 : 8;
        const std::uint32_t left = range.end - range.pos;
        if (left < least) {
            error_ = Error::Corrupt;
            return false;
        }
        rec.at = range.pos;
        rec.type = file_[rec.at] & 0x7F;
        rec.flags = file_[rec.at + 1];
        rec.length = le16_at(file_, rec.at + 2);
        if (rec.length < least || rec.length > left) {
            error_ = Error::Corrupt;
            return false;
        }
        range.pos += rec.length;
        return true;
    }

    // A JUMP's target (RL at +4): from a section, high byte 0x80 and an
    // offset into the extras section; from the extras section, high byte 0
    // and the file address where the section's walk resumes, never behind
    // the jump that left it.
    void follow(const Record& jump)
    {
        const std::uint32_t target = le32_at(file_, jump.at + 4);
        const std::uint32_t low = target & 0xFFFFFF;
        if (!in_extras_) {
            if ((target >> 24) == 0x80 && low < p_.extras_end - p_.extras_start) {
                extras_ = {p_.extras_start + low, p_.extras_end};
                in_extras_ = true;
            } else {
                ++skipped_;
            }
            return;
        }
        in_extras_ = false;
        if ((target >> 24) == 0 && target >= main_.pos && target <= main_.end)
            main_.pos = target;
        else
            ++skipped_;
    }

    const PreR13& p_;
    std::span<const std::uint8_t> file_;
    Range main_;
    Range extras_{0, 0};
    bool in_extras_ = false;
    std::uint64_t extras_read_ = 0;
    std::uint32_t skipped_ = 0;
    Error error_ = Error::Ok;
};

// A reader over the record's fields (R11: without its CRC), standing after
// the optional common fields; `extended` gets the extended flags.
ByteReader type_fields(const PreR13& p, std::span<const std::uint8_t> record, std::uint8_t flags,
                       std::uint8_t& extended)
{
    ByteReader r(record.first(record.size() - (p.r11 ? 2 : 0)));
    r.seek(8);
    extended = 0;
    if (p.r11 && (flags & kExtended)) {
        extended = r.RC();
        if (extended & kExtendedData) {
            const std::uint16_t n = r.RS();
            r.seek(r.pos() + n);
        }
    }
    if (flags & kColour)
        r.RC();
    if (flags & kLinetype)
        p.r11 ? r.RS() : r.RC();
    // From R10 on LINE, POINT, 3DLINE and 3DFACE use this flag otherwise;
    // they are never decoded here.
    if (flags & kElevation)
        r.seek(r.pos() + 8);
    if (flags & kThickness)
        r.seek(r.pos() + 8);
    if (p.r10 && (flags & kHandle)) {
        const std::uint8_t n = r.RC();
        r.seek(r.pos() + n);
    }
    if (extended & kPaperField)
        r.RS();
    return r;
}

bool in_paper_space(const PreR13& p, std::span<const std::uint8_t> file, const Record& rec)
{
    if (!p.r11 || !(rec.flags & kExtended))
        return false;
    if constexpr (kPaperSpaceRule == PaperSpaceRule::EntityFlag40)
        return true;
    return (file[rec.at + 8] & kPaperField) != 0;
}

// ATTRIB: point 2RD, height RD, value, tag, flags RC, optional fields.
bool read_attrib(const Document& doc, const Record& rec, Entity& out)
{
    const auto record = std::span<const std::uint8_t>(doc.file).subspan(rec.at, rec.length);
    std::uint8_t extended = 0;
    ByteReader r = type_fields(doc.pre_r13, record, rec.flags, extended);
    r.seek(r.pos() + 24);
    const std::string_view value = counted_text(r, record);
    const std::string_view tag = counted_text(r, record);
    if (!r.ok())
        return false;
    out.kind = EntityKind::Attribute;
    out.handle = rec.at;
    out.tag = doc.text.from_codepage(tag);
    out.value = doc.text.from_codepage(value);
    return true;
}

// Appends a walk's records to `out`, each INSERT that announces attributes
// with the ATTRIBs that follow it up to its SEQEND; attributes share their
// INSERT's space. A block's walk ends at its ENDBLK.
template <typename InList>
Error collect(const Document& doc, RecordWalk& walk, bool block, InList in_list, std::vector<Entity>& out)
{
    Record rec;
    bool more = walk.next(rec);
    while (more) {
        if (rec.type == kBlock || rec.type == kEndblk) {
            if (block)
                break;
            more = walk.next(rec);
            continue;
        }
        // Attributes, vertices and end markers belong to the INSERT or
        // POLYLINE before them, not to the list.
        if (rec.type == kAttrib || rec.type == kSeqend || rec.type == kVertex) {
            more = walk.next(rec);
            continue;
        }
        const bool listed = in_list(rec);
        const bool run = rec.type == kInsert && (rec.flags & kFollows);
        if (listed)
            add_entity(out, rec.type == kInsert, rec.at);
        more = walk.next(rec);
        if (!run)
            continue;
        for (; more && rec.type == kAttrib; more = walk.next(rec)) {
            if (!listed)
                continue;
            Entity a;
            if (read_attrib(doc, rec, a))
                out.push_back(std::move(a));
            else
                ++doc.warnings.skipped_objects;
        }
        if (more && rec.type == kSeqend)
            more = walk.next(rec);
    }
    if (block || !std::exchange(doc.pre_r13.entities_counted, true))
        doc.warnings.skipped_objects += walk.skipped();
    return walk.error();
}

// Calls `visit(name, address)` for the live BLOCK table records until it
// returns true; `address` is the file address of the block's BLOCK record.
template <typename Visit>
bool each_block_b(const Document& doc, Visit visit)
{
    const PreR13& p = doc.pre_r13;
    const std::size_t offset_at = p.r11 ? 35 : 33;
    for (std::uint32_t i = 0; i < p.block_count; ++i) {
        const auto record = std::span<const std::uint8_t>(doc.file).subspan(
            p.block_table + std::size_t{i} * p.block_record_size, p.block_record_size);
        if (record[0] & 0x80)
            continue;  // erased: empty name, stale offset
        const std::uint32_t offset = le32_at(record, offset_at) & 0x3FFFFFFF;
        const std::uint64_t address = std::uint64_t{p.blocks_start} + offset;
        if (address >= p.blocks_end)
            continue;
        std::string_view stored(reinterpret_cast<const char*>(record.data()) + 1, 32);
        std::string name = doc.text.from_codepage(stored.substr(0, stored.find('\0')));
        // An anonymous block's name is stored as its prefix ("*D"); the
        // record number completes it.
        if ((record[0] & 0x01) && !name.empty() && (name.back() < '0' || name.back() > '9'))
            name += std::to_string(i);
        if (visit(name, static_cast<std::uint32_t>(address)))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Family A records: fixed fields per type, one string in some.

struct RecordA {
    std::uint32_t at = 0;
    std::uint32_t end = 0;
    std::uint16_t type = 0;
    bool erased = false;
    std::string_view text;  // BLOCK and INSERT: the block name
};

[[gnu::always_inline]] inline bool read_a(std::span<const std::uint8_t> file, std::uint32_t at, std::uint32_t end,
                                          RecordA& rec)
{
    struct Body {
        std::uint8_t before, text, after;
    };
    // By type 1..14: bytes before the string, whether there is one, bytes after.
    static constexpr Body kBodies[] = {
        {32, 0, 0}, {16, 0, 0}, {24, 0, 0}, {34, 0, 0}, {0, 0, 0},  {20, 0, 0}, {32, 1, 0},
        {40, 0, 0}, {64, 0, 0}, {0, 1, 0},  {64, 0, 0}, {0, 1, 16}, {0, 0, 0},  {0, 1, 40},
    };
    // Plain offsets, each checked: per-byte reads would cost more than the
    // rest of the walk.
    if (end - at < 4)
        return false;
    const auto type = static_cast<std::int16_t>(le16_at(file, at));
    rec.at = at;
    rec.erased = type < 0;
    rec.type = static_cast<std::uint16_t>(type < 0 ? -type : type);
    if (rec.type == 0 || rec.type > std::size(kBodies))
        return false;
    // Lines make up most lists; their size as a constant keeps the next
    // record's address off the table load.
    const Body body = rec.type == 1 ? Body{32, 0, 0} : kBodies[rec.type - 1];
    std::uint32_t pos = at + 4 + body.before;
    rec.text = {};
    if (body.text) {
        if (pos > end || end - pos < 2)
            return false;
        const std::uint16_t n = le16_at(file, pos);
        pos += 2;
        if (n > end - pos)
            return false;
        rec.text = std::string_view(reinterpret_cast<const char*>(file.data()) + pos, n);
        pos += n;
    }
    pos += body.after;
    if (pos > end)
        return false;
    rec.end = pos;
    return true;
}

// Model space: the live records outside block definitions. A block: the
// records after its BLOCK up to its ENDBLK.
Error collect_a(const Document& doc, std::uint32_t from, bool block, std::vector<Entity>& out)
{
    const PreR13& p = doc.pre_r13;
    if (!block)
        out.reserve(p.records);
    bool inside = false;
    RecordA rec;
    for (std::uint32_t at = from; at < p.entities_end; at = rec.end) {
        if (!read_a(doc.file, at, p.entities_end, rec))
            return Error::Corrupt;
        if (rec.erased)
            continue;
        if (rec.type == kBlock || rec.type == kEndblk) {
            if (block && at != from)
                break;
            inside = rec.type == kBlock;
            continue;
        }
        if (!inside || block)
            add_entity(out, rec.type == kInsert, rec.at);
    }
    return Error::Ok;
}

template <typename Visit>
Error each_block_a(const Document& doc, Visit visit)
{
    const PreR13& p = doc.pre_r13;
    RecordA rec;
    for (std::uint32_t at = p.entities_start; at < p.entities_end; at = rec.end) {
        if (!read_a(doc.file, at, p.entities_end, rec))
            return Error::Corrupt;
        if (!rec.erased && rec.type == kBlock && visit(doc.text.from_codepage(rec.text), at))
            return Error::Ok;
    }
    return Error::BlockNotFound;
}

// Finds a named block's BLOCK record by name, or checks that `address` is one.
Error named_block(const Document& doc, std::string_view name, NameEquals equals, std::uint32_t& address)
{
    auto visit = [&](const std::string& n, std::uint32_t at) {
        if (equals ? !equals(n, name) : at != address)
            return false;
        address = at;
        return true;
    };
    switch (doc.pre_r13.family) {
    case PreR13::Family::A: return each_block_a(doc, visit);
    case PreR13::Family::B: return each_block_b(doc, visit) ? Error::Ok : Error::BlockNotFound;
    default: return Error::BlockNotFound;
    }
}

}  // namespace

Error open_pre_r13(Bytes bytes, std::unique_ptr<Document>& out)
{
    out.reset();
    const FileFormat format = file_format(bytes);
    if (format.kind != FileKind::DwgOld)
        return Error::NotDwg;
    const Release* v = format.release;
    PreR13 p;
    p.family = v->layout;
    p.r10 = v->r10;
    p.r11 = v->r11;
    std::uint16_t codepage = 0;
    Error e = Error::Ok;
    if (p.family == PreR13::Family::A)
        e = read_header_a(bytes, p);
    else if (p.family == PreR13::Family::B)
        e = read_header_b(bytes, p, codepage);
    if (e != Error::Ok)
        return e;
    auto doc = std::make_unique<Document>(codepage != 0 ? codepage : kAnsi1252);
    doc->version = v->magic;
    doc->pre_r13 = p;
    doc->file = std::move(bytes);
    out = std::move(doc);
    return Error::Ok;
}

Error find_block_pre_r13(const Document& doc, std::string_view name, NameEquals equals, std::uint64_t& block)
{
    block = 0;
    if (equals(name, "*Model_Space")) {
        block = kModelSpace;
        return Error::Ok;
    }
    if (equals(name, "*Paper_Space")) {
        if (!doc.pre_r13.r11)
            return Error::BlockNotFound;
        block = kPaperSpace;
        return Error::Ok;
    }
    std::uint32_t address = 0;
    const Error e = named_block(doc, name, equals, address);
    block = e == Error::Ok ? address : 0;
    return e;
}

Error entities_pre_r13(const Document& doc, std::uint64_t block, std::vector<Entity>& out)
{
    out.clear();
    const PreR13& p = doc.pre_r13;
    const bool model = block == kModelSpace;
    const bool paper = block == kPaperSpace && p.r11;
    if (p.family == PreR13::Family::NoEntities)
        return model ? Error::Ok : Error::BadArgument;
    if (p.family == PreR13::Family::A) {
        if (model)
            return collect_a(doc, p.entities_start, false, out);
        std::uint32_t address = static_cast<std::uint32_t>(block);
        if (block > UINT32_MAX || named_block(doc, {}, nullptr, address) != Error::Ok)
            return Error::BadArgument;
        return collect_a(doc, address, true, out);
    }
    const std::span<const std::uint8_t> file = doc.file;
    if (model || paper) {
        // A guess from typical record sizes spares most regrowth.
        out.reserve((p.entities_end - p.entities_start) / 40);
        RecordWalk walk(p, file, p.entities_start, p.entities_end);
        return collect(
            doc, walk, false, [&](const Record& r) { return in_paper_space(p, file, r) == paper; }, out);
    }
    std::uint32_t address = static_cast<std::uint32_t>(block);
    if (block > UINT32_MAX || named_block(doc, {}, nullptr, address) != Error::Ok)
        return Error::BadArgument;
    RecordWalk walk(p, file, address, p.blocks_end);
    Record first;
    if (!walk.next(first) || first.type != kBlock)
        return Error::Corrupt;
    return collect(
        doc, walk, true, [](const Record&) { return true; }, out);
}

}  // namespace dwg::detail
