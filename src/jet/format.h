// On-disk layouts of Jet 3 and Jet 4 files, as far as this writer needs them.
//
// Offsets below are from the start of a page unless said otherwise; all
// integers are little-endian except index keys and the page/row pointers in
// index entries, which are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace jet::detail {

using Bytes = std::vector<std::uint8_t>;

struct Format {
    Version version;
    bool jet4;
    std::size_t page_size;     // 2048 / 4096
    std::size_t data_header;   // data page: 10 / 14 bytes before the row offsets
    std::size_t tdef_fixed;    // table block length: 43 / 63
    std::size_t index_count;   // per real index counter block: 8 / 12
    std::size_t column_size;   // column descriptor: 18 / 25
    std::size_t real_index;    // real index block: 39 / 52
    std::size_t logical_index; // logical index block: 20 / 28
    std::size_t map_bytes;     // bitmap bytes of an inline usage map row: 128 / 64
    std::size_t index_mask;    // index page: entry mask offset 0x16 / 0x1B
    std::size_t index_mask_len;
    std::size_t index_entries; // 0xF8 / 0x1E0
    std::size_t max_row;       // longest row the engine stores: 2012 / 4060
    std::size_t max_lval_row;  // longest long-value row: 2032 / 4076
    std::size_t text_unit;     // bytes per character: 1 / 2

    std::size_t map_row() const { return 5 + map_bytes; }
    // Pages one type-5 bitmap page covers.
    std::size_t bitmap_page_span() const { return (page_size - 4) * 8; }
};

const Format& format_of(Version v);

// Table block fields (offsets in the table definition stream).
struct TdefOffsets {
    std::size_t length = 8, rows, type, max_cols, var_cols, cols, indexes, real_indexes, owned_map, free_map;
};
const TdefOffsets& tdef_offsets(Version v);

inline void put8(Bytes& b, std::size_t o, unsigned v) { b[o] = static_cast<std::uint8_t>(v); }
inline void put16(Bytes& b, std::size_t o, unsigned v)
{
    b[o] = static_cast<std::uint8_t>(v);
    b[o + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put24(Bytes& b, std::size_t o, std::uint32_t v)
{
    put16(b, o, v & 0xFFFF);
    b[o + 2] = static_cast<std::uint8_t>(v >> 16);
}
inline void put32(Bytes& b, std::size_t o, std::uint32_t v)
{
    put16(b, o, v & 0xFFFF);
    put16(b, o + 2, v >> 16);
}
inline unsigned get8(const Bytes& b, std::size_t o) { return b.at(o); }
inline unsigned get16(const Bytes& b, std::size_t o) { return b.at(o) | (b.at(o + 1) << 8); }
inline std::uint32_t get24(const Bytes& b, std::size_t o) { return get16(b, o) | (std::uint32_t{b.at(o + 2)} << 16); }
inline std::uint32_t get32(const Bytes& b, std::size_t o) { return get16(b, o) | (std::uint32_t{get16(b, o + 2)} << 16); }

inline void add8(Bytes& b, unsigned v) { b.push_back(static_cast<std::uint8_t>(v)); }
inline void add16(Bytes& b, unsigned v) { add8(b, v & 0xFF); add8(b, (v >> 8) & 0xFF); }
inline void add32(Bytes& b, std::uint32_t v) { add16(b, v & 0xFFFF); add16(b, v >> 16); }
inline void add_bytes(Bytes& b, const void* p, std::size_t n)
{
    const auto* q = static_cast<const std::uint8_t*>(p);
    b.insert(b.end(), q, q + n);
}

// A row pointer: row number in the low byte, page number above it.
struct RowRef {
    std::uint32_t page = 0;
    unsigned row = 0;
};
inline void put_ref(Bytes& b, std::size_t o, RowRef r) { put8(b, o, r.row); put24(b, o + 1, r.page); }
inline RowRef get_ref(const Bytes& b, std::size_t o) { return {get24(b, o + 1), get8(b, o)}; }

// Data pages: rows packed down from the page end, their offsets after the header.
Bytes new_data_page(const Format& f, std::uint32_t owner);
unsigned data_rows(const Format& f, const Bytes& page);
std::size_t data_free(const Bytes& page);
bool data_fits(const Format& f, const Bytes& page, std::size_t row_len);
unsigned data_add_row(const Format& f, Bytes& page, const Bytes& row);  // caller checked data_fits
// Row `i` as [begin, end) offsets; false when the page disagrees with itself.
bool data_row_bounds(const Format& f, const Bytes& page, unsigned i, std::size_t& begin, std::size_t& end);

// Inline usage map row: type 0, start page, bitmap.
Bytes inline_map(const Format& f, const std::vector<std::uint32_t>& pages, std::uint32_t start = 0,
                 std::size_t bitmap_bytes = 0);

}  // namespace jet::detail
