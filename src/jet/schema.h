// Table definitions, rows and index pages, built from column lists.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jet/format.h"

namespace jet::detail {

enum ColumnType : std::uint8_t {
    col_boolean = 1, col_byte = 2, col_integer = 3, col_long = 4, col_datetime = 8,
    col_binary = 9, col_text = 10, col_ole = 11, col_memo = 12,
};

// Column flag bits in the descriptor.
enum : std::uint8_t { flag_fixed = 0x01, flag_updatable = 0x02, flag_system = 0x10, flag_sid = 0x20 };

struct Column {
    std::string name;      // UTF-8
    std::uint8_t type = col_text;
    std::uint16_t size = 255;  // fixed: bytes; text/binary: characters; memo/OLE: 0
    std::uint8_t flags = flag_updatable;
    // Set by finish():
    std::uint16_t number = 0, var_index = 0, fixed_offset = 0;
    bool fixed() const { return flags & flag_fixed; }
};

struct IndexDef {
    std::vector<unsigned> columns;  // column numbers, all ascending
    std::uint8_t flags = 0;         // 0x01 unique, 0x02 ignore nulls, 0x08 required
    std::string name;
    std::uint8_t kind = 0;          // 1 = primary key
};

struct Schema {
    std::vector<Column> columns;
    std::vector<IndexDef> indexes;
    bool system = false;

    void finish();
    unsigned var_count() const;
    std::size_t fixed_area() const;
};

struct IndexPlace {
    RowRef map;
    std::uint32_t root = 0;
    std::uint32_t distinct_keys = 0;
};
struct LongValuePlace {
    unsigned column = 0;
    RowRef owned, free;
};

// The logical table definition stream (first page header included, page
// fields zero); split_tdef() cuts it into pages.
Bytes build_tdef(const Format& f, const Schema& s, std::uint32_t rows, RowRef owned, RowRef free,
                 const std::vector<IndexPlace>& indexes, const std::vector<LongValuePlace>& long_values);
std::size_t tdef_pages(const Format& f, std::size_t stream_size);
std::vector<Bytes> split_tdef(const Format& f, const Bytes& stream, std::uint32_t first_page);

// A cell: nullopt is null; Boolean columns take any value as true.
using Cell = std::optional<Bytes>;
Bytes build_row(const Format& f, const Schema& s, const std::vector<Cell>& cells);

// A row of a table whose columns are all variable length: the fast path of
// appending, `values` already encoded.
Bytes build_var_row(const Format& f, const std::vector<const Bytes*>& values);
std::size_t var_row_size(const Format& f, const std::vector<std::size_t>& lengths);

// One leaf page holding `entries` (key bytes + big-endian page + row), sorted.
Bytes index_leaf(const Format& f, std::uint32_t tdef_page, std::vector<Bytes> entries);
Bytes index_entry(const Bytes& key, RowRef where);
Bytes long_key(std::int32_t v);

}  // namespace jet::detail
