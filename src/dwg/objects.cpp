// The object decoder: one object record layout with version switches.
//
// Record at the map offset:
// | version    | layout                                                        |
// |------------|---------------------------------------------------------------|
// | R13-14     | MS size, [BS type, H handle, EED, (entity: preview), RL bitsize, ...], RS CRC |
// | 2000-2007  | MS size, [BS type, RL bitsize, H handle, EED, (entity: preview), ...], RS CRC |
// | 2010+      | MS size, UMC handle-stream bits, [OT type, H handle, EED, ...], RS CRC        |
// The bracketed bit stream is `size` bytes; the handle stream starts at bit
// `bitsize` of it (2010+: size * 8 - handle-stream bits) and runs to its end.

#include <algorithm>

#include "document.h"

namespace dwg::detail {

namespace {

// 2010+ object type: BB selector, then a byte, a byte + 0x1F0 or a raw short.
std::uint16_t read_OT(BitReader& r)
{
    switch (r.BB()) {
    case 0: return r.RC();
    case 1: return static_cast<std::uint16_t>(r.RC() + 0x1F0);
    default: return r.RS();
    }
}

// From 2007 on text lives in a string stream at the end of the data part.
// The last data bit says whether there is one; its size in bits precedes
// that flag, in one or (with 0x8000 set) two 16-bit words.
void locate_strings(BitReader& data, std::span<const std::uint8_t> stream, std::size_t bitsize, ObjectRecord& out)
{
    out.has_strings = false;
    if (bitsize < 1)
        return;
    BitReader r(stream, bitsize);
    const std::size_t flag_at = bitsize - 1;
    r.seek(flag_at);
    if (!r.B() || flag_at < 16)
        return;
    r.seek(flag_at - 16);
    std::size_t size = r.RS();
    std::size_t size_at = flag_at - 16;
    if (size & 0x8000) {
        if (size_at < 16)
            return;
        r.seek(size_at - 16);
        const std::size_t hi = r.RS();
        size = (size & 0x7FFF) | (hi << 15);
    }
    if (!r.ok() || size > size_at)
        return;
    out.strings = BitReader(stream, size_at);
    out.strings.seek(size_at - size);
    out.has_strings = true;
    // The data stream ends where the strings begin.
    data.set_end(std::max(data.pos(), size_at - size));
}

// Text field: inline 8-bit text before 2007, the string stream after.
std::string read_T(const Document& doc, ObjectRecord& o)
{
    if (doc.at_least(Version::R2007)) {
        if (!o.has_strings)
            return {};
        const std::u16string s = o.strings.TU();
        return doc.text.from_utf16(s);
    }
    const std::string s = o.data.TV();
    return doc.text.from_codepage(s);
}

// A count of handles must fit in what is left of the handle stream.
bool plausible_count(const BitReader& handles, std::uint64_t n) { return n <= handles.left() / 8; }

Error stream_error(const ObjectRecord& o) { return o.data.ok() && o.handles.ok() ? Error::Ok : Error::Corrupt; }

}  // namespace

bool is_entity_type(const Document& doc, std::uint16_t type)
{
    if (type >= 500) {
        for (const ClassInfo& c : doc.classes)
            if (c.number == type)
                return c.is_entity;
        return true;
    }
    // Fixed numbers of objects that are certainly no entities: DICTIONARY,
    // the table controls and records through MLINESTYLE, XRECORD,
    // PLACEHOLDER, VBA_PROJECT, LAYOUT, proxy object. Anything else may be
    // an entity (OLE2FRAME 74, LWPOLYLINE 77, HATCH 78, proxy entity 498).
    const bool object = type == 42 || (type >= 48 && type <= 73) || (type >= 79 && type <= 82) || type == 499;
    return !object;
}

Error open_object(const Document& doc, std::uint64_t handle, bool entity, ObjectRecord& out)
{
    std::int64_t offset = 0;
    if (!doc.map.find(handle, offset))
        return Error::Corrupt;
    const std::span<const std::uint8_t> objects = doc.sections.objects;
    if (offset < 0 || static_cast<std::uint64_t>(offset) >= objects.size())
        return Error::Corrupt;
    // MS and UMC take at most 18 bytes between them.
    if (const Error e = doc.sections.load_objects(static_cast<std::size_t>(offset),
                                                  std::min<std::size_t>(32, objects.size() - offset));
        e != Error::Ok)
        return e;
    ByteReader head(objects.subspan(static_cast<std::size_t>(offset)));
    const std::uint64_t size = head.MS();
    std::uint64_t handle_bits = 0;
    if (doc.at_least(Version::R2010))
        handle_bits = head.UMC();
    if (!head.ok())
        return Error::Truncated;
    const std::size_t start = static_cast<std::size_t>(offset) + head.pos();
    if (size == 0 || size > objects.size() - start)
        return Error::Truncated;
    if (const Error e = doc.sections.load_objects(start, static_cast<std::size_t>(size)); e != Error::Ok)
        return e;
    const std::span<const std::uint8_t> stream = objects.subspan(start, static_cast<std::size_t>(size));
    const std::size_t stream_bits = stream.size() * 8;

    BitReader r(stream);
    std::size_t bitsize = 0;
    out.type = doc.at_least(Version::R2010) ? read_OT(r) : r.BS();
    if (doc.at_least(Version::R2000) && !doc.at_least(Version::R2010))
        bitsize = r.RL();
    const HandleRef own = r.H();
    out.handle = own.value;
    if (!r.ok())
        return Error::Corrupt;
    if (own.value != handle)
        return Error::Corrupt;

    // Extended data: (BS size, H application, size bytes) until a zero size.
    for (;;) {
        const std::uint16_t n = r.BS();
        if (!r.ok())
            return Error::Corrupt;
        if (n == 0)
            break;
        r.H();
        r.skip_bytes(n);
    }
    if (entity && r.B()) {
        const std::uint64_t n = doc.at_least(Version::R2010) ? r.BLL() : r.RL();
        r.skip_bytes(n);
    }
    if (!doc.at_least(Version::R2000))
        bitsize = r.RL();
    if (doc.at_least(Version::R2010)) {
        if (handle_bits > stream_bits)
            return Error::Corrupt;
        bitsize = stream_bits - static_cast<std::size_t>(handle_bits);
    }
    if (!r.ok() || bitsize > stream_bits || bitsize < r.pos())
        return Error::Corrupt;

    out.handles = BitReader(stream);
    out.handles.seek(bitsize);
    out.data = BitReader(stream, bitsize);
    out.data.seek(r.pos());
    out.strings = BitReader();
    out.has_strings = false;
    if (doc.at_least(Version::R2007))
        locate_strings(out.data, stream, bitsize, out);
    return out.data.ok() ? Error::Ok : Error::Corrupt;
}

Error read_entity_common(const Document& doc, ObjectRecord& o, EntityCommon& out)
{
    BitReader& d = o.data;
    BitReader& h = o.handles;
    out = EntityCommon{};
    out.entmode = d.BB();
    const std::uint32_t reactors = d.BL();
    bool xdic_missing = false;
    bool bylayer_ltype = true;
    unsigned ltype_flags = 0, plotstyle_flags = 0, material_flags = 0, shadow_flags = 0;
    unsigned visualstyles = 0;
    bool book_colour = false;
    if (doc.at_least(Version::R2004))
        xdic_missing = d.B();
    if (doc.at_least(Version::R2013))
        d.B();  // has DS data
    if (!doc.at_least(Version::R2000)) {
        bylayer_ltype = d.B();
        out.nolinks = d.B();
        d.BS();  // colour
        d.BD();  // linetype scale
    } else {
        if (!doc.at_least(Version::R2004)) {
            out.nolinks = d.B();
            d.BS();  // colour
        } else {
            out.nolinks = true;
            // Entity colour: BS with flags in the high byte; 0x8000 adds an
            // RGB unless 0x4000 (a colour-book colour, named by a handle),
            // 0x2000 adds a transparency.
            const std::uint16_t raw = d.BS();
            if (raw & 0x8000) {
                if (raw & 0x4000)
                    book_colour = true;
                else
                    d.BL();
            }
            if (raw & 0x2000)
                d.BL();
        }
        d.BD();  // linetype scale
        ltype_flags = d.BB();
        plotstyle_flags = d.BB();
        if (doc.at_least(Version::R2007)) {
            material_flags = d.BB();
            shadow_flags = d.RC();
        }
        if (doc.at_least(Version::R2010)) {
            visualstyles = d.B() << 2;
            visualstyles |= d.B() << 1;
            visualstyles |= d.B();
        }
    }
    d.BS();  // invisible
    if (doc.at_least(Version::R2000))
        d.RC();  // line weight
    if (!d.ok() || !plausible_count(h, reactors))
        return Error::Corrupt;

    if (out.entmode == 0)
        out.owner = absolute(h.H(), o.handle);
    for (std::uint32_t i = 0; i < reactors; ++i) h.H();
    if (!xdic_missing)
        h.H();
    if (!doc.at_least(Version::R2000)) {
        h.H();  // layer
        if (!bylayer_ltype)
            h.H();
    }
    if (!out.nolinks) {
        out.prev = absolute(h.H(), o.handle);
        out.next = absolute(h.H(), o.handle);
    }
    if (doc.at_least(Version::R2000)) {
        if (book_colour)
            h.H();
        h.H();  // layer
        if (ltype_flags == 3)
            h.H();
        if (doc.at_least(Version::R2007)) {
            if (material_flags == 3)
                h.H();
            if (shadow_flags == 3)
                h.H();
        }
        if (plotstyle_flags == 3)
            h.H();
        for (unsigned bit = 4; bit; bit >>= 1)
            if (visualstyles & bit)
                h.H();
    }
    return stream_error(o);
}

Error read_object_common(const Document& doc, ObjectRecord& o)
{
    BitReader& d = o.data;
    BitReader& h = o.handles;
    const std::uint32_t reactors = d.BL();
    bool xdic_missing = false;
    if (doc.at_least(Version::R2004))
        xdic_missing = d.B();
    if (doc.at_least(Version::R2013))
        d.B();  // has DS data
    if (!d.ok() || !plausible_count(h, reactors))
        return Error::Corrupt;
    h.H();  // owner
    for (std::uint32_t i = 0; i < reactors; ++i) h.H();
    if (!xdic_missing)
        h.H();
    return stream_error(o);
}

namespace {

// Opens a non-entity object that must be of `type` and reads its common part.
Error open_table_object(const Document& doc, std::uint64_t handle, std::uint16_t type, ObjectRecord& o)
{
    if (const Error e = open_object(doc, handle, false, o); e != Error::Ok)
        return e;
    if (o.type != type)
        return Error::Corrupt;
    return read_object_common(doc, o);
}

// Owned objects' handles: before 2004 the first and last of a linked chain,
// from 2004 on all `count` of them.
void read_owned(const Document& doc, ObjectRecord& o, std::uint32_t count, std::uint64_t& first, std::uint64_t& last,
                std::vector<std::uint64_t>& all)
{
    BitReader& h = o.handles;
    if (!doc.at_least(Version::R2004)) {
        first = absolute(h.H(), o.handle);
        last = absolute(h.H(), o.handle);
        return;
    }
    all.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) all.push_back(absolute(h.H(), o.handle));
}

}  // namespace

// BLOCK_CONTROL: BL entry count; handles: the entries, then *Model_Space and
// *Paper_Space (not counted in the entries).
Error read_block_control(const Document& doc, std::uint64_t handle, BlockControl& out)
{
    ObjectRecord o;
    out = BlockControl{};
    if (const Error e = open_table_object(doc, handle, kBlockControl, o); e != Error::Ok)
        return e;
    const std::uint32_t n = o.data.BL();
    if (!o.data.ok() || !plausible_count(o.handles, n))
        return Error::Corrupt;
    out.entries.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) out.entries.push_back(absolute(o.handles.H(), o.handle));
    out.model_space = absolute(o.handles.H(), o.handle);
    out.paper_space = absolute(o.handles.H(), o.handle);
    return stream_error(o);
}

// BLOCK_HEADER data: T name, B 64-flag (<2007), BS xref index, B xdep (<2007),
// B anonymous, B has attributes, B xref, B overlaid, (2000+) B xref loaded,
// (2004+) BL owned count unless xref or overlaid, ... (the rest is not needed).
// Handles after the common ones: xref block, BLOCK entity, first and last
// entity (before 2004) or the owned entities (2004+), ENDBLK, ...
Error read_block_header(const Document& doc, std::uint64_t handle, BlockHeader& out)
{
    ObjectRecord o;
    out = BlockHeader{};
    if (const Error e = open_table_object(doc, handle, kBlockHeader, o); e != Error::Ok)
        return e;
    BitReader& d = o.data;
    out.name = read_T(doc, o);
    if (!doc.at_least(Version::R2007))
        d.B();
    d.BS();
    if (!doc.at_least(Version::R2007))
        d.B();
    d.B();  // anonymous
    d.B();  // has attributes
    const bool xref = d.B();
    const bool overlaid = d.B();
    if (doc.at_least(Version::R2000))
        d.B();  // xref loaded
    std::uint32_t owned = 0;
    if (doc.at_least(Version::R2004) && !xref && !overlaid)
        owned = d.BL();
    if (!d.ok() || !plausible_count(o.handles, owned))
        return Error::Corrupt;

    BitReader& h = o.handles;
    h.H();  // xref block
    h.H();  // BLOCK entity
    if (!xref && !overlaid) {
        read_owned(doc, o, owned, out.first_entity, out.last_entity, out.owned);
    }
    return stream_error(o);
}

// INSERT / MINSERT data after the common entity data: 3BD insertion point,
// scale (R13-14: 3BD; 2000+: BB flag then RD / DD as the flag says), BD
// rotation, 3BD extrusion, B has attributes, (2004+) BL owned count. MINSERT
// adds its grid, which nothing here needs. Handles: block header, then
// first/last attribute (before 2004) or the attributes (2004+), SEQEND.
Error read_insert(const Document& doc, ObjectRecord& o, Insert& out)
{
    BitReader& d = o.data;
    out = Insert{};
    out.handle = o.handle;
    d.skip_3BD();
    if (!doc.at_least(Version::R2000)) {
        d.skip_3BD();
    } else {
        switch (d.BB()) {
        case 0: {
            const double x = d.RD();
            d.DD(x);
            d.DD(x);
            break;
        }
        case 1:
            d.DD(1.0);
            d.DD(1.0);
            break;
        case 2: d.RD(); break;
        default: break;
        }
    }
    d.BD();
    d.skip_3BD();
    out.has_attribs = d.B();
    std::uint32_t owned = 0;
    if (out.has_attribs && doc.at_least(Version::R2004))
        owned = d.BL();
    if (!d.ok() || !plausible_count(o.handles, owned))
        return Error::Corrupt;

    BitReader& h = o.handles;
    h.H();  // block header
    if (out.has_attribs) {
        read_owned(doc, o, owned, out.first_attrib, out.last_attrib, out.attribs);
        out.seqend = absolute(h.H(), o.handle);
    }
    return stream_error(o);
}

// ATTRIB data after the common entity data.
// R13-14: BD elevation, 2RD insertion, 2RD alignment, 3BD extrusion, BD
//   thickness, BD oblique, BD rotation, BD height, BD width, TV value,
//   BS generation, BS horizontal and BS vertical alignment.
// 2000+: RC flags (a set bit leaves a field out), [RD elevation], 2RD
//   insertion, [2DD alignment], BE extrusion, BT thickness, [RD oblique],
//   [RD rotation], RD height, [RD width], T value, [BS generation],
//   [BS horizontal], [BS vertical].
// Then (2010+) RC version, (2018) RC attribute type, whose multi-line kinds
// embed an MTEXT whose text is the next string; then T tag.
Error read_attrib(const Document& doc, ObjectRecord& o, std::string& tag, std::string& value)
{
    BitReader& d = o.data;
    const bool r2000 = doc.at_least(Version::R2000);
    if (!r2000) {
        d.BD();
        d.skip_2RD();
        d.skip_2RD();
        d.skip_3BD();
        for (int i = 0; i < 5; ++i) d.BD();
        value = read_T(doc, o);
        d.BS();
        d.BS();
        d.BS();
    } else {
        const std::uint8_t flags = d.RC();
        if (!(flags & 0x01))
            d.RD();
        const double x = d.RD();
        const double y = d.RD();
        if (!(flags & 0x02)) {
            d.DD(x);
            d.DD(y);
        }
        d.skip_BE(true);
        d.skip_BT(true);
        if (!(flags & 0x04))
            d.RD();
        if (!(flags & 0x08))
            d.RD();
        d.RD();
        if (!(flags & 0x10))
            d.RD();
        value = read_T(doc, o);
        if (!(flags & 0x20))
            d.BS();
        if (!(flags & 0x40))
            d.BS();
        if (!(flags & 0x80))
            d.BS();
    }
    if (doc.at_least(Version::R2010))
        d.RC();
    if (doc.at_least(Version::R2018)) {
        // The multi-line text is the value; its numeric fields need no
        // decoding because the tag comes from the string stream.
        if (d.RC() > 1)
            value = read_T(doc, o);
    }
    tag = read_T(doc, o);
    if (!d.ok() || (o.has_strings && !o.strings.ok()))
        return Error::Corrupt;
    return Error::Ok;
}

}  // namespace dwg::detail
