#pragma once
// Shared by the corpus-driven tests: where the corpus is, which versions we
// read, and a drawing's attributes per space.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dwg/drawing.h"

namespace corpus {

// The versions this reader decodes; a file-structure reader for more
// versions adds them here and their corpus drawings join every test.
inline const std::set<std::string>& read_versions()
{
    static const std::set<std::string> v = {"AC1012", "AC1013", "AC1014", "AC1015", "AC1018",
                                             "AC1021", "AC1024", "AC1027", "AC1032"};
    return v;
}

inline std::filesystem::path dir() { return QUORVANE_CORPUS_DIR; }

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The attributes of one space; a drawing without that space has none.
inline dwg::Error space(const dwg::Drawing& d, const char* name, Pairs& out)
{
    out.clear();
    std::uint64_t block = 0;
    dwg::Error e = d.find_block(name, block);
    if (e == dwg::Error::BlockNotFound)
        return dwg::Error::Ok;
    if (e != dwg::Error::Ok)
        return e;
    std::vector<dwg::Entity> list;
    e = d.entities(block, list);
    for (const dwg::Entity& x : list)
        if (x.kind == dwg::EntityKind::Attribute)
            out.emplace_back(x.tag, x.value);
    return e;
}

inline std::vector<std::uint8_t> read_file(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace corpus
