#include "jet/format.h"

namespace jet::detail {

const Format& format_of(Version v)
{
    static const Format jet3{Version::Jet3, false, 2048, 10, 43, 8, 18, 39, 20, 128, 0x16, 226, 0xF8, 2012, 2032, 1};
    static const Format jet4{Version::Jet4, true, 4096, 14, 63, 12, 25, 52, 28, 64, 0x1B, 453, 0x1E0, 4060, 4076, 2};
    return v == Version::Jet3 ? jet3 : jet4;
}

const TdefOffsets& tdef_offsets(Version v)
{
    //                              len rows type max var cols idx ridx own free
    static const TdefOffsets jet3{8, 12, 20, 21, 23, 25, 27, 31, 35, 39};
    static const TdefOffsets jet4{8, 16, 40, 41, 43, 45, 47, 51, 55, 59};
    return v == Version::Jet3 ? jet3 : jet4;
}

// Data page header:
//   0  u8   0x01
//   1  u8   0x01
//   2  u16  free space
//   4  u32  owning table definition page ("LVAL" on long-value pages)
//   8  u32  Jet 4 only: zero
//   8/12 u16 number of rows, then one u16 offset per row
Bytes new_data_page(const Format& f, std::uint32_t owner)
{
    Bytes p(f.page_size, 0);
    p[0] = 1;
    p[1] = 1;
    put16(p, 2, static_cast<unsigned>(f.page_size - f.data_header));
    put32(p, 4, owner);
    return p;
}

unsigned data_rows(const Format& f, const Bytes& page) { return get16(page, f.data_header - 2); }
std::size_t data_free(const Bytes& page) { return get16(page, 2); }

bool data_fits(const Format& f, const Bytes& page, std::size_t row_len)
{
    return data_rows(f, page) < 255 && data_free(page) >= row_len + 2;
}

unsigned data_add_row(const Format& f, Bytes& page, const Bytes& row)
{
    const unsigned n = data_rows(f, page);
    std::size_t top = f.page_size;
    if (n > 0) top = get16(page, f.data_header + 2 * (n - 1)) & 0x1FFF;
    const std::size_t start = top - row.size();
    std::memcpy(page.data() + start, row.data(), row.size());
    put16(page, f.data_header + 2 * n, static_cast<unsigned>(start));
    put16(page, f.data_header - 2, n + 1);
    put16(page, 2, static_cast<unsigned>(data_free(page) - row.size() - 2));
    return n;
}

bool data_row_bounds(const Format& f, const Bytes& page, unsigned i, std::size_t& begin, std::size_t& end)
{
    const unsigned n = data_rows(f, page);
    if (i >= n || f.data_header + 2 * n > f.page_size) return false;
    begin = get16(page, f.data_header + 2 * i) & 0x1FFF;
    end = i == 0 ? f.page_size : (get16(page, f.data_header + 2 * (i - 1)) & 0x1FFF);
    return begin <= end && end <= f.page_size && begin >= f.data_header + 2 * n;
}

// Inline map row: u8 0, u32 first page covered, then one bit per page (LSB
// first, set = listed).
Bytes inline_map(const Format& f, const std::vector<std::uint32_t>& pages, std::uint32_t start,
                 std::size_t bitmap_bytes)
{
    if (bitmap_bytes == 0) bitmap_bytes = f.map_bytes;
    Bytes row(5 + bitmap_bytes, 0);
    put32(row, 1, start);
    for (const std::uint32_t pg : pages) {
        const std::uint32_t bit = pg - start;
        row[5 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
    }
    return row;
}

}  // namespace jet::detail
