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
    last_ = 0;
    // Every pair takes two bytes at least: room for all of them at once.
    keys_.reserve(section.size() / 2);
    offsets_.reserve(section.size() / 2);
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
            if (!keys_.empty() && handle <= keys_.back())
                sorted = false;
            keys_.push_back(handle);
            offsets_.push_back(offset);
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
    if (!sorted)
        sort_keeping_last();
    return Error::Ok;
}

void ObjectMap::sort_keeping_last()
{
    std::vector<std::pair<std::uint64_t, std::int64_t>> entries;
    entries.reserve(keys_.size());
    for (std::size_t i = 0; i < keys_.size(); ++i) entries.emplace_back(keys_[i], offsets_[i]);
    // Later entries win, as a writer that appends corrections intends.
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    keys_.clear();
    offsets_.clear();
    for (const auto& [handle, offset] : entries) {
        if (!keys_.empty() && keys_.back() == handle) {
            offsets_.back() = offset;
            continue;
        }
        keys_.push_back(handle);
        offsets_.push_back(offset);
    }
}

bool ObjectMap::find(std::uint64_t handle, std::int64_t& offset) const
{
    const std::size_t n = keys_.size();
    if (n == 0)
        return false;
    // A walk looks up handles mostly a little above the last one found:
    // gallop from there, touching a few cache lines instead of a whole
    // search path; anything else searches all of the map.
    std::size_t first = 0, count = n;
    if (keys_[last_] <= handle) {
        std::size_t step = 1;
        while (last_ + step < n && keys_[last_ + step] <= handle) step *= 2;
        first = last_ + step / 2;
        count = std::min(step - step / 2, n - first);
    }
    // Without branches on the keys.
    const std::uint64_t* base = keys_.data() + first;
    for (; count > 1;) {
        const std::size_t half = count / 2;
        base = base[half] <= handle ? base + half : base;
        count -= half;
    }
    if (*base != handle)
        return false;
    last_ = static_cast<std::size_t>(base - keys_.data());
    offset = offsets_[last_];
    return true;
}

std::uint64_t ObjectMap::next_after(std::uint64_t handle) const
{
    const auto it = std::upper_bound(keys_.begin(), keys_.end(), handle);
    return it == keys_.end() ? 0 : *it;
}

}  // namespace dwg::detail
