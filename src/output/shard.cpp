#include "shard.h"

namespace output {

std::vector<DrawingRow> ShardOf(const std::vector<DrawingRow>& drawings, std::size_t part, std::size_t parts)
{
    std::vector<DrawingRow> ticked;
    if (part < 1 || part > parts)
        return ticked;
    for (const auto& row : drawings) {
        if (row.Checked)
            ticked.push_back(row);
    }
    const std::size_t count = ticked.size();
    const std::size_t begin = (part - 1) * count / parts;
    const std::size_t end = part * count / parts;
    return {ticked.begin() + static_cast<std::ptrdiff_t>(begin), ticked.begin() + static_cast<std::ptrdiff_t>(end)};
}

}  // namespace output
