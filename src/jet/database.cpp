// Appending records to an existing table: the page cache, usage maps and the
// order in which changed pages reach the disk.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

#include "jet/format.h"
#include "jet/jet.h"
#include "jet/schema.h"
#include "jet/text.h"

namespace jet {

using namespace detail;

namespace {

struct ParsedColumn {
    unsigned type = 0, number = 0, var_index = 0, flags = 0, fixed_offset = 0, length = 0;
    std::string name;
};

struct ParsedTdef {
    std::vector<std::uint32_t> pages;
    Bytes stream;
    std::uint32_t rows = 0;
    unsigned real_indexes = 0;
    RowRef owned, free;
    std::vector<ParsedColumn> columns;  // by column number
};

struct Corrupt : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Variable column `i` of a row, as [begin, end) offsets within the row.
void var_bounds(const Format& f, const Bytes& row, unsigned i, std::size_t& begin, std::size_t& end)
{
    const std::size_t len = row.size();
    const std::size_t ncols = f.jet4 ? get16(row, 0) : get8(row, 0);
    const std::size_t mask = (ncols + 7) / 8;
    if (len < mask + 4) throw Corrupt("row too short");
    if (f.jet4) {
        const std::size_t n = get16(row, len - mask - 2);
        if (i >= n || len < mask + 4 + 2 * n) throw Corrupt("bad variable column table");
        begin = get16(row, len - mask - 4 - 2 * i);
        end = get16(row, len - mask - 4 - 2 * (i + 1));
    } else {
        const std::size_t n = get8(row, len - mask - 1);
        std::size_t jumps = (len - 1) / 256;
        const std::size_t table_end = len - mask - 1 - jumps;
        if (i >= n || table_end < n + 2) throw Corrupt("bad variable column table");
        if ((table_end - 1 - n) / 256 < jumps) --jumps;  // the last jump byte is filler
        auto entry = [&](std::size_t k) {
            std::size_t v = get8(row, table_end - 1 - k);
            for (std::size_t j = 0; j < jumps; ++j)
                if (get8(row, len - mask - 2 - j) <= k) v += 256;
            return v;
        };
        begin = entry(i);
        end = entry(i + 1);
    }
    if (begin > end || end > len) throw Corrupt("bad variable column offsets");
}

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
        if (file) std::fclose(file);
    }

    Bytes& page(std::uint32_t n)
    {
        auto it = cache.find(n);
        if (it != cache.end()) return it->second;
        if (n >= page_count) throw Corrupt("page " + std::to_string(n) + " is past the end of the file");
        Bytes p(f->page_size);
        if (std::fseek(file, static_cast<long>(n) * static_cast<long>(f->page_size), SEEK_SET) != 0 ||
            std::fread(p.data(), 1, p.size(), file) != p.size())
            throw std::system_error(errno ? errno : EIO, std::generic_category(), "cannot read " + path.string());
        return cache.emplace(n, std::move(p)).first->second;
    }

    Bytes row_at(RowRef r)
    {
        const Bytes& p = page(r.page);
        std::size_t b = 0, e = 0;
        if (p[0] != 1 || !data_row_bounds(*f, p, r.row, b, e))
            throw Corrupt("no row " + std::to_string(r.row) + " on page " + std::to_string(r.page));
        return Bytes(p.begin() + static_cast<std::ptrdiff_t>(b), p.begin() + static_cast<std::ptrdiff_t>(e));
    }

    ParsedTdef read_tdef(std::uint32_t first)
    {
        ParsedTdef t;
        for (std::uint32_t pg = first; pg != 0;) {
            if (std::find(t.pages.begin(), t.pages.end(), pg) != t.pages.end() || t.pages.size() > 64)
                throw Corrupt("table definition pages loop");
            const Bytes& p = page(pg);
            if (p[0] != 2) throw Corrupt("page " + std::to_string(pg) + " is not a table definition");
            t.pages.push_back(pg);
            t.stream.insert(t.stream.end(), p.begin() + (t.pages.size() == 1 ? 0 : 8), p.end());
            pg = get32(p, 4);
        }
        const TdefOffsets& o = tdef_offsets(f->version);
        const Bytes& b = t.stream;
        t.rows = get32(b, o.rows);
        const unsigned ncols = get16(b, o.cols);
        t.real_indexes = get32(b, o.real_indexes);
        t.owned = get_ref(b, o.owned_map);
        t.free = get_ref(b, o.free_map);
        if (t.real_indexes > 64 || ncols > 255) throw Corrupt("implausible table definition");
        std::size_t at = f->tdef_fixed + t.real_indexes * f->index_count;
        std::vector<ParsedColumn> cols;
        for (unsigned i = 0; i < ncols; ++i, at += f->column_size) {
            ParsedColumn c;
            c.type = get8(b, at);
            const std::size_t q = f->jet4 ? at + 5 : at + 1;
            c.number = get16(b, q);
            c.var_index = get16(b, q + 2);
            c.flags = get8(b, f->jet4 ? at + 15 : at + 13);
            c.fixed_offset = get16(b, at + f->column_size - 4);
            c.length = get16(b, at + f->column_size - 2);
            cols.push_back(c);
        }
        for (ParsedColumn& c : cols) {
            if (f->jet4) {
                const unsigned n = get16(b, at);
                if (at + 2 + n > b.size()) throw Corrupt("column name past the definition");
                c.name = utf16le_to_utf8(b.data() + at + 2, n);
                at += 2 + n;
            } else {
                const unsigned n = get8(b, at);
                if (at + 1 + n > b.size()) throw Corrupt("column name past the definition");
                cp1252_to_utf8(std::string(b.begin() + static_cast<std::ptrdiff_t>(at + 1),
                                           b.begin() + static_cast<std::ptrdiff_t>(at + 1 + n)),
                               c.name);
                at += 1 + n;
            }
        }
        std::sort(cols.begin(), cols.end(), [](const ParsedColumn& a, const ParsedColumn& c) { return a.number < c.number; });
        t.columns = std::move(cols);
        return t;
    }

    // Pages listed by a map row (inline or through bitmap pages).
    std::vector<std::uint32_t> map_pages(RowRef ref)
    {
        const Bytes row = row_at(ref);
        std::vector<std::uint32_t> out;
        if (row.empty()) throw Corrupt("empty usage map");
        if (row[0] == 0) {
            const std::uint32_t start = get32(row, 1);
            for (std::size_t i = 5; i < row.size(); ++i)
                for (unsigned bit = 0; bit < 8; ++bit)
                    if (row[i] & (1u << bit)) out.push_back(start + static_cast<std::uint32_t>((i - 5) * 8 + bit));
        } else if (row[0] == 1) {
            for (std::size_t i = 1; i + 4 <= row.size(); i += 4) {
                const std::uint32_t mp = get32(row, i);
                if (mp == 0) continue;
                const Bytes& m = page(mp);
                if (m[0] != 5) throw Corrupt("usage bitmap page has the wrong type");
                const std::uint32_t base = static_cast<std::uint32_t>((i - 1) / 4 * f->bitmap_page_span());
                for (std::size_t k = 4; k < f->page_size; ++k)
                    for (unsigned bit = 0; bit < 8; ++bit)
                        if (m[k] & (1u << bit)) out.push_back(base + static_cast<std::uint32_t>((k - 4) * 8 + bit));
            }
        } else {
            throw Corrupt("unknown usage map type");
        }
        return out;
    }

    // The user table to append to: "Main", or else the only one there is.
    void find_table()
    {
        const ParsedTdef objects = read_tdef(2);
        auto col = [&](const char* name) -> const ParsedColumn& {
            for (const ParsedColumn& c : objects.columns)
                if (c.name == name) return c;
            throw Corrupt(std::string("the catalog has no column ") + name);
        };
        const ParsedColumn &id = col("Id"), &parent = col("ParentId"), &type = col("Type"), &flags = col("Flags");
        const ParsedColumn& name = col("Name");
        const std::size_t head = f->jet4 ? 2 : 1;
        std::vector<std::pair<std::string, std::uint32_t>> tables;
        for (const std::uint32_t pg : map_pages(objects.owned)) {
            const Bytes& p = page(pg);
            if (p[0] != 1 || get32(p, 4) != 2) continue;
            for (unsigned r = 0; r < data_rows(*f, p); ++r) {
                if (get16(p, f->data_header + 2 * r) & 0xC000) continue;  // deleted or moved
                const Bytes row = row_at({pg, r});
                if (static_cast<std::int32_t>(get32(row, head + parent.fixed_offset)) != 0x0F000001 ||
                    get16(row, head + type.fixed_offset) != 1 || get32(row, head + flags.fixed_offset) != 0)
                    continue;
                std::size_t b = 0, e = 0;
                var_bounds(*f, row, name.var_index, b, e);
                std::string n;
                if (f->jet4) {
                    n = utf16le_to_utf8(row.data() + b, e - b);
                } else {
                    cp1252_to_utf8(std::string(row.begin() + static_cast<std::ptrdiff_t>(b),
                                               row.begin() + static_cast<std::ptrdiff_t>(e)),
                                   n);
                }
                tables.emplace_back(std::move(n), get32(row, head + id.fixed_offset) & 0x00FFFFFF);
            }
        }
        auto main = std::find_if(tables.begin(), tables.end(), [](const auto& t) { return t.first == "Main"; });
        if (main == tables.end()) {
            if (tables.empty()) throw Corrupt("the database has no table");
            if (tables.size() > 1) throw Corrupt("the database has no table \"Main\" and several others");
            main = tables.begin();
        }
        table_name = main->first;
        table_page = main->second;
    }
};

namespace {

Status corrupt(const std::filesystem::path& path, const std::string& why)
{
    return {Errc::not_a_database, path.string() + ": " + why};
}

}  // namespace

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
    impl->file = std::fopen(path.string().c_str(), "r+b");
    if (!impl->file) return {Errc::io_error, "cannot open " + path.string() + ": " + std::strerror(errno), errno};
    std::uint8_t head[0x18] = {};
    if (std::fread(head, 1, sizeof head, impl->file) != sizeof head) return corrupt(path, "too short");
    static const std::uint8_t magic[] = {0, 1, 0, 0, 'S', 't', 'a', 'n', 'd', 'a', 'r', 'd', ' ', 'J', 'e', 't', ' ', 'D', 'B'};
    if (std::memcmp(head, magic, sizeof magic) != 0) return corrupt(path, "not an Access database");
    const std::uint32_t version = head[0x14] | (head[0x15] << 8) | (head[0x16] << 16) | (head[0x17] << 24);
    if (version > 1) return corrupt(path, "a database format newer than Access 2000");
    impl->f = &format_of(version == 0 ? Version::Jet3 : Version::Jet4);
    const Format& f = *impl->f;
    if (std::fseek(impl->file, 0, SEEK_END) != 0) return {Errc::io_error, "cannot read " + path.string()};
    const long size = std::ftell(impl->file);
    if (size <= 0 || static_cast<std::size_t>(size) % f.page_size != 0) return corrupt(path, "not a whole number of pages");
    impl->page_count = static_cast<std::uint32_t>(static_cast<std::size_t>(size) / f.page_size);
    try {
        impl->find_table();
        impl->table = impl->read_tdef(impl->table_page);
        if (impl->table.real_indexes != 0) return corrupt(path, "table " + impl->table_name + " has an index");
        for (const ParsedColumn& c : impl->table.columns) {
            if (c.type != col_text || (c.flags & flag_fixed))
                return corrupt(path, "column \"" + c.name + "\" is not a variable-length text column");
            impl->column_names.push_back(c.name);
        }
        for (std::size_t i = 0; i < impl->table.columns.size(); ++i)
            if (impl->table.columns[i].number != i || impl->table.columns[i].var_index != i)
                return corrupt(path, "the table's columns are not in a layout this writer appends to");
        const Bytes& gm = impl->page(1);
        if (gm[0] != 1 || data_rows(f, gm) < 1) return corrupt(path, "the page usage map is missing");
    } catch (const Corrupt& e) {
        return corrupt(path, e.what());
    } catch (const std::out_of_range&) {
        return corrupt(path, "a structure runs past its page");
    } catch (const std::system_error& e) {
        return {Errc::io_error, e.what()};
    }
    db.impl_ = std::move(impl);
    return {};
}

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
        if (!values[i]) continue;
        out.present[i] = true;
        Bytes& b = out.values[i];
        if (f.jet4) {
            std::u16string u;
            if (!utf8_to_utf16(*values[i], u)) return {Errc::invalid_utf8, "value " + std::to_string(i + 1) + " is not valid UTF-8"};
            if (u.size() > (limits.empty() ? max_text_chars() : limits[i]))
                return {Errc::value_too_long, "value " + std::to_string(i + 1) + " has " + std::to_string(u.size()) +
                                                  " characters, its column holds " +
                                                  std::to_string(limits.empty() ? max_text_chars() : limits[i])};
            append_utf16le(b, u);
        } else {
            std::string cp;
            if (!utf8_to_cp1252(*values[i], cp, true)) return {Errc::invalid_utf8, "value " + std::to_string(i + 1) + " is not valid UTF-8"};
            if (cp.size() > (limits.empty() ? max_text_chars() : limits[i]))
                return {Errc::value_too_long, "value " + std::to_string(i + 1) + " has " + std::to_string(cp.size()) +
                                                  " characters, its column holds " +
                                                  std::to_string(limits.empty() ? max_text_chars() : limits[i])};
            add_bytes(b, cp.data(), cp.size());
        }
    }
    return {};
}

}  // namespace

std::size_t max_text_chars() { return 255; }
std::size_t max_row_size(Version v) { return format_of(v).max_row; }

std::size_t row_size(Version v, const std::vector<std::optional<std::string>>& values)
{
    std::vector<std::size_t> lengths;
    const Format& f = format_of(v);
    for (const auto& value : values) {
        if (!value) {
            lengths.push_back(0);
        } else if (f.jet4) {
            std::u16string u;
            utf8_to_utf16(*value, u);
            lengths.push_back(2 * u.size());
        } else {
            std::string cp;
            utf8_to_cp1252(*value, cp, true);
            lengths.push_back(cp.size());
        }
    }
    return var_row_size(f, lengths);
}

bool row_fits(Version v, const std::vector<std::optional<std::string>>& values)
{
    Encoded e;
    if (!encode_values(v, values, e).ok()) return false;
    std::vector<std::size_t> lengths;
    for (const Bytes& b : e.values) lengths.push_back(b.size());
    return var_row_size(format_of(v), lengths) <= max_row_size(v);
}

Status Database::append(const std::vector<std::optional<std::string>>& values)
{
    if (!is_open()) return {Errc::not_open, "append on a closed database"};
    Impl& d = *impl_;
    const Format& f = *d.f;
    if (values.size() != d.column_names.size())
        return {Errc::wrong_value_count, std::to_string(values.size()) + " values for " +
                                             std::to_string(d.column_names.size()) + " columns"};
    std::vector<std::size_t> limits;
    for (const ParsedColumn& c : d.table.columns) limits.push_back(c.length / f.text_unit);
    Encoded enc;
    if (Status s = encode_values(f.version, values, enc, limits); !s.ok()) return s;
    std::vector<const Bytes*> cells;
    for (std::size_t i = 0; i < values.size(); ++i) cells.push_back(enc.present[i] ? &enc.values[i] : nullptr);
    const Bytes row = build_var_row(f, cells);
    if (row.size() > f.max_row)
        return {Errc::record_too_large, "the record takes " + std::to_string(row.size()) + " bytes, the most is " +
                                            std::to_string(f.max_row)};

    // Work on copies; the disk sees nothing until every page is ready.
    std::map<std::uint32_t, Bytes> changed;
    std::vector<Bytes> added;  // pages appended at the end of the file, in order
    const std::uint32_t old_count = d.page_count;
    try {
        auto edit = [&](std::uint32_t n) -> Bytes& {
            if (n >= old_count) return added.at(n - old_count);
            auto it = changed.find(n);
            if (it == changed.end()) it = changed.emplace(n, d.page(n)).first;
            return it->second;
        };
        auto allocate = [&](Bytes p) {
            added.push_back(std::move(p));
            return old_count + static_cast<std::uint32_t>(added.size() - 1);
        };
        // Map rows are rewritten in place; both kinds keep their length.
        auto map_row = [&](RowRef ref) -> std::pair<Bytes*, std::size_t> {
            Bytes& p = edit(ref.page);
            std::size_t b = 0, e = 0;
            if (p[0] != 1 || !data_row_bounds(f, p, ref.row, b, e) || e - b != f.map_row())
                throw Corrupt("usage map row of an unexpected size");
            return {&p, b};
        };

        std::vector<std::uint32_t> free_pages = d.map_pages(d.table.free);
        std::uint32_t target = 0;
        if (!free_pages.empty()) {
            const std::uint32_t last = free_pages.back();
            const Bytes& p = d.page(last);
            if (p[0] == 1 && get32(p, 4) == d.table_page && data_fits(f, p, row.size())) target = last;
            else free_pages.pop_back();  // full: no longer offered for new rows
        }
        if (target) {
            data_add_row(f, edit(target), row);
        } else {
            Bytes p = new_data_page(f, d.table_page);
            data_add_row(f, p, row);
            target = allocate(std::move(p));
            free_pages.push_back(target);

            // A map of the second kind points to one bitmap page per span of
            // pages, made when first needed. The map page is fetched again
            // after every allocation, which may move the pages being built.
            auto mark_in_bitmap = [&](std::size_t ob, std::uint32_t pg) {
                const std::size_t slot = pg / f.bitmap_page_span();
                if (1 + 4 * slot + 4 > f.map_row()) throw Corrupt("file too large for its usage map");
                std::uint32_t bp = get32(edit(d.table.owned.page), ob + 1 + 4 * slot);
                if (bp == 0) {
                    Bytes m(f.page_size, 0);
                    m[0] = 5;
                    m[1] = 1;
                    bp = allocate(std::move(m));
                    put32(edit(d.table.owned.page), ob + 1 + 4 * slot, bp);
                }
                const std::size_t bit = pg % f.bitmap_page_span();
                edit(bp)[4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            };

            // Owned pages: inline while they fit, then through a bitmap page.
            auto [owned_page, ob] = map_row(d.table.owned);
            Bytes& op = *owned_page;
            if (op[ob] == 0) {
                const std::uint32_t start = get32(op, ob + 1);
                if (target >= start && target < start + f.map_bytes * 8) {
                    const std::uint32_t bit = target - start;
                    op[ob + 5 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
                } else {
                    std::vector<std::uint32_t> owned = d.map_pages(d.table.owned);
                    owned.push_back(target);
                    std::fill(op.begin() + static_cast<std::ptrdiff_t>(ob), op.begin() + static_cast<std::ptrdiff_t>(ob + f.map_row()), 0);
                    op[ob] = 1;
                    for (const std::uint32_t pg : owned) mark_in_bitmap(ob, pg);
                }
            } else if (op[ob] == 1) {
                mark_in_bitmap(ob, target);
            } else {
                throw Corrupt("unknown usage map type");
            }
        }

        // Pages with room: an inline map whose window starts at the lowest
        // page kept; older pages drop out of it rather than move the window.
        {
            std::sort(free_pages.begin(), free_pages.end());
            while (!free_pages.empty() && free_pages.back() - (free_pages.front() & ~7u) >= f.map_bytes * 8)
                free_pages.erase(free_pages.begin());
            const std::uint32_t start = free_pages.empty() ? 0 : (free_pages.front() & ~7u);
            const Bytes fresh = inline_map(f, free_pages, start);
            auto [fp, fb] = map_row(d.table.free);
            std::copy(fresh.begin(), fresh.end(), fp->begin() + static_cast<std::ptrdiff_t>(fb));
        }

        // Global map: new pages in use; its bitmap grows to cover the file.
        if (!added.empty()) {
            Bytes& gp = edit(1);
            std::size_t b0 = 0, e0 = 0, b1 = 0, e1 = 0;
            if (!data_row_bounds(f, gp, 0, b0, e0) || gp[b0] != 0 || get32(gp, b0 + 1) != 0)
                throw Corrupt("the page usage map has a form this writer does not handle");
            const std::uint32_t total = old_count + static_cast<std::uint32_t>(added.size());
            std::size_t bitmap = e0 - b0 - 5;
            if (total > bitmap * 8) {
                const std::size_t grown = ((static_cast<std::size_t>(total) + 63) / 64) * 8;
                const std::size_t extra = grown - bitmap;
                const unsigned rows = data_rows(f, gp);
                if (rows != 2 || !data_row_bounds(f, gp, 1, b1, e1) || data_free(gp) < extra)
                    throw std::length_error("the file has outgrown its page usage map");
                Bytes row0(gp.begin() + static_cast<std::ptrdiff_t>(b0), gp.begin() + static_cast<std::ptrdiff_t>(e0));
                const Bytes row1(gp.begin() + static_cast<std::ptrdiff_t>(b1), gp.begin() + static_cast<std::ptrdiff_t>(e1));
                for (std::size_t k = bitmap * 8; k < grown * 8; ++k) {
                    if (k % 8 == 0) row0.push_back(0);
                    row0.back() |= static_cast<std::uint8_t>(1u << (k % 8));
                }
                Bytes rebuilt = new_data_page(f, get32(gp, 4));
                data_add_row(f, rebuilt, row0);
                data_add_row(f, rebuilt, row1);
                gp = std::move(rebuilt);
                bitmap = grown;
                data_row_bounds(f, gp, 0, b0, e0);
            }
            for (std::uint32_t pg = old_count; pg < total; ++pg)
                gp[b0 + 5 + pg / 8] &= static_cast<std::uint8_t>(~(1u << (pg % 8)));
        }

        // Row count, in the first page of the table definition.
        put32(edit(d.table.pages.front()), tdef_offsets(f.version).rows, d.table.rows + 1);
    } catch (const std::length_error& e) {
        return {Errc::file_too_large, d.path.string() + ": " + e.what()};
    } catch (const Corrupt& e) {
        return corrupt(d.path, e.what());
    } catch (const std::out_of_range&) {
        return corrupt(d.path, "a structure runs past its page");
    } catch (const std::system_error& e) {
        return {Errc::io_error, e.what()};
    }

    // New pages first: if the disk is full the file only needs cutting back.
    // Then the row's page, the maps, and last the row count.
    auto write_page = [&](std::uint32_t n, const Bytes& p) {
        return std::fseek(d.file, static_cast<long>(n) * static_cast<long>(f.page_size), SEEK_SET) == 0 &&
               std::fwrite(p.data(), 1, p.size(), d.file) == p.size();
    };
    std::vector<std::uint32_t> order;
    for (const auto& [n, p] : changed)
        if (n != d.table.pages.front()) order.push_back(n);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        auto rank = [&](std::uint32_t n) { return n == 1 ? 2 : (get32(changed[n], 4) == d.table_page ? 0 : 1); };
        return rank(a) != rank(b) ? rank(a) < rank(b) : a < b;
    });
    order.push_back(d.table.pages.front());
    bool ok = true;
    for (std::size_t i = 0; ok && i < added.size(); ++i) ok = write_page(old_count + static_cast<std::uint32_t>(i), added[i]);
    ok = ok && std::fflush(d.file) == 0;
    std::vector<std::uint32_t> written;
    for (std::size_t i = 0; ok && i < order.size(); ++i) {
        ok = write_page(order[i], changed[order[i]]);
        if (ok) written.push_back(order[i]);
    }
    ok = ok && std::fflush(d.file) == 0;
    if (!ok) {
        const int error = errno;
        const std::string why = std::strerror(error);
        for (const std::uint32_t n : written) write_page(n, d.cache[n]);
        std::fflush(d.file);
        std::error_code ec;
        std::filesystem::resize_file(d.path, static_cast<std::uintmax_t>(old_count) * f.page_size, ec);
        return {Errc::io_error, "cannot write " + d.path.string() + ": " + why, error};
    }
    for (auto& [n, p] : changed) d.cache[n] = std::move(p);
    for (std::size_t i = 0; i < added.size(); ++i) d.cache[old_count + static_cast<std::uint32_t>(i)] = std::move(added[i]);
    d.page_count = old_count + static_cast<std::uint32_t>(added.size());
    d.table.rows += 1;
    return {};
}

Status Database::close()
{
    if (!impl_) return {};
    Status s;
    if (impl_->file && std::fclose(impl_->file) != 0)
        s = {Errc::io_error, "cannot close " + impl_->path.string() + ": " + std::strerror(errno), errno};
    impl_->file = nullptr;
    impl_.reset();
    return s;
}

}  // namespace jet
