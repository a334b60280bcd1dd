#pragma once
// Both spaces of a drawing read straight from the DWG reader, in stored
// order: what `dwgattrs` prints and what the Python module's read() returns.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "dwg/drawing.h"

namespace extract {

using TagValues = std::vector<std::pair<std::string, std::string>>;  // (tag, value), UTF-8

struct DrawingSpaces {
    std::string Version;  // "AC1015"
    TagValues Model;      // *Model_Space
    TagValues Paper;      // the active layout's paper space
};

// Ok, or why the drawing could not be read: the opening's error, else the
// model space's, else the paper space's. A drawing without one of the spaces
// has no attributes in it; a space read up to damage keeps what came before.
dwg::Error ReadBothSpaces(const std::filesystem::path& path, DrawingSpaces& out);

}  // namespace extract
