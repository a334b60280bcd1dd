#include "modOdxAtributes.h"

#include <set>

#include "component.h"

namespace extract {

namespace {

// Tags count as one when they differ only in letter case. Folding covers
// the scripts tags are written in (Latin, Greek, Cyrillic); other characters
// compare as they are.
char32_t fold(char32_t c)
{
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    // Latin Extended-A pairs capital/small as even/odd code points, shifted
    // by one between U+0138 and U+0148 and from U+0179.
    if (c >= 0x100 && c <= 0x137)
        return c & ~char32_t{1};
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c : c - 1;
    if (c >= 0x14A && c <= 0x177)
        return c & ~char32_t{1};
    return c;
}

// Next code point of UTF-8 text; invalid bytes stand for themselves.
char32_t next_char(const std::string& s, std::size_t& i)
{
    const auto b = static_cast<unsigned char>(s[i++]);
    std::size_t n = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (b < 0xC0 && b >= 0x80)
        n = 0;
    if (i + n > s.size())
        return b;
    char32_t c = n == 0 ? b : n == 1 ? (b & 0x1F) : n == 2 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 0; k < n; ++k)
        c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    return c;
}

struct Caseless {
    bool operator()(const std::string& a, const std::string& b) const
    {
        std::size_t i = 0, j = 0;
        while (i < a.size() && j < b.size()) {
            const char32_t x = fold(next_char(a, i));
            const char32_t y = fold(next_char(b, j));
            if (x != y)
                return x < y;
        }
        return i >= a.size() && j < b.size();
    }
};

const char* block_name(const std::string& spaceCode)
{
    return spaceCode == "P" ? "*Paper_Space" : "*Model_Space";
}

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

bool GivesRow(std::uint16_t code)
{
    return code == 0 || code == static_cast<std::uint16_t>(dwg::Error::BlockNotFound);
}

const std::string* FirstValue(const std::vector<AttributeRecord>& records, const std::string& tag)
{
    for (const auto& record : records)
        if (record.Tag == tag)
            return &record.Value;
    return nullptr;
}

std::uint16_t modOdxAtributes::ReadSpaceAttributes(const std::filesystem::path& drawingPath, const std::string& spaceCode)
{
    SpaceRead r = ReadSpace(drawingPath, spaceCode);
    DrawingAttributes = std::move(r.Records);
    LastWarnings = r.Warnings;
    return r.Code;
}

}  // namespace extract
