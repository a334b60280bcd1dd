// A new database: the engine's own part (header, global usage map, the four
// system tables with their catalog rows, permissions and indexes) laid out as
// the engine lays out a fresh file, then the user table.
//
// Pages, in order:
//   0             header
//   1             global usage map
//   2..5          definitions of MSysObjects, MSysACEs, MSysQueries, MSysRelationships
//   6..           holders of the 31 usage map rows of the system tables
//   leaves+0..6   index leaves: MSysObjects ParentIdName and Id, MSysACEs ObjectId,
//                 MSysQueries ObjectIdAttribute, MSysRelationships' three
//   leaves+7, +8  MSysObjects and MSysACEs rows
//   main_tdef..   the user table's definition (one page or more)
//   main_holder   its two usage maps
//   first_lval..  rows of its property blob, when too long to keep in its catalog row
#include <algorithm>
#include <bit>
#include <chrono>
#include <ctime>
#include <optional>
#include <string>

#include "jet/format.h"
#include "jet/schema.h"
#include "jet/text.h"

namespace jet::detail {

namespace {

// Security ids. Jet 4 stores them XORed with a per-file value whose origin is
// unknown; these belong to the header below (creation date, password mask),
// as one consistent set seen in engine-made databases.
struct Sids {
    Bytes engine, admin, users, creator;
};
const Sids& sids(Version v)
{
    static const Sids jet3{{0x02, 0x03}, {0x03, 0x01}, {0x02, 0x01}, {0x02, 0x04}};
    static const Sids jet4{{0x65, 0x89}, {0x64, 0x8B}, {0x65, 0x8B}, {0x65, 0x8E}};
    return v == Version::Jet3 ? jet3 : jet4;
}
// 2015-11-21 22:40:31, the creation date the Jet 4 ids above go with.
constexpr std::uint64_t jet4_header_date_bits = 0x40E4AB3E3BD3853Eull;
constexpr unsigned jet3_engine_build = 9502, jet4_engine_build = 9756, jet4_tag_value = 1620;

double ole_now()
{
    const std::time_t t = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    // Days since 1899-12-30 of the local calendar date, plus the time of day.
    const auto days = std::chrono::sys_days{std::chrono::year{local.tm_year + 1900} /
                                            std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)} /
                                            std::chrono::day{static_cast<unsigned>(local.tm_mday)}}
                          .time_since_epoch()
                          .count();
    return static_cast<double>(days) + 25569.0 +
           (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec) / 86400.0;
}

Bytes le32(std::int32_t v)
{
    Bytes b(4);
    put32(b, 0, static_cast<std::uint32_t>(v));
    return b;
}
Bytes le16(int v)
{
    Bytes b(2);
    put16(b, 0, static_cast<unsigned>(v));
    return b;
}
Bytes le_double(double d)
{
    Bytes b(8);
    const auto u = std::bit_cast<std::uint64_t>(d);
    put32(b, 0, static_cast<std::uint32_t>(u));
    put32(b, 4, static_cast<std::uint32_t>(u >> 32));
    return b;
}
Bytes text_bytes(const Format& f, std::string_view utf8)
{
    Bytes out;
    encode_text(f, utf8, out);
    return out;
}

// ---- the engine's system tables ------------------------------------------

Column fixed_col(const char* name, std::uint8_t type, std::uint16_t size)
{
    return {name, type, size, flag_fixed | flag_updatable | flag_system};
}
Column var_col(const char* name, std::uint8_t type, std::uint16_t size, std::uint8_t extra = 0)
{
    return {name, type, size, static_cast<std::uint8_t>(flag_updatable | flag_system | extra)};
}

Schema system_schema(std::vector<Column> columns, std::vector<IndexDef> indexes)
{
    Schema s;
    s.system = true;
    s.columns = std::move(columns);
    s.indexes = std::move(indexes);
    s.finish();
    return s;
}

// MSysObjects columns read by number below.
enum ObjectsColumn : unsigned {
    obj_id,
    obj_parent,
    obj_name,
    obj_type,
    obj_created,
    obj_updated,
    obj_owner,
    obj_flags,
    obj_lvprop = 14,
};

Schema objects_schema()
{
    return system_schema(
        {fixed_col("Id", col_long, 4), fixed_col("ParentId", col_long, 4), var_col("Name", col_text, 255),
         fixed_col("Type", col_integer, 2), fixed_col("DateCreate", col_datetime, 8),
         fixed_col("DateUpdate", col_datetime, 8), var_col("Owner", col_binary, 255, flag_sid),
         fixed_col("Flags", col_long, 4), var_col("Database", col_memo, 0), var_col("Connect", col_memo, 0),
         var_col("ForeignName", col_text, 255), var_col("RmtInfoShort", col_binary, 255),
         var_col("RmtInfoLong", col_ole, 0), var_col("Lv", col_ole, 0), var_col("LvProp", col_ole, 0),
         var_col("LvModule", col_ole, 0), var_col("LvExtra", col_ole, 0)},
        {{{obj_parent, obj_name}, index_unique, "ParentIdName", 0}, {{obj_id}, index_unique, "Id", index_primary_key}});
}

Schema aces_schema()
{
    return system_schema({fixed_col("ObjectId", col_long, 4), var_col("SID", col_binary, 255, flag_sid),
                          fixed_col("ACM", col_long, 4), fixed_col("FInheritable", col_boolean, 1)},
                         {{{0}, index_required, "ObjectId", 0}});
}

Schema queries_schema(const Format& f)
{
    std::vector<Column> columns = {fixed_col("ObjectId", col_long, 4), fixed_col("Attribute", col_byte, 1),
                                   var_col("Order", col_binary, 255),  var_col("Name1", col_text, 255),
                                   var_col("Name2", col_text, 255),    var_col("Expression", col_memo, 0),
                                   fixed_col("Flag", col_integer, 2)};
    if (f.jet4)
        columns.push_back(fixed_col("LvExtra", col_long, 4));
    return system_schema(std::move(columns), {{{0, 1, 2}, index_unique, "ObjectIdAttribute", index_primary_key}});
}

Schema relationships_schema()
{
    return system_schema({var_col("szRelationship", col_text, 255), fixed_col("grbit", col_long, 4),
                          fixed_col("ccolumn", col_long, 4), fixed_col("icolumn", col_long, 4),
                          var_col("szObject", col_text, 255), var_col("szColumn", col_text, 255),
                          var_col("szReferencedObject", col_text, 255), var_col("szReferencedColumn", col_text, 255)},
                         {{{0}, index_ignore_nulls, "szRelationship", 0},
                          {{4}, index_ignore_nulls, "szObject", 0},
                          {{6}, index_ignore_nulls, "szReferencedObject", 0}});
}

// Usage map rows of the four system tables: owned and free pages, two per
// long-value column, one per index.
constexpr std::uint32_t system_map_rows = 31;
constexpr std::uint32_t system_index_leaves = 7;

std::vector<unsigned> long_value_columns(const Schema& s)
{
    std::vector<unsigned> out;
    for (const Column& c : s.columns)
        if (c.type == col_memo || c.type == col_ole)
            out.push_back(c.number);
    return out;
}

// ---- page 0 ----------------------------------------------------------------

void rc4_xor(Bytes& data, std::size_t from, std::size_t len)
{
    const std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    std::uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t n = 0, i = 0, j = 0; n < len; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[from + n] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

void header_masked_jet4(Bytes& p)
{
    const double date = std::bit_cast<double>(jet4_header_date_bits);
    const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(date));
    for (unsigned i = 0; i < header::password_words; ++i) put32(p, header::password + 4 * i, mask);
    put32(p, header::jet4_build, jet4_engine_build);
    put16(p, header::jet4_sort, sort_general);
    const Bytes d = le_double(date);
    put_bytes(p, header::jet4_date, d.data(), d.size());
}

Bytes header_page(const Format& f)
{
    Bytes p(f.page_size, 0);
    put32(p, header::magic, header::magic_value);
    put_bytes(p, header::engine, header::engine_name, sizeof header::engine_name);
    put32(p, header::version, f.jet4 ? 1 : 0);
    for (unsigned i = 0; i < 6; ++i) put32(p, header::masked + 4 * i, i);
    p[header::masked + 1] = 1;
    p[header::masked + 4] = 1;
    p[header::masked + 5] = 1;
    put16(p, header::code_page, code_page_1252);
    if (f.jet4) {
        header_masked_jet4(p);
        rc4_xor(p, header::masked, header::jet4_masked_len);
        put32(p, header::jet4_tag, jet4_tag_value);
        put_bytes(p, header::jet4_release, "4.0", 4);
    } else {
        put16(p, header::jet3_one, 1);
        put16(p, header::jet3_sort, sort_general);
        put16(p, header::jet3_build, jet3_engine_build);
        rc4_xor(p, header::masked, header::jet3_masked_len);
    }
    const std::size_t tail = f.page_size - header::tail_len;
    p[tail] = 1;
    for (std::size_t i = tail + 1; i < f.page_size; i += 2) p[i] = 1;
    return p;
}

// ---- the property blob of the user table ---------------------------------------
//
//   "MR2\0" (Jet 4) / "KKD\0" (Jet 3), then blocks {u32 length, u16 type, ...}:
//   type 0x80: property names, each u16 byte length + name;
//   type 0x01: one column's properties: u32 length of {this u32, u16 name
//   length, name}, then entries {u16 length, u8 DDL, u8 data type, u16 name
//   number, u16 value length, value}.
namespace props {
constexpr unsigned block_names = 0x80, block_column = 0x01;
constexpr std::size_t block_head = 6, entry_size = 9;
}  // namespace props

Bytes counted_text(const Format& f, std::string_view s)
{
    const Bytes t = text_bytes(f, s);
    Bytes out;
    add16(out, static_cast<unsigned>(t.size()));
    add_bytes(out, t);
    return out;
}

// Every column allows zero-length text.
Bytes property_blob(const Format& f, const std::vector<std::string>& columns)
{
    const char* magic = f.jet4 ? "MR2" : "KKD";
    Bytes b(magic, magic + 4);
    const Bytes azl = counted_text(f, "AllowZeroLength");
    add32(b, static_cast<std::uint32_t>(props::block_head + azl.size()));
    add16(b, props::block_names);
    add_bytes(b, azl);
    for (const std::string& c : columns) {
        const Bytes n = counted_text(f, c);
        add32(b, static_cast<std::uint32_t>(props::block_head + 4 + n.size() + props::entry_size));
        add16(b, props::block_column);
        add32(b, static_cast<std::uint32_t>(4 + n.size()));
        add_bytes(b, n);
        add16(b, props::entry_size);
        add8(b, 1);  // DDL
        add8(b, col_boolean);
        add16(b, 0);  // name number of "AllowZeroLength"
        add16(b, 1);
        add8(b, 1);  // True
    }
    return b;
}

// A long value up to 64 bytes stays in the row; one that fits a page row is a
// single row; longer ones are chained rows, each starting with the pointer to
// the next. One row per page, from `first`.
std::vector<Bytes> long_value_rows(const Format& f, const Bytes& value, std::uint32_t first)
{
    if (value.size() <= lv_ref::max_in_row)
        return {};
    if (value.size() <= f.max_lval_row)
        return {value};
    std::vector<Bytes> rows;
    const std::size_t chunk = f.max_lval_row - lv_ref::chain_pointer;
    for (std::size_t pos = 0; pos < value.size(); pos += chunk) {
        Bytes r(lv_ref::chain_pointer, 0);
        const std::size_t n = std::min(chunk, value.size() - pos);
        if (pos + n < value.size())
            put_ref(r, 0, {first + static_cast<std::uint32_t>(rows.size() + 1), 0});
        r.insert(r.end(), value.begin() + static_cast<std::ptrdiff_t>(pos),
                 value.begin() + static_cast<std::ptrdiff_t>(pos + n));
        rows.push_back(std::move(r));
    }
    return rows;
}

// The 12 bytes a row holds for a long value stored as `rows` from `first`.
Bytes long_value_ref(const Bytes& value, const std::vector<Bytes>& rows, std::uint32_t first)
{
    Bytes ref(lv_ref::size, 0);
    put24(ref, lv_ref::length, static_cast<std::uint32_t>(value.size()));
    if (value.size() <= lv_ref::max_in_row) {
        ref[lv_ref::kind] = lv_ref::in_row;
        add_bytes(ref, value);
    } else {
        ref[lv_ref::kind] = rows.size() == 1 ? lv_ref::single : lv_ref::chained;
        put_ref(ref, lv_ref::where, {first, 0});
    }
    return ref;
}

// ---- assembling a new file ----------------------------------------------------

// Usage map rows placed on the holder pages in order.
struct MapRows {
    const Format& f;
    std::uint32_t first_holder = page_first_holder;
    std::vector<Bytes> rows;
    std::size_t per_page() const { return (f.page_size - f.data_header) / (f.map_row() + 2); }
    RowRef add(Bytes row)
    {
        const std::size_t i = rows.size();
        rows.push_back(std::move(row));
        return {first_holder + static_cast<std::uint32_t>(i / per_page()), static_cast<unsigned>(i % per_page())};
    }
};

// Where a table's usage maps went.
struct Placed {
    RowRef owned, free;
    std::vector<LongValuePlace> lv;
    std::vector<IndexPlace> ix;
};

class NewFile {
public:
    NewFile(Version v, std::string_view table, const std::vector<std::string>& columns);
    Status build(std::vector<Bytes>& pages);

private:
    void plan();
    Placed place(const Schema& s, std::vector<std::uint32_t> data, std::vector<std::uint32_t> index_pages,
                 std::vector<std::uint32_t> distinct);
    Bytes global_map() const;
    Bytes object_row(std::int32_t id, std::int32_t parent, std::string_view name, ObjectType type, const Bytes& owner,
                     std::int32_t flags, std::optional<Bytes> lvprop) const;
    Status catalog(std::vector<Bytes>& pages) const;
    void aces(std::vector<Bytes>& pages) const;
    void put_tdef(std::vector<Bytes>& pages, std::uint32_t at, const Schema& s, std::uint32_t rows,
                  const Placed& p) const;
    void user_table(std::vector<Bytes>& pages) const;
    void holders(std::vector<Bytes>& pages) const;

    const Format& f;
    const Sids& sid;
    const double now;
    std::string table;
    Schema objects, aces_, queries, relationships, main;
    Bytes props;
    std::vector<Bytes> lval_rows;
    std::uint32_t holder_count = 0, leaves = 0, objects_data = 0, aces_data = 0, main_tdef = 0, main_holder = 0,
                  first_lval = 0, total = 0;
    MapRows maps;
    Placed p_objects, p_aces, p_queries, p_relationships;

    // Rows of MSysObjects and MSysACEs, and the objects the ACEs name.
    static constexpr std::uint32_t catalog_rows = 9, ace_rows = 18, ace_objects = 9;
};

NewFile::NewFile(Version v, std::string_view table_name, const std::vector<std::string>& columns)
    : f(format_of(v)), sid(sids(v)), now(ole_now()), table(table_name), objects(objects_schema()), aces_(aces_schema()),
      queries(queries_schema(f)), relationships(relationships_schema()),
      props(property_blob(f, columns)), maps{f, page_first_holder, {}}
{
    for (const std::string& c : columns) main.columns.push_back({c, col_text, text_chars, flag_updatable});
    main.finish();
    plan();
}

void NewFile::plan()
{
    holder_count = static_cast<std::uint32_t>((system_map_rows + maps.per_page() - 1) / maps.per_page());
    leaves = page_first_holder + holder_count;
    objects_data = leaves + system_index_leaves;
    aces_data = objects_data + 1;
    main_tdef = aces_data + 1;
    const std::size_t main_tdef_len = build_tdef(f, main, 0, {}, {}, {}, {}).size();
    main_holder = main_tdef + static_cast<std::uint32_t>(tdef_pages(f, main_tdef_len));
    first_lval = main_holder + 1;
    lval_rows = long_value_rows(f, props, first_lval);
    total = first_lval + static_cast<std::uint32_t>(lval_rows.size());

    // In the engine's order: per table its owned and free pages, then each
    // long-value column's two maps, then each index's pages.
    const std::uint32_t l = leaves;
    p_objects = place(objects, {objects_data}, {l, l + 1}, {catalog_rows, catalog_rows});
    p_aces = place(aces_, {aces_data}, {l + 2}, {ace_objects});
    p_queries = place(queries, {}, {l + 3}, {0});
    p_relationships = place(relationships, {}, {l + 4, l + 5, l + 6}, {0, 0, 0});
}

Placed NewFile::place(const Schema& s, std::vector<std::uint32_t> data, std::vector<std::uint32_t> index_pages,
                      std::vector<std::uint32_t> distinct)
{
    Placed p;
    p.owned = maps.add(inline_map(f, data));
    p.free = maps.add(inline_map(f, data));
    for (const unsigned c : long_value_columns(s)) {
        // The user table's properties live in MSysObjects.LvProp.
        std::vector<std::uint32_t> owned, free;
        if (&s == &objects && c == obj_lvprop) {
            for (std::uint32_t i = 0; i < lval_rows.size(); ++i) owned.push_back(first_lval + i);
            if (!owned.empty())
                free.push_back(owned.back());
        }
        LongValuePlace lv{c, maps.add(inline_map(f, owned)), {}};
        lv.free = maps.add(inline_map(f, free));
        p.lv.push_back(lv);
    }
    for (std::size_t i = 0; i < index_pages.size(); ++i)
        p.ix.push_back({maps.add(inline_map(f, {index_pages[i]})), index_pages[i], distinct[i]});
    return p;
}

// Page 1: the map of pages in use (a set bit = free), and a second, empty
// map row that fresh files carry.
Bytes NewFile::global_map() const
{
    Bytes p = new_data_page(f, page_global_map);
    std::vector<std::uint32_t> free_pages;
    const std::size_t bitmap = std::max(f.map_bytes, global_map_bytes(total));
    for (std::uint32_t pg = total; pg < bitmap * 8; ++pg) free_pages.push_back(pg);
    data_add_row(f, p, inline_map(f, free_pages, 0, bitmap));
    data_add_row(f, p, inline_map(f, {}));
    return p;
}

Bytes NewFile::object_row(std::int32_t id, std::int32_t parent, std::string_view name, ObjectType type,
                          const Bytes& owner, std::int32_t flags, std::optional<Bytes> lvprop) const
{
    std::vector<Cell> cells(objects.columns.size());
    cells[obj_id] = le32(id);
    cells[obj_parent] = le32(parent);
    cells[obj_name] = text_bytes(f, name);
    cells[obj_type] = le16(type);
    cells[obj_created] = le_double(now);
    cells[obj_updated] = le_double(now);
    cells[obj_owner] = owner;
    cells[obj_flags] = le32(flags);
    cells[obj_lvprop] = std::move(lvprop);
    return build_row(f, objects, cells);
}

// MSysObjects rows and its two indexes.
Status NewFile::catalog(std::vector<Bytes>& pages) const
{
    struct ObjectRow {
        std::int32_t id, parent;
        std::string_view name;
        ObjectType type;
        const Bytes* owner;
        std::int32_t flags;
    };
    auto table_id = [](std::uint32_t page) { return static_cast<std::int32_t>(page); };
    const ObjectRow rows[catalog_rows] = {
        {id_tables, id_root, "Tables", object_container, &sid.engine, flag_system_object},
        {id_databases, id_root, "Databases", object_container, &sid.engine, flag_system_object},
        {id_relationships, id_root, "Relationships", object_container, &sid.engine, flag_system_object},
        {id_msysdb, id_databases, "MSysDb", object_database, &sid.admin, flag_system_object},
        {table_id(page_objects), id_tables, "MSysObjects", object_table, &sid.engine, flag_system_object},
        {table_id(page_aces), id_tables, "MSysACEs", object_table, &sid.engine, flag_system_object},
        {table_id(page_queries), id_tables, "MSysQueries", object_table, &sid.engine, flag_system_object},
        {table_id(page_relationships), id_tables, "MSysRelationships", object_table, &sid.engine, flag_system_object},
        {table_id(main_tdef), id_tables, table, object_table, &sid.admin, 0},
    };
    Bytes data = new_data_page(f, page_objects);
    std::vector<Bytes> by_parent_name, by_id;
    for (const ObjectRow& r : rows) {
        const bool user_table = r.flags == 0;
        const Bytes row =
            object_row(r.id, r.parent, r.name, r.type, *r.owner, r.flags,
                       user_table ? std::optional<Bytes>(long_value_ref(props, lval_rows, first_lval)) : std::nullopt);
        if (!data_fits(f, data, row.size()))
            return {Errc::io_error, "catalog page overflow"};
        const RowRef at{objects_data, data_add_row(f, data, row)};
        Bytes key = long_key(r.parent);
        add_bytes(key, text_key(r.name, f.version));
        by_parent_name.push_back(index_entry(key, at));
        by_id.push_back(index_entry(long_key(r.id), at));
    }
    pages[objects_data] = std::move(data);
    pages[leaves] = index_leaf(f, page_objects, by_parent_name);
    pages[leaves + 1] = index_leaf(f, page_objects, by_id);
    return {};
}

// Permissions: the engine's rows, then those a new table inherits from the
// Tables container (the creator's entry going to Admin, who creates it).
void NewFile::aces(std::vector<Bytes>& pages) const
{
    struct Ace {
        std::int32_t object;
        const Bytes* sid;
        std::int32_t acm;
        bool inheritable;
    };
    const auto main_id = static_cast<std::int32_t>(main_tdef);
    const auto o = static_cast<std::int32_t>(page_objects), a = static_cast<std::int32_t>(page_aces),
               q = static_cast<std::int32_t>(page_queries), r = static_cast<std::int32_t>(page_relationships);
    const Ace rows[ace_rows] = {
        {o, &sid.admin, acm_read_def, false},
        {a, &sid.admin, acm_read_def, false},
        {q, &sid.admin, acm_read_def, false},
        {r, &sid.admin, acm_relationships, false},
        {id_tables, &sid.creator, acm_creator, true},
        {id_tables, &sid.admin, acm_container_admin, false},
        {id_relationships, &sid.creator, acm_creator, true},
        {id_relationships, &sid.admin, acm_container_admin, false},
        {id_databases, &sid.admin, acm_read_def, false},
        {id_msysdb, &sid.admin, acm_msysdb_admin, false},
        {id_msysdb, &sid.users, acm_msysdb_users, false},
        {q, &sid.users, acm_read_users, false},
        {r, &sid.users, acm_read_users, false},
        {o, &sid.users, acm_read_users, false},
        {id_tables, &sid.users, acm_tables_users, true},
        {id_relationships, &sid.users, acm_full, true},
        {main_id, &sid.admin, acm_creator, false},
        {main_id, &sid.users, acm_tables_users, false},
    };
    Bytes data = new_data_page(f, page_aces);
    std::vector<Bytes> by_object;
    for (const Ace& ace : rows) {
        std::vector<Cell> cells(aces_.columns.size());
        cells[0] = le32(ace.object);
        cells[1] = *ace.sid;
        cells[2] = le32(ace.acm);
        if (ace.inheritable)
            cells[3] = Bytes{};
        const RowRef at{aces_data, data_add_row(f, data, build_row(f, aces_, cells))};
        by_object.push_back(index_entry(long_key(ace.object), at));
    }
    pages[aces_data] = std::move(data);
    pages[leaves + 2] = index_leaf(f, page_aces, by_object);
}

void NewFile::put_tdef(std::vector<Bytes>& pages, std::uint32_t at, const Schema& s, std::uint32_t rows,
                       const Placed& p) const
{
    std::vector<Bytes> t = split_tdef(f, build_tdef(f, s, rows, p.owned, p.free, p.ix, p.lv), at);
    for (std::size_t k = 0; k < t.size(); ++k) pages[at + k] = std::move(t[k]);
}

// The user table: its two maps on a page of their own, as the engine does,
// and the pages of its property blob.
void NewFile::user_table(std::vector<Bytes>& pages) const
{
    Bytes holder = new_data_page(f, 0);
    data_add_row(f, holder, inline_map(f, {}));
    data_add_row(f, holder, inline_map(f, {}));
    pages[main_holder] = std::move(holder);
    put_tdef(pages, main_tdef, main, 0, {{main_holder, 0}, {main_holder, 1}, {}, {}});
    for (std::uint32_t i = 0; i < lval_rows.size(); ++i) {
        Bytes p = new_data_page(f, 0);
        put_bytes(p, data_page::owner, data_page::lval_tag, 4);
        data_add_row(f, p, lval_rows[i]);
        pages[first_lval + i] = std::move(p);
    }
}

void NewFile::holders(std::vector<Bytes>& pages) const
{
    for (std::uint32_t h = 0; h < holder_count; ++h) {
        Bytes p = new_data_page(f, 0);
        const std::size_t end = std::min(maps.rows.size(), (h + 1) * maps.per_page());
        for (std::size_t i = h * maps.per_page(); i < end; ++i) data_add_row(f, p, maps.rows[i]);
        pages[page_first_holder + h] = std::move(p);
    }
}

Status NewFile::build(std::vector<Bytes>& pages)
{
    pages.assign(total, Bytes{});
    pages[0] = header_page(f);
    pages[page_global_map] = global_map();
    if (Status s = catalog(pages); !s.ok())
        return s;
    aces(pages);
    pages[leaves + 3] = index_leaf(f, page_queries, {});
    for (std::uint32_t i = 0; i < 3; ++i) pages[leaves + 4 + i] = index_leaf(f, page_relationships, {});
    put_tdef(pages, page_objects, objects, catalog_rows, p_objects);
    put_tdef(pages, page_aces, aces_, ace_rows, p_aces);
    put_tdef(pages, page_queries, queries, 0, p_queries);
    put_tdef(pages, page_relationships, relationships, 0, p_relationships);
    user_table(pages);
    holders(pages);
    return {};
}

}  // namespace

Status build_database(Version v, std::string_view table, const std::vector<std::string>& columns,
                      std::vector<Bytes>& pages)
{
    return NewFile(v, table, columns).build(pages);
}

}  // namespace jet::detail
