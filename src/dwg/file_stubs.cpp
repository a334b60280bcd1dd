// Placeholder until the 2007 file-structure reader exists.
#include "sections.h"

namespace dwg::detail {

Error read_sections_r2007(std::span<const std::uint8_t>, Sections&) { return Error::UnsupportedVersion; }

}  // namespace dwg::detail
