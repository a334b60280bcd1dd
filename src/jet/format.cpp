#include "jet/format.h"

namespace jet::detail {

const Format& format_of(Version v)
{
    //                                  len mag rows auto type max var cols idx ridx own free size
    static constexpr TdefOffsets tdef3{8, 0, 12, 0, 20, 21, 23, 25, 27, 31, 35, 39, 43};
    static constexpr TdefOffsets tdef4{8, 12, 16, 24, 40, 41, 43, 45, 47, 51, 55, 59, 63};
    //                                   size type mag num var row one sort cp sv flags fixed len
    static constexpr ColumnLayout col3{18, 0, 0, 1, 3, 5, 7, 9, 11, 0, 13, 14, 16};
    static constexpr ColumnLayout col4{25, 0, 1, 5, 7, 9, 0, 11, 0, 13, 15, 21, 23};
    //                                      size mag cols map root flags
    static constexpr RealIndexLayout real3{39, 0, 0, 30, 34, 38};
    static constexpr RealIndexLayout real4{52, 0, 4, 34, 38, 46};
    //                                         size mag num real rel up del kind
    static constexpr LogicalIndexLayout logical3{20, 0, 0, 4, 9, 17, 18, 19};
    static constexpr LogicalIndexLayout logical4{28, 0, 4, 8, 13, 21, 22, 23};
    static const Format jet3{Version::Jet3, false, 2048, 10, 8,     128,  0x16,  0xF8,
                             2012,          2032,  1,    1,  tdef3, col3, real3, logical3};
    static const Format jet4{Version::Jet4, true, 4096, 14, 12,    64,   0x1B,  0x1E0,
                             4060,          4076, 2,    2,  tdef4, col4, real4, logical4};
    return v == Version::Jet3 ? jet3 : jet4;
}

Bytes new_data_page(const Format& f, std::uint32_t owner)
{
    Bytes p(f.page_size, 0);
    p[data_page::type] = page_data;
    p[data_page::one] = 1;
    put16(p, data_page::free_space, static_cast<unsigned>(f.page_size - f.data_header));
    put32(p, data_page::owner, owner);
    return p;
}

unsigned data_rows(const Format& f, const Bytes& page) { return get16(page, f.row_count_at()); }
std::size_t data_free(const Bytes& page) { return get16(page, data_page::free_space); }
unsigned data_slot(const Format& f, const Bytes& page, unsigned row) { return get16(page, f.data_header + 2 * row); }

bool data_fits(const Format& f, const Bytes& page, std::size_t row_len)
{
    return data_rows(f, page) < data_page::max_rows && data_free(page) >= row_len + 2;
}

std::size_t data_room(const Format& f, const Bytes& page)
{
    const unsigned n = data_rows(f, page);
    if (n >= data_page::max_rows)
        return 0;
    const std::size_t top = n > 0 ? (data_slot(f, page, n - 1) & data_page::slot_offset) : f.page_size;
    const std::size_t slots_end = f.data_header + 2 * (n + 1);
    return top <= f.page_size && slots_end <= top ? top - slots_end : 0;
}

unsigned data_add_row(const Format& f, Bytes& page, const Bytes& row)
{
    const unsigned n = data_rows(f, page);
    const std::size_t top = n > 0 ? (data_slot(f, page, n - 1) & data_page::slot_offset) : f.page_size;
    const std::size_t start = top - row.size();
    put_bytes(page, start, row.data(), row.size());
    put16(page, f.data_header + 2 * n, static_cast<unsigned>(start));
    put16(page, f.row_count_at(), n + 1);
    put16(page, data_page::free_space, static_cast<unsigned>(data_free(page) - row.size() - 2));
    return n;
}

bool data_row_bounds(const Format& f, const Bytes& page, unsigned i, std::size_t& begin, std::size_t& end)
{
    const unsigned n = data_rows(f, page);
    if (i >= n || f.data_header + 2 * n > f.page_size)
        return false;
    begin = data_slot(f, page, i) & data_page::slot_offset;
    end = i == 0 ? f.page_size : (data_slot(f, page, i - 1) & data_page::slot_offset);
    return begin <= end && end <= f.page_size && begin >= f.data_header + 2 * n;
}

void set_bit(Bytes& b, std::size_t bits_at, std::size_t bit)
{
    b[bits_at + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
}

Bytes inline_map(const Format& f, const std::vector<std::uint32_t>& pages, std::uint32_t start,
                 std::size_t bitmap_bytes)
{
    if (bitmap_bytes == 0)
        bitmap_bytes = f.map_bytes;
    Bytes row(usage_map::bits + bitmap_bytes, 0);
    row[usage_map::kind] = map_inline;
    put32(row, usage_map::start, start);
    for (const std::uint32_t pg : pages) set_bit(row, usage_map::bits, pg - start);
    return row;
}

}  // namespace jet::detail
