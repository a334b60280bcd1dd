// The attribute module's one-per-tag reading, its error codes, and the
// component's calls out of order; reading itself is the corpus test's.

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "component.h"
#include "dwg/attributes.h"
#include "modOdxAtributes.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::filesystem::path generated(const char* name)
{
    return std::filesystem::path(QUORVANE_CORPUS_DIR) / "generated" / name;
}

// Several checkouts may run these tests at once.
std::filesystem::path temp_file(const std::string& name)
{
    return std::filesystem::temp_directory_path() /
           ("quorvane_extract_test_" + std::to_string(getpid()) + "_" + name + ".dwg");
}

TEST(ReadDrawingAttributes, OneRecordPerTagFirstValueWins)
{
    extract::modOdxAtributes m;
    const struct {
        const char* drawing;
        const char* space;
        Pairs expected;
    } cases[] = {
        {"b_duplicate_tags.dwg", "M", {{"TITLE", "Title 01"}, {"REV", "R01"}}},
        // Tags differing in case count once, spelled as first met.
        {"c_case_variants.dwg", "M", {{"Rev", "lower-camel"}}},
        // Each reading replaces the list.
        {"e_both_spaces.dwg", "M", {{"M_TAG1", "model one"}, {"M_TAG2", "model two"}}},
        {"e_both_spaces.dwg", "P", {{"P_TAG1", "paper one"}, {"P_TAG2", "paper two"}}},
        {"no such drawing.dwg", "M", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.drawing) + " " + c.space);
        m.DrawingAttributes.push_back({"OLD", "stale", "M"});
        m.ReadDrawingAttributes(generated(c.drawing), c.space);
        Pairs got;
        for (const auto& r : m.DrawingAttributes) {
            got.emplace_back(r.Tag, r.Value);
            EXPECT_EQ(r.SpaceCode, c.space);
        }
        EXPECT_EQ(got, c.expected);
    }
}

TEST(ReadSpaceAttributes, MissingAndUnreadableDrawings)
{
    extract::modOdxAtributes m;
    m.DrawingAttributes.push_back({"OLD", "stale", "M"});
    EXPECT_EQ(m.ReadSpaceAttributes(generated("no such drawing.dwg"), "M"), 3);
    EXPECT_TRUE(m.DrawingAttributes.empty());
    // A text file named like a drawing: an error other than "missing".
    const auto text = temp_file("not_a_drawing");
    std::ofstream(text) << "not a drawing\n";
    const std::uint16_t code = m.ReadSpaceAttributes(text, "M");
    EXPECT_NE(code, 0);
    EXPECT_NE(code, 3);
    EXPECT_TRUE(m.DrawingAttributes.empty());
    std::filesystem::remove(text);
}

// A flipped byte that breaks an entity of model space: the space is read
// around it and what was skipped comes through with the rest.
TEST(ReadSpaceAttributes, DamageInsideTheSpaceIsReported)
{
    std::ifstream in(generated("a_title_block.dwg"), std::ios::binary);
    const std::vector<char> whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto path = temp_file("damaged");
    bool found = false;
    for (std::size_t at = 0x100; at < whole.size() && !found; at += 7) {
        std::vector<char> copy = whole;
        copy[at] = static_cast<char>(copy[at] ^ 0x5A);
        dwg::Drawing d;
        dwg::TagValues model;
        if (dwg::Drawing::parse({reinterpret_cast<const std::uint8_t*>(copy.data()), copy.size()}, d) !=
                dwg::Error::Ok ||
            dwg::space_attributes(d, "*Model_Space", model) != dwg::Error::Ok || d.warnings().skipped_objects == 0)
            continue;
        found = true;
        std::ofstream(path, std::ios::binary).write(copy.data(), static_cast<std::streamsize>(copy.size()));
        const extract::SpaceRead r = extract::ReadSpace(path, "M");
        EXPECT_EQ(r.Code, 0) << "flip at " << at;
        EXPECT_EQ(r.Warnings.skipped_objects, d.warnings().skipped_objects) << "flip at " << at;
        EXPECT_EQ(r.Records.size(), model.size()) << "flip at " << at;
    }
    EXPECT_TRUE(found);
    std::filesystem::remove(path);
}

TEST(Component, CallsOutOfOrderAreErrors)
{
    extract::DrawingEngine engine;
    EXPECT_EQ(engine.OpenDrawing(generated("a_title_block.dwg"), 1, 1), 0);
    EXPECT_NE(engine.LastError(), 0);  // not initialised
    engine.Initialize();
    const std::int32_t missing = engine.OpenDrawing(generated("missing.dwg"), 1, 1);
    EXPECT_EQ(engine.LastError(), 3);
    engine.CloseDrawing(missing);  // after a failed open: harmless
    EXPECT_EQ(engine.LastError(), 3);

    const std::int32_t h = engine.OpenDrawing(generated("a_title_block.dwg"), 1, 1);
    ASSERT_EQ(engine.LastError(), 0);
    extract::BlockReader reader(engine);
    reader.Attach(h, engine.FindBlock(h, "*Model_Space"));
    ASSERT_EQ(reader.LastError(), 0);
    extract::EntityIterator it(engine);
    const std::int32_t id = it.OpenIterator(h, reader.EntityListKey());
    const std::int32_t count = it.CountEntities(h, reader.EntityListKey());
    it.Rewind(id);
    for (std::int32_t i = 0; i <= count; ++i) it.StepNext(id);
    // Past the end: an error on the step, nothing current; a rewind starts again.
    EXPECT_NE(it.LastError(), 0);
    EXPECT_EQ(it.CurrentKind(), 0);
    it.Rewind(id);
    it.StepNext(id);
    EXPECT_EQ(it.LastError(), 0);

    EXPECT_EQ(engine.FindBlock(h, "NO SUCH BLOCK"), "");
    EXPECT_NE(engine.LastError(), 0);
    reader.Attach(missing, "1F");
    EXPECT_NE(reader.LastError(), 0);
    EXPECT_EQ(it.CountEntities(h, "garbage"), 0);
    EXPECT_NE(it.LastError(), 0);
    extract::AttributeReader attribute(engine);
    attribute.Attach(12345);
    EXPECT_EQ(attribute.Tag(), "");
    EXPECT_EQ(attribute.TextValue(), "");
    engine.CloseDrawing(h);
    engine.CloseDrawing(h);  // twice is harmless
    EXPECT_EQ(engine.FindBlock(h, "*Model_Space"), "");
    EXPECT_NE(engine.LastError(), 0);
}

}  // namespace
