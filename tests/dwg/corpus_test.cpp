// Every corpus drawing of a version we read must give exactly the
// reference's attributes, in order, in both spaces.

#include <gtest/gtest.h>

#include "corpus.h"

namespace {

const std::vector<corpus::Reference>& cases()
{
    static const std::vector<corpus::Reference> c = corpus::references();
    return c;
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
        dwg::Drawing d;
        ASSERT_EQ(dwg::Drawing::open(corpus::dir() / c.file, d), dwg::Error::Ok);
        EXPECT_EQ(d.version(), c.version);
        corpus::Pairs model, paper;
        EXPECT_EQ(corpus::space(d, "*Model_Space", model), dwg::Error::Ok);
        EXPECT_EQ(corpus::space(d, "*Paper_Space", paper), dwg::Error::Ok);
        EXPECT_EQ(model, c.model);
        EXPECT_EQ(paper, c.paper);
    }
    // AC1013 (a late R13 release) has no drawing in the corpus.
    if (GetParam() != "AC1013") {
        EXPECT_GT(n, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusVersion, testing::ValuesIn(std::vector<std::string>(corpus::read_versions().begin(), corpus::read_versions().end())));

}  // namespace
