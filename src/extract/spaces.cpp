#include "spaces.h"

namespace extract {
namespace {

dwg::Error read_space(const dwg::Drawing& d, const char* name, TagValues& out)
{
    std::uint64_t block = 0;
    dwg::Error e = d.find_block(name, block);
    if (e == dwg::Error::BlockNotFound)
        return dwg::Error::Ok;
    if (e != dwg::Error::Ok)
        return e;
    std::vector<dwg::Entity> list;
    e = d.entities(block, list);
    for (dwg::Entity& entity : list)
        if (entity.kind == dwg::EntityKind::Attribute)
            out.emplace_back(std::move(entity.tag), std::move(entity.value));
    return e;
}

}  // namespace

dwg::Error ReadBothSpaces(const std::filesystem::path& path, DrawingSpaces& out)
{
    out = {};
    dwg::Drawing d;
    if (const dwg::Error e = dwg::Drawing::open(path, d); e != dwg::Error::Ok)
        return e;
    out.Version = std::string(d.version());
    const dwg::Error model = read_space(d, "*Model_Space", out.Model);
    const dwg::Error paper = read_space(d, "*Paper_Space", out.Paper);
    return model != dwg::Error::Ok ? model : paper;
}

}  // namespace extract
