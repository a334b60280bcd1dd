// Small, named drawings made by tools/synthetic/synthetic.h: the walking rules, the
// damage the reader reads around and the damage it must stop at, one fixture
// each.

#include <gtest/gtest.h>

#include "corpus.h"
#include "synthetic.h"

namespace {

using synthetic::Entity;

Entity insert(std::uint64_t first, std::uint64_t last, std::uint64_t seqend)
{
    Entity e;
    e.type = 7;
    e.first_attrib = first, e.last_attrib = last, e.seqend = seqend;
    return e;
}

// An ATTRIB (type 2) or, without a tag, a SEQEND (type 6) of `owner`.
Entity owned(std::uint64_t owner, std::string tag = "", std::string value = "")
{
    Entity e;
    e.type = tag.empty() ? 6 : 2;
    e.entmode = 0;
    e.owner = owner;
    e.tag = std::move(tag), e.value = std::move(value);
    return e;
}

Entity linked(Entity e, std::uint64_t prev, std::uint64_t next)
{
    e.nolinks = false;
    e.prev = prev, e.next = next;
    return e;
}

// A line, a block reference with two attributes and its end marker, a line.
synthetic::Drawing title_block()
{
    synthetic::Drawing d;
    d.model_first = 0x40;
    d.model_last = 0x45;
    d.entities[0x40] = Entity{};
    d.entities[0x41] = insert(0x42, 0x43, 0x44);
    d.entities[0x42] = owned(0x41, "DWG_NO", "A-1");
    d.entities[0x43] = owned(0x41, "TITLE", "PLAN");
    d.entities[0x44] = owned(0x41);
    d.entities[0x45] = Entity{};
    return d;
}

struct Fixture {
    const char* name;
    synthetic::Drawing drawing;
    dwg::Error model_error;
    corpus::Pairs model;
    corpus::Pairs paper;
    std::uint32_t skipped = 0;    // Warnings::skipped_objects after both spaces
    std::uint32_t checksums = 0;  // Warnings::checksum_mismatches
    dwg::Error open_error = dwg::Error::Ok;
};

std::vector<Fixture> fixtures()
{
    std::vector<Fixture> f;
    f.push_back({"title block", title_block(), dwg::Error::Ok, {{"DWG_NO", "A-1"}, {"TITLE", "PLAN"}}, {}});
    {
        // Explicit links that jump over handles and back: stored order wins.
        auto d = title_block();
        d.model_first = 0x45;
        d.model_last = 0x40;
        d.entities[0x45] = linked(Entity{}, 0, 0x41);
        d.entities[0x41] = linked(insert(0x43, 0x42, 0x44), 0x45, 0x40);
        d.entities[0x43] = linked(owned(0x41, "TITLE", "PLAN"), 0, 0x42);
        d.entities[0x42] = linked(owned(0x41, "DWG_NO", "A-1"), 0x43, 0);
        f.push_back({"links out of handle order", d, dwg::Error::Ok, {{"TITLE", "PLAN"}, {"DWG_NO", "A-1"}}, {}});
    }
    {
        // The end marker between two attributes of one reference.
        auto d = title_block();
        d.entities[0x41] = insert(0x42, 0x44, 0x43);
        d.entities[0x43] = owned(0x41);
        d.entities[0x44] = owned(0x41, "TITLE", "PLAN");
        f.push_back({"end marker between attributes", d, dwg::Error::Ok, {{"DWG_NO", "A-1"}, {"TITLE", "PLAN"}}, {}});
    }
    {
        // Ownerless attributes also in the space's chain (generated files):
        // each appears once, after its reference.
        auto d = title_block();
        d.entities[0x42].entmode = 2;
        d.entities[0x43].entmode = 2;
        d.entities[0x44].entmode = 2;
        f.push_back({"ownerless attributes", d, dwg::Error::Ok, {{"DWG_NO", "A-1"}, {"TITLE", "PLAN"}}, {}});
    }
    {
        auto d = title_block();
        d.entities[0x41].type = 8;
        f.push_back({"MINSERT", d, dwg::Error::Ok, {{"DWG_NO", "A-1"}, {"TITLE", "PLAN"}}, {}});
    }
    {
        auto d = title_block();
        d.paper_first = d.model_first;
        d.paper_last = d.model_last;
        d.model_first = d.model_last = 0;
        f.push_back({"paper space only", d, dwg::Error::Ok, {}, {{"DWG_NO", "A-1"}, {"TITLE", "PLAN"}}});
    }
    {
        // An attribute chain that runs into another reference's attribute
        // stops there.
        auto d = title_block();
        d.entities[0x41] = insert(0x42, 0x46, 0x44);
        d.entities[0x43] = owned(0x77, "FOREIGN", "x");
        f.push_back({"foreign attribute", d, dwg::Error::Ok, {{"DWG_NO", "A-1"}}, {}});
    }
    {
        auto d = title_block();
        d.codepage = 29;  // Windows-1251
        d.entities[0x43] = owned(0x41, "\xCD\xC0\xC7\xC2", "\\U+00E9 %%c \\M+5D6D0");
        f.push_back({"code page and escapes", d, dwg::Error::Ok,
                     {{"DWG_NO", "A-1"}, {"\xD0\x9D\xD0\x90\xD0\x97\xD0\x92", "\xC3\xA9 %%c \xE4\xB8\xAD"}}, {}});
    }
    const corpus::Pairs both = {{"DWG_NO", "A-1"}, {"TITLE", "PLAN"}};
    {
        // Where the chain breaks, the rest is found by owner (here the
        // space's mode) in handle order.
        auto d = title_block();
        d.model_first = 0x40;
        d.model_last = 0x99;
        d.entities[0x40] = linked(Entity{}, 0, 0x45);
        d.entities[0x45] = linked(Entity{}, 0x40, 0x40);
        f.push_back({"entity cycle", d, dwg::Error::Ok, both, {}});
    }
    {
        auto d = title_block();
        d.entities[0x40] = linked(Entity{}, 0, 0x50);  // absent from the map
        f.push_back({"dangling link", d, dwg::Error::Ok, both, {}, 1});
    }
    {
        auto d = title_block();
        d.model_first = 0x3F;
        f.push_back({"first entity absent", d, dwg::Error::Ok, both, {}, 1});
    }
    {
        auto d = title_block();
        d.entities[0x42] = linked(owned(0x41, "DWG_NO", "A-1"), 0, 0x42);
        d.entities[0x41] = insert(0x42, 0x43, 0x44);
        f.push_back({"attribute links to itself", d, dwg::Error::Ok, both, {}});
    }
    {
        auto d = title_block();
        d.offset_shift[0x43] = 1 << 20;
        f.push_back({"map points past the file", d, dwg::Error::Ok, {{"DWG_NO", "A-1"}}, {}, 1});
    }
    {
        auto d = title_block();
        d.size_override[0x42] = 0x7FFF;
        f.push_back({"object larger than the file", d, dwg::Error::Ok, {{"TITLE", "PLAN"}}, {}, 1});
    }
    {
        auto d = title_block();
        d.offset_shift[0x42] = 3;  // lands inside the record
        f.push_back({"map points into an object", d, dwg::Error::Ok, {{"TITLE", "PLAN"}}, {}, 1});
    }
    {
        auto d = title_block();
        d.entities[0x41].reactors = 4000000;
        f.push_back({"absurd reactor count", d, dwg::Error::Ok, {}, {}, 1});
    }
    {
        // A block control object among the entities: the links went astray.
        auto d = title_block();
        d.entities[0x40] = linked(Entity{}, 0, 0x20);
        d.model_last = 0x45;
        f.push_back({"link to a table record", d, dwg::Error::Ok, both, {}, 1});
    }
    {
        auto d = title_block();
        d.size_override[synthetic::kModel] = 0x7FFF;
        f.push_back({"space record does not open", d, dwg::Error::Ok, both, {}, 1});
    }
    {
        // No header variables to say where the control object is.
        auto d = title_block();
        d.control = 0x7508;
        f.push_back({"block control found by type", d, dwg::Error::Ok, both, {}});
    }
    {
        // Block records of 56 and 64 bits, entities just below 2^64.
        auto d = title_block();
        d.control = 0xFFFFFFFFFFFFFF01;
        d.model = 0x00F1000000000040;
        d.paper = 0xFFFFFFFFFFFFFF20;
        const std::uint64_t base = 0xFFFFFFFFFFFF0000;
        auto move = [&](std::uint64_t h) { return h ? base + h : 0; };
        std::map<std::uint64_t, Entity> moved;
        for (auto [h, e] : d.entities) {
            e.owner = move(e.owner);
            e.first_attrib = move(e.first_attrib), e.last_attrib = move(e.last_attrib), e.seqend = move(e.seqend);
            moved[move(h)] = e;
        }
        d.entities = moved;
        d.model_first = move(d.model_first), d.model_last = move(d.model_last);
        f.push_back({"64-bit handles", d, dwg::Error::Ok, both, {}});
    }
    {
        auto d = title_block();
        d.bad_map_crc = true;
        f.push_back({"object map CRC, sane page", d, dwg::Error::Ok, both, {}, 0, 1});
    }
    {
        auto d = title_block();
        d.bad_map_crc = true;
        d.offset_shift[0x45] = 1 << 20;
        f.push_back({"object map CRC, offset outside", d, dwg::Error::Ok, {}, {}, 0, 0, dwg::Error::Corrupt});
    }
    return f;
}

TEST(Format, SyntheticDrawings)
{
    for (const Fixture& fx : fixtures()) {
        SCOPED_TRACE(fx.name);
        dwg::Drawing d;
        ASSERT_EQ(dwg::Drawing::parse(synthetic::build(fx.drawing), d), fx.open_error);
        if (fx.open_error != dwg::Error::Ok)
            continue;
        corpus::Pairs model, paper;
        EXPECT_EQ(corpus::space(d, "*Model_Space", model), fx.model_error);
        EXPECT_EQ(corpus::space(d, "*Paper_Space", paper), dwg::Error::Ok);
        if (fx.model_error == dwg::Error::Ok) {
            EXPECT_EQ(model, fx.model);
        }
        EXPECT_EQ(paper, fx.paper);
        EXPECT_EQ(d.warnings().skipped_objects, fx.skipped);
        EXPECT_EQ(d.warnings().checksum_mismatches, fx.checksums);
    }
}

TEST(Format, FileHeaderChecks)
{
    const auto good = synthetic::build(title_block());
    auto bad_crc = good;
    bad_crc[0x19 + 27] ^= 1;
    auto bad_count = good;
    bad_count[0x15] = 200;
    auto bad_locator = good;
    bad_locator[0x19 + 9 * 2 + 4] = 0x7F;  // object map far beyond the end
    auto bad_sentinel = bad_crc;
    bad_sentinel[0x19 + 27 + 2] ^= 1;
    for (auto* bytes : {&bad_count, &bad_locator, &bad_sentinel}) {
        dwg::Drawing d;
        EXPECT_NE(dwg::Drawing::parse(*bytes, d), dwg::Error::Ok);
    }
    // Records that end on the sentinel and lie in the file outweigh their CRC.
    dwg::Drawing d;
    ASSERT_EQ(dwg::Drawing::parse(bad_crc, d), dwg::Error::Ok);
    EXPECT_EQ(d.warnings().checksum_mismatches, 1u);
}

}  // namespace
