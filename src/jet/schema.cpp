#include "jet/schema.h"

#include <algorithm>
#include <numeric>

#include "jet/text.h"

namespace jet::detail {

namespace {

constexpr std::uint32_t jet4_magic_column = 1625;
constexpr std::uint32_t jet4_magic_index = 1923;
constexpr unsigned sort_general = 0x0409;
constexpr unsigned code_page = 1252;

bool is_boolean(const Column& c) { return c.type == col_boolean; }

Bytes encode_name(const Format& f, const std::string& utf8)
{
    Bytes out;
    if (f.jet4) {
        std::u16string u;
        utf8_to_utf16(utf8, u);
        add16(out, static_cast<unsigned>(u.size() * 2));
        append_utf16le(out, u);
    } else {
        std::string cp;
        utf8_to_cp1252(utf8, cp, true);
        add8(out, static_cast<unsigned>(cp.size()));
        add_bytes(out, cp.data(), cp.size());
    }
    return out;
}

// Engine-made Jet 4 system tables list their columns, indexes and long-value
// maps by name; user tables and Jet 3 keep column-number order.
std::vector<std::size_t> name_order(const std::vector<std::string>& names)
{
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return names[a] < names[b]; });
    return order;
}

}  // namespace

void Schema::finish()
{
    unsigned var = 0;
    std::uint16_t offset = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        Column& c = columns[i];
        c.number = static_cast<std::uint16_t>(i);
        c.var_index = static_cast<std::uint16_t>(var);
        if (!c.fixed()) {
            ++var;
            c.fixed_offset = 0;
        } else if (is_boolean(c)) {
            c.fixed_offset = 0;  // kept in the null mask
        } else {
            c.fixed_offset = offset;
            offset = static_cast<std::uint16_t>(offset + c.size);
        }
    }
}

unsigned Schema::var_count() const
{
    return static_cast<unsigned>(std::count_if(columns.begin(), columns.end(), [](const Column& c) { return !c.fixed(); }));
}

std::size_t Schema::fixed_area() const
{
    std::size_t n = 0;
    for (const Column& c : columns)
        if (c.fixed() && !is_boolean(c)) n += c.size;
    return n;
}

// Table definition stream:
//   table block (tdef_offsets), per real index {u32 0, u32 distinct keys[, u32 0]},
//   column descriptors, column names, real index blocks, logical index blocks,
//   logical index names, long-value column maps {u16 column, owned, free}, FF FF.
Bytes build_tdef(const Format& f, const Schema& s, std::uint32_t rows, RowRef owned, RowRef free,
                 const std::vector<IndexPlace>& indexes, const std::vector<LongValuePlace>& long_values)
{
    const TdefOffsets& o = tdef_offsets(f.version);
    Bytes b(f.tdef_fixed, 0);
    b[0] = 2;
    b[1] = 1;
    if (f.jet4) {
        put32(b, 12, jet4_magic_column);
        b[24] = 1;
    }
    put32(b, o.rows, rows);
    b[o.type] = s.system ? 0x53 : 0x4E;
    const auto ncols = static_cast<unsigned>(s.columns.size());
    put16(b, o.max_cols, ncols);
    put16(b, o.var_cols, s.var_count());
    put16(b, o.cols, ncols);
    put32(b, o.indexes, static_cast<std::uint32_t>(s.indexes.size()));
    put32(b, o.real_indexes, static_cast<std::uint32_t>(s.indexes.size()));
    put_ref(b, o.owned_map, owned);
    put_ref(b, o.free_map, free);

    for (const IndexPlace& ix : indexes) {
        add32(b, 0);
        add32(b, ix.distinct_keys);
        if (f.jet4) add32(b, 0);
    }

    std::vector<std::string> names;
    for (const Column& c : s.columns) names.push_back(c.name);
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (s.system && f.jet4) order = name_order(names);

    for (const std::size_t i : order) {
        const Column& c = s.columns[i];
        const unsigned len = (c.type == col_text || c.type == col_binary) ? c.size * static_cast<unsigned>(f.text_unit) : c.size;
        const unsigned row_number = s.system ? 0 : c.number;
        add8(b, c.type);
        if (f.jet4) {
            add32(b, jet4_magic_column);
            add16(b, c.number);
            add16(b, c.var_index);
            add16(b, row_number);
            add16(b, sort_general);
            add16(b, 0);  // sort order version 0: General legacy
            add8(b, c.flags);
            add8(b, 0);   // no Unicode compression
            add32(b, 0);
        } else {
            add16(b, c.number);
            add16(b, c.var_index);
            add16(b, row_number);
            add16(b, 1);
            add16(b, sort_general);
            add16(b, code_page);
            add8(b, c.flags);
        }
        add16(b, c.fixed_offset);
        add16(b, len);
    }
    for (const std::size_t i : order) {
        const Bytes n = encode_name(f, s.columns[i].name);
        b.insert(b.end(), n.begin(), n.end());
    }

    for (std::size_t i = 0; i < s.indexes.size(); ++i) {
        const IndexDef& d = s.indexes[i];
        if (f.jet4) add32(b, jet4_magic_index);
        for (std::size_t k = 0; k < 10; ++k) {
            if (k < d.columns.size()) {
                add16(b, d.columns[k]);
                add8(b, 1);  // ascending
            } else {
                add16(b, 0xFFFF);
                add8(b, 0);
            }
        }
        Bytes ref(4);
        put_ref(ref, 0, indexes.at(i).map);
        b.insert(b.end(), ref.begin(), ref.end());
        add32(b, indexes.at(i).root);
        if (f.jet4) {
            add32(b, 0);
            add8(b, d.flags | 0x80);
            add32(b, 0);
            add8(b, 0);
        } else {
            add8(b, d.flags);
        }
    }
    std::vector<std::string> index_names;
    for (const IndexDef& d : s.indexes) index_names.push_back(d.name);
    const std::vector<std::size_t> index_order = name_order(index_names);
    for (const std::size_t i : index_order) {
        if (f.jet4) add32(b, jet4_magic_column);
        add32(b, static_cast<std::uint32_t>(i));
        add32(b, static_cast<std::uint32_t>(i));
        add8(b, 0);
        add32(b, 0xFFFFFFFF);  // no related index
        add32(b, 0);
        add8(b, 4);
        add8(b, 4);
        add8(b, s.indexes[i].kind);
        if (f.jet4) add32(b, 0);
    }
    for (const std::size_t i : index_order) {
        const Bytes n = encode_name(f, s.indexes[i].name);
        b.insert(b.end(), n.begin(), n.end());
    }

    std::vector<std::string> lv_names;
    for (const LongValuePlace& lv : long_values) lv_names.push_back(s.columns.at(lv.column).name);
    for (const std::size_t i : name_order(lv_names)) {
        const LongValuePlace& lv = long_values[i];
        Bytes ref(10);
        put16(ref, 0, lv.column);
        put_ref(ref, 2, lv.owned);
        put_ref(ref, 6, lv.free);
        b.insert(b.end(), ref.begin(), ref.end());
    }
    add16(b, 0xFFFF);
    put32(b, o.length, static_cast<std::uint32_t>(b.size()));
    return b;
}

std::size_t tdef_pages(const Format& f, std::size_t stream_size)
{
    if (stream_size <= f.page_size) return 1;
    return 1 + (stream_size - f.page_size + (f.page_size - 8) - 1) / (f.page_size - 8);
}

// Every page of a definition starts {02 01, free space (Jet 4) or "VC" (Jet 3),
// u32 next page}; continuation pages carry the stream on from their offset 8.
std::vector<Bytes> split_tdef(const Format& f, const Bytes& stream, std::uint32_t first_page)
{
    const std::size_t count = tdef_pages(f, stream.size());
    std::vector<Bytes> pages;
    std::size_t pos = 0;
    for (std::size_t k = 0; k < count; ++k) {
        Bytes p(f.page_size, 0);
        std::size_t at = 0;
        if (k > 0) {
            p[0] = 2;
            p[1] = 1;
            at = 8;
        }
        const std::size_t n = std::min(f.page_size - at, stream.size() - pos);
        std::copy(stream.begin() + static_cast<std::ptrdiff_t>(pos), stream.begin() + static_cast<std::ptrdiff_t>(pos + n),
                  p.begin() + static_cast<std::ptrdiff_t>(at));
        pos += n;
        const std::size_t used = at + n;
        if (f.jet4) {
            put16(p, 2, used + 8 <= f.page_size ? static_cast<unsigned>(f.page_size - used - 8) : 0);
        } else {
            p[2] = 'V';
            p[3] = 'C';
        }
        put32(p, 4, k + 1 < count ? first_page + static_cast<std::uint32_t>(k + 1) : 0);
        pages.push_back(std::move(p));
    }
    return pages;
}

namespace {

// Appends the end of a row: offsets of the variable columns, their count and
// the null mask.
//   Jet 4: ... u16 eod, u16 offset[n-1] .. offset[0], u16 n, mask
//   Jet 3: ... u8 eod, u8 offset[n-1] .. offset[0], jump bytes, u8 n, mask,
//          where the jump bytes carry the high parts of offsets past 255: jump[k]
//          is the first entry (0..n, n = eod) at or past 256*(k+1); jump[0] sits
//          right before n. One extra 0xFF byte is added when the jump bytes
//          themselves push the row's length over the next 256 boundary.
void finish_row(const Format& f, Bytes& r, const std::vector<std::size_t>& offsets, const Bytes& mask)
{
    const std::size_t n = offsets.size();
    const std::size_t eod = r.size();
    if (f.jet4) {
        add16(r, static_cast<unsigned>(eod));
        for (std::size_t i = n; i-- > 0;) add16(r, static_cast<unsigned>(offsets[i]));
        add16(r, static_cast<unsigned>(n));
    } else {
        const std::size_t real = eod / 256;
        const std::size_t base = eod + 1 + n + 1 + mask.size();
        std::size_t jumps = real;
        if (base > 0 && (base + jumps - 1) / 256 > jumps) ++jumps;
        add8(r, eod & 0xFF);
        for (std::size_t i = n; i-- > 0;) add8(r, offsets[i] & 0xFF);
        for (std::size_t k = jumps; k-- > 0;) {
            if (k >= real) {
                add8(r, 0xFF);
                continue;
            }
            std::size_t entry = n;
            for (std::size_t i = 0; i < n; ++i) {
                if (offsets[i] >= 256 * (k + 1)) {
                    entry = i;
                    break;
                }
            }
            add8(r, static_cast<unsigned>(entry));
        }
        add8(r, static_cast<unsigned>(n));
    }
    r.insert(r.end(), mask.begin(), mask.end());
}

}  // namespace

Bytes build_row(const Format& f, const Schema& s, const std::vector<Cell>& cells)
{
    const std::size_t ncols = s.columns.size();
    const std::size_t head = f.jet4 ? 2 : 1;
    Bytes r(head + s.fixed_area(), 0);
    if (f.jet4) put16(r, 0, static_cast<unsigned>(ncols));
    else r[0] = static_cast<std::uint8_t>(ncols);
    Bytes mask((ncols + 7) / 8, 0);
    std::vector<const Column*> var(s.var_count(), nullptr);
    for (const Column& c : s.columns) {
        const Cell& v = cells.at(c.number);
        if (v) mask[c.number / 8] |= static_cast<std::uint8_t>(1u << (c.number % 8));
        if (!c.fixed()) var.at(c.var_index) = &c;
        else if (v && !is_boolean(c)) std::copy(v->begin(), v->begin() + c.size, r.begin() + static_cast<std::ptrdiff_t>(head + c.fixed_offset));
    }
    std::vector<std::size_t> offsets;
    for (const Column* c : var) {
        offsets.push_back(r.size());
        const Cell& v = cells.at(c->number);
        if (v) r.insert(r.end(), v->begin(), v->end());
    }
    finish_row(f, r, offsets, mask);
    return r;
}

Bytes build_var_row(const Format& f, const std::vector<const Bytes*>& values)
{
    const std::size_t n = values.size();
    Bytes r;
    if (f.jet4) add16(r, static_cast<unsigned>(n));
    else add8(r, static_cast<unsigned>(n));
    Bytes mask((n + 7) / 8, 0);
    std::vector<std::size_t> offsets;
    offsets.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        offsets.push_back(r.size());
        if (values[i]) {
            mask[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
            r.insert(r.end(), values[i]->begin(), values[i]->end());
        }
    }
    finish_row(f, r, offsets, mask);
    return r;
}

std::size_t var_row_size(const Format& f, const std::vector<std::size_t>& lengths)
{
    const std::size_t n = lengths.size();
    std::size_t data = 0;
    for (const std::size_t l : lengths) data += l;
    const std::size_t mask = (n + 7) / 8;
    if (f.jet4) return 2 + data + 2 + 2 * n + 2 + mask;
    const std::size_t eod = 1 + data;
    const std::size_t base = eod + 1 + n + 1 + mask;
    std::size_t jumps = eod / 256;
    if ((base + jumps - 1) / 256 > jumps) ++jumps;
    return base + jumps;
}

// Index page header:
//   0 u8 0x04 leaf, 1 u8 0x01, 2 u16 free space, 4 u32 owning tdef,
//   [Jet 4: 8 u32 0], then u32 previous, next and tail page, u16 shared prefix
//   length, [Jet 4: u8 0]; then a bitmap marking where each entry ends, then
//   the entries.
Bytes index_leaf(const Format& f, std::uint32_t tdef_page, std::vector<Bytes> entries)
{
    std::sort(entries.begin(), entries.end());
    Bytes p(f.page_size, 0);
    p[0] = 4;
    p[1] = 1;
    put32(p, 4, tdef_page);
    std::size_t end = 0;
    for (const Bytes& e : entries) {
        std::copy(e.begin(), e.end(), p.begin() + static_cast<std::ptrdiff_t>(f.index_entries + end));
        end += e.size();
        p[f.index_mask + end / 8] |= static_cast<std::uint8_t>(1u << (end % 8));
    }
    put16(p, 2, static_cast<unsigned>(f.page_size - f.index_entries - end));
    return p;
}

Bytes index_entry(const Bytes& key, RowRef where)
{
    Bytes e = key;
    add8(e, (where.page >> 16) & 0xFF);
    add8(e, (where.page >> 8) & 0xFF);
    add8(e, where.page & 0xFF);
    add8(e, where.row);
    return e;
}

Bytes long_key(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v) ^ 0x80000000u;
    return {0x7F, static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
            static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
}

}  // namespace jet::detail
