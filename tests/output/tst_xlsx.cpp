// The workbook writer, read back with openpyxl: text cells, the frozen and
// filtered header, the cell limit, text XML cannot carry, and failures that
// leave no half file and an existing file whole.

#include "output/xlsx_file.h"
#include "readback.h"
#include "test_support.h"

using namespace output;
using namespace output_test;

namespace {

using Row = std::vector<std::string>;
const Row kHeader = {"File Name", "TITLE", "DWG_NO"};
const std::string kThird = "0042\nthe longer line 0042";

std::vector<std::string_view> Views(const Row& row) { return {row.begin(), row.end()}; }

Workbook ReadBack(const std::filesystem::path& file)
{
    std::string error;
    auto book = ReadWithOpenpyxl(file, error);
    EXPECT_TRUE(book) << error;
    return book.value_or(Workbook{});
}

}  // namespace

TEST(XlsxFile, EveryValueComesBackAsTextOrChangedAndNamed)
{
    const std::string longest(kXlsxCellChars, 'x'), smile = "\xF0\x9F\x98\x80", bad = "\xEF\xBF\xBD";
    const std::vector<std::string> none, title{"TITLE"};
    const std::string mixed = "  say \"hi\" a & b <c>\r\nCaf\xC3\xA9\t\xE5\x9B\xBE" + smile + "  ";  // kept as it is
    const struct {
        std::string value, stored;
        std::vector<std::string> shortened, replaced;
    } cases[] = {
        {"007", "007"},
        {"=1+1", "=1+1"},
        {"1E5", "1E5"},
        {"\xEF\xBB\xBFTRUE", "\xEF\xBB\xBFTRUE"},
        {"", ""},
        {longest, longest},
        {"_x0041_ stays", "_x0041_ stays"},
        {mixed, mixed},
        {std::string(40000, 'y'), std::string(kXlsxCellChars, 'y'), title, none},
        // Excel counts UTF-16 units: never half a pair.
        {std::string(kXlsxCellChars - 1, 'z') + smile, std::string(kXlsxCellChars - 1, 'z'), title, none},
        {"a\xFF"
         "b",
         "a" + bad + "b", none, title},  // how malformed UTF-8 decodes is the decoder's
        {std::string("nul\0bell\a", 9) + "\xEF\xBF\xBF", "nul" + bad + "bell" + bad + bad, none, title},
        {std::string(40000, 'w') + "\xFF", std::string(kXlsxCellChars, 'w'), title, title},
    };
    ScratchDir dir;
    const auto path = dir.path() / "out.xlsx";
    XlsxFile xlsx;
    ASSERT_TRUE(xlsx.Create(path, Views(kHeader)).ok());
    std::vector<Row> expected{kHeader};
    CellChanges changes;
    for (const auto& c : cases) {
        changes = {};
        ASSERT_TRUE(xlsx.Append({"/d/a.dwg", c.value, kThird}, changes).ok());
        EXPECT_EQ(changes.Shortened, c.shortened) << c.value.substr(0, 20);
        EXPECT_EQ(changes.Replaced, c.replaced) << c.value.substr(0, 20);
        expected.push_back({"/d/a.dwg", c.stored, kThird});
    }
    // The escape of a "_xHHHH_" text does not push a cell past the limit.
    std::string escapes;
    while (escapes.size() < 40000) escapes += "_x0041_";
    changes = {};
    ASSERT_TRUE(xlsx.Append({"/d/u.dwg", escapes, ""}, changes).ok());
    EXPECT_EQ(changes.Shortened, title);
    EXPECT_FALSE(std::filesystem::exists(path));  // nothing under the real name before Close
    ASSERT_TRUE(xlsx.Close().ok());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.xlsx.part"));

    Workbook book = ReadBack(path);
    EXPECT_EQ(book.sheets, std::vector<std::string>{"Main"});
    EXPECT_EQ(book.freeze, "A2");
    EXPECT_EQ(book.filter, "A1:C" + std::to_string(expected.size() + 1));
    EXPECT_EQ(book.types, std::vector<std::string>{"s"});  // never a number, a formula or a truth value
    ASSERT_EQ(book.rows.size(), expected.size() + 1);
    const std::string stored = book.rows.back()[1];
    EXPECT_TRUE(escapes.starts_with(stored));
    EXPECT_GT(stored.size(), 17000u);  // 13 characters stored for each 7 shown
    book.rows.pop_back();
    EXPECT_EQ(book.rows, expected);
    // Widths follow the longest line of each column (plus the cell's margins,
    // under a character), headings with room for the filter button; long
    // values do not stretch the sheet.
    ASSERT_EQ(book.widths.size(), 3u);
    EXPECT_NEAR(book.widths[0], 12, 1);  // "File Name" and the filter button
    EXPECT_NEAR(book.widths[1], 100, 1);
    EXPECT_NEAR(book.widths[2], 21, 1);  // the longer line of kThird
}

TEST(XlsxFile, FailuresLeaveNoFileAndTheOldOneWhole)
{
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

TEST_F(RunTest, AWorkbookThatCannotBePutInPlaceIsSaidWithoutNamingADrawing)
{
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
    EXPECT_TRUE(
        recorder.events.back().starts_with("failed The output file " + request.OutputPath + " could not be written: "))
        << recorder.events.back();
}
