// Table definitions, rows and index pages, built from column lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/format.h"

namespace jet::detail {

struct Column {
    std::string name;  // UTF-8
    std::uint8_t type = col_text;
    std::uint16_t size = text_chars;  // fixed: bytes; text/binary: characters; memo/OLE: 0
    std::uint8_t flags = flag_updatable;
    // Set by finish():
    std::uint16_t number = 0, var_index = 0, fixed_offset = 0;
    bool fixed() const { return flags & flag_fixed; }
};

struct IndexDef {
    std::vector<unsigned> columns;  // column numbers, all ascending
    std::uint8_t flags = 0;         // index_unique, index_ignore_nulls, index_required
    std::string name;
    std::uint8_t kind = 0;  // index_primary_key or 0
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

// The table definition stream (first page header included, page fields
// zero); split_tdef() cuts it into pages.
Bytes build_tdef(const Format& f, const Schema& s, std::uint32_t rows, RowRef owned, RowRef free,
                 const std::vector<IndexPlace>& indexes, const std::vector<LongValuePlace>& long_values);
std::size_t tdef_pages(const Format& f, std::size_t stream_size);
std::vector<Bytes> split_tdef(const Format& f, const Bytes& stream, std::uint32_t first_page);

// UTF-8 to the file's text, appended to `out`: UTF-16LE (Jet 4), or code page
// 1252 with '?' for what it lacks (Jet 3). False on malformed UTF-8.
bool encode_text(const Format& f, std::string_view utf8, Bytes& out);

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

// The pages of a new database holding one empty table of Text(255) columns,
// names already checked.
Status build_database(Version v, std::string_view table, const std::vector<std::string>& columns,
                      std::vector<Bytes>& pages);

}  // namespace jet::detail
