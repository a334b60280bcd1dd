#include "jet/schema.h"

#include <algorithm>
#include <numeric>

#include "jet/text.h"

namespace jet::detail {

bool encode_text(const Format& f, std::string_view utf8, Bytes& out)
{
    if (f.jet4) {
        std::u16string u;
        const bool ok = utf8_to_utf16(utf8, u);
        append_utf16le(out, u);
        return ok;
    }
    std::string cp;
    const bool ok = utf8_to_cp1252(utf8, cp, true);
    add_bytes(out, cp.data(), cp.size());
    return ok;
}

namespace {

bool is_boolean(const Column& c) { return c.type == col_boolean; }

Bytes encode_name(const Format& f, const std::string& utf8)
{
    Bytes text;
    encode_text(f, utf8, text);
    Bytes out;
    if (f.jet4)
        add16(out, static_cast<unsigned>(text.size()));
    else
        add8(out, static_cast<unsigned>(text.size()));
    add_bytes(out, text);
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
    return static_cast<unsigned>(
        std::count_if(columns.begin(), columns.end(), [](const Column& c) { return !c.fixed(); }));
}

std::size_t Schema::fixed_area() const
{
    std::size_t n = 0;
    for (const Column& c : columns)
        if (c.fixed() && !is_boolean(c))
            n += c.size;
    return n;
}

namespace {

Bytes table_block(const Format& f, const Schema& s, std::uint32_t rows, RowRef owned, RowRef free)
{
    const TdefOffsets& o = f.tdef;
    Bytes b(o.size, 0);
    b[tdef_page::type] = page_tdef;
    b[tdef_page::one] = 1;
    if (f.jet4) {
        put32(b, o.magic, jet4_magic_column);
        b[o.autonumber] = 1;
    }
    put32(b, o.rows, rows);
    b[o.type] = s.system ? table_system : table_user;
    const auto ncols = static_cast<unsigned>(s.columns.size());
    put16(b, o.max_cols, ncols);
    put16(b, o.var_cols, s.var_count());
    put16(b, o.cols, ncols);
    put32(b, o.indexes, static_cast<std::uint32_t>(s.indexes.size()));
    put32(b, o.real_indexes, static_cast<std::uint32_t>(s.indexes.size()));
    put_ref(b, o.owned_map, owned);
    put_ref(b, o.free_map, free);
    return b;
}

Bytes index_counter(const Format& f, const IndexPlace& ix)
{
    Bytes b(f.index_count, 0);
    put32(b, 4, ix.distinct_keys);
    return b;
}

Bytes column_descriptor(const Format& f, const Schema& s, const Column& c)
{
    const ColumnLayout& l = f.col;
    const bool sized_in_units = c.type == col_text || c.type == col_binary;
    Bytes b(l.size, 0);
    b[l.type] = c.type;
    put16(b, l.number, c.number);
    put16(b, l.var_index, c.var_index);
    put16(b, l.row_number, s.system ? 0 : c.number);
    put16(b, l.sort, sort_general);
    if (f.jet4) {
        put32(b, l.magic, jet4_magic_column);  // sort version 0 and no compression: zeros
    } else {
        put16(b, l.jet3_one, 1);
        put16(b, l.code_page, code_page_1252);
    }
    b[l.flags] = c.flags;
    put16(b, l.fixed_offset, c.fixed_offset);
    put16(b, l.length, sized_in_units ? c.size * static_cast<unsigned>(f.text_unit) : c.size);
    return b;
}

Bytes real_index_block(const Format& f, const IndexDef& d, const IndexPlace& place)
{
    const RealIndexLayout& l = f.real;
    Bytes b(l.size, 0);
    if (f.jet4)
        put32(b, l.magic, jet4_magic_index);
    for (std::size_t k = 0; k < RealIndexLayout::column_slots; ++k) {
        const std::size_t at = l.columns + k * RealIndexLayout::slot_size;
        const bool used = k < d.columns.size();
        put16(b, at, used ? d.columns[k] : RealIndexLayout::no_column);
        b[at + 2] = used ? RealIndexLayout::ascending : 0;
    }
    put_ref(b, l.map, place.map);
    put32(b, l.root, place.root);
    b[l.flags] = f.jet4 ? d.flags | index_jet4 : d.flags;
    return b;
}

Bytes logical_index_block(const Format& f, const IndexDef& d, std::uint32_t number)
{
    const LogicalIndexLayout& l = f.logical;
    Bytes b(l.size, 0);
    if (f.jet4)
        put32(b, l.magic, jet4_magic_column);
    put32(b, l.number, number);
    put32(b, l.real, number);
    put32(b, l.related, LogicalIndexLayout::no_related);
    b[l.cascade_update] = LogicalIndexLayout::engine_cascade;
    b[l.cascade_delete] = LogicalIndexLayout::engine_cascade;
    b[l.kind] = d.kind;
    return b;
}

Bytes long_value_map(const LongValuePlace& lv)
{
    Bytes b(lv_map::size, 0);
    put16(b, lv_map::column, lv.column);
    put_ref(b, lv_map::owned, lv.owned);
    put_ref(b, lv_map::free, lv.free);
    return b;
}

template <class T, class Name>
std::vector<std::size_t> order_by_name(const std::vector<T>& items, Name name)
{
    std::vector<std::string> names;
    for (const T& item : items) names.push_back(name(item));
    return name_order(names);
}

}  // namespace

Bytes build_tdef(const Format& f, const Schema& s, std::uint32_t rows, RowRef owned, RowRef free,
                 const std::vector<IndexPlace>& indexes, const std::vector<LongValuePlace>& long_values)
{
    Bytes b = table_block(f, s, rows, owned, free);
    for (const IndexPlace& ix : indexes) add_bytes(b, index_counter(f, ix));

    std::vector<std::size_t> order(s.columns.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (s.system && f.jet4)
        order = order_by_name(s.columns, [](const Column& c) { return c.name; });
    for (const std::size_t i : order) add_bytes(b, column_descriptor(f, s, s.columns[i]));
    for (const std::size_t i : order) add_bytes(b, encode_name(f, s.columns[i].name));

    for (std::size_t i = 0; i < s.indexes.size(); ++i) add_bytes(b, real_index_block(f, s.indexes[i], indexes[i]));
    const std::vector<std::size_t> index_order = order_by_name(s.indexes, [](const IndexDef& d) { return d.name; });
    for (const std::size_t i : index_order)
        add_bytes(b, logical_index_block(f, s.indexes[i], static_cast<std::uint32_t>(i)));
    for (const std::size_t i : index_order) add_bytes(b, encode_name(f, s.indexes[i].name));

    const auto lv_order =
        order_by_name(long_values, [&](const LongValuePlace& lv) { return s.columns[lv.column].name; });
    for (const std::size_t i : lv_order) add_bytes(b, long_value_map(long_values[i]));
    add16(b, tdef_page::end_marker);
    put32(b, f.tdef.length, static_cast<std::uint32_t>(b.size()));
    return b;
}

std::size_t tdef_pages(const Format& f, std::size_t stream_size)
{
    const std::size_t per_page = f.page_size - tdef_page::header;
    if (stream_size <= f.page_size)
        return 1;
    return 1 + (stream_size - f.page_size + per_page - 1) / per_page;
}

std::vector<Bytes> split_tdef(const Format& f, const Bytes& stream, std::uint32_t first_page)
{
    const std::size_t count = tdef_pages(f, stream.size());
    std::vector<Bytes> pages;
    std::size_t pos = 0;
    for (std::size_t k = 0; k < count; ++k) {
        Bytes p(f.page_size, 0);
        std::size_t at = 0;
        if (k > 0) {
            p[tdef_page::type] = page_tdef;
            p[tdef_page::one] = 1;
            at = tdef_page::header;
        }
        const std::size_t n = std::min(f.page_size - at, stream.size() - pos);
        std::copy(stream.begin() + static_cast<std::ptrdiff_t>(pos),
                  stream.begin() + static_cast<std::ptrdiff_t>(pos + n), p.begin() + static_cast<std::ptrdiff_t>(at));
        pos += n;
        const std::size_t used = at + n;
        if (f.jet4) {
            const std::size_t room =
                used + tdef_page::header <= f.page_size ? f.page_size - used - tdef_page::header : 0;
            put16(p, tdef_page::free_space, static_cast<unsigned>(room));
        } else {
            put_bytes(p, tdef_page::free_space, "VC", 2);
        }
        put32(p, tdef_page::next, k + 1 < count ? first_page + static_cast<std::uint32_t>(k + 1) : 0);
        pages.push_back(std::move(p));
    }
    return pages;
}

namespace {

// A row: the column count (u8 Jet 3, u16 Jet 4), the fixed-length columns at
// their descriptors' offsets, the variable-length data, then the tail below.
// A set bit in the null mask (bit = column number) means "not null";
// Boolean columns keep their value there.
//
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
        if (base > 0 && (base + jumps - 1) / 256 > jumps)
            ++jumps;
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
    const std::size_t head = f.row_head;
    Bytes r(head + s.fixed_area(), 0);
    if (f.jet4)
        put16(r, 0, static_cast<unsigned>(ncols));
    else
        r[0] = static_cast<std::uint8_t>(ncols);
    Bytes mask((ncols + 7) / 8, 0);
    std::vector<const Column*> var(s.var_count(), nullptr);
    for (const Column& c : s.columns) {
        const Cell& v = cells[c.number];
        if (v)
            mask[c.number / 8] |= static_cast<std::uint8_t>(1u << (c.number % 8));
        if (!c.fixed())
            var[c.var_index] = &c;
        else if (v && !is_boolean(c))
            std::copy(v->begin(), v->begin() + c.size, r.begin() + static_cast<std::ptrdiff_t>(head + c.fixed_offset));
    }
    std::vector<std::size_t> offsets;
    for (const Column* c : var) {
        offsets.push_back(r.size());
        const Cell& v = cells[c->number];
        if (v)
            r.insert(r.end(), v->begin(), v->end());
    }
    finish_row(f, r, offsets, mask);
    return r;
}

Bytes build_var_row(const Format& f, const std::vector<const Bytes*>& values)
{
    const std::size_t n = values.size();
    Bytes r;
    if (f.jet4)
        add16(r, static_cast<unsigned>(n));
    else
        add8(r, static_cast<unsigned>(n));
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
    if (f.jet4)
        return 2 + data + 2 + 2 * n + 2 + mask;
    const std::size_t eod = 1 + data;
    const std::size_t base = eod + 1 + n + 1 + mask;
    std::size_t jumps = eod / 256;
    if ((base + jumps - 1) / 256 > jumps)
        ++jumps;
    return base + jumps;
}

Bytes index_leaf(const Format& f, std::uint32_t tdef_page, std::vector<Bytes> entries)
{
    std::sort(entries.begin(), entries.end());
    Bytes p(f.page_size, 0);
    p[index_page::type] = page_index_leaf;
    p[index_page::one] = 1;
    put32(p, index_page::owner, tdef_page);
    std::size_t end = 0;
    for (const Bytes& e : entries) {
        put_bytes(p, f.index_entries + end, e.data(), e.size());
        end += e.size();
        set_bit(p, f.index_mask, end);
    }
    put16(p, index_page::free_space, static_cast<unsigned>(f.page_size - f.index_entries - end));
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
    return {key_present, static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
            static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)};
}

}  // namespace jet::detail
