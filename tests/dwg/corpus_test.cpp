// Every corpus drawing of a version we read must give exactly the
// reference's attributes, in order, in both spaces.

#include <gtest/gtest.h>

#include <map>

#include "corpus.h"

namespace {

const std::vector<corpus::Reference>& cases()
{
    static const std::vector<corpus::Reference> c = corpus::references();
    return c;
}

// The file gives `version` and exactly the reference's lists; returns the
// number of attributes read.
std::size_t expect_reference(const std::filesystem::path& file, const std::string& version,
                             const corpus::Reference& ref)
{
    dwg::Drawing d;
    EXPECT_EQ(dwg::Drawing::open(file, d), dwg::Error::Ok);
    EXPECT_EQ(d.version(), version);
    corpus::Pairs model, paper;
    EXPECT_EQ(corpus::space(d, "*Model_Space", model), dwg::Error::Ok);
    EXPECT_EQ(corpus::space(d, "*Paper_Space", paper), dwg::Error::Ok);
    EXPECT_EQ(model, ref.model);
    EXPECT_EQ(paper, ref.paper);
    return model.size() + paper.size();
}

// One test per version; each drawing is a scoped case inside it, so that a
// failure names the drawing.
class CorpusVersion : public testing::TestWithParam<std::string> {};

TEST_P(CorpusVersion, EveryDrawingMatchesItsReference)
{
    int n = 0;
    for (const corpus::Reference& c : cases()) {
        if (c.version != GetParam())
            continue;
        ++n;
        SCOPED_TRACE(c.file);
        expect_reference(corpus::dir() / c.file, c.version, c);
    }
    // AC1013 (a late R13 release) has no drawing in the corpus.
    if (GetParam() != "AC1013") {
        EXPECT_GT(n, 0);
    }
}

// The DXF saves of corpus drawings that agree with their drawing's reference
// give exactly it; the others are read to an end, with a result or an error.
TEST(CorpusDxf, EveryAgreeingTwinMatchesItsDrawingsReference)
{
    std::map<std::string, const corpus::Reference*> by_id;
    for (const corpus::Reference& c : cases())
        by_id[c.id] = &c;
    std::size_t agreeing = 0, attributes = 0;
    for (const corpus::DxfTwin& twin : corpus::dxf_twins()) {
        SCOPED_TRACE(twin.file);
        const auto file = corpus::dir() / "dxf" / twin.file;
        if (!twin.agrees) {
            dwg::Drawing d;
            dwg::Drawing::open(file, d);
            continue;
        }
        ++agreeing;
        ASSERT_TRUE(by_id.count(twin.id));
        attributes += expect_reference(file, twin.version, *by_id[twin.id]);
    }
    // The corpus's own counts, so that a silent empty read cannot pass.
    EXPECT_EQ(agreeing, 81u);
    EXPECT_EQ(attributes, 77u);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusVersion, testing::ValuesIn(std::vector<std::string>(corpus::read_versions().begin(), corpus::read_versions().end())));

}  // namespace
