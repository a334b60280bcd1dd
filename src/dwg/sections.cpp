#include "sections.h"

#include <algorithm>

namespace dwg::detail {

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
