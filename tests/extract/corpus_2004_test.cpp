// Every 2004, 2010, 2013 and 2018 drawing of the corpus, from outside the
// library: through the drawing component and through tools/dwgattrs. Each
// space's attributes in entity order must be the reference's.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include "json_lite.h"
#include "modOdxAtributes.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

const std::filesystem::path corpus_dir = QUORVANE_CORPUS_DIR;

struct Reference {
    std::string file;
    Pairs model, paper;
};

Pairs pairs(const json_lite::Value* list)
{
    Pairs out;
    if (list)
        for (const auto& item : list->array)
            if (item.array.size() >= 2)
                out.emplace_back(item.array[0].string, item.array[1].string);
    return out;
}

std::vector<Reference> references(const std::string& version)
{
    std::vector<Reference> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(corpus_dir / "expected", ec)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        json_lite::Value ref;
        if (!json_lite::Parser(text).parse(ref) || !ref.get("version") || ref.get("version")->string != version ||
            !ref.get("file"))
            continue;
        out.push_back({ref.get("file")->string, pairs(ref.get("model")), pairs(ref.get("paper"))});
    }
    std::sort(out.begin(), out.end(), [](const Reference& a, const Reference& b) { return a.file < b.file; });
    return out;
}

// The corpus's own counts, so that a silent empty read cannot pass the
// drawings without attributes.
struct VersionCase {
    const char* version;
    std::size_t drawings;
    std::size_t attributes;
};

class Corpus2004Family : public testing::TestWithParam<VersionCase> {};

TEST_P(Corpus2004Family, ComponentMatchesEveryReference)
{
    const auto refs = references(GetParam().version);
    EXPECT_EQ(refs.size(), GetParam().drawings);
    std::size_t attributes = 0;
    extract::modOdxAtributes m;
    for (const Reference& r : refs) {
        SCOPED_TRACE(r.file);
        for (const auto& [space, expected] : {std::pair{"M", &r.model}, std::pair{"P", &r.paper}}) {
            EXPECT_EQ(m.ReadSpaceAttributes(corpus_dir / r.file, space), 0);
            Pairs got;
            for (const auto& a : m.DrawingAttributes)
                got.emplace_back(a.Tag, a.Value);
            EXPECT_EQ(got, *expected) << space;
            attributes += got.size();
        }
    }
    EXPECT_EQ(attributes, GetParam().attributes);
}

TEST_P(Corpus2004Family, DwgattrsMatchesEveryReference)
{
    const auto refs = references(GetParam().version);
    EXPECT_EQ(refs.size(), GetParam().drawings);
    std::size_t attributes = 0;
    for (const Reference& r : refs) {
        SCOPED_TRACE(r.file);
        const std::string command = "'" DWGATTRS_PATH "' '" + (corpus_dir / r.file).string() + "'";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
        ASSERT_TRUE(pipe);
        std::string text;
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0;)
            text.append(buf, n);
        EXPECT_EQ(pclose(pipe.release()), 0);
        json_lite::Value got;
        ASSERT_TRUE(json_lite::Parser(text).parse(got)) << text;
        ASSERT_TRUE(got.get("version"));
        EXPECT_EQ(got.get("version")->string, GetParam().version);
        EXPECT_EQ(pairs(got.get("model")), r.model);
        EXPECT_EQ(pairs(got.get("paper")), r.paper);
        attributes += pairs(got.get("model")).size() + pairs(got.get("paper")).size();
    }
    EXPECT_EQ(attributes, GetParam().attributes);
}

INSTANTIATE_TEST_SUITE_P(Versions, Corpus2004Family,
                         testing::Values(VersionCase{"AC1018", 38, 7}, VersionCase{"AC1024", 40, 9},
                                         VersionCase{"AC1027", 35, 178}, VersionCase{"AC1032", 52, 94}),
                         [](const auto& info) { return std::string(info.param.version); });

}  // namespace
