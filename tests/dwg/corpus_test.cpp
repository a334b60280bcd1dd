// Every corpus drawing of a version we read must give exactly the
// reference's attributes, in order, in both spaces.

#include <gtest/gtest.h>

#include <algorithm>

#include "corpus.h"
#include "json_lite.h"

namespace {

struct Case {
    std::string id;
    std::string version;
    std::string file;  // relative to the corpus folder
    corpus::Pairs model, paper;
};

corpus::Pairs pairs(const json_lite::Value* list)
{
    corpus::Pairs out;
    if (!list)
        return out;
    for (const json_lite::Value& item : list->array)
        if (item.array.size() >= 2)
            out.emplace_back(item.array[0].string, item.array[1].string);
    return out;
}

std::vector<Case> load_cases()
{
    std::vector<Case> cases;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(corpus::dir() / "expected", ec)) {
        if (entry.path().extension() != ".json")
            continue;
        const auto bytes = corpus::read_file(entry.path());
        json_lite::Value ref;
        if (!json_lite::Parser(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())).parse(ref))
            continue;
        const json_lite::Value* version = ref.get("version");
        const json_lite::Value* file = ref.get("file");
        if (!version || !file || !corpus::read_versions().count(version->string))
            continue;
        cases.push_back({entry.path().stem().string(), version->string, file->string, pairs(ref.get("model")), pairs(ref.get("paper"))});
    }
    std::sort(cases.begin(), cases.end(), [](const Case& a, const Case& b) { return a.id < b.id; });
    return cases;
}

const std::vector<Case>& cases()
{
    static const std::vector<Case> c = load_cases();
    return c;
}

// One test per version; each drawing is a scoped case inside it, so that a
// failure names the drawing.
class CorpusVersion : public testing::TestWithParam<std::string> {};

TEST_P(CorpusVersion, EveryDrawingMatchesItsReference)
{
    int n = 0;
    for (const Case& c : cases()) {
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
