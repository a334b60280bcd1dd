// The workbook writer, read back with openpyxl: text cells, the frozen and
// filtered header, the cell limit, text XML cannot carry, and failures that
// must leave no half file and an existing file whole; then a workbook run
// held against a CSV run of the same drawings.

#include <unistd.h>

#include "output/text_encoding.h"
#include "output/xlsx_file.h"
#include "run_fixture.h"
#include "xlsx_reader.h"

using namespace output;
using namespace output_test;

namespace {

using Row = std::vector<std::string>;

std::vector<std::string_view> Views(const Row& row) {
    return {row.begin(), row.end()};
}

Workbook ReadBack(const std::filesystem::path& file) {
    std::string error;
    auto book = ReadWithOpenpyxl(file, error);
    EXPECT_TRUE(book) << error;
    return book.value_or(Workbook{});
}

const Row kHeader = {"File Name", "TITLE", "DWG_NO"};

}  // namespace

TEST(XlsxFile, EveryValueComesBackAsTheSameText) {
    const std::string cjk = "\xE5\x9B\xBE\xE7\xBA\xB8";  // two CJK characters
    const std::string smile = "\xF0\x9F\x98\x80";
    const std::vector<Row> rows = {
        {"/d/a.dwg", "007", "0012"},
        {"/d/b.dwg", "a,b", "say \"hi\""},
        {"/d/c.dwg", "two\r\nlines", "one\nbreak\ttab"},
        {"/d/d.dwg", "Caf\xC3\xA9 25\xC2\xB0", cjk + smile},
        {"/d/e.dwg", "", ""},
        {"/d/f.dwg", "  padded  ", "=1+1"},
        {"/d/g.dwg", "_x0041_ stays", "a & b <c>"},
        {"/d/h.dwg", "1E5", "\xEF\xBB\xBFTRUE"},
    };
    ScratchDir dir;
    const auto path = dir.path() / "out.xlsx";
    XlsxFile xlsx;
    ASSERT_TRUE(xlsx.Create(path, Views(kHeader)).ok());
    for (const Row& row : rows) {
        CellChanges changes;
        ASSERT_TRUE(xlsx.Append(Views(row), changes).ok());
        EXPECT_TRUE(changes.empty()) << row[0];
    }
    ASSERT_TRUE(xlsx.Close().ok());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.xlsx.part"));

    const Workbook book = ReadBack(path);
    EXPECT_EQ(book.sheets, std::vector<std::string>{"Main"});
    EXPECT_EQ(book.freeze, "A2");
    EXPECT_EQ(book.filter, "A1:C9");
    EXPECT_EQ(book.types, std::vector<std::string>{"s"});  // never a number, a formula or a truth value
    std::vector<Row> expected{kHeader};
    expected.insert(expected.end(), rows.begin(), rows.end());
    EXPECT_EQ(book.rows, expected);
    // Widths follow the longest line of each column, headings with room for
    // the filter button.
    ASSERT_EQ(book.widths.size(), 3u);
    // (The library adds the cell's margins, under a character.)
    EXPECT_NEAR(book.widths[0], 12, 1);  // "File Name" and the filter button
    EXPECT_NEAR(book.widths[1], 14, 1);  // "_x0041_ stays"
}

TEST(XlsxFile, ValuesThatCannotGoInAsTheyAreAreChangedAndNamed) {
    const std::string longest(kXlsxCellChars, 'x');
    const std::string smile = "\xF0\x9F\x98\x80";  // two UTF-16 units: Excel counts those
    const std::string replacement = "\xEF\xBF\xBD";
    struct Case {
        std::string value;
        std::string stored;
        std::vector<std::string> shortened, replaced;
    } cases[] = {
        {longest, longest, {}, {}},
        {std::string(40000, 'y'), std::string(kXlsxCellChars, 'y'), {"TITLE"}, {}},
        {std::string(kXlsxCellChars - 1, 'z') + smile, std::string(kXlsxCellChars - 1, 'z'), {"TITLE"}, {}},
        {"a\xFF" "b", "a" + replacement + "b", {}, {"TITLE"}},
        {"over\xC0\xAFlong", "over" + replacement + replacement + "long", {}, {"TITLE"}},
        {"half \xE5\x9B", "half " + replacement + replacement, {}, {"TITLE"}},
        {"\xED\xA0\x80", replacement + replacement + replacement, {}, {"TITLE"}},  // a lone surrogate
        {std::string("nul\0bell\a", 9) + "\xEF\xBF\xBF", "nul" + replacement + "bell" + replacement + replacement,
         {}, {"TITLE"}},
        {std::string(40000, 'w') + "\xFF", std::string(kXlsxCellChars, 'w'), {"TITLE"}, {"TITLE"}},
    };
    ScratchDir dir;
    const auto path = dir.path() / "changed.xlsx";
    XlsxFile xlsx;
    ASSERT_TRUE(xlsx.Create(path, Views(kHeader)).ok());
    std::vector<Row> expected{kHeader};
    for (const auto& c : cases) {
        CellChanges changes;
        ASSERT_TRUE(xlsx.Append({"/d/a.dwg", c.value, "0042"}, changes).ok());
        EXPECT_EQ(changes.Shortened, c.shortened) << c.value.substr(0, 20);
        EXPECT_EQ(changes.Replaced, c.replaced) << c.value.substr(0, 20);
        expected.push_back({"/d/a.dwg", c.stored, "0042"});
    }
    ASSERT_TRUE(xlsx.Close().ok());
    const Workbook book = ReadBack(path);
    EXPECT_EQ(book.rows, expected);
    EXPECT_NEAR(book.widths[1], 100, 1);  // long values do not stretch the sheet
}

TEST(XlsxFile, TheUnderscoreEscapeDoesNotPushACellPastTheLimit) {
    std::string value;
    while (value.size() < 40000) value += "_x0041_";
    ScratchDir dir;
    XlsxFile xlsx;
    CellChanges changes;
    ASSERT_TRUE(xlsx.Create(dir.path() / "u.xlsx", {"File Name", "T"}).ok());
    ASSERT_TRUE(xlsx.Append({"/d/a.dwg", value}, changes).ok());
    ASSERT_TRUE(xlsx.Close().ok());
    EXPECT_EQ(changes.Shortened, std::vector<std::string>{"T"});
    const std::string stored = ReadBack(dir.path() / "u.xlsx").rows.at(1).at(1);
    EXPECT_TRUE(value.starts_with(stored));
    EXPECT_GT(stored.size(), 17000u);  // 13 characters stored for each 7 shown
}

TEST(XlsxFile, ClosingAfterNoRowGivesTheHeaderAlone) {
    ScratchDir dir;
    const auto path = dir.path() / "empty.xlsx";
    XlsxFile xlsx;
    ASSERT_TRUE(xlsx.Create(path, Views(kHeader)).ok());
    EXPECT_FALSE(std::filesystem::exists(path));  // nothing under the real name before Close
    ASSERT_TRUE(xlsx.Close().ok());
    const Workbook book = ReadBack(path);
    EXPECT_EQ(book.rows, std::vector<Row>{kHeader});
    EXPECT_EQ(book.filter, "A1:C1");
    EXPECT_EQ(book.freeze, "A2");
}

TEST(XlsxFile, FailuresLeaveNoFileAndTheOldOneWhole) {
    ScratchDir dir;
    XlsxFile xlsx;
    CellChanges changes;

    // A folder that does not exist: refused before any row.
    const auto nowhere = dir.path() / "no" / "such" / "out.xlsx";
    EXPECT_EQ(xlsx.Create(nowhere, Views(kHeader)).code, Errc::cannot_create);
    EXPECT_FALSE(std::filesystem::exists(nowhere.parent_path()));

    // The workbook's bytes run into a full disk while it is written.
    const auto path = dir.path() / "out.xlsx";
    write_bytes(path, "old workbook");
    ASSERT_TRUE(xlsx.Create(path, Views(kHeader)).ok());
    ASSERT_TRUE(xlsx.Append({"/d/a.dwg", "1", "2"}, changes).ok());
    std::filesystem::create_symlink("/dev/full", dir.path() / "out.xlsx.part");
    const Status closed = xlsx.Close();
    EXPECT_EQ(closed.code, Errc::cannot_write) << closed.detail;
    EXPECT_EQ(read_bytes(path), "old workbook");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.path() / "out.xlsx.part")));

    // A run that stops without closing leaves the old file too.
    {
        XlsxFile dropped;
        ASSERT_TRUE(dropped.Create(path, Views(kHeader)).ok());
        ASSERT_TRUE(dropped.Append({"/d/a.dwg", "1", "2"}, changes).ok());
    }
    EXPECT_EQ(read_bytes(path), "old workbook");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    // A row wider than the header is refused.
    ASSERT_TRUE(xlsx.Create(path, {"File Name"}).ok());
    EXPECT_EQ(xlsx.Append({"/d/a.dwg", "extra"}, changes).code, Errc::cannot_write);
}

TEST_F(RunTest, AWorkbookRunHoldsTheCsvRunsRowsAndNamesWhatItChanged) {
    const std::string replacement = "\xEF\xBF\xBD";
    drawings["/d/a.dwg"] = {0, {{"TITLE", "007", ""}, {"DWG_NO", "a,b \"q\"", ""}, {"TITLE", "second", ""}}, {}};
    drawings["/d/b.dwg"] = {0, {{"DWG_NO", "line\r\nbreak", ""}, {"title", "other case", ""}}, {}};
    drawings["/d/c.dwg"] = {0, {{"TITLE", "Caf\xC3\xA9 \xE5\x9B\xBE\xE7\xBA\xB8", ""}, {"DWG_NO", "", ""}}, {}};
    drawings["/d/long.dwg"] = {0, {{"TITLE", std::string(40000, 'v'), ""}, {"DWG_NO", "bad \xFF byte", ""}}, {}};
    request.TemplateItems = {{true, "Title", "TITLE", "M"}, Field("DWG_NO")};
    request.Drawings = {{true, "/d/a.dwg"}, {true, "/d/b.dwg"}, {true, "/d/missing.dwg"}, {true, "/d/c.dwg"},
                        {true, "/d/long.dwg"}};

    request.OutputPath = dir.file("out.csv");
    ASSERT_TRUE(Process(OutputKind::Csv).completed());
    std::vector<Row> expected = ReadCsvRows(request.OutputPath);
    ASSERT_EQ(expected.size(), 5u);
    expected[4][1].resize(kXlsxCellChars);
    expected[4][2] = "bad " + replacement + " byte";

    request.OutputPath = dir.file("out.xlsx");
    write_bytes(request.OutputPath, "older workbook");  // replaced once the new one is complete
    request.Kind = OutputKind::Xlsx;
    ProcessingRun second;  // one run per object
    second.Reader = run.Reader;
    const RunResult result = second.Run(request, recorder.callbacks());
    ASSERT_TRUE(result.completed());
    EXPECT_EQ(ReadBack(request.OutputPath).rows, expected);
    ASSERT_EQ(result.Adjustments.size(), 1u);
    EXPECT_EQ(result.Adjustments[0].Shortened, Row{"TITLE"});
    EXPECT_EQ(result.Adjustments[0].Replaced, Row{"DWG_NO"});
    EXPECT_TRUE(RunReport(result).ends_with(
        "\n\nSome values were longer than the 32,767 characters a workbook cell holds and were shortened "
        "(drawing: columns):\n/d/long.dwg: TITLE\n\nSome values held bytes that are not text, or control "
        "characters a workbook cannot hold; they were written with \"" + replacement +
        "\" in their place (drawing: columns):\n/d/long.dwg: DWG_NO\n"))
        << RunReport(result);
}

TEST_F(RunTest, AStoppedWorkbookRunLeavesAWorkbookWithTheRowsSoFar) {
    drawings["/d/a.dwg"] = {0, {{"A", "1", ""}}, {}};
    drawings["/d/b.dwg"] = {0, {{"A", "2", ""}}, {}};
    request.TemplateItems = {Field("A")};
    request.Drawings = {{true, "/d/a.dwg"}, {true, "/d/missing.dwg"}, {true, "/d/b.dwg"}};
    request.OutputPath = dir.file("out.xlsx");
    recorder.choices = {FailureChoice::Stop};
    const RunResult result = Process(OutputKind::Xlsx);
    EXPECT_TRUE(result.Cancelled);
    EXPECT_EQ(ReadBack(request.OutputPath).rows, (std::vector<Row>{{"File Name", "A"}, {"/d/a.dwg", "1"}}));
}

TEST_F(RunTest, AWorkbookThatCannotBePutInPlaceIsSaidWithoutNamingADrawing) {
    drawings["/d/a.dwg"] = {0, {{"A", "1", ""}}, {}};
    request.TemplateItems = {Field("A")};
    request.Drawings = {{true, "/d/a.dwg"}};
    const std::filesystem::path sub = dir.path() / "sub";
    std::filesystem::create_directory(sub);
    request.OutputPath = (sub / "out.xlsx").string();
    // The folder goes while the drawing is read.
    run.Reader = [sub, read = run.Reader](const std::string& path, const std::string& space) {
        std::filesystem::remove_all(sub);
        return read(path, space);
    };
    EXPECT_EQ(Process(OutputKind::Xlsx).Error.code, Errc::cannot_write);
    EXPECT_TRUE(recorder.events.back().starts_with("failed The output file " + request.OutputPath +
                                                   " could not be written: "))
        << recorder.events.back();
}
