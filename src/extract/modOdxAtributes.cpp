#include "modOdxAtributes.h"

#include <set>

#include "component.h"
#include "text/utf8.h"

namespace extract {

namespace {

// Tags count as one when they differ only in letter case.
struct Caseless {
    bool operator()(const std::string& a, const std::string& b) const { return text::compare_caseless(a, b) < 0; }
};

const char* block_name(const std::string& spaceCode) { return spaceCode == "P" ? "*Paper_Space" : "*Model_Space"; }

// The component's reading order; `visit` sees every attribute's tag and
// value in the space's entity order. Returns the engine's LastError.
template <class Visit>
std::uint16_t read_space(const std::filesystem::path& drawingPath, const std::string& spaceCode,
                         dwg::Warnings& warnings, Visit visit)
{
    warnings = {};
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
    warnings = engine.Warnings(handle);
    engine.CloseDrawing(handle);
    return engine.LastError();
}

}  // namespace

bool SameTag(const std::string& a, const std::string& b)
{
    const Caseless less;
    return !less(a, b) && !less(b, a);
}

std::uint16_t modOdxAtributes::ReadDrawingAttributes(const std::filesystem::path& drawingPath,
                                                     const std::string& spaceCode)
{
    DrawingAttributes.clear();
    std::set<std::string, Caseless> SeenTags;
    return read_space(drawingPath, spaceCode, LastWarnings, [&](const AttributeReader& a) {
        std::string tag = a.Tag();
        if (!SeenTags.insert(tag).second)
            return;
        DrawingAttributes.push_back({std::move(tag), a.TextValue(), spaceCode});
    });
}

SpaceRead ReadSpace(const std::filesystem::path& drawingPath, const std::string& spaceCode)
{
    SpaceRead r;
    r.Code = read_space(drawingPath, spaceCode, r.Warnings, [&](const AttributeReader& a) {
        r.Records.push_back({a.Tag(), a.TextValue(), {}});
    });
    return r;
}

bool GivesRow(std::uint16_t code) { return code == 0 || code == static_cast<std::uint16_t>(dwg::Error::BlockNotFound); }

const std::string* FirstValue(const std::vector<AttributeRecord>& records, const std::string& tag)
{
    for (const auto& record : records)
        if (record.Tag == tag)
            return &record.Value;
    return nullptr;
}

std::uint16_t modOdxAtributes::ReadSpaceAttributes(const std::filesystem::path& drawingPath,
                                                   const std::string& spaceCode)
{
    SpaceRead r = ReadSpace(drawingPath, spaceCode);
    DrawingAttributes = std::move(r.Records);
    LastWarnings = r.Warnings;
    return r.Code;
}

}  // namespace extract
