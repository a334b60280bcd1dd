// Every 2007 drawing of the corpus read through the drawing component: each
// space's attributes in entity order, as the reference lists them.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "json_lite.h"
#include "modOdxAtributes.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

const std::filesystem::path corpus = QUORVANE_CORPUS_DIR;

struct Reference {
    std::string id;
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

std::vector<Reference> references_2007()
{
    std::vector<Reference> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(corpus / "expected", ec)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        json_lite::Value ref;
        if (!json_lite::Parser(text).parse(ref) || !ref.get("version") || ref.get("version")->string != "AC1021")
            continue;
        out.push_back({entry.path().stem().string(), ref.get("file")->string, pairs(ref.get("model")),
                       pairs(ref.get("paper"))});
    }
    std::sort(out.begin(), out.end(), [](const Reference& a, const Reference& b) { return a.id < b.id; });
    return out;
}

TEST(Component2007, EveryDrawingMatchesItsReferenceInBothSpaces)
{
    const auto refs = references_2007();
    EXPECT_EQ(refs.size(), 39u);
    std::size_t attributes = 0;
    extract::modOdxAtributes m;
    for (const Reference& r : refs) {
        SCOPED_TRACE(r.file);
        for (const auto& [space, expected] : {std::pair{"M", &r.model}, std::pair{"P", &r.paper}}) {
            EXPECT_EQ(m.ReadSpaceAttributes(corpus / r.file, space), 0);
            Pairs got;
            for (const auto& a : m.DrawingAttributes)
                got.emplace_back(a.Tag, a.Value);
            EXPECT_EQ(got, *expected) << space;
            attributes += got.size();
        }
    }
    // The corpus's count for this version; a silent empty read would pass the
    // comparisons of drawings without attributes.
    EXPECT_EQ(attributes, 685u);
}

}  // namespace
