// Damaged input ends in an error or a result: never a crash, a hang or a
// wild allocation (the sanitizer build runs this). One property per version
// family over a few of its corpus drawings, cut short and with bytes flipped;
// where damage can reach single entities, a damaged entity costs only itself.

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>

#include "corpus.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool known(dwg::Error e) { return std::strcmp(dwg::message(e), "unknown error") != 0; }

struct Read {
    dwg::Error error = dwg::Error::Ok;
    corpus::Pairs model, paper;
    dwg::Warnings warnings;
};

// Reads everything an extraction would.
Read read_all(Bytes bytes)
{
    Read r;
    dwg::Drawing d;
    r.error = dwg::Drawing::parse(std::move(bytes), d);
    if (r.error != dwg::Error::Ok)
        return r;
    const dwg::Error p = corpus::space(d, "*Paper_Space", r.paper);
    r.error = corpus::space(d, "*Model_Space", r.model);
    if (r.error == dwg::Error::Ok)
        r.error = p;
    r.warnings = d.warnings();
    return r;
}

// Up to three of a family's smaller drawings of different versions (and
// kinds of DXF), those with attributes first.
struct Family {
    const char* name;
    std::vector<const char*> files;  // in the corpus folder
    bool checked;                    // checksums or codes cover every byte read
};

const Family kFamilies[] = {
    {"R1_R2",
     {"dwg/mjs210_t_data_entity_attrib_ATTRIB1.dwg", "dwg/ldwg_r2.6_entities.dwg",
      "dwg/mjs140_t_data_entity_arc_ARC1.dwg"},
     false},
    {"R9_R10", {"dwg/ldwg_r9_entities.dwg", "dwg/ldwg_r10_entities.dwg"}, false},
    {"R11_R12", {"dwg/ldwg_r11_entities_2d.dwg"}, false},
    {"R13_2000", {"generated/c_case_variants.dwg", "dwg/acsh_samples_sample_AC1014_a070b6e.dwg"}, false},
    {"R2004", {"dwg/ocad_test_ACAD_r2004_sample_b735129.dwg"}, true},
    {"R2007", {"dwg/adsk_Res_Grid_Plan.dwg"}, true},
    {"R2010_on",
     {"dwg/ldwg_2010_gh209_1.dwg", "dwg/aspn_Examples_Data_DWG_Drawings_AutoCad_Sample.dwg",
      "dwg/ldwg_example_2018.dwg"},
     true},
    {"DXF", {"dxf/ldwg_r2.10_entities.dxf", "dxf/ldwg_r2.6_entities.dxf", "dxf/ldwg_r9_entities.dxf"}, false},
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.name; }

// The handles of a space's entities other than attributes, in order.
std::vector<std::uint64_t> top_entities(const dwg::Drawing& d)
{
    std::uint64_t block = 0;
    std::vector<dwg::Entity> list;
    std::vector<std::uint64_t> out;
    if (d.find_block("*Model_Space", block) == dwg::Error::Ok && d.entities(block, list) == dwg::Error::Ok)
        for (const dwg::Entity& e : list)
            if (e.kind != dwg::EntityKind::Attribute)
                out.push_back(e.handle);
    return out;
}

class Damage : public testing::TestWithParam<Family> {};

TEST_P(Damage, AnErrorOrAResult)
{
    std::mt19937 rng(11);
    for (const char* file : GetParam().files) {
        SCOPED_TRACE(file);
        const Bytes whole = corpus::read_file(corpus::dir() / file);
        ASSERT_FALSE(whole.empty());
        const Read intact = read_all(whole);
        ASSERT_EQ(intact.error, dwg::Error::Ok);
        for (int i = 0; i < 24; ++i) {
            const std::size_t cut = i == 0 ? 0x30 : rng() % whole.size();
            const dwg::Error e = read_all({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)}).error;
            EXPECT_TRUE(known(e)) << "cut at " << cut;
            if (i == 0) {
                EXPECT_NE(e, dwg::Error::Ok);
            }
        }
        for (int i = 0; i < 48; ++i) {
            // Mostly single bits, sometimes a run of garbage.
            Bytes copy = whole;
            const std::size_t at = rng() % copy.size();
            const std::size_t n = i % 4 == 3 ? std::min<std::size_t>(64, copy.size() - at) : 1;
            for (std::size_t k = 0; k < n; ++k) copy[at + k] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            const Read r = read_all(std::move(copy));
            EXPECT_TRUE(known(r.error)) << "flip at " << at;
            // Where every byte is covered, damage is noticed or changes nothing.
            if (GetParam().checked && r.error == dwg::Error::Ok && !r.warnings.any()) {
                EXPECT_EQ(r.model, intact.model) << "flip at " << at;
                EXPECT_EQ(r.paper, intact.paper) << "flip at " << at;
            }
        }
    }
}

// A flipped byte that breaks entities of model space but not the drawing's
// structure: the space is still read, each lost entity counted, the others
// kept in their order. From 2004 on checksums and codes cover every page, so
// that such damage refuses the drawing (AnErrorOrAResult); the walk around a
// missing entity is format_test.cpp's.
TEST(DanglingEntity, KeepsTheRest)
{
    bool found = false;
    for (const char* file : kFamilies[3].files) {
        const Bytes whole = corpus::read_file(corpus::dir() / file);
        dwg::Drawing intact;
        ASSERT_EQ(dwg::Drawing::parse(whole, intact), dwg::Error::Ok);
        const auto all = top_entities(intact);
        for (std::size_t at = 0x100; at < whole.size() && !found && all.size() >= 3;
             at += std::max<std::size_t>(7, whole.size() / 500)) {
            Bytes copy = whole;
            copy[at] ^= 0x5A;
            dwg::Drawing d;
            if (dwg::Drawing::parse(std::move(copy), d) != dwg::Error::Ok)
                continue;
            const auto kept = top_entities(d);
            if (d.warnings().skipped_objects == 0 || kept.empty())
                continue;
            found = true;
            SCOPED_TRACE(std::string(file) + ", flip at " + std::to_string(at));
            EXPECT_GE(kept.size() + d.warnings().skipped_objects, all.size());
            // Damaged links may reach other objects; the drawing's own keep their order.
            auto next = all.begin();
            for (const std::uint64_t h : kept)
                if (std::find(all.begin(), all.end(), h) != all.end()) {
                    next = std::find(next, all.end(), h);
                    ASSERT_NE(next, all.end()) << "entity " << h << " out of order";
                }
        }
    }
    EXPECT_TRUE(found);
}

INSTANTIATE_TEST_SUITE_P(Families, Damage, testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

// Each refusal names its fault, in a phrase that reads after a sentence.
TEST(Refusals, NameTheirReason)
{
    const auto r2000 = corpus::read_file(corpus::dir() / "generated" / "a_title_block.dwg");
    const auto r2004 = corpus::read_file(corpus::dir() / "dwg" / "archimed_examples_dwg_circle2004.dwg");
    ASSERT_GT(r2000.size(), 0x100u);
    ASSERT_GT(r2004.size(), 0x100u);
    auto changed = [](Bytes b, std::size_t at, std::uint8_t x) {
        b[at] ^= x;
        return b;
    };
    auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    const struct {
        const char* name;
        Bytes bytes;
        dwg::Error error;
    } cases[] = {
        {"empty", {}, dwg::Error::NotDwg},
        {"text", text("This is a text file that someone named .dwg\r\n"), dwg::Error::NotDwg},
        {"two letters", text("AC"), dwg::Error::NotDwg},
        {"a release not decoded", text("AC1010" + std::string(200, '\0')), dwg::Error::UnsupportedVersion},
        {"R12 header of zeros", text("AC1009" + std::string(200, '\0')), dwg::Error::Corrupt},
        {"R2000 cut", {r2000.begin(), r2000.begin() + 0x30}, dwg::Error::Truncated},
        {"2004 cut",
         {r2004.begin(), r2004.begin() + static_cast<std::ptrdiff_t>(r2004.size() / 2)},
         dwg::Error::Truncated},
        {"R2000 records' sentinel", changed(r2000, 0x19 + 6 * 9 + 2, 0x40), dwg::Error::Corrupt},
        {"2004 file header", changed(r2004, 0x85, 0x40), dwg::Error::Corrupt},
        // Security flags: data encrypted with a password.
        {"2004 encrypted", changed(changed(r2004, 0x85, 0x40), 0x18, 1), dwg::Error::Encrypted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read_all(c.bytes).error, c.error);
        const std::string reason = dwg::message(c.error);
        EXPECT_TRUE(std::islower(static_cast<unsigned char>(reason.front())) && reason.back() != '.') << reason;
    }
    dwg::Drawing d;
    EXPECT_EQ(dwg::Drawing::open(corpus::dir() / "no such drawing.dwg", d), dwg::Error::FileNotFound);
    EXPECT_EQ(dwg::Drawing::open(corpus::dir(), d), dwg::Error::ReadFailed);
    std::uint64_t block = 0;
    EXPECT_EQ(d.find_block("*Model_Space", block), dwg::Error::BadArgument);
}

}  // namespace
