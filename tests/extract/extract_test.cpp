// The drawing component and the attribute module, on the corpus's generated
// drawings, whose references give every attribute exactly.

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "component.h"
#include "json_lite.h"
#include "modOdxAtributes.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::filesystem::path corpus() { return QUORVANE_CORPUS_DIR; }

Pairs reference(const std::string& id, const char* space)
{
    std::ifstream in(corpus() / "expected" / (id + ".json"), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    json_lite::Value ref;
    Pairs out;
    if (!json_lite::Parser(text).parse(ref) || !ref.get(space))
        return out;
    for (const auto& item : ref.get(space)->array)
        out.emplace_back(item.array.at(0).string, item.array.at(1).string);
    return out;
}

Pairs records(const extract::modOdxAtributes& m)
{
    Pairs out;
    for (const auto& r : m.DrawingAttributes)
        out.emplace_back(r.Tag, r.Value);
    return out;
}

const char* const kGenerated[] = {"a_title_block", "b_duplicate_tags", "c_case_variants", "d_paper_only",
                                  "e_both_spaces", "f_awkward_values", "g_no_attributes", "h_nested_and_attdef"};

TEST(ReadSpaceAttributes, EveryAttributeInEntityOrder)
{
    extract::modOdxAtributes m;
    for (const char* name : kGenerated) {
        for (const char* space : {"M", "P"}) {
            SCOPED_TRACE(std::string(name) + " " + space);
            const auto path = corpus() / "generated" / (std::string(name) + ".dwg");
            EXPECT_EQ(m.ReadSpaceAttributes(path, space), 0);
            EXPECT_EQ(records(m), reference(std::string("gen_r2000_") + name, *space == 'M' ? "model" : "paper"));
            for (const auto& r : m.DrawingAttributes)
                EXPECT_EQ(r.SpaceCode, "");
        }
    }
}

TEST(ReadDrawingAttributes, DistinctTagsFirstValueWins)
{
    extract::modOdxAtributes m;
    for (const char* name : kGenerated) {
        for (const char* space : {"M", "P"}) {
            SCOPED_TRACE(std::string(name) + " " + space);
            // Expected: the reference with later repeats of a tag (any case) dropped.
            Pairs expected;
            std::map<std::string, bool> seen;
            for (const auto& [tag, value] : reference(std::string("gen_r2000_") + name, *space == 'M' ? "model" : "paper")) {
                std::string key = tag;
                for (char& c : key)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                if (seen.emplace(key, true).second)
                    expected.emplace_back(tag, value);
            }
            m.ReadDrawingAttributes(corpus() / "generated" / (std::string(name) + ".dwg"), space);
            EXPECT_EQ(records(m), expected);
            for (const auto& r : m.DrawingAttributes)
                EXPECT_EQ(r.SpaceCode, space);
        }
    }
}

TEST(ReadDrawingAttributes, CaseVariantsCountOnceSpelledAsFirstMet)
{
    extract::modOdxAtributes m;
    m.ReadDrawingAttributes(corpus() / "generated" / "c_case_variants.dwg", "M");
    ASSERT_EQ(m.DrawingAttributes.size(), 1u);
    EXPECT_EQ(m.DrawingAttributes[0].Tag, "Rev");
    EXPECT_EQ(m.DrawingAttributes[0].Value, "lower-camel");
    m.ReadDrawingAttributes(corpus() / "generated" / "b_duplicate_tags.dwg", "M");
    EXPECT_EQ(records(m), (Pairs{{"TITLE", "Title 01"}, {"REV", "R01"}}));
}

TEST(ReadDrawingAttributes, TagsCompareWithoutLetterCase)
{
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"Rev", "REV", true},
        {"rev", "REV", true},
        {"REV", "REV1", false},
        {"", "", true},
        {"\xC5\x81\xC3\x93" "D\xC5\xB9", "\xC5\x82\xC3\xB3" "d\xC5\xBA", true},  // ŁÓDŹ / łódź
        {"\xD0\x9F\xD0\xA0\xD0\x98", "\xD0\xBF\xD1\x80\xD0\xB8", true},      // ПРИ / при
        {"\xD0\x81", "\xD1\x91", true},                                          // Ё / ё
        {"\xC3\x84", "\xC3\xA4", true},                                          // Ä / ä
        {"\xC3\x9F", "SS", false},                                                 // ß stays ß
        {"\xC3\xB7", "\xC3\x97", false},                                         // ÷ is no letter
        {"A", "B", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(extract::SameTag(c.a, c.b), c.same) << c.a << " / " << c.b;
}

TEST(ReadDrawingAttributes, EachReadingReplacesTheList)
{
    extract::modOdxAtributes m;
    const auto path = corpus() / "generated" / "e_both_spaces.dwg";
    m.ReadDrawingAttributes(path, "M");
    EXPECT_EQ(records(m), (Pairs{{"M_TAG1", "model one"}, {"M_TAG2", "model two"}}));
    m.ReadDrawingAttributes(path, "P");
    EXPECT_EQ(records(m), (Pairs{{"P_TAG1", "paper one"}, {"P_TAG2", "paper two"}}));
    EXPECT_EQ(m.DrawingAttributes[0].SpaceCode, "P");
}

TEST(Readers, MissingAndUnreadableDrawings)
{
    extract::modOdxAtributes m;
    const auto missing = corpus() / "generated" / "no such drawing.dwg";
    m.DrawingAttributes.push_back({"OLD", "stale", "M"});
    m.ReadDrawingAttributes(missing, "M");
    EXPECT_TRUE(m.DrawingAttributes.empty());
    m.DrawingAttributes.push_back({"OLD", "stale", "M"});
    EXPECT_EQ(m.ReadSpaceAttributes(missing, "M"), 3);
    EXPECT_TRUE(m.DrawingAttributes.empty());

    // A text file named like a drawing: an error other than "missing".
    const auto text = std::filesystem::temp_directory_path() / "quorvane_extract_test_not_a_drawing.dwg";
    std::ofstream(text) << "not a drawing\n";
    const std::uint16_t code = m.ReadSpaceAttributes(text, "M");
    EXPECT_NE(code, 0);
    EXPECT_NE(code, 3);
    EXPECT_TRUE(m.DrawingAttributes.empty());
    std::filesystem::remove(text);
}

TEST(Readers, DamageInsideTheSpaceIsReported)
{
    // Find a single flipped byte that leaves the drawing's structure intact
    // but breaks an entity of model space: the space is read around it, and
    // the skipped object comes through with the rest.
    const auto source = corpus() / "generated" / "a_title_block.dwg";
    std::ifstream in(source, std::ios::binary);
    const std::vector<char> whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto path = std::filesystem::temp_directory_path() / "quorvane_extract_test_damaged.dwg";
    bool found = false;
    for (std::size_t at = 0x100; at < whole.size() && !found; at += 7) {
        std::vector<char> copy = whole;
        copy[at] = static_cast<char>(copy[at] ^ 0x5A);
        dwg::Drawing d;
        std::uint64_t block = 0;
        std::vector<dwg::Entity> list;
        if (dwg::Drawing::parse({copy.begin(), copy.end()}, d) != dwg::Error::Ok ||
            d.find_block("*Model_Space", block) != dwg::Error::Ok || d.entities(block, list) != dwg::Error::Ok ||
            d.warnings().skipped_objects == 0)
            continue;
        found = true;
        std::ofstream(path, std::ios::binary).write(copy.data(), static_cast<std::streamsize>(copy.size()));
        const extract::SpaceRead r = extract::ReadSpace(path, "M");
        EXPECT_EQ(r.Code, 0) << "flip at " << at;
        EXPECT_EQ(r.Warnings.skipped_objects, d.warnings().skipped_objects) << "flip at " << at;
        std::size_t attributes = 0;
        for (const dwg::Entity& e : list)
            attributes += e.kind == dwg::EntityKind::Attribute;
        EXPECT_EQ(r.Records.size(), attributes) << "flip at " << at;
    }
    EXPECT_TRUE(found);
    std::filesystem::remove(path);
}

TEST(Component, CallOrderAndKinds)
{
    extract::DrawingEngine engine;
    extract::CompanionObject companion(engine);
    engine.Initialize();
    ASSERT_EQ(engine.LastError(), 0);
    const std::int32_t h = engine.OpenDrawing(corpus() / "generated" / "a_title_block.dwg", 1, 1);
    ASSERT_EQ(engine.LastError(), 0);
    const std::string block = engine.FindBlock(h, "*Model_Space");
    ASSERT_EQ(engine.LastError(), 0);

    extract::BlockReader reader(engine);
    reader.Attach(h, block);
    ASSERT_EQ(reader.LastError(), 0);
    extract::EntityIterator it(engine);
    const std::int32_t id = it.OpenIterator(h, reader.EntityListKey());
    const std::int32_t count = it.CountEntities(h, reader.EntityListKey());
    it.Rewind(id);
    std::vector<std::uint16_t> kinds;
    extract::AttributeReader attribute(engine);
    for (std::int32_t i = 0; i < count; ++i) {
        it.StepNext(id);
        ASSERT_EQ(it.LastError(), 0);
        kinds.push_back(it.CurrentKind());
        attribute.Attach(it.CurrentEntity());
        if (it.CurrentKind() == extract::kKindAttribute)
            EXPECT_FALSE(attribute.Tag().empty());
        else
            EXPECT_TRUE(attribute.Tag().empty());
    }
    // A block reference is followed by its attributes.
    const auto first_attrib = std::find(kinds.begin(), kinds.end(), extract::kKindAttribute);
    ASSERT_NE(first_attrib, kinds.end());
    ASSERT_NE(first_attrib, kinds.begin());
    EXPECT_EQ(*(first_attrib - 1), extract::kKindBlockReference);

    // Past the end: an error on the step, nothing current.
    it.StepNext(id);
    EXPECT_NE(it.LastError(), 0);
    EXPECT_EQ(it.CurrentKind(), 0);
    it.Rewind(id);
    it.StepNext(id);
    EXPECT_EQ(it.LastError(), 0);

    EXPECT_EQ(engine.FindBlock(h, "NO SUCH BLOCK"), "");
    EXPECT_NE(engine.LastError(), 0);
    engine.CloseDrawing(h);
    engine.CloseDrawing(h);  // twice is harmless
    EXPECT_EQ(engine.FindBlock(h, "*Model_Space"), "");
    EXPECT_NE(engine.LastError(), 0);
}

TEST(Component, FailedOpen)
{
    extract::DrawingEngine engine;
    EXPECT_EQ(engine.OpenDrawing(corpus() / "generated" / "a_title_block.dwg", 1, 1), 0);
    EXPECT_NE(engine.LastError(), 0);  // not initialised
    engine.Initialize();
    const std::int32_t h = engine.OpenDrawing(corpus() / "missing.dwg", 1, 1);
    EXPECT_EQ(engine.LastError(), 3);
    engine.CloseDrawing(h);  // after a failed open: harmless
    EXPECT_EQ(engine.LastError(), 3);
    extract::BlockReader reader(engine);
    reader.Attach(h, "1F");
    EXPECT_NE(reader.LastError(), 0);
    extract::EntityIterator it(engine);
    EXPECT_EQ(it.CountEntities(h, "garbage"), 0);
    EXPECT_NE(it.LastError(), 0);
    extract::AttributeReader attribute(engine);
    attribute.Attach(12345);
    EXPECT_EQ(attribute.Tag(), "");
    EXPECT_EQ(attribute.TextValue(), "");
}

}  // namespace
