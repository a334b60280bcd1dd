#include "attributes.h"

namespace dwg {

Error space_attributes(const Drawing& d, std::string_view space, TagValues& out)
{
    out.clear();
    std::uint64_t block = 0;
    Error e = d.find_block(space, block);
    if (e == Error::BlockNotFound)
        return Error::Ok;
    if (e != Error::Ok)
        return e;
    std::vector<Entity> list;
    e = d.entities(block, list);
    for (Entity& entity : list)
        if (entity.kind == EntityKind::Attribute)
            out.emplace_back(std::move(entity.tag), std::move(entity.value));
    return e;
}

Error read_spaces(const std::filesystem::path& path, Spaces& out)
{
    out = {};
    Drawing d;
    if (const Error e = Drawing::open(path, d); e != Error::Ok)
        return e;
    out.version = std::string(d.version());
    const Error model = space_attributes(d, "*Model_Space", out.model);
    const Error paper = space_attributes(d, "*Paper_Space", out.paper);
    out.warnings = d.warnings();
    return model != Error::Ok ? model : paper;
}

}  // namespace dwg
