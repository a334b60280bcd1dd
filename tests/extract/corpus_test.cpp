// Corpus drawings read from outside the library, through the drawing
// component and through tools/dwgattrs. Each space's attributes in entity
// order must be the reference's.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>

#include "corpus.h"
#include "modOdxAtributes.h"

namespace {

// The corpus's own counts, so that a silent empty read cannot pass the
// drawings without attributes.
struct VersionCase {
    const char* version;
    std::size_t drawings;
    std::size_t attributes;
    bool through_dwgattrs;  // 2007 drawings are checked through the component only
};

const std::vector<VersionCase> kVersions = {
    {"AC1018", 38, 7, true}, {"AC1021", 39, 685, false}, {"AC1024", 40, 9, true},
    {"AC1027", 35, 178, true}, {"AC1032", 52, 94, true},
};

void PrintTo(const VersionCase& v, std::ostream* os) { *os << v.version; }

std::vector<VersionCase> dwgattrs_versions()
{
    std::vector<VersionCase> out;
    for (const VersionCase& v : kVersions)
        if (v.through_dwgattrs)
            out.push_back(v);
    return out;
}

std::vector<corpus::Reference> references(const std::string& version)
{
    std::vector<corpus::Reference> out;
    for (auto& r : corpus::references())
        if (r.version == version)
            out.push_back(std::move(r));
    return out;
}

const auto kName = [](const auto& info) { return std::string(info.param.version); };

class ComponentCorpus : public testing::TestWithParam<VersionCase> {};

TEST_P(ComponentCorpus, MatchesEveryReference)
{
    const auto refs = references(GetParam().version);
    EXPECT_EQ(refs.size(), GetParam().drawings);
    std::size_t attributes = 0;
    extract::modOdxAtributes m;
    for (const auto& r : refs) {
        SCOPED_TRACE(r.file);
        for (const auto& [space, expected] : {std::pair{"M", &r.model}, std::pair{"P", &r.paper}}) {
            EXPECT_EQ(m.ReadSpaceAttributes(corpus::dir() / r.file, space), 0);
            corpus::Pairs got;
            for (const auto& a : m.DrawingAttributes)
                got.emplace_back(a.Tag, a.Value);
            EXPECT_EQ(got, *expected) << space;
            attributes += got.size();
        }
    }
    EXPECT_EQ(attributes, GetParam().attributes);
}

INSTANTIATE_TEST_SUITE_P(Versions, ComponentCorpus, testing::ValuesIn(kVersions), kName);

// dwgattrs's output for a file; false when it fails or prints no JSON.
bool dwgattrs(const std::filesystem::path& file, json_lite::Value& got)
{
    const std::string command = "'" DWGATTRS_PATH "' '" + file.string() + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return false;
    std::string text;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0;)
        text.append(buf, n);
    return pclose(pipe.release()) == 0 && json_lite::Parser(text).parse(got) && got.get("version");
}

class DwgattrsCorpus : public testing::TestWithParam<VersionCase> {};

TEST_P(DwgattrsCorpus, MatchesEveryReference)
{
    const auto refs = references(GetParam().version);
    EXPECT_EQ(refs.size(), GetParam().drawings);
    std::size_t attributes = 0;
    for (const auto& r : refs) {
        SCOPED_TRACE(r.file);
        json_lite::Value got;
        ASSERT_TRUE(dwgattrs(corpus::dir() / r.file, got));
        EXPECT_EQ(got.get("version")->string, GetParam().version);
        EXPECT_EQ(corpus::pairs(got.get("model")), r.model);
        EXPECT_EQ(corpus::pairs(got.get("paper")), r.paper);
        attributes += corpus::pairs(got.get("model")).size() + corpus::pairs(got.get("paper")).size();
    }
    EXPECT_EQ(attributes, GetParam().attributes);
}

INSTANTIATE_TEST_SUITE_P(Versions, DwgattrsCorpus, testing::ValuesIn(dwgattrs_versions()), kName);

// DXF saves of corpus drawings, ASCII and binary: those that agree with
// their drawing's reference give it through dwgattrs and the component.
TEST(DxfCorpus, AgreeingTwinsGiveTheirDrawingsReference)
{
    std::map<std::string, corpus::Reference> by_id;
    for (auto& r : corpus::references())
        by_id[r.id] = std::move(r);
    std::size_t twins = 0, attributes = 0;
    extract::modOdxAtributes m;
    for (const corpus::DxfTwin& twin : corpus::dxf_twins()) {
        if (!twin.agrees)
            continue;
        SCOPED_TRACE(twin.file);
        ++twins;
        const auto path = corpus::dir() / "dxf" / twin.file;
        const corpus::Reference& r = by_id[twin.id];
        json_lite::Value got;
        ASSERT_TRUE(dwgattrs(path, got));
        EXPECT_EQ(got.get("version")->string, twin.version);
        EXPECT_EQ(corpus::pairs(got.get("model")), r.model);
        EXPECT_EQ(corpus::pairs(got.get("paper")), r.paper);
        for (const auto& [space, expected] : {std::pair{"M", &r.model}, std::pair{"P", &r.paper}}) {
            EXPECT_EQ(m.ReadSpaceAttributes(path, space), 0);
            corpus::Pairs read;
            for (const auto& a : m.DrawingAttributes)
                read.emplace_back(a.Tag, a.Value);
            EXPECT_EQ(read, *expected) << space;
            attributes += read.size();
        }
    }
    EXPECT_EQ(twins, 81u);
    EXPECT_EQ(attributes, 77u);
}

}  // namespace
