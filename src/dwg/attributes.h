#pragma once
// The attributes of a drawing's spaces as (tag, value) lists in stored order:
// what `dwgattrs` prints, what the Python module's read() returns, and what
// the corpus references list.

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "drawing.h"

namespace dwg {

using TagValues = std::vector<std::pair<std::string, std::string>>;  // UTF-8

// Replaces `out` with the attributes of one space ("*Model_Space",
// "*Paper_Space"). A drawing without that space has none (Ok); on an error
// `out` keeps the attributes read before it.
Error space_attributes(const Drawing& d, std::string_view space, TagValues& out);

struct Spaces {
    std::string version;  // "AC1015"
    TagValues model;      // *Model_Space
    TagValues paper;      // the active layout's paper space
    Warnings warnings;    // what the reader passed over in both
};

// Opens the drawing and reads both spaces. Ok, or the opening's error, else
// the model space's, else the paper space's.
Error read_spaces(const std::filesystem::path& path, Spaces& out);

}  // namespace dwg
