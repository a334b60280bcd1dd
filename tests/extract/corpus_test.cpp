// The corpus read once, through the component as a run reads it (several
// drawings at once through the read-ahead, so that readers sharing state
// would show): every drawing of a version we read, and every DXF save that
// agrees with its drawing, gives exactly its reference in both spaces; the
// other DXF saves and the broken drawings are read to an end.
// dwgattrs, which prints the same lists, gets a smoke test.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <memory>

#include "corpus.h"
#include "modOdxAtributes.h"
#include "readahead.h"

namespace {

corpus::Pairs pairs(const extract::SpaceRead& r)
{
    corpus::Pairs out;
    for (const auto& a : r.Records) out.emplace_back(a.Tag, a.Value);
    return out;
}

TEST(Corpus, EveryDrawingGivesItsReference)
{
    const auto refs = corpus::references();
    struct Case {
        std::filesystem::path file;
        const corpus::Reference* ref;  // none: no lists expected
        bool opens = true;             // a row for the drawing (else an error will do)
    };
    std::vector<Case> cases;
    std::map<std::string, const corpus::Reference*> by_id;
    std::set<std::string> versions;
    for (const corpus::Reference& r : refs) {
        by_id[r.id] = &r;
        if (corpus::read_versions().count(r.version)) {
            versions.insert(r.version);
            cases.push_back({corpus::dir() / r.file, &r});
        }
    }
    for (const corpus::DxfTwin& twin : corpus::dxf_twins())
        cases.push_back({corpus::dir() / "dxf" / twin.file, twin.agrees ? by_id.at(twin.id) : nullptr, false});
    // Sound drawings without a reference, and a faulty writer's output.
    std::error_code ec;
    for (const char* sub : {"unsettled", "broken"})
        for (const auto& entry : std::filesystem::directory_iterator(corpus::dir() / sub, ec))
            cases.push_back({entry.path(), nullptr, sub == std::string("unsettled")});
    // A read that silently found nothing would pass the drawings without
    // attributes: every version but AC1013 (no drawing in the corpus) is met.
    versions.insert("AC1013");
    EXPECT_EQ(versions, corpus::read_versions());

    extract::OrderedReadAhead<std::pair<extract::SpaceRead, extract::SpaceRead>> ahead(
        cases.size(),
        [&](std::size_t i) {
            return std::pair{extract::ReadSpace(cases[i].file, "M"), extract::ReadSpace(cases[i].file, "P")};
        },
        4);
    std::pair<extract::SpaceRead, extract::SpaceRead> got;
    for (std::size_t i = 0; ahead.next(got); ++i) {
        SCOPED_TRACE(cases[i].file.string());
        // A drawing without a space has no attributes there.
        if (cases[i].opens || cases[i].ref) {
            EXPECT_TRUE(extract::GivesRow(got.first.Code) && extract::GivesRow(got.second.Code));
        }
        if (!cases[i].ref)
            continue;
        EXPECT_EQ(pairs(got.first), cases[i].ref->model);
        EXPECT_EQ(pairs(got.second), cases[i].ref->paper);
    }
}

// dwgattrs's exit code, standard output and error for `args`.
int dwgattrs(const std::string& args, std::string& out)
{
    const std::string command = "'" DWGATTRS_PATH "' " + args + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    out.clear();
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0;) out.append(buf, n);
    const int status = pclose(pipe.release());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Dwgattrs, PrintsTheReferencesFormAndFailsWithACode)
{
    std::string out;
    // Awkward values (quotes, TAB, CJK) and both spaces.
    for (const char* id : {"gen_r2000_f_awkward_values", "gen_r2000_e_both_spaces"}) {
        std::ifstream in(corpus::dir() / "expected" / (std::string(id) + ".json"));
        const auto ref = nlohmann::json::parse(in);
        ASSERT_EQ(dwgattrs("'" + (corpus::dir() / ref.at("file").get<std::string>()).string() + "'", out), 0) << out;
        const auto got = nlohmann::json::parse(out);
        EXPECT_EQ(got.at("version"), "AC1015");
        EXPECT_EQ(corpus::pairs(got.at("model")), corpus::pairs(ref.at("model"))) << id;
        EXPECT_EQ(corpus::pairs(got.at("paper")), corpus::pairs(ref.at("paper"))) << id;
    }
    EXPECT_EQ(dwgattrs("'" + (corpus::dir() / "no such drawing.dwg").string() + "'", out), 1);
    EXPECT_NE(out.find("no such drawing.dwg: "), std::string::npos) << out;
    EXPECT_EQ(dwgattrs("", out), 2);
}

}  // namespace
