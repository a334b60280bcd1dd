// Access output read back by mdb-reader: the columns from the ticked fields,
// one record per drawing with nulls apart from empty texts, and the values
// changed to fit (the file format itself is the jet library's).

#include "readback.h"
#include "test_support.h"

using namespace output;
using namespace output_test;

namespace {

class DatabaseTest : public RunTest, public ::testing::WithParamInterface<OutputKind> {
protected:
    bool jet3() const { return GetParam() == OutputKind::Access97; }
};

}  // namespace

TEST_P(DatabaseTest, OneRecordPerOpenedDrawingWithNullsAndEmptyTexts)
{
    const std::string cjk = "\xE5\x9B\xBE\xE7\xBA\xB8";  // two CJK characters
    drawings["/d/a.dwg"] = {0, {{"TITLE", "Pump", ""}, {"REV", "", ""}, {"TITLE", "second", ""}}};
    drawings["/d/empty.dwg"] = {0, {}};
    drawings["/d/c.dwg"] = {0,
                            {{"REV", "Caf\xC3\xA9 " + cjk, ""},
                             {"Location", "not the path", ""},
                             {"rev", "x", ""},
                             {"TITLE", "bad\xFF", ""}}};
    request.OutputPath = dir.file("out.csv");  // the extension does not decide the kind
    request.TemplateItems = {Field("TITLE"), Field("REV"), Field("SHEET", false), {true, "Sheet title", "TITLE", "M"}};
    request.Drawings = {
        {true, "/d/a.dwg"}, {true, "/d/missing.dwg"}, {false, "/d/a.dwg"}, {true, "/d/empty.dwg"}, {true, "/d/c.dwg"}};
    const RunResult result = Process(GetParam());
    ASSERT_TRUE(result.completed()) << result.Error.detail;
    EXPECT_EQ(result.DrawingsNotProcessed, 1);
    // Access 97 keeps to the ANSI code page, malformed UTF-8 is replaced in
    // both, and the report says where.
    const std::string rev = "Caf\xC3\xA9 " + (jet3() ? std::string("??") : cjk);
    const std::string bad = jet3() ? "bad?" : "bad\xEF\xBF\xBD";
    ASSERT_EQ(result.Adjustments.size(), 1u);
    const std::vector<std::string> replaced = jet3() ? std::vector<std::string>{"TITLE", "REV", "Sheet title"}
                                                     : std::vector<std::string>{"TITLE", "Sheet title"};
    EXPECT_EQ(result.Adjustments[0].Replaced, replaced);
    EXPECT_TRUE(result.Adjustments[0].Shortened.empty());

    std::string error;
    const auto table = ReadWithMdbReader(request.OutputPath, error);
    ASSERT_TRUE(table) << error;
    const std::string text = jet3() ? " text 255" : " text 510";
    EXPECT_EQ(table->columns,
              (std::vector<std::string>{"Location" + text, "TITLE" + text, "REV" + text, "Sheet title" + text}));
    EXPECT_EQ(table->rows, (std::vector<Cells>{{"/d/a.dwg", "Pump", "", "Pump"},
                                               {"/d/empty.dwg", std::nullopt, std::nullopt, std::nullopt},
                                               {"/d/c.dwg", bad, rev, bad}}));
}

TEST_P(DatabaseTest, LongValuesAndLargeRecordsAreShortened)
{
    std::string v300;
    while (v300.size() < 300) v300 += "0123456789";
    drawings["/d/long.dwg"] = {0, {{"F0", v300, ""}, {"F1", "short", ""}}};
    std::vector<extract::AttributeRecord> wide;
    for (int i = 0; i < 20; ++i) wide.push_back({"F" + std::to_string(i), std::string(250, 'x'), ""});
    drawings["/d/wide.dwg"] = {0, wide};
    drawings["/d/fine.dwg"] = {0, {{"F0", "ok", ""}}};
    request.OutputPath = dir.file("out.mdb");
    for (int i = 0; i < 20; ++i) request.TemplateItems.push_back(Field("F" + std::to_string(i)));
    request.Drawings = {{true, "/d/long.dwg"}, {true, "/d/wide.dwg"}, {true, "/d/fine.dwg"}};
    const RunResult result = Process(GetParam());
    ASSERT_TRUE(result.completed()) << result.Error.detail;
    ASSERT_EQ(result.Adjustments.size(), 2u);
    EXPECT_EQ(result.Adjustments[0].Drawing, "/d/long.dwg");
    EXPECT_EQ(result.Adjustments[0].Shortened, std::vector<std::string>{"F0"});
    EXPECT_EQ(result.Adjustments[1].Drawing, "/d/wide.dwg");
    EXPECT_EQ(result.Adjustments[1].Shortened.size(), 20u);

    const auto rows = ReadRows(GetParam(), request.OutputPath).value_or(Rows{});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][1], v300.substr(0, 255));
    EXPECT_EQ(rows[0][2], "short");
    // The wide record's values are cut to one common length, as long as fits.
    const std::size_t kept = rows[1][1].size();
    EXPECT_LT(kept, 250u);
    EXPECT_GT(kept, 50u);
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(rows[1][i], std::string(kept, 'x'));
    EXPECT_EQ(rows[2][1], "ok");
}

INSTANTIATE_TEST_SUITE_P(BothVersions, DatabaseTest, ::testing::Values(OutputKind::Access97, OutputKind::Access2000));
