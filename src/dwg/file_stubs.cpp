// Placeholders until the 2004 and 2007 file-structure readers exist.
#include "sections.h"

namespace dwg::detail {

Error read_sections_r2004(std::span<const std::uint8_t>, Sections&) { return Error::UnsupportedVersion; }
Error read_sections_r2007(std::span<const std::uint8_t>, Sections&) { return Error::UnsupportedVersion; }

}  // namespace dwg::detail
