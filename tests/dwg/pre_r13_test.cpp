// Drawings before R13 made by tests/dwg/synthetic_pre_r13.h: the shapes the
// corpus lacks (paper space, several inserts, code pages, moved records,
// named blocks) and the damage the reader must step over or stop at.

#include <gtest/gtest.h>

#include "corpus.h"
#include "synthetic_pre_r13.h"

namespace {

using namespace synthetic_pre_r13;

Entity insert(std::vector<Attribute> attribs, bool paper = false)
{
    Entity e;
    e.type = kInsert;
    e.attribs = std::move(attribs);
    e.paper = paper;
    return e;
}

// A line, a title block with two attributes, a line.
Drawing title_block(std::string version = "AC1009")
{
    Drawing d;
    d.version = std::move(version);
    d.entities = {Entity{}, insert({{"DWG_NO", "A-1"}, {"TITLE", "PLAN"}}), Entity{}};
    return d;
}

const corpus::Pairs kTitle = {{"DWG_NO", "A-1"}, {"TITLE", "PLAN"}};

struct Fixture {
    std::string name;
    Drawing drawing;
    dwg::Error error;  // of either space
    corpus::Pairs model, paper;
    std::uint32_t skipped = 0;
};

std::vector<Fixture> fixtures()
{
    std::vector<Fixture> f;
    // Every release of family B, those without a real drawing to check
    // against included.
    for (const char* v : {"AC1.50", "AC2.10", "AC2.21", "AC2.22", "AC1001", "AC1002", "AC1003", "AC1004", "AC1005",
                          "AC1006", "AC1007", "AC1008", "AC1009"})
        f.push_back({std::string("title block ") + v, title_block(v), dwg::Error::Ok, kTitle, {}});
    {
        auto d = title_block();
        d.entities.push_back(insert({{"SHEET", "2"}}, true));
        d.entities.insert(d.entities.begin(), insert({{"REV", "B"}, {"BY", "JM"}}, true));
        f.push_back({"paper and model space", d, dwg::Error::Ok, kTitle, {{"REV", "B"}, {"BY", "JM"}, {"SHEET", "2"}}});
    }
    {
        // Extended data sets the extended-flags byte without paper space.
        auto d = title_block();
        d.entities[1].extended_data = true;
        f.push_back({"extended data stays in model space", d, dwg::Error::Ok, kTitle, {}});
    }
    {
        auto d = title_block("AC1004");
        d.entities.push_back(insert({{"A", "1"}, {"B", "2"}, {"C", "3"}}));
        d.entities.push_back(insert({{"A", "4"}}));
        f.push_back({"several inserts",
                     d,
                     dwg::Error::Ok,
                     {{"DWG_NO", "A-1"}, {"TITLE", "PLAN"}, {"A", "1"}, {"B", "2"}, {"C", "3"}, {"A", "4"}},
                     {}});
    }
    {
        // Without the 0x80 flag the records after it are no attribute run.
        auto d = title_block("AC1006");
        d.entities[1].follows = false;
        f.push_back({"insert without attributes", d, dwg::Error::Ok, {}, {}});
    }
    {
        auto d = title_block();
        d.codepage = 29;  // Windows-1251
        d.entities[1].attribs[1] = {"\xCD\xC0\xC7\xC2", "\xCF\xEB\xE0\xED"};
        f.push_back({"code page 1251",
                     d,
                     dwg::Error::Ok,
                     {{"DWG_NO", "A-1"}, {"\xD0\x9D\xD0\x90\xD0\x97\xD0\x92", "\xD0\x9F\xD0\xBB\xD0\xB0\xD0\xBD"}},
                     {}});
        d.codepage = 0;  // none recorded: Windows-1252
        d.entities[1].attribs[1] = {"TITLE", "Caf\xE9"};
        f.push_back({"no code page", d, dwg::Error::Ok, {{"DWG_NO", "A-1"}, {"TITLE", "Caf\xC3\xA9"}}, {}});
    }
    for (const char* v : {"AC1003", "AC1009"}) {
        // Records moved to the extras section stand where their JUMP is.
        auto d = title_block(v);
        d.entities.insert(d.entities.begin(), insert({{"FIRST", "1"}}));
        d.entities.push_back(insert({{"LAST", "3"}}));
        d.entities[2].moved = true;
        f.push_back({std::string("moved records ") + v,
                     d,
                     dwg::Error::Ok,
                     {{"FIRST", "1"}, {"DWG_NO", "A-1"}, {"TITLE", "PLAN"}, {"LAST", "3"}},
                     {}});
        d.entities[2].jump_target = 0x80FFFFFF;
        f.push_back({std::string("jump to nowhere ") + v, d, dwg::Error::Ok, {{"FIRST", "1"}, {"LAST", "3"}}, {}, 1});
    }
    {
        auto d = title_block();
        d.entities.push_back(insert({{"GONE", "x"}}));
        d.entities.back().erased = true;
        d.entities[1].attribs[0].erased = true;
        f.push_back({"erased insert and attribute", d, dwg::Error::Ok, {{"TITLE", "PLAN"}}, {}});
    }
    {
        auto d = title_block("AC2.10");
        d.entities[1].attribs[0].overrun = true;
        f.push_back({"attribute text past its record", d, dwg::Error::Ok, {{"TITLE", "PLAN"}}, {}, 1});
    }
    {
        auto d = title_block();
        d.entities.push_back(insert({{"AFTER", "x"}}));
        d.entities[2].length = 4;
        f.push_back({"record length below the least", d, dwg::Error::Corrupt, kTitle, {}});
        d.entities[2].length = 0xFFFF;
        f.push_back({"record length past the section", d, dwg::Error::Corrupt, kTitle, {}});
    }
    return f;
}

TEST(PreR13, SyntheticDrawings)
{
    for (const Fixture& fx : fixtures()) {
        SCOPED_TRACE(fx.name);
        dwg::Drawing d;
        ASSERT_EQ(dwg::Drawing::parse(build(fx.drawing), d), dwg::Error::Ok);
        EXPECT_EQ(d.version(), fx.drawing.version);
        corpus::Pairs model, paper;
        EXPECT_EQ(corpus::space(d, "*Model_Space", model), fx.error);
        EXPECT_EQ(corpus::space(d, "*Paper_Space", paper), fx.error);
        EXPECT_EQ(model, fx.model);
        EXPECT_EQ(paper, fx.paper);
        EXPECT_EQ(d.warnings().skipped_objects, fx.skipped);
        EXPECT_EQ(d.warnings().checksum_mismatches, 0u);
    }
}

TEST(PreR13, NamedBlocks)
{
    for (const char* v : {"AC2.10", "AC1009"}) {
        SCOPED_TRACE(v);
        Drawing drawing = title_block(v);
        Entity nested = insert({{"NESTED", "n"}});
        drawing.blocks = {{"FRAME", false, {Entity{}, Entity{}}}, {"*D", true, {nested, Entity{}}}};
        drawing.entities[1].block = 1;
        dwg::Drawing d;
        ASSERT_EQ(dwg::Drawing::parse(build(drawing), d), dwg::Error::Ok);
        std::uint64_t frame = 0, dim = 0, model = 0;
        ASSERT_EQ(d.find_block("frame", frame), dwg::Error::Ok);
        std::vector<dwg::Entity> list;
        EXPECT_EQ(d.entities(frame, list), dwg::Error::Ok);
        EXPECT_EQ(list.size(), 2u);
        // The record number completes the stored prefix.
        ASSERT_EQ(d.find_block("*D1", dim), dwg::Error::Ok);
        EXPECT_EQ(d.entities(dim, list), dwg::Error::Ok);
        ASSERT_EQ(list.size(), 3u);
        EXPECT_EQ(list[0].kind, dwg::EntityKind::BlockReference);
        // Definitions are not model space.
        ASSERT_EQ(d.find_block("*Model_Space", model), dwg::Error::Ok);
        EXPECT_EQ(d.entities(model, list), dwg::Error::Ok);
        EXPECT_EQ(list.size(), 5u);
        EXPECT_EQ(d.entities(frame + 1, list), dwg::Error::BadArgument);
        EXPECT_EQ(d.find_block("NO_SUCH_BLOCK", frame), dwg::Error::BlockNotFound);
        EXPECT_EQ(d.find_block("*Paper_Space", frame),
                  std::string(v) == "AC1009" ? dwg::Error::Ok : dwg::Error::BlockNotFound);
    }
}

TEST(PreR13, ReleasesWithoutEntities)
{
    for (const char* magic : {"AC1.2", "AC1.3", "MC0.0"}) {
        std::vector<std::uint8_t> bytes(0x100, 0);
        std::memcpy(bytes.data(), magic, 5);
        dwg::Drawing d;
        ASSERT_EQ(dwg::Drawing::parse(bytes, d), dwg::Error::Ok) << magic;
        EXPECT_EQ(d.version(), magic);
        corpus::Pairs model;
        EXPECT_EQ(corpus::space(d, "*Model_Space", model), dwg::Error::Ok);
        EXPECT_TRUE(model.empty());
    }
}

}  // namespace
