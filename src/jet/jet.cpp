#include "jet/jet.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "jet/format.h"
#include "jet/schema.h"
#include "jet/text.h"

namespace jet {

using namespace detail;

const char* message(Errc code)
{
    switch (code) {
    case Errc::ok: return "no error";
    case Errc::io_error: return "the file could not be read or written";
    case Errc::file_exists: return "the file already exists";
    case Errc::not_a_database: return "the file is not a database this program can write to";
    case Errc::bad_table_name: return "the table name is not allowed";
    case Errc::bad_column_name: return "a column name is not allowed";
    case Errc::duplicate_column: return "two columns have the same name";
    case Errc::too_many_columns: return "the table has too many or no columns";
    case Errc::wrong_value_count: return "the record does not have one value per column";
    case Errc::value_too_long: return "a value is longer than a text column holds";
    case Errc::record_too_large: return "the record is too large";
    case Errc::not_representable: return "a name has a character the database code page cannot hold";
    case Errc::invalid_utf8: return "a text is not valid UTF-8";
    case Errc::not_open: return "the database is not open";
    case Errc::file_too_large: return "the database would exceed the size this writer supports";
    }
    return "unknown error";
}

namespace {

// Catalog identifiers of the engine's own objects.
constexpr std::int32_t id_root = 0x0F000000;
constexpr std::int32_t id_tables = 0x0F000001;
constexpr std::int32_t id_databases = 0x0F000002;
constexpr std::int32_t id_relationships = 0x0F000003;
constexpr std::int32_t id_msysdb = 0x10000000;
constexpr std::int32_t flag_system_object = static_cast<std::int32_t>(0x80000000u);

constexpr std::uint32_t page_objects = 2, page_aces = 3, page_queries = 4, page_relationships = 5;
constexpr std::uint32_t first_holder = 6;

// Access rights (ACM) the engine grants on its own objects.
constexpr std::int32_t acm_read_def = 393216, acm_container_admin = 393217, acm_relationships = 917504;
constexpr std::int32_t acm_msysdb_admin = 393230, acm_msysdb_users = 14, acm_read_users = 20;
constexpr std::int32_t acm_creator = 983294, acm_tables_users = 1048319, acm_full = 1048575;

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

Bytes encode_text(const Format& f, std::string_view utf8)
{
    Bytes out;
    if (f.jet4) {
        std::u16string u;
        utf8_to_utf16(utf8, u);
        append_utf16le(out, u);
    } else {
        std::string cp;
        utf8_to_cp1252(utf8, cp, true);
        add_bytes(out, cp.data(), cp.size());
    }
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

Schema objects_schema()
{
    Schema s;
    s.system = true;
    s.columns = {fixed_col("Id", col_long, 4), fixed_col("ParentId", col_long, 4), var_col("Name", col_text, 255),
                 fixed_col("Type", col_integer, 2), fixed_col("DateCreate", col_datetime, 8),
                 fixed_col("DateUpdate", col_datetime, 8), var_col("Owner", col_binary, 255, flag_sid),
                 fixed_col("Flags", col_long, 4), var_col("Database", col_memo, 0), var_col("Connect", col_memo, 0),
                 var_col("ForeignName", col_text, 255), var_col("RmtInfoShort", col_binary, 255),
                 var_col("RmtInfoLong", col_ole, 0), var_col("Lv", col_ole, 0), var_col("LvProp", col_ole, 0),
                 var_col("LvModule", col_ole, 0), var_col("LvExtra", col_ole, 0)};
    s.indexes = {{{1, 2}, 0x01, "ParentIdName", 0}, {{0}, 0x01, "Id", 1}};
    s.finish();
    return s;
}
constexpr unsigned objects_lvprop = 14;

Schema aces_schema()
{
    Schema s;
    s.system = true;
    s.columns = {fixed_col("ObjectId", col_long, 4), var_col("SID", col_binary, 255, flag_sid),
                 fixed_col("ACM", col_long, 4), fixed_col("FInheritable", col_boolean, 1)};
    s.indexes = {{{0}, 0x08, "ObjectId", 0}};
    s.finish();
    return s;
}

Schema queries_schema(const Format& f)
{
    Schema s;
    s.system = true;
    s.columns = {fixed_col("ObjectId", col_long, 4), fixed_col("Attribute", col_byte, 1), var_col("Order", col_binary, 255),
                 var_col("Name1", col_text, 255), var_col("Name2", col_text, 255), var_col("Expression", col_memo, 0),
                 fixed_col("Flag", col_integer, 2)};
    if (f.jet4) s.columns.push_back(fixed_col("LvExtra", col_long, 4));
    s.indexes = {{{0, 1, 2}, 0x01, "ObjectIdAttribute", 1}};
    s.finish();
    return s;
}

Schema relationships_schema()
{
    Schema s;
    s.system = true;
    s.columns = {var_col("szRelationship", col_text, 255), fixed_col("grbit", col_long, 4),
                 fixed_col("ccolumn", col_long, 4), fixed_col("icolumn", col_long, 4),
                 var_col("szObject", col_text, 255), var_col("szColumn", col_text, 255),
                 var_col("szReferencedObject", col_text, 255), var_col("szReferencedColumn", col_text, 255)};
    s.indexes = {{{0}, 0x02, "szRelationship", 0}, {{4}, 0x02, "szObject", 0}, {{6}, 0x02, "szReferencedObject", 0}};
    s.finish();
    return s;
}

std::vector<unsigned> long_value_columns(const Schema& s)
{
    std::vector<unsigned> out;
    for (const Column& c : s.columns)
        if (c.type == col_memo || c.type == col_ole) out.push_back(c.number);
    return out;
}

// ---- page 0 ----------------------------------------------------------------
//
//   0x00 00 01 00 00, 0x04 "Standard Jet DB\0", 0x14 u32 version (0 Jet 3, 1 Jet 4)
//   0x18.. 126 (Jet 3) / 128 (Jet 4) bytes XORed with an RC4 stream keyed C7 DA 39 6B:
//     0x18 constant block, 0x38 u16 (Jet 3: 1), 0x3A u16 sort order (Jet 3),
//     0x3C u16 code page, 0x3E u32 encryption key (0), 0x42 password area
//     (Jet 3: 20 zero bytes; Jet 4: 40 bytes of the creation date's integer part,
//     which is what an empty password looks like), 0x56 u16 engine build (Jet 3),
//     0x6A u32 engine build (Jet 4), 0x6E u16 sort order + u16 version (Jet 4),
//     0x72 double creation date (Jet 4)
//   Jet 4 only, unmasked: 0x98 u32 1620, 0x9C "4.0"
//   last 512 bytes: 01 01, then 00 01 repeated, as in every fresh file.
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

Bytes header_page(const Format& f)
{
    Bytes p(f.page_size, 0);
    put32(p, 0, 0x100);
    const char engine[] = "Standard Jet DB";
    std::copy(engine, engine + sizeof engine, p.begin() + 4);
    put32(p, 0x14, f.jet4 ? 1 : 0);
    for (unsigned i = 0; i < 6; ++i) put32(p, 0x18 + 4 * i, i);
    p[0x18 + 1] = 1;
    p[0x1C] = 1;
    p[0x1D] = 1;
    put16(p, 0x3C, 1252);
    if (f.jet4) {
        const double date = std::bit_cast<double>(jet4_header_date_bits);
        const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(date));
        for (unsigned i = 0; i < 10; ++i) put32(p, 0x42 + 4 * i, mask);
        put32(p, 0x6A, 9756);
        put16(p, 0x6E, 0x0409);
        const Bytes d = le_double(date);
        std::copy(d.begin(), d.end(), p.begin() + 0x72);
        rc4_xor(p, 0x18, 128);
        put32(p, 0x98, 1620);
        std::copy_n("4.0", 4, p.begin() + 0x9C);
    } else {
        put16(p, 0x38, 1);
        put16(p, 0x3A, 0x0409);
        put16(p, 0x56, 9502);
        rc4_xor(p, 0x18, 126);
    }
    const std::size_t tail = f.page_size - 512;
    p[tail] = 1;
    p[tail + 1] = 1;
    for (std::size_t i = tail + 2; i < f.page_size; i += 2) p[i + 1] = 1;
    return p;
}

// ---- the property blob of table Main -----------------------------------------
//
//   "MR2\0" (Jet 4) / "KKD\0" (Jet 3), then blocks {u32 length, u16 type, ...}:
//   type 0x80: property names, each u16 byte length + name;
//   type 0x01: one column's properties: u32 length of {this u32, u16 name
//   length, name}, then entries {u16 length, u8 DDL, u8 data type, u16 name
//   number, u16 value length, value}.
Bytes property_blob(const Format& f, const std::vector<std::string>& columns)
{
    Bytes b;
    add_bytes(b, f.jet4 ? "MR2" : "KKD", 4);
    auto name_bytes = [&](std::string_view s) {
        Bytes t = encode_text(f, s);
        Bytes out;
        add16(out, static_cast<unsigned>(t.size()));
        out.insert(out.end(), t.begin(), t.end());
        return out;
    };
    const Bytes azl = name_bytes("AllowZeroLength");
    add32(b, static_cast<std::uint32_t>(6 + azl.size()));
    add16(b, 0x80);
    b.insert(b.end(), azl.begin(), azl.end());
    for (const std::string& c : columns) {
        const Bytes n = name_bytes(c);
        const std::size_t entry = 9;
        add32(b, static_cast<std::uint32_t>(6 + 4 + n.size() + entry));
        add16(b, 0x01);
        add32(b, static_cast<std::uint32_t>(4 + n.size()));
        b.insert(b.end(), n.begin(), n.end());
        add16(b, entry);
        add8(b, 1);           // DDL
        add8(b, col_boolean);
        add16(b, 0);          // "AllowZeroLength"
        add16(b, 1);
        add8(b, 1);           // True
    }
    return b;
}

// ---- assembling a new file ----------------------------------------------------

struct MapRows {
    const Format& f;
    std::vector<std::uint32_t> holders;
    std::vector<Bytes> rows;
    std::size_t per_page() const { return (f.page_size - f.data_header) / (f.map_row() + 2); }
    RowRef add(Bytes row)
    {
        const std::size_t i = rows.size();
        rows.push_back(std::move(row));
        return {holders.at(i / per_page()), static_cast<unsigned>(i % per_page())};
    }
};

struct Validated {
    std::vector<std::string> columns;
};

Status validate(Version v, std::string_view table, const std::vector<std::string>& columns)
{
    if (Status s = check_name(table, v, Errc::bad_table_name, "table name"); !s.ok()) return s;
    if (text_key(table, v).empty())
        return {Errc::bad_table_name, "table name \"" + std::string(table) + "\" must consist of letters A-Z and digits"};
    if (columns.empty()) return {Errc::too_many_columns, "a table needs at least one column"};
    if (columns.size() > 255)
        return {Errc::too_many_columns, std::to_string(columns.size()) + " columns, the most is 255"};
    std::vector<std::pair<std::u16string, std::size_t>> folded;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (Status s = check_name(columns[i], v, Errc::bad_column_name, "column name"); !s.ok()) return s;
        std::u16string u;
        utf8_to_utf16(columns[i], u);
        folded.emplace_back(fold_case(u), i);
    }
    std::sort(folded.begin(), folded.end());
    for (std::size_t i = 1; i < folded.size(); ++i) {
        if (folded[i].first == folded[i - 1].first) {
            const std::size_t a = std::min(folded[i].second, folded[i - 1].second);
            const std::size_t b = std::max(folded[i].second, folded[i - 1].second);
            return {Errc::duplicate_column, "columns " + std::to_string(a + 1) + " \"" + columns[a] + "\" and " +
                                                std::to_string(b + 1) + " \"" + columns[b] + "\" have the same name"};
        }
    }
    return {};
}

Status build_database(Version v, std::string_view table, const std::vector<std::string>& columns,
                      std::vector<Bytes>& pages)
{
    const Format& f = format_of(v);
    const Sids& sid = sids(v);
    const double now = ole_now();

    Schema objects = objects_schema(), aces = aces_schema(), queries = queries_schema(f),
           relationships = relationships_schema();
    Schema main;
    for (const std::string& c : columns) main.columns.push_back({c, col_text, 255, flag_updatable});
    main.finish();

    // Fixed layout of the engine's part, then the new table.
    const std::uint32_t holder_count = static_cast<std::uint32_t>((31 + (f.page_size - f.data_header) / (f.map_row() + 2) - 1) /
                                                                  ((f.page_size - f.data_header) / (f.map_row() + 2)));
    const std::uint32_t leaves = first_holder + holder_count;  // 7 index leaves
    const std::uint32_t objects_data = leaves + 7, aces_data = leaves + 8;
    const std::uint32_t main_tdef = leaves + 9;
    const std::size_t main_tdef_len = build_tdef(f, main, 0, {}, {}, {}, {}).size();
    const std::uint32_t main_holder = main_tdef + static_cast<std::uint32_t>(tdef_pages(f, main_tdef_len));
    const std::uint32_t first_lval = main_holder + 1;

    const Bytes props = property_blob(f, columns);
    // A long value up to 64 bytes stays in the row; one that fits a page row
    // is a single row; longer ones are chained rows, each starting with the
    // pointer to the next.
    const bool props_inline = props.size() <= 64;
    const bool props_single = !props_inline && props.size() <= f.max_lval_row;
    std::vector<Bytes> lval_rows;
    if (props_single) {
        lval_rows.push_back(props);
    } else if (!props_inline) {
        const std::size_t chunk = f.max_lval_row - 4;
        for (std::size_t pos = 0; pos < props.size(); pos += chunk) {
            Bytes r(4, 0);
            const std::size_t n = std::min(chunk, props.size() - pos);
            if (pos + n < props.size()) put_ref(r, 0, {first_lval + static_cast<std::uint32_t>(lval_rows.size() + 1), 0});
            r.insert(r.end(), props.begin() + static_cast<std::ptrdiff_t>(pos), props.begin() + static_cast<std::ptrdiff_t>(pos + n));
            lval_rows.push_back(std::move(r));
        }
    }
    const auto lval_pages = static_cast<std::uint32_t>(lval_rows.size());
    const std::uint32_t total = first_lval + lval_pages;
    std::vector<std::uint32_t> lval_list;
    for (std::uint32_t i = 0; i < lval_pages; ++i) lval_list.push_back(first_lval + i);

    // Usage maps of the system tables, in the engine's order: per table its
    // owned and free pages, then each long-value column's two maps, then each
    // index's pages.
    MapRows maps{f, {}, {}};
    for (std::uint32_t i = 0; i < holder_count; ++i) maps.holders.push_back(first_holder + i);
    struct Placed {
        RowRef owned, free;
        std::vector<LongValuePlace> lv;
        std::vector<IndexPlace> ix;
    };
    auto place = [&](const Schema& s, std::vector<std::uint32_t> data, std::vector<std::uint32_t> index_pages,
                     std::vector<std::uint32_t> distinct) {
        Placed p;
        p.owned = maps.add(inline_map(f, data));
        p.free = maps.add(inline_map(f, data));
        for (const unsigned c : long_value_columns(s)) {
            const bool props_here = &s == &objects && c == objects_lvprop;
            const std::vector<std::uint32_t> owned = props_here ? lval_list : std::vector<std::uint32_t>{};
            std::vector<std::uint32_t> free;
            if (props_here && !lval_list.empty()) free.push_back(lval_list.back());
            LongValuePlace lv{c, maps.add(inline_map(f, owned)), {}};
            lv.free = maps.add(inline_map(f, free));
            p.lv.push_back(lv);
        }
        for (std::size_t i = 0; i < index_pages.size(); ++i)
            p.ix.push_back({maps.add(inline_map(f, {index_pages[i]})), index_pages[i], distinct.at(i)});
        return p;
    };
    const Placed p_objects = place(objects, {objects_data}, {leaves, leaves + 1}, {9, 9});
    const Placed p_aces = place(aces, {aces_data}, {leaves + 2}, {9});
    const Placed p_queries = place(queries, {}, {leaves + 3}, {0});
    const Placed p_relationships = place(relationships, {}, {leaves + 4, leaves + 5, leaves + 6}, {0, 0, 0});

    pages.assign(total, Bytes{});
    pages[0] = header_page(f);

    // Page 1: the global map of pages in use (a set bit = free), and a second,
    // empty map row that fresh files carry.
    {
        Bytes p = new_data_page(f, 1);
        std::vector<std::uint32_t> free_pages;
        const std::size_t bitmap = std::max(f.map_bytes, ((static_cast<std::size_t>(total) + 63) / 64) * 8);
        for (std::uint32_t pg = total; pg < bitmap * 8; ++pg) free_pages.push_back(pg);
        data_add_row(f, p, inline_map(f, free_pages, 0, bitmap));
        data_add_row(f, p, inline_map(f, {}));
        pages[1] = std::move(p);
    }

    // Catalog rows.
    auto object_row = [&](std::int32_t id, std::int32_t parent, std::string_view name, int type, const Bytes& owner,
                          std::int32_t flags, std::optional<Bytes> lvprop) {
        std::vector<Cell> cells(objects.columns.size());
        cells[0] = le32(id);
        cells[1] = le32(parent);
        cells[2] = encode_text(f, name);
        cells[3] = le16(type);
        cells[4] = le_double(now);
        cells[5] = le_double(now);
        cells[6] = owner;
        cells[7] = le32(flags);
        cells[objects_lvprop] = std::move(lvprop);
        return build_row(f, objects, cells);
    };
    Bytes lvprop(12, 0);
    put24(lvprop, 0, static_cast<std::uint32_t>(props.size()));
    if (props_inline) {
        lvprop[3] = 0x80;
        lvprop.insert(lvprop.end(), props.begin(), props.end());
    } else {
        lvprop[3] = props_single ? 0x40 : 0x00;
        put_ref(lvprop, 4, {first_lval, 0});
    }
    struct ObjectRow {
        std::int32_t id, parent;
        std::string name;
        int type;
        const Bytes* owner;
        std::int32_t flags;
    };
    const std::vector<ObjectRow> catalog = {
        {id_tables, id_root, "Tables", 3, &sid.engine, flag_system_object},
        {id_databases, id_root, "Databases", 3, &sid.engine, flag_system_object},
        {id_relationships, id_root, "Relationships", 3, &sid.engine, flag_system_object},
        {id_msysdb, id_databases, "MSysDb", 2, &sid.admin, flag_system_object},
        {static_cast<std::int32_t>(page_objects), id_tables, "MSysObjects", 1, &sid.engine, flag_system_object},
        {static_cast<std::int32_t>(page_aces), id_tables, "MSysACEs", 1, &sid.engine, flag_system_object},
        {static_cast<std::int32_t>(page_queries), id_tables, "MSysQueries", 1, &sid.engine, flag_system_object},
        {static_cast<std::int32_t>(page_relationships), id_tables, "MSysRelationships", 1, &sid.engine, flag_system_object},
        {static_cast<std::int32_t>(main_tdef), id_tables, std::string(table), 1, &sid.admin, 0},
    };
    Bytes data = new_data_page(f, page_objects);
    std::vector<Bytes> by_parent_name, by_id;
    for (const ObjectRow& r : catalog) {
        const bool is_main = r.flags == 0;
        const Bytes row = object_row(r.id, r.parent, r.name, r.type, *r.owner, r.flags,
                                     is_main ? std::optional<Bytes>(lvprop) : std::nullopt);
        if (!data_fits(f, data, row.size())) return {Errc::io_error, "catalog page overflow"};
        const RowRef at{objects_data, data_add_row(f, data, row)};
        Bytes key = long_key(r.parent);
        const Bytes name_key = text_key(r.name, v);
        key.insert(key.end(), name_key.begin(), name_key.end());
        by_parent_name.push_back(index_entry(key, at));
        by_id.push_back(index_entry(long_key(r.id), at));
    }
    pages[objects_data] = std::move(data);
    pages[leaves] = index_leaf(f, page_objects, by_parent_name);
    pages[leaves + 1] = index_leaf(f, page_objects, by_id);

    // Permissions: the engine's rows, then those a new table inherits from the
    // Tables container (the creator's entry going to Admin, who creates it).
    struct Ace {
        std::int32_t object;
        const Bytes* sid;
        std::int32_t acm;
        bool inheritable;
    };
    const auto main_id = static_cast<std::int32_t>(main_tdef);
    const std::vector<Ace> ace_rows = {
        {2, &sid.admin, acm_read_def, false},
        {3, &sid.admin, acm_read_def, false},
        {4, &sid.admin, acm_read_def, false},
        {5, &sid.admin, acm_relationships, false},
        {id_tables, &sid.creator, acm_creator, true},
        {id_tables, &sid.admin, acm_container_admin, false},
        {id_relationships, &sid.creator, acm_creator, true},
        {id_relationships, &sid.admin, acm_container_admin, false},
        {id_databases, &sid.admin, acm_read_def, false},
        {id_msysdb, &sid.admin, acm_msysdb_admin, false},
        {id_msysdb, &sid.users, acm_msysdb_users, false},
        {4, &sid.users, acm_read_users, false},
        {5, &sid.users, acm_read_users, false},
        {2, &sid.users, acm_read_users, false},
        {id_tables, &sid.users, acm_tables_users, true},
        {id_relationships, &sid.users, acm_full, true},
        {main_id, &sid.admin, acm_creator, false},
        {main_id, &sid.users, acm_tables_users, false},
    };
    data = new_data_page(f, page_aces);
    std::vector<Bytes> by_object;
    for (const Ace& a : ace_rows) {
        std::vector<Cell> cells(4);
        cells[0] = le32(a.object);
        cells[1] = *a.sid;
        cells[2] = le32(a.acm);
        if (a.inheritable) cells[3] = Bytes{};
        const RowRef at{aces_data, data_add_row(f, data, build_row(f, aces, cells))};
        by_object.push_back(index_entry(long_key(a.object), at));
    }
    pages[aces_data] = std::move(data);
    pages[leaves + 2] = index_leaf(f, page_aces, by_object);
    pages[leaves + 3] = index_leaf(f, page_queries, {});
    for (std::uint32_t i = 0; i < 3; ++i) pages[leaves + 4 + i] = index_leaf(f, page_relationships, {});

    auto put_tdef = [&](std::uint32_t at, const Bytes& stream) {
        std::vector<Bytes> t = split_tdef(f, stream, at);
        for (std::size_t k = 0; k < t.size(); ++k) pages[at + k] = std::move(t[k]);
    };
    put_tdef(page_objects, build_tdef(f, objects, static_cast<std::uint32_t>(catalog.size()), p_objects.owned,
                                      p_objects.free, p_objects.ix, p_objects.lv));
    put_tdef(page_aces, build_tdef(f, aces, static_cast<std::uint32_t>(ace_rows.size()), p_aces.owned, p_aces.free,
                                   p_aces.ix, p_aces.lv));
    put_tdef(page_queries, build_tdef(f, queries, 0, p_queries.owned, p_queries.free, p_queries.ix, p_queries.lv));
    put_tdef(page_relationships, build_tdef(f, relationships, 0, p_relationships.owned, p_relationships.free,
                                            p_relationships.ix, p_relationships.lv));

    // The new table: its two maps on a page of their own, as the engine does.
    {
        Bytes holder = new_data_page(f, 0);
        data_add_row(f, holder, inline_map(f, {}));
        data_add_row(f, holder, inline_map(f, {}));
        pages[main_holder] = std::move(holder);
    }
    put_tdef(main_tdef, build_tdef(f, main, 0, {main_holder, 0}, {main_holder, 1}, {}, {}));
    for (std::uint32_t i = 0; i < lval_pages; ++i) {
        Bytes p = new_data_page(f, 0);
        std::copy_n("LVAL", 4, p.begin() + 4);
        data_add_row(f, p, lval_rows[i]);
        pages[first_lval + i] = std::move(p);
    }

    for (std::uint32_t h = 0; h < holder_count; ++h) {
        Bytes p = new_data_page(f, 0);
        for (std::size_t i = h * maps.per_page(); i < std::min(maps.rows.size(), (h + 1) * maps.per_page()); ++i)
            data_add_row(f, p, maps.rows[i]);
        pages[first_holder + h] = std::move(p);
    }
    return {};
}

// ---- files -----------------------------------------------------------------

class FileSink final : public Sink {
public:
    explicit FileSink(std::filesystem::path target) : target_(std::move(target))
    {
        temp_ = target_;
        temp_ += ".part";
    }
    ~FileSink() override
    {
        if (file_) std::fclose(file_);
        if (!done_) {
            std::error_code ec;
            std::filesystem::remove(temp_, ec);
        }
    }
    Status start()
    {
        file_ = std::fopen(temp_.string().c_str(), "wb");
        if (!file_) return {Errc::io_error, "cannot create " + temp_.string() + ": " + std::strerror(errno), errno};
        return {};
    }
    Status write(const void* data, std::size_t size) override
    {
        if (std::fwrite(data, 1, size, file_) != size)
            return {Errc::io_error, "cannot write " + temp_.string() + ": " + std::strerror(errno), errno};
        return {};
    }
    Status finish() override
    {
        const bool flushed = std::fflush(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!flushed || !closed) return {Errc::io_error, "cannot write " + temp_.string() + ": " + std::strerror(errno), errno};
        std::error_code ec;
        std::filesystem::rename(temp_, target_, ec);
        if (ec) return {Errc::io_error, "cannot rename " + temp_.string() + " to " + target_.string() + ": " + ec.message(), ec.value()};
        done_ = true;
        return {};
    }

private:
    std::filesystem::path target_, temp_;
    std::FILE* file_ = nullptr;
    bool done_ = false;
};

}  // namespace

Status check_columns(const std::vector<std::string>& columns)
{
    return validate(Version::Jet3, "Main", columns);
}

Status check_columns(Version version, const std::vector<std::string>& columns)
{
    return validate(version, "Main", columns);
}

Status create(Sink& sink, Version version, std::string_view table, const std::vector<std::string>& columns)
{
    if (Status s = validate(version, table, columns); !s.ok()) return s;
    std::vector<Bytes> pages;
    if (Status s = build_database(version, table, columns, pages); !s.ok()) return s;
    for (const Bytes& p : pages)
        if (Status s = sink.write(p.data(), p.size()); !s.ok()) return s;
    return sink.finish();
}

Status create(const std::filesystem::path& path, Version version, std::string_view table,
              const std::vector<std::string>& columns)
{
    if (Status s = validate(version, table, columns); !s.ok()) return s;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return {Errc::file_exists, path.string() + " already exists"};
    FileSink sink(path);
    if (Status s = sink.start(); !s.ok()) return s;
    return create(sink, version, table, columns);
}

}  // namespace jet
