#include "modOdxAtributes.h"

#include <set>

#include "component.h"

namespace extract {

namespace {

// Tags count as one when they differ only in letter case. Tags are mostly
// ASCII; other letters are compared as stored.
struct Caseless {
    static unsigned char fold(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
    bool operator()(const std::string& a, const std::string& b) const
    {
        const std::size_t n = std::min(a.size(), b.size());
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char x = fold(static_cast<unsigned char>(a[i]));
            const unsigned char y = fold(static_cast<unsigned char>(b[i]));
            if (x != y)
                return x < y;
        }
        return a.size() < b.size();
    }
};

const char* block_name(const std::string& spaceCode)
{
    return spaceCode == "P" ? "*Paper_Space" : "*Model_Space";
}

// The component's reading order; `visit` sees every attribute's tag and
// value in the space's entity order. Returns the engine's LastError.
template <class Visit>
std::uint16_t read_space(const std::filesystem::path& drawingPath, const std::string& spaceCode, Visit visit)
{
    DrawingEngine engine;
    CompanionObject companion(engine);
    engine.Initialize();
    if (engine.LastError() != 0)
        return engine.LastError();
    const std::int32_t handle = engine.OpenDrawing(drawingPath, 1, 1);
    if (engine.LastError() != 0) {
        engine.CloseDrawing(handle);
        return engine.LastError();
    }
    const std::string block = engine.FindBlock(handle, block_name(spaceCode));
    if (engine.LastError() == 0) {
        BlockReader reader(engine);
        reader.Attach(handle, block);
        if (reader.LastError() == 0) {
            EntityIterator it(engine);
            const std::int32_t id = it.OpenIterator(handle, reader.EntityListKey());
            const std::int32_t count = it.CountEntities(handle, reader.EntityListKey());
            it.Rewind(id);
            AttributeReader attribute(engine);
            for (std::int32_t i = 0; i < count; ++i) {
                it.StepNext(id);
                if (it.LastError() != 0 || it.CurrentKind() != kKindAttribute)
                    continue;
                attribute.Attach(it.CurrentEntity());
                visit(attribute);
            }
        }
    }
    engine.CloseDrawing(handle);
    return engine.LastError();
}

}  // namespace

void modOdxAtributes::ReadDrawingAttributes(const std::filesystem::path& drawingPath, const std::string& spaceCode)
{
    DrawingAttributes.clear();
    std::set<std::string, Caseless> SeenTags;
    read_space(drawingPath, spaceCode, [&](const AttributeReader& a) {
        std::string tag = a.Tag();
        if (!SeenTags.insert(tag).second)
            return;
        DrawingAttributes.push_back({std::move(tag), a.TextValue(), spaceCode});
    });
}

std::uint16_t modOdxAtributes::ReadSpaceAttributes(const std::filesystem::path& drawingPath, const std::string& spaceCode)
{
    DrawingAttributes.clear();
    return read_space(drawingPath, spaceCode, [&](const AttributeReader& a) {
        DrawingAttributes.push_back({a.Tag(), a.TextValue(), {}});
    });
}

}  // namespace extract
