#include "sections.h"

#include <algorithm>

namespace dwg::detail {

Error Sections::load_objects(std::size_t offset, std::size_t size) const
{
    auto& pages = deferred.pages;
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
    }
    return Error::Ok;
}

}  // namespace dwg::detail
