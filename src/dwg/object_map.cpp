// Object map ("AcDb:Handles"): pages of
// | size | field                                                       |
// |------|-------------------------------------------------------------|
// | 2    | RS big-endian page size S, counting these two bytes          |
// | S-2  | pairs: UMC handle delta, MC (signed) offset delta             |
// | 2    | RS big-endian CRC-16 (seed 0xC0C1) of the S bytes              |
// Each page starts again from handle 0 / offset 0 (the first pair of a page
// holds absolute values: carrying the sums across pages misplaces every
// object after the first page); a page with S == 2 ends the map.
// A page whose CRC does not match is still taken when what it holds is sane
// (handles ascending, offsets inside the objects): writers have been seen to
// store wrong CRCs on pages other readers take as they are.

#include <algorithm>

#include "document.h"

namespace dwg::detail {

Error ObjectMap::read(std::span<const std::uint8_t> section, std::uint64_t objects_size, Warnings* warnings)
{
    keys_.clear();
    offsets_.clear();
    std::vector<std::pair<std::uint64_t, std::int64_t>> entries;
    ByteReader r(section);
    bool sorted = true;
    for (;;) {
        std::uint64_t handle = 0;
        std::int64_t offset = 0;
        bool sane = true;
        const std::size_t page_start = r.pos();
        const std::uint16_t size = r.RS_BE();
        if (!r.ok())
            return Error::Truncated;
        if (size <= 2)
            break;
        if (size > r.left() + 2)
            return Error::Truncated;
        const std::size_t page_end = page_start + size;
        while (r.pos() < page_end) {
            const std::uint64_t step = r.UMC();
            handle += step;
            offset += r.MC();
            if (!r.ok() || r.pos() > page_end)
                return Error::Corrupt;
            if (step == 0 || offset < 0 || static_cast<std::uint64_t>(offset) >= objects_size)
                sane = false;
            if (!entries.empty() && handle <= entries.back().first)
                sorted = false;
            entries.emplace_back(handle, offset);
        }
        const std::uint16_t crc = r.RS_BE();
        if (!r.ok())
            return Error::Truncated;
        if (crc16(0xC0C1, section.subspan(page_start, size)) != crc) {
            if (!sane)
                return Error::Corrupt;
            if (warnings)
                ++warnings->checksum_mismatches;
        }
    }
    if (!sorted) {
        // Later entries win, as a writer that appends corrections intends.
        std::stable_sort(entries.begin(), entries.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::pair<std::uint64_t, std::int64_t>> unique;
        unique.reserve(entries.size());
        for (const auto& e : entries) {
            if (!unique.empty() && unique.back().first == e.first)
                unique.back() = e;
            else
                unique.push_back(e);
        }
        entries = std::move(unique);
    }
    keys_.reserve(entries.size());
    offsets_.reserve(entries.size());
    for (const auto& [handle, offset] : entries) {
        keys_.push_back(handle);
        offsets_.push_back(offset);
    }
    return Error::Ok;
}

bool ObjectMap::find(std::uint64_t handle, std::int64_t& offset) const
{
    // Without branches on the keys: the walk looks up every entity.
    if (keys_.empty())
        return false;
    const std::uint64_t* base = keys_.data();
    for (std::size_t n = keys_.size(); n > 1;) {
        const std::size_t half = n / 2;
        base = base[half] <= handle ? base + half : base;
        n -= half;
    }
    if (*base != handle)
        return false;
    offset = offsets_[static_cast<std::size_t>(base - keys_.data())];
    return true;
}

std::uint64_t ObjectMap::next_after(std::uint64_t handle) const
{
    const auto it = std::upper_bound(keys_.begin(), keys_.end(), handle);
    return it == keys_.end() ? 0 : *it;
}

}  // namespace dwg::detail
