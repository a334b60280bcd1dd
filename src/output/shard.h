#pragma once
// Sharing one run out to several machines: each takes a contiguous part of
// the drawing list, writes its own CSV file, and MergeCsvParts (csv_file.h)
// joins the files into the one a single run writes.

#include <cstddef>
#include <vector>

#include "processing_run.h"

namespace output {

// The ticked drawings of the `part`-th of `parts` contiguous parts (1-based)
// of the ticked drawings, in list order; parts differ in size by one at
// most, and the parts 1 to `parts` together hold every ticked drawing once.
// Nothing when part is not between 1 and parts.
std::vector<DrawingRow> ShardOf(const std::vector<DrawingRow>& drawings, std::size_t part, std::size_t parts);

}  // namespace output
