// DXF files made here for what the corpus lacks: paper-space attributes by
// flag and by layout, binary files with one- and two-byte group codes, code
// pages, escapes, multi-line attributes, the old keyword format and damage.
// Each case is read from memory and from a file, which must agree.

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "corpus.h"
#include "dxf_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace dxf_writer;

struct Case {
    const char* name;
    std::string bytes;
    dwg::Error error;
    corpus::Pairs model, paper;
    const char* version = "";
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// R12: no handles, the paper-space flag decides; attributes inside block
// definitions never count, nor do attributes without a block reference.
const Tags kR12 =
    drawing(header("AC1009"), block("TITLE", {{0, "ATTDEF"}, {8, "0"}, {1, "x"}, {2, "DEF"}, {3, "prompt"}}), [] {
        Tags t = insert({{"MODEL_A", "1"}, {"MODEL_B", "2"}});
        append(t, line());
        append(t, insert({{"SHEET", "A1"}}, true));
        append(t, {{0, "ATTRIB"}, {1, "stray"}, {2, "STRAY"}});
        append(t, insert({}));
        append(t, insert({{"LAST", "3"}}));
        return t;
    }());
const corpus::Pairs kR12Model = {{"MODEL_A", "1"}, {"MODEL_B", "2"}, {"LAST", "3"}};
const corpus::Pairs kR12Paper = {{"SHEET", "A1"}};

// 2000: the active layout's entities are in ENTITIES with the flag; another
// layout's live in its *Paper_Space0 block and do not count.
const Tags kLayouts = drawing(
    header("AC1015"),
    [] {
        Tags t = block("*Model_Space", {});
        append(t, block("*Paper_Space", {}));
        append(t, block("*Paper_Space0", insert({{"OTHER", "x"}}, true, "A0")));
        return t;
    }(),
    [] {
        Tags t = insert({{"PAPER", "p"}}, true, "B1");
        append(t, insert({{"MODEL", "m"}}, false, "C2"));
        return t;
    }());

Tags one_attribute(const std::string& version, const std::string& codepage, const std::string& value)
{
    return drawing(header(version, codepage), {}, insert({{"T", value}}));
}

// 2018: a multi-line attribute's value is its embedded text; a single-line
// one (type 1) keeps its own even where an embedded text follows.
Tags multiline_attributes()
{
    Tags entities = {{0, "INSERT"}, {5, "A0"}, {66, "1"}, {2, "B"}};
    for (const char* type : {"2", "1"})
        append(entities, {{0, "ATTRIB"},
                          {100, "AcDbText"},
                          {1, "own"},
                          {71, "0"},
                          {100, "AcDbAttribute"},
                          {2, "NOTE"},
                          {70, "0"},
                          {71, type},
                          {101, "Embedded Object"},
                          {71, "1"},
                          {3, "first part, "},
                          {1, "last\\Ppart"}});
    append(entities, {{0, "SEQEND"}});
    return drawing(header("AC1032", "ANSI_1252"), {}, entities);
}

std::string cut(std::string s, std::size_t keep) { return s.substr(0, keep); }

std::vector<Case> cases()
{
    const std::string r2000 = ascii(kLayouts);
    std::string long_line = ascii(header("AC1015"));
    long_line += "999\r\n" + std::string(std::size_t{3} << 20, 'x') + "\r\n";
    return {
        {"R12Ascii", ascii(kR12), dwg::Error::Ok, kR12Model, kR12Paper, "AC1009"},
        {"R12Binary", binary(kR12, false), dwg::Error::Ok, kR12Model, kR12Paper, "AC1009"},
        {"R2000Layouts", r2000, dwg::Error::Ok, {{"MODEL", "m"}}, {{"PAPER", "p"}}, "AC1015"},
        {"R2000Binary", binary(kLayouts, true), dwg::Error::Ok, {{"MODEL", "m"}}, {{"PAPER", "p"}}, "AC1015"},
        {"Codepage1251",
         ascii(one_attribute("AC1015", "ANSI_1251", "\xCF\xF0\xE8\xE2\xE5\xF2")),
         dwg::Error::Ok,
         {{"T", "Привет"}},
         {},
         "AC1015"},
        {"Utf8From2007",
         ascii(one_attribute("AC1021", "ANSI_1251", "Привет")),
         dwg::Error::Ok,
         {{"T", "Привет"}},
         {},
         "AC1021"},
        {"Escapes",
         ascii(one_attribute("AC1015", "ANSI_1252", "caf\\U+00E9 \\M+18140|a^Ib^ c^")),
         dwg::Error::Ok,
         {{"T", "café \xE3\x80\x80|a\tb^c^"}},
         {},
         "AC1015"},
        {"Multiline2018",
         ascii(multiline_attributes()),
         dwg::Error::Ok,
         {{"NOTE", "first part, last\\Ppart"}, {"NOTE", "own"}},
         {},
         "AC1032"},
        {"NoHeader", ascii(drawing({}, {}, insert({{"T", "v"}}))), dwg::Error::Ok, {{"T", "v"}}, {}, ""},
        {"NoEofAfterLastSection",
         cut(r2000, r2000.size() - 10),
         dwg::Error::Ok,
         {{"MODEL", "m"}},
         {{"PAPER", "p"}},
         "AC1015"},
        {"KeywordFormat", "EXTENTS,1\r\n0.000000,8.000000\r\nLIMITS,1\r\n", dwg::Error::DxfKeywordFormat, {}, {}},
        {"CutInsideSection", cut(r2000, r2000.size() / 2), dwg::Error::Truncated, {}, {}},
        {"CodeWithoutValue", cut(r2000, r2000.find("ENDSEC")), dwg::Error::Truncated, {}, {}},
        {"GarbageCode", ascii(header("AC1015")) + "  x\r\nLINE\r\n", dwg::Error::Corrupt, {}, {}},
        {"GarbageAtTop", "  0\r\nLINE\r\n  8\r\n0\r\n", dwg::Error::Corrupt, {}, {}},
        {"LineTooLong", long_line, dwg::Error::Corrupt, {}, {}},
        {"BinaryCut", cut(binary(kLayouts, true), 300), dwg::Error::Truncated, {}, {}},
        {"BinaryBadCode", binary(header("AC1015"), true) + "\xff\x7f", dwg::Error::Corrupt, {}, {}},
        {"BinarySentinelOnly", cut(binary({}, true), 20), dwg::Error::Truncated, {}, {}},
    };
}

// Several checkouts may run these tests at once.
fs::path temp_file(const std::string& name)
{
    return fs::temp_directory_path() / ("quorvane_dxf_test_" + std::to_string(getpid()) + "_" + name + ".dxf");
}

class DxfFiles : public testing::TestWithParam<Case> {
protected:
    void expect(const dwg::Drawing& d, dwg::Error e)
    {
        ASSERT_EQ(e, GetParam().error);
        if (e != dwg::Error::Ok)
            return;
        corpus::Pairs model, paper;
        EXPECT_EQ(corpus::space(d, "*Model_Space", model), dwg::Error::Ok);
        EXPECT_EQ(corpus::space(d, "*Paper_Space", paper), dwg::Error::Ok);
        EXPECT_EQ(model, GetParam().model);
        EXPECT_EQ(paper, GetParam().paper);
        EXPECT_EQ(d.version(), GetParam().version);
    }
};

TEST_P(DxfFiles, ReadFromMemoryAndFromFile)
{
    const std::string& s = GetParam().bytes;
    dwg::Drawing d;
    expect(d, dwg::Drawing::parse({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}, d));

    const fs::path path = temp_file(GetParam().name);
    std::ofstream(path, std::ios::binary) << s;
    dwg::Drawing f;
    expect(f, dwg::Drawing::open(path, f));
    fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Cases, DxfFiles, testing::ValuesIn(cases()), [](const auto& info) { return info.param.name; });

}  // namespace
