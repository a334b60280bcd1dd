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

using synthetic::Drawing;
const corpus::Pairs kBoth = {{"DWG_NO", "A-1"}, {"TITLE", "PLAN"}};

struct Fixture {
    const char* name;
    void (*edit)(Drawing&);  // of the title block
    corpus::Pairs model, paper = {};
    std::uint32_t skipped = 0;    // Warnings::skipped_objects after both spaces
    std::uint32_t checksums = 0;  // Warnings::checksum_mismatches
    dwg::Error open_error = dwg::Error::Ok;
};

// Block records of 56 and 64 bits, entities just below 2^64.
void move_to_64_bits(Drawing& d)
{
    d.control = 0xFFFFFFFFFFFFFF01;
    d.model = 0x00F1000000000040;
    d.paper = 0xFFFFFFFFFFFFFF20;
    auto move = [](std::uint64_t h) { return h ? 0xFFFFFFFFFFFF0000 + h : 0; };
    std::map<std::uint64_t, Entity> moved;
    for (auto [h, e] : d.entities) {
        e.owner = move(e.owner);
        e.first_attrib = move(e.first_attrib), e.last_attrib = move(e.last_attrib), e.seqend = move(e.seqend);
        moved[move(h)] = e;
    }
    d.entities = moved;
    d.model_first = move(d.model_first), d.model_last = move(d.model_last);
}

const Fixture kFixtures[] = {
    {"title block", [](Drawing&) {}, kBoth},
    // Explicit links that jump over handles and back: stored order wins.
    {"links out of handle order",
     [](Drawing& d) {
         d.model_first = 0x45, d.model_last = 0x40;
         d.entities[0x45] = linked(Entity{}, 0, 0x41);
         d.entities[0x41] = linked(insert(0x43, 0x42, 0x44), 0x45, 0x40);
         d.entities[0x43] = linked(owned(0x41, "TITLE", "PLAN"), 0, 0x42);
         d.entities[0x42] = linked(owned(0x41, "DWG_NO", "A-1"), 0x43, 0);
     },
     {{"TITLE", "PLAN"}, {"DWG_NO", "A-1"}}},
    {"end marker between attributes",
     [](Drawing& d) {
         d.entities[0x41] = insert(0x42, 0x44, 0x43);
         d.entities[0x43] = owned(0x41);
         d.entities[0x44] = owned(0x41, "TITLE", "PLAN");
     },
     kBoth},
    // Also in the space's chain (generated files): each appears once, after its reference.
    {"ownerless attributes",
     [](Drawing& d) {
         for (std::uint64_t h : {0x42, 0x43, 0x44}) d.entities[h].entmode = 2;
     },
     kBoth},
    {"MINSERT", [](Drawing& d) { d.entities[0x41].type = 8; }, kBoth},
    {"paper space only",
     [](Drawing& d) {
         d.paper_first = d.model_first, d.paper_last = d.model_last;
         d.model_first = d.model_last = 0;
     },
     {},
     kBoth},
    // An attribute chain that runs into another reference's attribute stops there.
    {"foreign attribute",
     [](Drawing& d) {
         d.entities[0x41] = insert(0x42, 0x46, 0x44);
         d.entities[0x43] = owned(0x77, "FOREIGN", "x");
     },
     {{"DWG_NO", "A-1"}}},
    {"code page and escapes",
     [](Drawing& d) {
         d.codepage = 29;  // Windows-1251
         d.entities[0x43] = owned(0x41, "\xCD\xC0\xC7\xC2", "\\U+00E9 %%c \\M+5D6D0");
     },
     {{"DWG_NO", "A-1"}, {"\xD0\x9D\xD0\x90\xD0\x97\xD0\x92", "\xC3\xA9 %%c \xE4\xB8\xAD"}}},
    // Where the chain breaks, the rest is found by owner (here the space's mode) in handle order.
    {"entity cycle",
     [](Drawing& d) {
         d.model_last = 0x99;
         d.entities[0x40] = linked(Entity{}, 0, 0x45);
         d.entities[0x45] = linked(Entity{}, 0x40, 0x40);
     },
     kBoth},
    {"dangling link", [](Drawing& d) { d.entities[0x40] = linked(Entity{}, 0, 0x50); }, kBoth, {}, 1},
    {"first entity absent", [](Drawing& d) { d.model_first = 0x3F; }, kBoth, {}, 1},
    {"attribute links to itself", [](Drawing& d) { d.entities[0x42] = linked(owned(0x41, "DWG_NO", "A-1"), 0, 0x42); },
     kBoth},
    {"map points past the file", [](Drawing& d) { d.offset_shift[0x43] = 1 << 20; }, {{"DWG_NO", "A-1"}}, {}, 1},
    {"object larger than the file", [](Drawing& d) { d.size_override[0x42] = 0x7FFF; }, {{"TITLE", "PLAN"}}, {}, 1},
    {"map points into an object", [](Drawing& d) { d.offset_shift[0x42] = 3; }, {{"TITLE", "PLAN"}}, {}, 1},
    {"absurd reactor count", [](Drawing& d) { d.entities[0x41].reactors = 4000000; }, {}, {}, 1},
    // A block control object among the entities: the links went astray.
    {"link to a table record", [](Drawing& d) { d.entities[0x40] = linked(Entity{}, 0, 0x20); }, kBoth, {}, 1},
    {"space record does not open", [](Drawing& d) { d.size_override[synthetic::kModel] = 0x7FFF; }, kBoth, {}, 1},
    // No header variables to say where the control object is.
    {"block control found by type", [](Drawing& d) { d.control = 0x7508; }, kBoth},
    {"64-bit handles", move_to_64_bits, kBoth},
    {"object map CRC, sane page", [](Drawing& d) { d.bad_map_crc = true; }, kBoth, {}, 0, 1},
    {"object map CRC, offset outside",
     [](Drawing& d) {
         d.bad_map_crc = true;
         d.offset_shift[0x45] = 1 << 20;
     },
     {},
     {},
     0,
     0,
     dwg::Error::Corrupt},
};

TEST(Format, SyntheticDrawings)
{
    for (const Fixture& fx : kFixtures) {
        SCOPED_TRACE(fx.name);
        Drawing drawing = title_block();
        fx.edit(drawing);
        dwg::Drawing d;
        ASSERT_EQ(dwg::Drawing::parse(synthetic::build(drawing), d), fx.open_error);
        if (fx.open_error != dwg::Error::Ok)
            continue;
        corpus::Pairs model, paper;
        EXPECT_EQ(corpus::space(d, "*Model_Space", model), dwg::Error::Ok);
        EXPECT_EQ(corpus::space(d, "*Paper_Space", paper), dwg::Error::Ok);
        EXPECT_EQ(model, fx.model);
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
