#include "drawing.h"

#include <cstring>
#include <fstream>
#include <unordered_set>

#include "document.h"

namespace dwg {

namespace detail {

namespace {

struct Family {
    const char* magic;
    Version version;
    Error (*read)(std::span<const std::uint8_t>, Sections&);
};

// Adding a version is one line here plus its file-structure reader.
constexpr Family kFamilies[] = {
    {"AC1012", Version::R13, read_sections_r13},   {"AC1013", Version::R13, read_sections_r13},
    {"AC1014", Version::R14, read_sections_r13},   {"AC1015", Version::R2000, read_sections_r13},
    {"AC1018", Version::R2004, read_sections_r2004}, {"AC1021", Version::R2007, read_sections_r2007},
    {"AC1024", Version::R2010, read_sections_r2004}, {"AC1027", Version::R2013, read_sections_r2004},
    {"AC1032", Version::R2018, read_sections_r2004},
};

bool looks_like_dwg(std::span<const std::uint8_t> file)
{
    // "AC" and four digits or dots ("AC1015", "AC2.10"): every DWG release,
    // readable here or not.
    if (file.size() < 6 || file[0] != 'A' || file[1] != 'C')
        return false;
    for (std::size_t i = 2; i < 6; ++i)
        if ((file[i] < '0' || file[i] > '9') && file[i] != '.')
            return false;
    return true;
}

bool equal_caseless(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (up(a[i]) != up(b[i]))
            return false;
    }
    return true;
}

// The entity after `current` in a chain stored before 2004: the explicit
// link, or with "no links" the next handle of the object map.
std::uint64_t next_in_chain(const Document& doc, std::uint64_t current, const EntityCommon& c)
{
    return c.nolinks ? doc.map.next_after(current) : c.next;
}

// A block reference's attributes, appended to `out` in their own order.
Error append_attributes(const Document& doc, const Insert& insert, std::vector<Entity>& out)
{
    // `is_attrib` tells whether h is an attribute of this reference: an
    // ATTRIB whose stored owner, if any, is the reference.
    auto emit = [&](std::uint64_t h, bool& is_attrib, EntityCommon& common) -> Error {
        ObjectRecord o;
        if (const Error e = open_object(doc, h, true, o); e != Error::Ok)
            return e;
        if (const Error e = read_entity_common(doc, o, common); e != Error::Ok)
            return e;
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
        return Error::Ok;
    if (doc.at_least(Version::R2004)) {
        for (const std::uint64_t h : insert.attribs) {
            bool is_attrib = false;
            EntityCommon common;
            if (const Error e = emit(h, is_attrib, common); e != Error::Ok)
                return e;
        }
        return Error::Ok;
    }
    std::unordered_set<std::uint64_t> seen;
    std::uint64_t h = insert.first_attrib;
    while (h != 0) {
        if (!seen.insert(h).second || seen.size() > doc.map.size())
            return Error::Corrupt;
        bool is_attrib = false;
        EntityCommon common;
        if (const Error e = emit(h, is_attrib, common); e != Error::Ok)
            return e;
        if (h == insert.last_attrib)
            break;
        // The reference's own end marker may sit between its attributes;
        // anything else means the chain has left the reference.
        if (!is_attrib && h != insert.seqend)
            break;
        h = next_in_chain(doc, h, common);
    }
    return Error::Ok;
}

// One entity of a space: a block reference brings its attributes along;
// attributes and end markers met directly belong to a reference and are not
// entities of the space.
Error visit_entity(const Document& doc, std::uint64_t h, std::vector<Entity>& out, EntityCommon& common)
{
    ObjectRecord o;
    if (const Error e = open_object(doc, h, true, o); e != Error::Ok)
        return e;
    // A table record or dictionary among a block's entities means the
    // links point somewhere they should not.
    if (!is_entity_type(doc, o.type))
        return Error::Corrupt;
    if (const Error e = read_entity_common(doc, o, common); e != Error::Ok)
        return e;
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
    return append_attributes(doc, insert, out);
}

}  // namespace

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
    const std::streamoff size = in.tellg();
    if (size < 0)
        return Error::ReadFailed;
    // Offsets inside a drawing are 32-bit; nothing bigger is a drawing we
    // should hold in memory.
    if (size > (std::streamoff{1} << 32))
        return Error::TooLarge;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.seekg(0);
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size))
        return Error::ReadFailed;
    return parse(std::move(bytes), out);
}

Error Drawing::parse(std::vector<std::uint8_t> bytes, Drawing& out)
{
    out.doc_.reset();
    if (!looks_like_dwg(bytes))
        return Error::NotDwg;
    const Family* family = nullptr;
    for (const Family& f : kFamilies)
        if (std::memcmp(bytes.data(), f.magic, 6) == 0)
            family = &f;
    if (!family)
        return Error::UnsupportedVersion;
    // The code page sits at the same place in every version read here.
    const std::uint16_t codepage =
        bytes.size() >= 0x15 ? static_cast<std::uint16_t>(bytes[0x13] | (bytes[0x14] << 8)) : 0;
    auto doc = std::make_unique<Document>(codepage);
    doc->file = std::move(bytes);
    doc->version.assign(reinterpret_cast<const char*>(doc->file.data()), 6);
    doc->sections.defer_objects = true;
    if (const Error e = family->read(doc->file, doc->sections); e != Error::Ok)
        return e;
    doc->sections.version = family->version;
    if (doc->sections.header.empty()) {
        out.doc_ = std::move(doc);
        return Error::Ok;
    }
    if (const Error e = doc->map.read(doc->sections.handles); e != Error::Ok)
        return e;
    read_classes(*doc);
    read_header_handles(*doc);
    out.doc_ = std::move(doc);
    return Error::Ok;
}

Warnings Drawing::warnings() const { return doc_ ? doc_->warnings : Warnings{}; }

std::string_view Drawing::version() const { return doc_ ? std::string_view(doc_->version) : std::string_view(); }

Error Drawing::find_block(std::string_view name, std::uint64_t& block) const
{
    block = 0;
    if (!doc_)
        return Error::BadArgument;
    const Document& doc = *doc_;
    if (doc.map.size() == 0)
        return Error::BlockNotFound;
    const bool model = equal_caseless(name, "*Model_Space");
    const bool paper = equal_caseless(name, "*Paper_Space");

    // The header names the block control object (handle 1 in every file
    // seen) and the two space records; the control object repeats the latter.
    BlockControl control;
    Error control_error = read_block_control(doc, doc.block_control ? doc.block_control : 1, control);
    if (control_error != Error::Ok && doc.block_control != 1)
        control_error = read_block_control(doc, 1, control);

    if (model || paper) {
        const std::uint64_t from_header = model ? doc.model_space : doc.paper_space;
        const std::uint64_t from_control = model ? control.model_space : control.paper_space;
        std::int64_t offset = 0;
        if (from_header && doc.map.find(from_header, offset))
            block = from_header;
        else if (control_error == Error::Ok && from_control && doc.map.find(from_control, offset))
            block = from_control;
        return block ? Error::Ok : control_error != Error::Ok ? control_error : Error::BlockNotFound;
    }
    if (control_error != Error::Ok)
        return control_error;
    for (const std::uint64_t h : control.entries) {
        BlockHeader header;
        if (read_block_header(doc, h, header) == Error::Ok && equal_caseless(header.name, name)) {
            block = h;
            return Error::Ok;
        }
    }
    return Error::BlockNotFound;
}

Error Drawing::entities(std::uint64_t block, std::vector<Entity>& out) const
{
    out.clear();
    if (!doc_)
        return Error::BadArgument;
    const Document& doc = *doc_;
    BlockHeader header;
    if (const Error e = read_block_header(doc, block, header); e != Error::Ok)
        return e;

    if (doc.at_least(Version::R2004)) {
        std::unordered_set<std::uint64_t> seen;
        for (const std::uint64_t h : header.owned) {
            if (!seen.insert(h).second)
                continue;
            EntityCommon common;
            if (const Error e = visit_entity(doc, h, out, common); e != Error::Ok)
                return e;
        }
        return Error::Ok;
    }

    std::unordered_set<std::uint64_t> seen;
    std::uint64_t h = header.first_entity;
    while (h != 0) {
        // Links that come round again or outnumber the objects are damage.
        if (!seen.insert(h).second || seen.size() > doc.map.size())
            return Error::Corrupt;
        EntityCommon common;
        if (const Error e = visit_entity(doc, h, out, common); e != Error::Ok)
            return e;
        if (h == header.last_entity)
            break;
        h = next_in_chain(doc, h, common);
    }
    return Error::Ok;
}

}  // namespace dwg
