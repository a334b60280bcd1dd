// Access output read back by libmdb and mdb-reader: schema, rows, nulls, and
// the values that have to be changed to fit.

#include <algorithm>

#include "mdb_readers.h"
#include "run_fixture.h"

using namespace output;
using namespace output_test;

namespace {

class DatabaseTest : public RunTest, public ::testing::WithParamInterface<OutputKind> {
protected:
    int expectedJet() const { return GetParam() == OutputKind::Access97 ? 0 : 1; }
    int textBytes() const { return GetParam() == OutputKind::Access97 ? 255 : 510; }

    std::vector<Cells> ReadCells() {
        std::string error;
        auto cells = ReadWithMdbReader(request.OutputPath, error);
        EXPECT_TRUE(cells) << error;
        return cells.value_or(std::vector<Cells>{});
    }
};

std::string Repeat(const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

}  // namespace

TEST_P(DatabaseTest, OneRecordPerOpenedDrawingWithNullsAndEmptyTexts) {
    drawings["/d/a.dwg"] = {0, {{"TITLE", "Pump", ""}, {"REV", "", ""}, {"TITLE", "second", ""}}};
    drawings["/d/empty.dwg"] = {0, {}};
    drawings["/d/c.dwg"] = {0, {{"REV", "C", ""}, {"Location", "not the path", ""}, {"rev", "x", ""}}};
    // The file name's extension does not decide the kind.
    request.OutputPath = dir.file("out.csv");
    request.TemplateItems = {Field("TITLE"), Field("REV"), Field("SHEET", false), {true, "Sheet title", "TITLE", "M"}};
    request.Drawings = {{true, "/d/a.dwg"}, {true, "/d/missing.dwg"}, {false, "/d/a.dwg"},
                        {true, "/d/empty.dwg"}, {true, "/d/c.dwg"}};
    const RunResult result = Process(GetParam());
    ASSERT_TRUE(result.completed()) << result.Error.detail;
    EXPECT_EQ(result.DrawingsNotProcessed, 1);

    const auto table = ReadWithLibmdb(request.OutputPath);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->jetVersion, expectedJet());
    const std::vector<MdbColumn> columns = {{"Location", kMdbText, textBytes()},
                                            {"TITLE", kMdbText, textBytes()},
                                            {"REV", kMdbText, textBytes()},
                                            {"Sheet title", kMdbText, textBytes()}};
    EXPECT_EQ(table->columns, columns);
    const std::vector<std::vector<std::string>> rows = {
        {"/d/a.dwg", "Pump", "", "Pump"},
        {"/d/empty.dwg", "", "", ""},
        {"/d/c.dwg", "", "C", ""},
    };
    EXPECT_EQ(table->rows, rows);

    const std::vector<Cells> cells = {
        {"/d/a.dwg", "Pump", "", "Pump"},
        {"/d/empty.dwg", std::nullopt, std::nullopt, std::nullopt},
        {"/d/c.dwg", std::nullopt, "C", std::nullopt},
    };
    EXPECT_EQ(ReadCells(), cells);
}

TEST_P(DatabaseTest, NoTickedDrawingLeavesAnEmptyTableMain) {
    request.OutputPath = dir.file("out.mdb");
    request.TemplateItems = {Field("A"), Field("B")};
    request.Drawings = {{false, "/d/a.dwg"}};
    ASSERT_TRUE(Process(GetParam()).completed());
    const auto table = ReadWithLibmdb(request.OutputPath);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->columns.size(), 3u);
    EXPECT_TRUE(table->rows.empty());
}

TEST_P(DatabaseTest, LongValuesAndLargeRecordsAreShortenedAndReportedOnce) {
    const std::string v300 = Repeat("0123456789", 30);
    drawings["/d/long.dwg"] = {0, {{"F0", v300, ""}, {"F1", "short", ""}}};
    std::vector<extract::AttributeRecord> wide;
    for (int i = 0; i < 20; ++i) wide.push_back({"F" + std::to_string(i), Repeat("x", 250), ""});
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
    EXPECT_TRUE(RunReport(result).ends_with(
        "\n\nSome values were longer than the database holds and were shortened (drawing: fields):\n"
        "/d/long.dwg: F0\n/d/wide.dwg: F0, F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, F13, F14, F15, "
        "F16, F17, F18, F19\n"))
        << RunReport(result);

    const auto table = ReadWithLibmdb(request.OutputPath);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->rows.size(), 3u);
    EXPECT_EQ(table->rows[0][1], v300.substr(0, 255));
    EXPECT_EQ(table->rows[0][2], "short");
    // The wide record's values are cut to one common length, as long as fits.
    const std::size_t kept = table->rows[1][1].size();
    EXPECT_LT(kept, 250u);
    EXPECT_GT(kept, 50u);
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(table->rows[1][i], Repeat("x", static_cast<int>(kept)));
    EXPECT_EQ(table->rows[2][1], "ok");
}

TEST_P(DatabaseTest, TextOutsideTheAnsiCodePage) {
    const std::string cjk = "\xE5\x9B\xBE\xE7\xBA\xB8";  // two CJK characters
    drawings["/d/a.dwg"] = {0, {{"T", "Caf\xC3\xA9 " + cjk, ""}}};
    request.OutputPath = dir.file("out.mdb");
    request.TemplateItems = {Field("T")};
    request.Drawings = {{true, "/d/a.dwg"}};
    const RunResult result = Process(GetParam());
    ASSERT_TRUE(result.completed()) << result.Error.detail;
    const auto cells = ReadCells();
    ASSERT_EQ(cells.size(), 1u);
    if (GetParam() == OutputKind::Access97) {
        EXPECT_EQ(cells[0][1], "Caf\xC3\xA9 ??");
        ASSERT_EQ(result.Adjustments.size(), 1u);
        EXPECT_EQ(result.Adjustments[0].Replaced, std::vector<std::string>{"T"});
    } else {
        EXPECT_EQ(cells[0][1], "Caf\xC3\xA9 " + cjk);
        EXPECT_TRUE(result.Adjustments.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(BothVersions, DatabaseTest,
                         ::testing::Values(OutputKind::Access97, OutputKind::Access2000),
                         [](const auto& info) {
                             return info.param == OutputKind::Access97 ? std::string("Access97")
                                                                       : std::string("Access2000");
                         });

TEST_P(DatabaseTest, AFailedRowStopsTheRunWithOneMessageAndLeavesAReadableDatabase) {
    drawings["/d/a.dwg"] = {0, {{"A", "1", ""}}};
    drawings["/d/b.dwg"] = {0, {{"A", "2", ""}}};
    request.OutputPath = dir.file("out.mdb");
    int rows = 0;
    run.MakeWriter = [&rows](OutputKind kind, bool) { return std::make_unique<FailingWriter>(kind, 2, rows); };
    request.TemplateItems = {Field("A")};
    request.Drawings = {{true, "/d/a.dwg"}, {true, "/d/b.dwg"}, {true, "/d/c.dwg"}};
    const RunResult result = Process(GetParam());
    EXPECT_EQ(result.Error.code, Errc::cannot_write);
    ASSERT_EQ(recorder.events.size(), 4u);
    EXPECT_EQ(recorder.events[2], "hide");
    EXPECT_TRUE(recorder.events[3].starts_with("failed The output file " + request.OutputPath +
                                               " could not be written while processing /d/b.dwg: "))
        << recorder.events[3];
    EXPECT_EQ(ReadCells(), std::vector<Cells>({{"/d/a.dwg", "1"}}));
}

TEST(DatabaseErrors, SayWhatHappenedWithoutTheEnginesFileNames) {
    ScratchDir dir;
    RunRequest request;
    request.OutputPath = dir.file("no/such/folder/out.mdb");
    request.Kind = OutputKind::Access97;
    request.TemplateItems = {Field("A")};
    ProcessingRun run;
    const RunResult result = run.Run(request, {});
    EXPECT_EQ(result.Error.code, Errc::cannot_create);
    EXPECT_EQ(result.FailureMessage, "The output file " + request.OutputPath +
                                         " could not be created: No such file or directory. Choose a folder where "
                                         "you may save files, or another name, and process again.");
}
