// Appending records to an existing table: reading its definition and usage
// maps, the page cache, and the order in which changed pages reach the disk.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>

#include "jet/format.h"
#include "jet/jet.h"
#include "jet/schema.h"
#include "jet/text.h"
#include "text/files.h"

namespace jet {

using namespace detail;

namespace {

struct ParsedColumn {
    unsigned type = 0, number = 0, var_index = 0, flags = 0, fixed_offset = 0, length = 0;
    std::string name;
};

constexpr unsigned max_plausible_indexes = 64;

struct ParsedTdef {
    std::vector<std::uint32_t> pages;
    Bytes stream;
    std::uint32_t rows = 0;
    unsigned real_indexes = 0;
    RowRef owned, free;
    std::vector<ParsedColumn> columns;  // by column number
};

std::string decode_text(const Format& f, const Bytes& b, std::size_t at, std::size_t n)
{
    if (f.jet4)
        return utf16le_to_utf8(b.data() + at, n);
    std::string out;
    cp1252_to_utf8(
        std::string(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n)), out);
    return out;
}

// Jet 3 offsets of variable columns are one byte; jump bytes before the
// column count name the first entry at or past each 256-byte boundary.
bool var_bounds_jet3(Reader& r, std::size_t len, std::size_t mask, unsigned i, std::size_t& begin, std::size_t& end)
{
    const std::size_t n = r.u8(len - mask - 1);
    std::size_t jumps = (len - 1) / 256;
    const std::size_t table_end = len - mask - 1 - jumps;
    if (i >= n || table_end < n + 2)
        return false;
    if ((table_end - 1 - n) / 256 < jumps)
        --jumps;  // the last jump byte is filler
    auto entry = [&](std::size_t k) {
        std::size_t v = r.u8(table_end - 1 - k);
        for (std::size_t j = 0; j < jumps; ++j)
            if (r.u8(len - mask - 2 - j) <= k)
                v += 256;
        return v;
    };
    begin = entry(i);
    end = entry(i + 1);
    return true;
}

// Variable column `i` of a row as [begin, end); false when the row disagrees
// with itself.
bool var_bounds(const Format& f, const Bytes& row, unsigned i, std::size_t& begin, std::size_t& end)
{
    Reader r(row);
    const std::size_t len = row.size();
    const std::size_t mask = ((f.jet4 ? r.u16(0) : r.u8(0)) + 7) / 8;
    if (!r.ok() || len < mask + 4)
        return false;
    if (f.jet4) {
        const std::size_t n = r.u16(len - mask - 2);
        if (i >= n || len < mask + 4 + 2 * n)
            return false;
        begin = r.u16(len - mask - 4 - 2 * i);
        end = r.u16(len - mask - 4 - 2 * (i + 1));
    } else if (!var_bounds_jet3(r, len, mask, i, begin, end)) {
        return false;
    }
    return r.ok() && begin <= end && end <= len;
}

// The pages one append changes, kept from the cache and the disk until all
// are ready. A deque keeps references to added pages valid as more are added.
struct Pending {
    std::map<std::uint32_t, Bytes> changed;
    std::deque<Bytes> added;  // pages appended at the end of the file, in order
    std::uint32_t old_count = 0;
    std::uint32_t total() const { return old_count + static_cast<std::uint32_t>(added.size()); }
};

}  // namespace

struct Database::Impl {
    const Format* f = nullptr;
    std::filesystem::path path;
    std::FILE* file = nullptr;
    std::uint32_t page_count = 0;
    std::map<std::uint32_t, Bytes> cache;  // as on disk
    ParsedTdef table;
    std::uint32_t table_page = 0;
    std::string table_name;
    std::vector<std::string> column_names;

    ~Impl()
    {
        if (file)
            std::fclose(file);
    }

    Status bad(const std::string& why) const { return {Errc::not_a_database, text::path_utf8(path) + ": " + why}; }
    Status io_failure(const char* what, int error) const
    {
        return {Errc::io_error, std::string(what) + " " + text::path_utf8(path) + ": " + std::strerror(error), error};
    }

    Status load(std::uint32_t n, const Bytes*& out);
    Status row_at(RowRef r, Bytes& out);
    Status read_tdef(std::uint32_t first, ParsedTdef& t);
    Status read_tdef_stream(std::uint32_t first, ParsedTdef& t);
    Status read_columns(ParsedTdef& t);
    Status map_pages(RowRef ref, std::vector<std::uint32_t>& out);
    Status bitmap_pages(const Bytes& row, std::vector<std::uint32_t>& out);
    Status catalog_tables(std::vector<std::pair<std::string, std::uint32_t>>& out);
    Status catalog_row(const ParsedTdef& objects, const Bytes& row,
                       std::vector<std::pair<std::string, std::uint32_t>>& out);
    Status find_table();
    Status check_table();

    Status edit(Pending& p, std::uint32_t n, Bytes*& out);
    std::uint32_t allocate(Pending& p, Bytes page);
    Status map_row(Pending& p, RowRef ref, Bytes*& page, std::size_t& at);
    Status place_row(Pending& p, const Bytes& row, std::vector<std::uint32_t>& free_pages);
    Status mark_owned(Pending& p, std::uint32_t page);
    Status mark_in_bitmap(Pending& p, std::size_t map_at, std::uint32_t page);
    Status rewrite_free_map(Pending& p, std::vector<std::uint32_t> free_pages);
    Status mark_global(Pending& p);
    Status grow_global(Bytes& gp, std::size_t& bitmap, std::size_t total);
    std::vector<std::uint32_t> write_order(Pending& p) const;
    Status commit(Pending& p);
};

// ---- reading ---------------------------------------------------------------------

Status Database::Impl::load(std::uint32_t n, const Bytes*& out)
{
    if (auto it = cache.find(n); it != cache.end()) {
        out = &it->second;
        return {};
    }
    if (n >= page_count)
        return bad("page " + std::to_string(n) + " is past the end of the file");
    Bytes p(f->page_size);
    errno = 0;
    if (std::fseek(file, static_cast<long>(n) * static_cast<long>(f->page_size), SEEK_SET) != 0 ||
        std::fread(p.data(), 1, p.size(), file) != p.size())
        return io_failure("cannot read", errno ? errno : EIO);
    out = &cache.emplace(n, std::move(p)).first->second;
    return {};
}

Status Database::Impl::row_at(RowRef r, Bytes& out)
{
    const Bytes* p = nullptr;
    if (Status s = load(r.page, p); !s.ok())
        return s;
    std::size_t b = 0, e = 0;
    if ((*p)[data_page::type] != page_data || !data_row_bounds(*f, *p, r.row, b, e))
        return bad("no row " + std::to_string(r.row) + " on page " + std::to_string(r.page));
    out.assign(p->begin() + static_cast<std::ptrdiff_t>(b), p->begin() + static_cast<std::ptrdiff_t>(e));
    return {};
}

Status Database::Impl::read_tdef_stream(std::uint32_t first, ParsedTdef& t)
{
    for (std::uint32_t pg = first; pg != 0;) {
        if (std::find(t.pages.begin(), t.pages.end(), pg) != t.pages.end() || t.pages.size() > tdef_page::max_pages)
            return bad("table definition pages loop");
        const Bytes* p = nullptr;
        if (Status s = load(pg, p); !s.ok())
            return s;
        if ((*p)[tdef_page::type] != page_tdef)
            return bad("page " + std::to_string(pg) + " is not a table definition");
        t.pages.push_back(pg);
        t.stream.insert(t.stream.end(), p->begin() + (t.pages.size() == 1 ? 0 : tdef_page::header), p->end());
        pg = get32(*p, tdef_page::next);
    }
    return {};
}

// Descriptors, then names in the same order; kept sorted by column number.
Status Database::Impl::read_columns(ParsedTdef& t)
{
    Reader r(t.stream);
    const ColumnLayout& l = f->col;
    const unsigned ncols = r.u16(f->tdef.cols);
    std::size_t at = f->tdef.size + t.real_indexes * f->index_count;
    std::vector<ParsedColumn> cols(ncols);
    for (ParsedColumn& c : cols) {
        c = {r.u8(at + l.type),
             r.u16(at + l.number),
             r.u16(at + l.var_index),
             r.u8(at + l.flags),
             r.u16(at + l.fixed_offset),
             r.u16(at + l.length),
             {}};
        at += l.size;
    }
    for (ParsedColumn& c : cols) {
        const std::size_t len_size = f->jet4 ? 2 : 1;
        const std::size_t n = f->jet4 ? r.u16(at) : r.u8(at);
        if (!r.has(at + len_size, n))
            return bad("column name past the definition");
        c.name = decode_text(*f, t.stream, at + len_size, n);
        at += len_size + n;
    }
    if (!r.ok())
        return bad("a structure runs past its page");
    std::sort(cols.begin(), cols.end(),
              [](const ParsedColumn& a, const ParsedColumn& c) { return a.number < c.number; });
    t.columns = std::move(cols);
    return {};
}

Status Database::Impl::read_tdef(std::uint32_t first, ParsedTdef& t)
{
    if (Status s = read_tdef_stream(first, t); !s.ok())
        return s;
    Reader r(t.stream);
    const TdefOffsets& o = f->tdef;
    t.rows = r.u32(o.rows);
    t.real_indexes = r.u32(o.real_indexes);
    t.owned = r.ref(o.owned_map);
    t.free = r.ref(o.free_map);
    if (!r.ok())
        return bad("a structure runs past its page");
    if (t.real_indexes > max_plausible_indexes || r.u16(o.cols) > max_columns)
        return bad("implausible table definition");
    return read_columns(t);
}

// Pages listed by a reference map's bitmap pages.
Status Database::Impl::bitmap_pages(const Bytes& row, std::vector<std::uint32_t>& out)
{
    for (std::size_t i = usage_map::ref_pages; i + usage_map::ref_size <= row.size(); i += usage_map::ref_size) {
        const std::uint32_t mp = get32(row, i);
        if (mp == 0)
            continue;
        const Bytes* m = nullptr;
        if (Status s = load(mp, m); !s.ok())
            return s;
        if ((*m)[0] != page_usage_bitmap)
            return bad("usage bitmap page has the wrong type");
        const auto base =
            static_cast<std::uint32_t>((i - usage_map::ref_pages) / usage_map::ref_size * f->bitmap_page_span());
        for (std::size_t k = usage_map::bitmap_page_bits; k < f->page_size; ++k)
            for (unsigned bit = 0; bit < 8; ++bit)
                if ((*m)[k] & (1u << bit))
                    out.push_back(base + static_cast<std::uint32_t>((k - usage_map::bitmap_page_bits) * 8 + bit));
    }
    return {};
}

// Pages listed by a map row (inline or through bitmap pages).
Status Database::Impl::map_pages(RowRef ref, std::vector<std::uint32_t>& out)
{
    Bytes row;
    if (Status s = row_at(ref, row); !s.ok())
        return s;
    if (row.empty())
        return bad("empty usage map");
    if (row[usage_map::kind] == map_reference)
        return bitmap_pages(row, out);
    if (row[usage_map::kind] != map_inline || row.size() < usage_map::bits)
        return bad("unknown usage map type");
    const std::uint32_t start = get32(row, usage_map::start);
    for (std::size_t i = usage_map::bits; i < row.size(); ++i)
        for (unsigned bit = 0; bit < 8; ++bit)
            if (row[i] & (1u << bit))
                out.push_back(start + static_cast<std::uint32_t>((i - usage_map::bits) * 8 + bit));
    return {};
}

const ParsedColumn* column_named(const ParsedTdef& t, const char* name)
{
    for (const ParsedColumn& c : t.columns)
        if (c.name == name)
            return &c;
    return nullptr;
}

// A user table's row in MSysObjects adds its name and definition page.
Status Database::Impl::catalog_row(const ParsedTdef& objects, const Bytes& row,
                                   std::vector<std::pair<std::string, std::uint32_t>>& out)
{
    const ParsedColumn *id = column_named(objects, "Id"), *parent = column_named(objects, "ParentId"),
                       *type = column_named(objects, "Type"), *flags = column_named(objects, "Flags"),
                       *name = column_named(objects, "Name");
    if (!id || !parent || !type || !flags || !name)
        return bad("the catalog lacks a column it always has");
    Reader r(row);
    const std::size_t head = f->row_head;
    const bool user_table = static_cast<std::int32_t>(r.u32(head + parent->fixed_offset)) == id_tables &&
                            r.u16(head + type->fixed_offset) == object_table && r.u32(head + flags->fixed_offset) == 0;
    const std::uint32_t table_id = r.u32(head + id->fixed_offset);
    if (!r.ok())
        return bad("a catalog row is too short");
    if (!user_table)
        return {};
    std::size_t b = 0, e = 0;
    if (!var_bounds(*f, row, name->var_index, b, e))
        return bad("bad variable column table");
    out.emplace_back(decode_text(*f, row, b, e - b), table_id & id_page_mask);
    return {};
}

// User tables listed in MSysObjects: name and definition page.
Status Database::Impl::catalog_tables(std::vector<std::pair<std::string, std::uint32_t>>& out)
{
    ParsedTdef objects;
    if (Status s = read_tdef(page_objects, objects); !s.ok())
        return s;
    std::vector<std::uint32_t> pages;
    if (Status s = map_pages(objects.owned, pages); !s.ok())
        return s;
    for (const std::uint32_t pg : pages) {
        const Bytes* p = nullptr;
        if (Status s = load(pg, p); !s.ok())
            return s;
        if ((*p)[data_page::type] != page_data || get32(*p, data_page::owner) != page_objects)
            continue;
        if (f->data_header + 2 * data_rows(*f, *p) > f->page_size)
            return bad("a catalog page has too many rows");
        for (unsigned i = 0; i < data_rows(*f, *p); ++i) {
            if (data_slot(*f, *p, i) & (data_page::slot_deleted | data_page::slot_moved))
                continue;
            Bytes row;
            if (Status s = row_at({pg, i}, row); !s.ok())
                return s;
            if (Status s = catalog_row(objects, row, out); !s.ok())
                return s;
        }
    }
    return {};
}

// The user table to append to: "Main", or else the only one there is.
Status Database::Impl::find_table()
{
    std::vector<std::pair<std::string, std::uint32_t>> tables;
    if (Status s = catalog_tables(tables); !s.ok())
        return s;
    auto main = std::find_if(tables.begin(), tables.end(), [](const auto& t) { return t.first == "Main"; });
    if (main == tables.end()) {
        if (tables.empty())
            return bad("the database has no table");
        if (tables.size() > 1)
            return bad("the database has no table \"Main\" and several others");
        main = tables.begin();
    }
    table_name = main->first;
    table_page = main->second;
    return {};
}

// Only a table of variable-length text columns without indexes takes records.
Status Database::Impl::check_table()
{
    if (table.real_indexes != 0)
        return bad("table " + table_name + " has an index");
    for (const ParsedColumn& c : table.columns) {
        if (c.type != col_text || (c.flags & flag_fixed))
            return bad("column \"" + c.name + "\" is not a variable-length text column");
        column_names.push_back(c.name);
    }
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].number != i || table.columns[i].var_index != i)
            return bad("the table's columns are not in a layout this writer appends to");
    const Bytes* gm = nullptr;
    if (Status s = load(page_global_map, gm); !s.ok())
        return s;
    if ((*gm)[data_page::type] != page_data || data_rows(*f, *gm) < 1)
        return bad("the page usage map is missing");
    return {};
}

Database::Database() = default;
Database::~Database() = default;
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;

bool Database::is_open() const { return impl_ && impl_->file; }
Version Database::version() const { return impl_ ? impl_->f->version : Version::Jet4; }
const std::vector<std::string>& Database::columns() const
{
    static const std::vector<std::string> none;
    return impl_ ? impl_->column_names : none;
}

Status Database::open(const std::filesystem::path& path, Database& db)
{
    db.impl_.reset();
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    errno = 0;
    impl->file = text::open_file(path, "r+b");
    if (!impl->file)
        return impl->io_failure("cannot open", errno ? errno : EIO);
    Bytes head(header::masked);
    if (std::fread(head.data(), 1, head.size(), impl->file) != head.size())
        return impl->bad("too short");
    if (get32(head, header::magic) != header::magic_value ||
        std::memcmp(head.data() + header::engine, header::engine_name, sizeof header::engine_name - 1) != 0)
        return impl->bad("not an Access database");
    const std::uint32_t version = get32(head, header::version);
    if (version > 1)
        return impl->bad("a database format newer than Access 2000");
    impl->f = &format_of(version == 0 ? Version::Jet3 : Version::Jet4);
    const Format& f = *impl->f;
    if (std::fseek(impl->file, 0, SEEK_END) != 0)
        return impl->io_failure("cannot read", errno ? errno : EIO);
    const long size = std::ftell(impl->file);
    if (size <= 0 || static_cast<std::size_t>(size) % f.page_size != 0)
        return impl->bad("not a whole number of pages");
    impl->page_count = static_cast<std::uint32_t>(static_cast<std::size_t>(size) / f.page_size);
    if (Status s = impl->find_table(); !s.ok())
        return s;
    if (Status s = impl->read_tdef(impl->table_page, impl->table); !s.ok())
        return s;
    if (Status s = impl->check_table(); !s.ok())
        return s;
    db.impl_ = std::move(impl);
    return {};
}

// ---- values --------------------------------------------------------------------------

namespace {

struct Encoded {
    std::vector<Bytes> values;
    std::vector<bool> present;
};

// `limits`: characters each column holds; empty for Text(255) everywhere.
Status encode_values(Version v, const std::vector<std::optional<std::string>>& values, Encoded& out,
                     const std::vector<std::size_t>& limits = {})
{
    const Format& f = format_of(v);
    out.values.assign(values.size(), Bytes{});
    out.present.assign(values.size(), false);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i])
            continue;
        out.present[i] = true;
        Bytes& b = out.values[i];
        const std::string which = "value " + std::to_string(i + 1);
        if (!encode_text(f, *values[i], b))
            return {Errc::invalid_utf8, which + " is not valid UTF-8"};
        const std::size_t chars = b.size() / f.text_unit;
        const std::size_t limit = limits.empty() ? max_text_chars() : limits[i];
        if (chars > limit)
            return {Errc::value_too_long,
                    which + " has " + std::to_string(chars) + " characters, its column holds " + std::to_string(limit)};
    }
    return {};
}

}  // namespace

std::size_t max_text_chars() { return text_chars; }
std::size_t max_row_size(Version v) { return format_of(v).max_row; }

std::size_t row_size(Version v, const std::vector<std::optional<std::string>>& values)
{
    const Format& f = format_of(v);
    std::vector<std::size_t> lengths;
    for (const auto& value : values) {
        Bytes b;
        if (value)
            encode_text(f, *value, b);
        lengths.push_back(b.size());
    }
    return var_row_size(f, lengths);
}

bool row_fits(Version v, const std::vector<std::optional<std::string>>& values)
{
    Encoded e;
    if (!encode_values(v, values, e).ok())
        return false;
    std::vector<std::size_t> lengths;
    for (const Bytes& b : e.values) lengths.push_back(b.size());
    return var_row_size(format_of(v), lengths) <= max_row_size(v);
}

// ---- appending ---------------------------------------------------------------------

Status Database::Impl::edit(Pending& p, std::uint32_t n, Bytes*& out)
{
    if (n >= p.old_count) {
        if (n - p.old_count >= p.added.size())
            return bad("page " + std::to_string(n) + " is past the end of the file");
        out = &p.added[n - p.old_count];
        return {};
    }
    auto it = p.changed.find(n);
    if (it == p.changed.end()) {
        const Bytes* page = nullptr;
        if (Status s = load(n, page); !s.ok())
            return s;
        it = p.changed.emplace(n, *page).first;
    }
    out = &it->second;
    return {};
}

std::uint32_t Database::Impl::allocate(Pending& p, Bytes page)
{
    p.added.push_back(std::move(page));
    return p.total() - 1;
}

// Map rows are rewritten in place; both kinds keep their length.
Status Database::Impl::map_row(Pending& p, RowRef ref, Bytes*& page, std::size_t& at)
{
    if (Status s = edit(p, ref.page, page); !s.ok())
        return s;
    std::size_t e = 0;
    if ((*page)[data_page::type] != page_data || !data_row_bounds(*f, *page, ref.row, at, e) || e - at != f->map_row())
        return bad("usage map row of an unexpected size");
    return {};
}

// The row goes to the last page with room, as the engine looks for it, or
// to a new page; a full page is no longer offered for new rows.
Status Database::Impl::place_row(Pending& p, const Bytes& row, std::vector<std::uint32_t>& free_pages)
{
    if (!free_pages.empty()) {
        const std::uint32_t last = free_pages.back();
        const Bytes* page = nullptr;
        if (Status s = load(last, page); !s.ok())
            return s;
        if ((*page)[data_page::type] == page_data && get32(*page, data_page::owner) == table_page &&
            data_fits(*f, *page, row.size()) && data_room(*f, *page) >= row.size()) {
            Bytes* target = nullptr;
            if (Status s = edit(p, last, target); !s.ok())
                return s;
            data_add_row(*f, *target, row);
            return {};
        }
        free_pages.pop_back();
    }
    Bytes page = new_data_page(*f, table_page);
    data_add_row(*f, page, row);
    const std::uint32_t target = allocate(p, std::move(page));
    free_pages.push_back(target);
    return mark_owned(p, target);
}

// A reference map points to one bitmap page per span of pages, made when
// first needed.
Status Database::Impl::mark_in_bitmap(Pending& p, std::size_t map_at, std::uint32_t page)
{
    const std::size_t slot_at = map_at + usage_map::ref_pages + usage_map::ref_size * (page / f->bitmap_page_span());
    if (slot_at + usage_map::ref_size > map_at + f->map_row())
        return {Errc::file_too_large, text::path_utf8(path) + ": the file is too large for its usage map"};
    Bytes* map = nullptr;
    if (Status s = edit(p, table.owned.page, map); !s.ok())
        return s;
    std::uint32_t bp = get32(*map, slot_at);
    if (bp == 0) {
        Bytes m(f->page_size, 0);
        m[0] = page_usage_bitmap;
        m[1] = 1;
        bp = allocate(p, std::move(m));
        put32(*map, slot_at, bp);
    }
    Bytes* bitmap = nullptr;
    if (Status s = edit(p, bp, bitmap); !s.ok())
        return s;
    set_bit(*bitmap, usage_map::bitmap_page_bits, page % f->bitmap_page_span());
    return {};
}

// Owned pages: inline while they fit its window, then through bitmap pages.
Status Database::Impl::mark_owned(Pending& p, std::uint32_t page)
{
    Bytes* op = nullptr;
    std::size_t ob = 0;
    if (Status s = map_row(p, table.owned, op, ob); !s.ok())
        return s;
    if ((*op)[ob] == map_reference)
        return mark_in_bitmap(p, ob, page);
    if ((*op)[ob] != map_inline)
        return bad("unknown usage map type");
    const std::uint32_t start = get32(*op, ob + usage_map::start);
    if (page >= start && page < start + f->map_bytes * 8) {
        set_bit(*op, ob + usage_map::bits, page - start);
        return {};
    }
    std::vector<std::uint32_t> owned;
    if (Status s = map_pages(table.owned, owned); !s.ok())
        return s;
    owned.push_back(page);
    std::fill_n(op->begin() + static_cast<std::ptrdiff_t>(ob), f->map_row(), 0);
    (*op)[ob] = map_reference;
    for (const std::uint32_t pg : owned)
        if (Status s = mark_in_bitmap(p, ob, pg); !s.ok())
            return s;
    return {};
}

// Pages with room: an inline map whose window starts at the lowest page
// kept; older pages drop out of it rather than move the window.
Status Database::Impl::rewrite_free_map(Pending& p, std::vector<std::uint32_t> free_pages)
{
    std::sort(free_pages.begin(), free_pages.end());
    while (!free_pages.empty() && free_pages.back() - (free_pages.front() & ~7u) >= f->map_bytes * 8)
        free_pages.erase(free_pages.begin());
    const std::uint32_t start = free_pages.empty() ? 0 : (free_pages.front() & ~7u);
    const Bytes fresh = inline_map(*f, free_pages, start);
    Bytes* page = nullptr;
    std::size_t at = 0;
    if (Status s = map_row(p, table.free, page, at); !s.ok())
        return s;
    put_bytes(*page, at, fresh.data(), fresh.size());
    return {};
}

// The global map's bitmap grows to cover `total` pages, in multiples of 8
// bytes, pushing the spare row down; new bits say "free".
Status Database::Impl::grow_global(Bytes& gp, std::size_t& bitmap, std::size_t total)
{
    const std::size_t grown = global_map_bytes(total);
    std::size_t b0 = 0, e0 = 0, b1 = 0, e1 = 0;
    data_row_bounds(*f, gp, usage_map::global_row, b0, e0);
    if (data_rows(*f, gp) != 2 || !data_row_bounds(*f, gp, usage_map::spare_row, b1, e1) ||
        data_free(gp) < grown - bitmap || b1 < f->data_header + 2 * 2 + (grown - bitmap))
        return {Errc::file_too_large, text::path_utf8(path) + ": the file has outgrown its page usage map"};
    Bytes row0(gp.begin() + static_cast<std::ptrdiff_t>(b0), gp.begin() + static_cast<std::ptrdiff_t>(e0));
    const Bytes row1(gp.begin() + static_cast<std::ptrdiff_t>(b1), gp.begin() + static_cast<std::ptrdiff_t>(e1));
    row0.resize(usage_map::bits + grown, 0);
    for (std::size_t k = bitmap * 8; k < grown * 8; ++k) set_bit(row0, usage_map::bits, k);
    Bytes rebuilt = new_data_page(*f, get32(gp, data_page::owner));
    data_add_row(*f, rebuilt, row0);
    data_add_row(*f, rebuilt, row1);
    gp = std::move(rebuilt);
    bitmap = grown;
    return {};
}

// Global map: the new pages are in use.
Status Database::Impl::mark_global(Pending& p)
{
    if (p.added.empty())
        return {};
    Bytes* gp = nullptr;
    if (Status s = edit(p, page_global_map, gp); !s.ok())
        return s;
    std::size_t b0 = 0, e0 = 0;
    if (!data_row_bounds(*f, *gp, usage_map::global_row, b0, e0) || e0 - b0 < usage_map::bits ||
        (*gp)[b0 + usage_map::kind] != map_inline || get32(*gp, b0 + usage_map::start) != 0)
        return bad("the page usage map has a form this writer does not handle");
    std::size_t bitmap = e0 - b0 - usage_map::bits;
    if (p.total() > bitmap * 8) {
        if (Status s = grow_global(*gp, bitmap, p.total()); !s.ok())
            return s;
        data_row_bounds(*f, *gp, usage_map::global_row, b0, e0);
    }
    for (std::uint32_t pg = p.old_count; pg < p.total(); ++pg)
        (*gp)[b0 + usage_map::bits + pg / 8] &= static_cast<std::uint8_t>(~(1u << (pg % 8)));
    return {};
}

// Changed pages: the row's page, then the maps, the global map, and last the
// definition holding the row count.
std::vector<std::uint32_t> Database::Impl::write_order(Pending& p) const
{
    const std::uint32_t tdef = table.pages.front();
    auto rank = [&](std::uint32_t n) {
        return n == page_global_map ? 2 : (get32(p.changed[n], data_page::owner) == table_page ? 0 : 1);
    };
    std::vector<std::uint32_t> order;
    for (const auto& [n, page] : p.changed)
        if (n != tdef)
            order.push_back(n);
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return rank(a) != rank(b) ? rank(a) < rank(b) : a < b; });
    order.push_back(tdef);
    return order;
}

// New pages first: if the disk is full the file only needs cutting back.
// On failure the changed pages already written are put back.
Status Database::Impl::commit(Pending& p)
{
    auto write_page = [&](std::uint32_t n, const Bytes& page) {
        return std::fseek(file, static_cast<long>(n) * static_cast<long>(f->page_size), SEEK_SET) == 0 &&
               std::fwrite(page.data(), 1, page.size(), file) == page.size();
    };
    const std::vector<std::uint32_t> order = write_order(p);
    bool ok = true;
    for (std::size_t i = 0; ok && i < p.added.size(); ++i)
        ok = write_page(p.old_count + static_cast<std::uint32_t>(i), p.added[i]);
    ok = ok && std::fflush(file) == 0;
    std::vector<std::uint32_t> written;
    for (std::size_t i = 0; ok && i < order.size(); ++i) {
        ok = write_page(order[i], p.changed[order[i]]);
        if (ok)
            written.push_back(order[i]);
    }
    ok = ok && std::fflush(file) == 0;
    if (!ok) {
        const int error = errno;
        for (const std::uint32_t n : written) write_page(n, cache[n]);
        std::fflush(file);
        std::error_code ec;
        std::filesystem::resize_file(path, static_cast<std::uintmax_t>(p.old_count) * f->page_size, ec);
        return io_failure("cannot write", error);
    }
    for (auto& [n, page] : p.changed) cache[n] = std::move(page);
    for (std::size_t i = 0; i < p.added.size(); ++i)
        cache[p.old_count + static_cast<std::uint32_t>(i)] = std::move(p.added[i]);
    page_count = p.total();
    table.rows += 1;
    return {};
}

Status Database::append(const std::vector<std::optional<std::string>>& values)
{
    if (!is_open())
        return {Errc::not_open, "append on a closed database"};
    Impl& d = *impl_;
    const Format& f = *d.f;
    if (values.size() != d.column_names.size())
        return {Errc::wrong_value_count,
                std::to_string(values.size()) + " values for " + std::to_string(d.column_names.size()) + " columns"};
    std::vector<std::size_t> limits;
    for (const ParsedColumn& c : d.table.columns) limits.push_back(c.length / f.text_unit);
    Encoded enc;
    if (Status s = encode_values(f.version, values, enc, limits); !s.ok())
        return s;
    std::vector<const Bytes*> cells;
    for (std::size_t i = 0; i < values.size(); ++i) cells.push_back(enc.present[i] ? &enc.values[i] : nullptr);
    const Bytes row = build_var_row(f, cells);
    if (row.size() > f.max_row)
        return {Errc::record_too_large,
                "the record takes " + std::to_string(row.size()) + " bytes, the most is " + std::to_string(f.max_row)};

    Pending p;
    p.old_count = d.page_count;
    std::vector<std::uint32_t> free_pages;
    Bytes* tdef = nullptr;
    Status s = d.map_pages(d.table.free, free_pages);
    if (s.ok())
        s = d.place_row(p, row, free_pages);
    if (s.ok())
        s = d.rewrite_free_map(p, std::move(free_pages));
    if (s.ok())
        s = d.mark_global(p);
    if (s.ok())
        s = d.edit(p, d.table.pages.front(), tdef);
    if (!s.ok())
        return s;
    put32(*tdef, f.tdef.rows, d.table.rows + 1);
    return d.commit(p);
}

Status Database::close()
{
    if (!impl_)
        return {};
    Status s;
    if (impl_->file && std::fclose(impl_->file) != 0)
        s = impl_->io_failure("cannot close", errno);
    impl_->file = nullptr;
    impl_.reset();
    return s;
}

}  // namespace jet
