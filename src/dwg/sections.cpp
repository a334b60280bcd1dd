#include "sections.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace dwg::detail {

namespace recycled {
namespace {

// Each block starts with its size, so that a block taken for a smaller
// request is still judged and freed by what it is.
constexpr std::size_t kHead = alignof(std::max_align_t);
// Enough for a file, its objects section and one spare; none so big that
// holding it idle would matter.
constexpr std::size_t kSlots = 3;
constexpr std::size_t kLargest = std::size_t{64} << 20;

std::size_t size_of(const std::uint8_t* p)
{
    std::size_t n = 0;
    std::memcpy(&n, p - kHead, sizeof n);
    return n;
}

void free_block(std::uint8_t* p)
{
    if (p)
        std::free(p - kHead);
}

// Plain data, so that a block given back after the thread's clean-up (a
// drawing held by a static object) still finds it, closed.
struct Kept {
    std::array<std::uint8_t*, kSlots> blocks;
    bool closed;
};
thread_local Kept kept{};

struct Closer {
    ~Closer()
    {
        for (std::uint8_t*& p : kept.blocks) free_block(std::exchange(p, nullptr));
        kept.closed = true;
    }
};
thread_local Closer closer;

}  // namespace

std::uint8_t* allocate(std::size_t n)
{
    // The smallest that fits, unless it is far bigger than asked for: a
    // small drawing would hold memory it does not need.
    std::uint8_t** best = nullptr;
    for (std::uint8_t*& p : kept.blocks)
        if (p && size_of(p) >= n && size_of(p) / 4 <= n && (!best || size_of(p) < size_of(*best)))
            best = &p;
    if (best)
        return std::exchange(*best, nullptr);
    if (n > SIZE_MAX - kHead)
        throw std::bad_alloc();
    auto* raw = static_cast<std::uint8_t*>(std::malloc(n + kHead));
    if (!raw)
        throw std::bad_alloc();
    std::memcpy(raw, &n, sizeof n);
    return raw + kHead;
}

void release(std::uint8_t* p)
{
    static_cast<void>(&closer);  // makes sure this thread frees what it keeps
    if (kept.closed || size_of(p) > kLargest) {
        free_block(p);
        return;
    }
    // An empty slot, else the smallest block goes.
    std::uint8_t** slot = &kept.blocks[0];
    for (std::uint8_t*& q : kept.blocks)
        if (!q || (*slot && size_of(q) < size_of(*slot)))
            slot = &q;
    if (*slot && size_of(*slot) > size_of(p)) {
        free_block(p);
        return;
    }
    free_block(std::exchange(*slot, p));
}

}  // namespace recycled

Error Sections::load_deferred(std::size_t offset, std::size_t size) const
{
    auto& pages = deferred.pages;
    // Objects mostly follow one another on the same page.
    const DeferredPage& last = pages[deferred.last];
    if (last.expanded && last.result == Error::Ok && offset >= last.start && offset - last.start <= last.room &&
        last.room - (offset - last.start) >= size)
        return Error::Ok;
    // The first page ending after `offset`, then every page starting before
    // the end of the range.
    auto it = std::upper_bound(pages.begin(), pages.end(), offset,
                               [](std::size_t at, const DeferredPage& p) { return at < p.start + p.room; });
    for (; it != pages.end() && it->start < offset + size; ++it) {
        if (!it->expanded) {
            it->expanded = true;
            it->result = deferred.expand(it->stored, {deferred.section + it->start, it->room}, it->need);
        }
        if (it->result != Error::Ok)
            return it->result;
        deferred.last = static_cast<std::size_t>(it - pages.begin());
    }
    return Error::Ok;
}

}  // namespace dwg::detail
