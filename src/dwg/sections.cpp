#include "sections.h"

#include <algorithm>
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

std::size_t size_of(const std::uint8_t* p)
{
    std::size_t n = 0;
    std::memcpy(&n, p - kHead, sizeof n);
    return n;
}

struct Kept {
    std::uint8_t* block = nullptr;
    ~Kept()
    {
        if (block)
            std::free(block - kHead);
    }
};
thread_local Kept kept;

}  // namespace

std::uint8_t* allocate(std::size_t n)
{
    // Not for a request much smaller than the block: a small drawing would
    // hold memory it does not need.
    if (kept.block && size_of(kept.block) >= n && size_of(kept.block) / 4 <= n)
        return std::exchange(kept.block, nullptr);
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
    if (kept.block)
        std::free(kept.block - kHead);
    kept.block = p;
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
