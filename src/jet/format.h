// On-disk layouts of Jet 3 and Jet 4 files, as far as this writer needs them.
//
// Offsets are from the start of a page or structure; all integers are
// little-endian except index keys and the page/row pointers in index entries,
// which are big-endian. Where the versions differ, a layout struct holds the
// offsets of each and format_of() picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "jet/catalog.h"
#include "jet/jet.h"

namespace jet::detail {

using Bytes = std::vector<std::uint8_t>;

// ---- the database header (page 0) -------------------------------------------
//
//   0x00 u32 0x100, 0x04 "Standard Jet DB\0", 0x14 u32 version (0 Jet 3, 1 Jet 4)
//   0x18.. 126 (Jet 3) / 128 (Jet 4) bytes XORed with an RC4 stream keyed C7 DA 39 6B:
//     0x18 constant block (u32 0..5, then bytes 0x19, 0x1C, 0x1D set to 1),
//     0x38 u16 1 (Jet 3), 0x3A u16 sort order (Jet 3), 0x3C u16 code page,
//     0x3E u32 encryption key (0), 0x42 password area (Jet 3: 20 zero bytes;
//     Jet 4: ten times the creation date's integer part, which is what an empty
//     password looks like), 0x56 u16 engine build (Jet 3), 0x6A u32 engine
//     build (Jet 4), 0x6E u16 sort order + u16 version (Jet 4), 0x72 double
//     creation date (Jet 4)
//   Jet 4 only, unmasked: 0x98 u32 1620, 0x9C "4.0\0"
//   last 512 bytes: 01 01, then 00 01 repeated, as in every fresh file.
namespace header {
constexpr std::size_t magic = 0x00, engine = 0x04, version = 0x14, masked = 0x18;
constexpr std::size_t jet3_one = 0x38, jet3_sort = 0x3A, code_page = 0x3C, password = 0x42;
constexpr std::size_t jet3_build = 0x56, jet4_build = 0x6A, jet4_sort = 0x6E, jet4_date = 0x72;
constexpr std::size_t jet4_tag = 0x98, jet4_release = 0x9C;
constexpr std::size_t jet3_masked_len = 126, jet4_masked_len = 128, password_words = 10;
constexpr std::size_t tail_len = 512;
constexpr std::uint32_t magic_value = 0x100;
constexpr char engine_name[] = "Standard Jet DB";
}  // namespace header

// ---- data pages ---------------------------------------------------------------
//
//   0  u8   0x01
//   1  u8   0x01
//   2  u16  free space
//   4  u32  owning table definition page (0 on usage map holders, "LVAL" on
//           long-value pages, 1 on the global map page)
//   8  u32  Jet 4 only: zero
//   8/12 u16 number of rows, then one u16 slot per row: the row's offset in
//           the low 13 bits, 0x8000 deleted, 0x4000 moved elsewhere.
// Rows are packed down from the page end: row 0 ends at the page end, row i
// at the start of row i-1.
namespace data_page {
constexpr std::size_t type = 0, one = 1, free_space = 2, owner = 4;
constexpr unsigned max_rows = 255;
constexpr unsigned slot_offset = 0x1FFF, slot_deleted = 0x8000, slot_moved = 0x4000;
constexpr char lval_tag[] = "LVAL";
}  // namespace data_page

// ---- table definition pages ------------------------------------------------------
//
// Every page starts {02 01, free space (Jet 4) or "VC" (Jet 3), u32 next page};
// the definition is one stream: the first page from offset 0, continuation
// pages from offset 8. In the stream: the table block (TdefOffsets), per real
// index {u32 0, u32 distinct keys[, u32 0]}, column descriptors, column names,
// real index blocks, logical index blocks, logical index names, long-value
// column maps, FF FF.
namespace tdef_page {
constexpr std::size_t type = 0, one = 1, free_space = 2, next = 4, header = 8;
constexpr std::size_t max_pages = 64;  // more is a loop or a damaged file
constexpr unsigned end_marker = 0xFFFF;
}  // namespace tdef_page

// Table block fields (offsets in the definition stream).
//   field          Jet 3  Jet 4
//   length           8      8   u32, the whole stream
//   magic            -     12   u32 1625
//   rows            12     16   u32 live rows
//   autonumber      -      24   u8 1
//   type            20     40   u8 TableType
//   max_cols        21     41   u16 columns ever
//   var_cols        23     43   u16
//   cols            25     45   u16
//   indexes         27     47   u32 logical
//   real_indexes    31     51   u32
//   owned_map       35     55   row pointer
//   free_map        39     59   row pointer
struct TdefOffsets {
    std::size_t length, magic, rows, autonumber, type, max_cols, var_cols, cols, indexes, real_indexes, owned_map,
        free_map, size;
};

// Column descriptor, one per column after the real index counters.
//   field          Jet 3  Jet 4
//   type             0      0   u8 ColumnType
//   magic            -      1   u32 1625
//   number           1      5   u16 null-mask bit
//   var_index        3      7   u16 slot in the variable column table
//   row_number       5      9   u16 number again (0 in system tables)
//   jet3_one         7      -   u16 1
//   sort             9     11   u16 sort order (General)
//   code_page       11      -   u16 1252
//   sort_version     -     13   u16 0: General legacy
//   flags           13     15   u8
//   compression      -     16   u8 0, then u32 0
//   fixed_offset    14     21   u16 offset in the fixed area
//   length          16     23   u16 bytes (text: characters times the unit)
struct ColumnLayout {
    std::size_t size, type, magic, number, var_index, row_number, jet3_one, sort, code_page, sort_version, flags,
        fixed_offset, length;
};

// Real index block: ten {u16 column or FFFF, u8 1 ascending} slots.
//   field          Jet 3  Jet 4
//   magic            -      0   u32 1923
//   columns          0      4   10 x 3 bytes
//   map             30     34   row pointer of the index's usage map
//   root            34     38   u32 first index page
//   flags           38     46   u8 (Jet 4 adds 0x80)
struct RealIndexLayout {
    std::size_t size, magic, columns, map, root, flags;
    static constexpr std::size_t column_slots = 10, slot_size = 3;
    static constexpr unsigned no_column = 0xFFFF;
    static constexpr std::uint8_t ascending = 1;
};

// Logical index block.
//   field          Jet 3  Jet 4
//   magic            -      0   u32 1625
//   number           0      4   u32
//   real             4      8   u32 real index it uses
//   related          9     13   i32 -1: no related index (then u32 0)
//   cascade_update  17     21   u8 4, as in every engine file
//   cascade_delete  18     22   u8 4
//   kind            19     23   u8 1 = primary key
struct LogicalIndexLayout {
    std::size_t size, magic, number, real, related, cascade_update, cascade_delete, kind;
    static constexpr std::uint32_t no_related = 0xFFFFFFFF;
    static constexpr std::uint8_t engine_cascade = 4;
};

// Long-value column maps at the end of the definition: u16 column, owned map
// row pointer, free map row pointer.
namespace lv_map {
constexpr std::size_t column = 0, owned = 2, free = 6, size = 10;
}

// A long value's 12 bytes in its row: u24 length, u8 kind (0x80 the value
// follows in the row, 0x40 one row elsewhere, 0 a chain of rows whose first
// 4 bytes point to the next), row pointer, u32 0.
namespace lv_ref {
constexpr std::size_t length = 0, kind = 3, where = 4, size = 12;
constexpr std::uint8_t in_row = 0x80, single = 0x40, chained = 0x00;
constexpr std::size_t max_in_row = 64, chain_pointer = 4;
}  // namespace lv_ref

// ---- usage maps --------------------------------------------------------------------
//
// A map is a row: u8 kind, then for an inline map u32 first page covered and
// one bit per page (LSB first, set = listed); for a reference map one u32 per
// bitmap page, page j covering pages j*span .. j*span+span-1. A bitmap page
// is `05 01 00 00` then its bits. In the global map (page 1, row 0) a set bit
// means the page is free.
namespace usage_map {
constexpr std::size_t kind = 0, start = 1, bits = 5, ref_pages = 1, ref_size = 4;
constexpr std::size_t bitmap_page_bits = 4;
constexpr std::uint32_t global_row = 0, spare_row = 1;
}  // namespace usage_map

// Bitmap bytes of a global map covering `pages`: whole multiples of 8 bytes.
inline std::size_t global_map_bytes(std::size_t pages) { return (pages + 63) / 64 * 8; }

// ---- index pages -----------------------------------------------------------------------
//
//   0 u8 0x04 leaf, 1 u8 0x01, 2 u16 free space, 4 u32 owning definition,
//   [Jet 4: 8 u32 0], then u32 previous, next and tail page, u16 shared prefix
//   length, [Jet 4: u8 0]; at `index_mask` a bitmap marking where each entry
//   ends, from `index_entries` the entries: key bytes, then big-endian u24
//   page and u8 row.
namespace index_page {
constexpr std::size_t type = 0, one = 1, free_space = 2, owner = 4;
}

// Long integer keys: 7F, then the value big-endian with its sign bit flipped.
constexpr std::uint8_t key_present = 0x7F;

struct Format {
    Version version;
    bool jet4;
    std::size_t page_size;      // 2048 / 4096
    std::size_t data_header;    // data page: 10 / 14 bytes before the row offsets
    std::size_t index_count;    // per real index counter block: 8 / 12
    std::size_t map_bytes;      // bitmap bytes of an inline usage map row: 128 / 64
    std::size_t index_mask;     // index page: entry mask offset 0x16 / 0x1B
    std::size_t index_entries;  // 0xF8 / 0x1E0
    std::size_t max_row;        // longest row the engine stores: 2012 / 4060
    std::size_t max_lval_row;   // longest long-value row: 2032 / 4076
    std::size_t text_unit;      // bytes per character: 1 / 2
    std::size_t row_head;       // column count at a row's start: u8 / u16
    TdefOffsets tdef;
    ColumnLayout col;
    RealIndexLayout real;
    LogicalIndexLayout logical;

    std::size_t map_row() const { return usage_map::bits + map_bytes; }
    // Pages one bitmap page covers.
    std::size_t bitmap_page_span() const { return (page_size - usage_map::bitmap_page_bits) * 8; }
    std::size_t row_count_at() const { return data_header - 2; }
};

const Format& format_of(Version v);

// Writes into buffers of our own making: the caller sized them.
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
inline void add8(Bytes& b, unsigned v) { b.push_back(static_cast<std::uint8_t>(v)); }
inline void add16(Bytes& b, unsigned v)
{
    add8(b, v & 0xFF);
    add8(b, (v >> 8) & 0xFF);
}
inline void add32(Bytes& b, std::uint32_t v)
{
    add16(b, v & 0xFFFF);
    add16(b, v >> 16);
}
inline void put_bytes(Bytes& b, std::size_t o, const void* p, std::size_t n) { std::memcpy(b.data() + o, p, n); }
inline void add_bytes(Bytes& b, const void* p, std::size_t n)
{
    const auto* q = static_cast<const std::uint8_t*>(p);
    b.insert(b.end(), q, q + n);
}
inline void add_bytes(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// Reads of fixed fields of a whole page: the offsets are below any page size.
inline unsigned get16(const Bytes& b, std::size_t o) { return b[o] | (b[o + 1] << 8); }
inline std::uint32_t get32(const Bytes& b, std::size_t o)
{
    return get16(b, o) | (std::uint32_t{get16(b, o + 2)} << 16);
}

// A row pointer: row number in the low byte, page number above it.
struct RowRef {
    std::uint32_t page = 0;
    unsigned row = 0;
};
inline void put_ref(Bytes& b, std::size_t o, RowRef r)
{
    put8(b, o, r.row);
    put24(b, o + 1, r.page);
}

// Reads of file data at offsets the data itself gave: a read past the end
// yields 0 and leaves the reader failed, so callers check once at the end.
class Reader {
public:
    explicit Reader(const Bytes& b) : b_(b) {}
    bool ok() const { return ok_; }
    std::size_t size() const { return b_.size(); }
    unsigned u8(std::size_t o) { return has(o, 1) ? b_[o] : 0; }
    unsigned u16(std::size_t o) { return has(o, 2) ? get16(b_, o) : 0; }
    std::uint32_t u24(std::size_t o) { return has(o, 3) ? get16(b_, o) | (std::uint32_t{b_[o + 2]} << 16) : 0; }
    std::uint32_t u32(std::size_t o) { return has(o, 4) ? get32(b_, o) : 0; }
    RowRef ref(std::size_t o) { return {u24(o + 1), u8(o)}; }
    bool has(std::size_t o, std::size_t n)
    {
        if (o > b_.size() || n > b_.size() - o)
            ok_ = false;
        return ok_;
    }

private:
    const Bytes& b_;
    bool ok_ = true;
};

// Data pages.
Bytes new_data_page(const Format& f, std::uint32_t owner);
unsigned data_rows(const Format& f, const Bytes& page);
std::size_t data_free(const Bytes& page);
unsigned data_slot(const Format& f, const Bytes& page, unsigned row);
bool data_fits(const Format& f, const Bytes& page, std::size_t row_len);
// Bytes a new row may take between the slots, one more included, and the
// lowest row, as the slots say (a page read from a file may lie about its
// free space); 0 when they disagree with the page.
std::size_t data_room(const Format& f, const Bytes& page);
unsigned data_add_row(const Format& f, Bytes& page, const Bytes& row);  // caller checked data_fits
// Row `i` as [begin, end) offsets; false when the page disagrees with itself.
bool data_row_bounds(const Format& f, const Bytes& page, unsigned i, std::size_t& begin, std::size_t& end);

// Inline usage map row.
Bytes inline_map(const Format& f, const std::vector<std::uint32_t>& pages, std::uint32_t start = 0,
                 std::size_t bitmap_bytes = 0);
void set_bit(Bytes& b, std::size_t bits_at, std::size_t bit);

}  // namespace jet::detail
