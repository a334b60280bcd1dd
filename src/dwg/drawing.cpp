#include "drawing.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include "document.h"
#include "dxf.h"
#include "version.h"

namespace dwg {

namespace detail {

namespace {

// The handles a walk has met: open addressing, as a node-based set costs a
// block walk a quarter of its time.
class HandleSet {
public:
    // Whether `h` was not in the set before.
    bool insert(std::uint64_t h)
    {
        if (h == 0) {
            const bool fresh = !has_zero_;
            has_zero_ = true;
            size_ += fresh;
            return fresh;
        }
        if (2 * (size_ + 1) > slots_.size())
            rehash(slots_.empty() ? 64 : 2 * slots_.size());
        return place(h);
    }
    std::size_t size() const { return size_; }
    // Room for `n` handles without growing.
    void reserve(std::size_t n)
    {
        if (2 * n > slots_.size())
            rehash(std::bit_ceil(2 * n));
    }

private:
    bool place(std::uint64_t h)
    {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = (h * 0x9E3779B97F4A7C15ull) >> shift_;; i = (i + 1) & mask) {
            if (slots_[i] == h)
                return false;
            if (slots_[i] == 0) {
                slots_[i] = h;
                ++size_;
                return true;
            }
        }
    }
    void rehash(std::size_t slots)
    {
        std::vector<std::uint64_t> old(slots, 0);
        old.swap(slots_);
        shift_ = 64 - std::countr_zero(slots_.size());
        size_ = has_zero_;
        for (const std::uint64_t h : old)
            if (h != 0)
                place(h);
    }

    std::vector<std::uint64_t> slots_;  // 0: empty; a power of two long
    int shift_ = 64;
    std::size_t size_ = 0;
    bool has_zero_ = false;
};

// The file-structure reader of each family.
Error read_sections(Version v, std::span<const std::uint8_t> file, Sections& out)
{
    switch (v) {
    case Version::R13:
    case Version::R14:
    case Version::R2000: return read_sections_r13(file, out);
    case Version::R2007: return read_sections_r2007(file, out);
    default: return read_sections_r2004(file, out);
    }
}

// Whether the object at `handle` opens and is of `type`.
bool has_type(const Document& doc, std::uint64_t handle, std::uint16_t type)
{
    ObjectRecord o;
    return handle != 0 && open_object(doc, handle, false, o) == Error::Ok && o.type == type;
}

// Calls `f(handle)` for every handle of the object map in ascending order
// until it returns true; returns that handle, 0 when none did.
template <class F>
std::uint64_t find_in_map(const Document& doc, F f)
{
    for (std::uint64_t h = doc.map.next_after(0); h != 0; h = doc.map.next_after(h))
        if (f(h))
            return h;
    return 0;
}

// A block record by name among `candidates`, or among every block record of
// the map when the control object could not be found.
std::uint64_t block_named(const Document& doc, const std::vector<std::uint64_t>& candidates, std::string_view name)
{
    auto named = [&](std::uint64_t h) {
        BlockHeader header;
        return read_block_header(doc, h, header) == Error::Ok && equal_caseless(header.name, name);
    };
    if (doc.block_control != 0) {
        for (const std::uint64_t h : candidates)
            if (named(h))
                return h;
        return 0;
    }
    return find_in_map(doc, [&](std::uint64_t h) { return has_type(doc, h, kBlockHeader) && named(h); });
}

// The block control object and the two space records, each from the first
// source that names an object of the right type: the header variables, the
// control object (handle 1 in most files), the object map searched by type
// or name. A header that does not parse thus costs nothing.
void resolve_blocks(Document& doc)
{
    BlockControl control;
    auto usable = [&](std::uint64_t h) { return h != 0 && read_block_control(doc, h, control) == Error::Ok; };
    std::uint64_t found = 0;
    if (usable(doc.block_control))
        found = doc.block_control;
    else if (usable(1))
        found = 1;
    else
        found = find_in_map(doc, [&](std::uint64_t h) { return has_type(doc, h, kBlockControl) && usable(h); });
    doc.block_control = found;
    if (!found)
        control = BlockControl{};
    auto space = [&](std::uint64_t from_header, std::uint64_t from_control, std::string_view name) -> std::uint64_t {
        if (has_type(doc, from_header, kBlockHeader))
            return from_header;
        if (has_type(doc, from_control, kBlockHeader))
            return from_control;
        if (const std::uint64_t h = block_named(doc, control.entries, name))
            return h;
        // A record the control object names that does not open still owns
        // its entities (see Drawing::entities).
        std::int64_t offset = 0;
        return from_control != 0 && doc.map.find(from_control, offset) ? from_control : 0;
    };
    doc.model_space = space(doc.model_space, control.model_space, "*Model_Space");
    doc.paper_space = space(doc.paper_space, control.paper_space, "*Paper_Space");
}

// The entity after `current` in a chain stored before 2004: the explicit
// link, or with "no links" the next handle of the object map.
std::uint64_t next_in_chain(const Document& doc, std::uint64_t current, const EntityCommon& c)
{
    return c.nolinks ? doc.map.next_after(current) : c.next;
}

// Where a chain stored before 2004 breaks, the rest of what it held is
// found by owner: every entity not met yet that names `owner` (in a space:
// that carries the space's mode), in handle order, goes to `take` with its
// record open after the common data. One pass over the map indexes the
// entities by owner the first time a chain breaks, so that many breaks cost
// no more than one.
template <class Take>
void find_owned(const Document& doc, std::uint64_t owner, HandleSet& seen, Take take)
{
    if (!doc.by_owner_built) {
        doc.by_owner_built = true;
        find_in_map(doc, [&](std::uint64_t h) {
            ObjectRecord o;
            EntityCommon common;
            if (open_object(doc, h, true, o) == Error::Ok && is_entity_type(doc, o.type) &&
                read_entity_common(doc, o, common) == Error::Ok) {
                const std::uint64_t key = common.entmode == 2   ? doc.model_space
                                          : common.entmode == 1 ? doc.paper_space
                                                                : common.owner;
                doc.by_owner[key].push_back(h);
            }
            return false;
        });
    }
    const auto it = doc.by_owner.find(owner);
    if (it == doc.by_owner.end() || owner == 0)
        return;
    for (const std::uint64_t h : it->second) {
        ObjectRecord o;
        EntityCommon common;
        if (!seen.insert(h) || open_object(doc, h, true, o) != Error::Ok ||
            read_entity_common(doc, o, common) != Error::Ok)
            continue;
        take(h, o);
    }
}

// A block reference's attributes, appended to `out` in their own order. An
// attribute that does not decode is skipped and counted.
void append_attributes(const Document& doc, const Insert& insert, std::vector<Entity>& out)
{
    // `is_attrib` tells whether h is an attribute of this reference: an
    // ATTRIB whose stored owner, if any, is the reference; `linked` that its
    // common data, and so its link to the next, was read.
    auto emit = [&](std::uint64_t h, bool& is_attrib, bool& linked, EntityCommon& common) -> Error {
        is_attrib = linked = false;
        ObjectRecord o;
        if (const Error e = open_object(doc, h, true, o); e != Error::Ok)
            return e;
        if (const Error e = read_entity_common(doc, o, common); e != Error::Ok)
            return e;
        linked = true;
        is_attrib = o.type == kAttrib && (common.entmode != 0 || common.owner == insert.handle);
        if (!is_attrib)
            return Error::Ok;
        Entity a;
        a.kind = EntityKind::Attribute;
        a.handle = h;
        if (const Error e = read_attrib(doc, o, a.tag, a.value); e != Error::Ok)
            return e;
        out.push_back(std::move(a));
        return Error::Ok;
    };

    if (!insert.has_attribs)
        return;
    if (doc.at_least(Version::R2004)) {
        for (const std::uint64_t h : insert.attribs) {
            bool is_attrib = false, linked = false;
            EntityCommon common;
            if (emit(h, is_attrib, linked, common) != Error::Ok)
                doc.skip(h);
        }
        return;
    }
    HandleSet seen;
    std::uint64_t h = insert.first_attrib;
    bool broken = false;
    while (h != 0) {
        if (!seen.insert(h) || seen.size() > doc.map.size()) {
            broken = true;
            break;
        }
        bool is_attrib = false, linked = false;
        EntityCommon common;
        if (emit(h, is_attrib, linked, common) != Error::Ok) {
            doc.skip(h);
            if (!linked) {
                broken = true;
                break;
            }
            is_attrib = true;  // an attribute whose text did not decode
        }
        if (h == insert.last_attrib)
            break;
        // The reference's own end marker may sit between its attributes;
        // anything else means the chain has left the reference.
        if (!is_attrib && h != insert.seqend)
            break;
        h = next_in_chain(doc, h, common);
    }
    if (!broken)
        return;
    find_owned(doc, insert.handle, seen, [&](std::uint64_t a, ObjectRecord& o) {
        Entity e;
        e.kind = EntityKind::Attribute;
        e.handle = a;
        if (o.type == kAttrib && read_attrib(doc, o, e.tag, e.value) == Error::Ok)
            out.push_back(std::move(e));
    });
}

// One entity of a space: a block reference brings its attributes along;
// attributes and end markers met directly belong to a reference and are not
// entities of the space. On an error nothing is appended; `linked` tells
// whether the entity's links were read all the same.
Error visit_entity(const Document& doc, std::uint64_t h, std::vector<Entity>& out, EntityCommon& common, bool& linked)
{
    linked = false;
    ObjectRecord o;
    if (const Error e = open_object(doc, h, true, o); e != Error::Ok)
        return e;
    // A table record or dictionary among a block's entities means the
    // links point somewhere they should not.
    if (!is_entity_type(doc, o.type))
        return Error::Corrupt;
    if (const Error e = read_entity_common(doc, o, common); e != Error::Ok)
        return e;
    linked = true;
    if (o.type == kAttrib || o.type == kSeqend)
        return Error::Ok;
    Entity entity;
    entity.handle = h;
    if (o.type != kInsert && o.type != kMinsert) {
        out.push_back(std::move(entity));
        return Error::Ok;
    }
    entity.kind = EntityKind::BlockReference;
    Insert insert;
    if (const Error e = read_insert(doc, o, insert); e != Error::Ok)
        return e;
    out.push_back(std::move(entity));
    append_attributes(doc, insert, out);
    return Error::Ok;
}

}  // namespace

// The file's bytes, kept by the document made from them.
Error read_bytes(Bytes bytes, std::unique_ptr<Document>& out)
{
    out.reset();
    const FileFormat format = file_format(bytes);
    if (format.kind == FileKind::DwgOld)
        return open_pre_r13(std::move(bytes), out);
    if (format.dxf()) {
        auto doc = std::make_unique<Document>(0);
        const Error e = read_dxf(bytes, *doc);
        if (e == Error::Ok)
            out = std::move(doc);
        return e;
    }
    if (format.kind == FileKind::Unknown)
        return Error::NotDwg;
    if (format.kind != FileKind::Dwg)
        return Error::UnsupportedVersion;
    const Version version = format.release->version;
    // The code page sits at the same place in every version read here.
    auto doc = std::make_unique<Document>(le16_at(bytes, 0x13));
    doc->file = std::move(bytes);
    doc->version.assign(reinterpret_cast<const char*>(doc->file.data()), 6);
    // Security flags of 2004 on: bit 0 marks data encrypted with a password.
    const bool encrypted = version >= Version::R2004 && doc->file.size() > 0x18 && (doc->file[0x18] & 1);
    doc->sections.defer_objects = true;
    if (const Error e = read_sections(version, doc->file, doc->sections); e != Error::Ok)
        return encrypted ? Error::Encrypted : e;
    doc->sections.version = version;
    doc->warnings.checksum_mismatches = doc->sections.checksum_mismatches;
    if (doc->sections.header.empty()) {
        out = std::move(doc);
        return Error::Ok;
    }
    if (const Error e = doc->map.read(doc->sections.handles, doc->sections.objects.size(), &doc->warnings);
        e != Error::Ok)
        return encrypted ? Error::Encrypted : e;
    read_classes(*doc);
    read_header_handles(*doc);
    resolve_blocks(*doc);
    out = std::move(doc);
    return Error::Ok;
}

}  // namespace detail

using namespace detail;

Drawing::Drawing() = default;
Drawing::~Drawing() = default;
Drawing::Drawing(Drawing&&) noexcept = default;
Drawing& Drawing::operator=(Drawing&&) noexcept = default;

Error Drawing::open(const std::filesystem::path& path, Drawing& out)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status))
        return Error::FileNotFound;
    if (!std::filesystem::is_regular_file(status))
        return Error::ReadFailed;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return Error::ReadFailed;
    // A DXF file is read as a stream, whatever its size.
    std::uint8_t head[kFormatProbe] = {};
    in.seekg(0);
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (in.bad())
        return Error::ReadFailed;
    if (file_format({head, static_cast<std::size_t>(in.gcount())}).dxf()) {
        in.clear();
        in.seekg(0);
        auto doc = std::make_unique<Document>(0);
        const Error e = read_dxf(in, *doc);
        if (e == Error::Ok)
            out.doc_ = std::move(doc);
        return e;
    }
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return Error::ReadFailed;
    // Offsets inside a drawing are 32-bit; nothing bigger is a drawing we
    // should hold in memory.
    if (size > (std::streamoff{1} << 32))
        return Error::TooLarge;
    Bytes bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size))
        return Error::ReadFailed;
    return read_bytes(std::move(bytes), out.doc_);
}

Error Drawing::parse(std::span<const std::uint8_t> bytes, Drawing& out)
{
    // Sized, then copied: element by element through the allocator would be
    // a loop over bytes.
    Bytes copy(bytes.size());
    if (!bytes.empty())
        std::memcpy(copy.data(), bytes.data(), bytes.size());
    return read_bytes(std::move(copy), out.doc_);
}

Warnings Drawing::warnings() const { return doc_ ? doc_->warnings : Warnings{}; }

std::string_view Drawing::version() const { return doc_ ? std::string_view(doc_->version) : std::string_view(); }

Error Drawing::find_block(std::string_view name, std::uint64_t& block) const
{
    block = 0;
    if (!doc_)
        return Error::BadArgument;
    const Document& doc = *doc_;
    if (doc.pre_r13.family != PreR13::Family::None)
        return find_block_pre_r13(doc, name, equal_caseless, block);
    for (std::size_t i = 0; i < doc.dxf_blocks.size(); ++i)
        if (equal_caseless(doc.dxf_blocks[i].name, name)) {
            block = i + 1;
            return Error::Ok;
        }
    if (doc.map.size() == 0)
        return Error::BlockNotFound;
    if (equal_caseless(name, "*Model_Space"))
        block = doc.model_space;
    else if (equal_caseless(name, "*Paper_Space"))
        block = doc.paper_space;
    else {
        BlockControl control;
        if (doc.block_control != 0 && read_block_control(doc, doc.block_control, control) != Error::Ok)
            return Error::Corrupt;
        block = block_named(doc, control.entries, name);
    }
    if (block != 0)
        return Error::Ok;
    // Every drawing has a block control object; one that cannot be found
    // leaves the drawing's blocks unknown rather than absent.
    return doc.block_control != 0 ? Error::BlockNotFound : Error::Corrupt;
}

Error Drawing::entities(std::uint64_t block, std::vector<Entity>& out) const
{
    out.clear();
    if (!doc_)
        return Error::BadArgument;
    const Document& doc = *doc_;
    if (doc.pre_r13.family != PreR13::Family::None)
        return entities_pre_r13(doc, block, out);
    if (doc.dxf) {
        if (block == 0 || block > doc.dxf_blocks.size())
            return Error::BadArgument;
        out = doc.dxf_blocks[block - 1].entities;
        return Error::Ok;
    }
    // An entity that is missing or does not decode is skipped and counted;
    // the walk goes on with the next one. A block none of whose entities
    // could be read has not been read.
    HandleSet seen;
    std::size_t failed = 0;
    auto visit = [&](std::uint64_t e, EntityCommon& common, bool& linked) {
        if (visit_entity(doc, e, out, common, linked) == Error::Ok)
            return true;
        doc.skip(e);
        ++failed;
        return false;
    };
    auto visit_owned = [&](std::uint64_t e, ObjectRecord&) {
        EntityCommon common;
        bool linked = false;
        visit(e, common, linked);
    };
    auto result = [&] { return out.empty() && failed != 0 ? Error::Corrupt : Error::Ok; };

    BlockHeader header;
    if (const Error e = read_block_header(doc, block, header); e != Error::Ok) {
        // A space record that does not decode still has its entities.
        if (block == 0 || (block != doc.model_space && block != doc.paper_space))
            return e;
        doc.skip(block);
        ++failed;
        find_owned(doc, block, seen, visit_owned);
        return result();
    }

    if (doc.at_least(Version::R2004)) {
        out.reserve(out.size() + header.owned.size());
        // Handles are given out in ascending order, so an ascending list has
        // no repeats to look for: only a damaged list pays for the set.
        const auto& owned = header.owned;
        const bool ascending = std::adjacent_find(owned.begin(), owned.end(), std::greater_equal<>()) == owned.end();
        if (!ascending)
            seen.reserve(owned.size());
        for (const std::uint64_t h : owned) {
            EntityCommon common;
            bool linked = false;
            if (ascending || seen.insert(h))
                visit(h, common, linked);
        }
        return result();
    }

    std::uint64_t h = header.first_entity;
    bool whole = h == 0;
    while (h != 0) {
        // Links that come round again or outnumber the objects are damage.
        if (!seen.insert(h) || seen.size() > doc.map.size())
            break;
        EntityCommon common;
        bool linked = false;
        if (!visit(h, common, linked) && !linked)
            break;
        if (h == header.last_entity) {
            whole = true;
            break;
        }
        h = next_in_chain(doc, h, common);
    }
    if (!whole)
        find_owned(doc, block, seen, visit_owned);
    return result();
}

}  // namespace dwg
