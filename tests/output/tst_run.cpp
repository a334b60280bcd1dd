// The run over a scripted drawing reader: rows, order, reports, progress and
// the failures a run must survive or refuse.

#include "run_fixture.h"

using namespace output;
using namespace output_test;

TEST_F(RunTest, OneCsvRowPerTickedDrawingInListOrderWithTheWindowsMessages) {
    drawings["/d/a.dwg"] = {0, {{"TITLE", "Pump", ""}, {"DWG_NO", "A-1", ""}, {"REV", "C", ""}}};
    drawings["/d/empty.dwg"] = {0, {}};
    drawings["/d/broken.dwg"] = {13, {}};
    drawings["/d/c.dwg"] = {0, {{"DWG_NO", "C-3", ""}}};
    request.TemplateItems = {Field("TITLE"), Field("REV", false), Field("DWG_NO")};
    request.Drawings = {{true, "/d/a.dwg"},     {true, "/d/missing.dwg"}, {false, "/d/c.dwg"},
                        {true, "/d/empty.dwg"}, {true, "/d/broken.dwg"},  {true, "/d/c.dwg"}};

    const RunResult result = Process();

    ASSERT_TRUE(result.completed());
    EXPECT_EQ(result.DrawingsHandled, 5);
    EXPECT_EQ(result.DrawingsNotProcessed, 2);
    EXPECT_EQ(read_bytes(request.OutputPath),
              "\"File Name\",\"TITLE\",\"DWG_NO\",\r\n"
              "\"/d/a.dwg\",\"Pump\",\"A-1\",\r\n"
              "\"/d/empty.dwg\",\"\",\"\",\r\n"
              "\"/d/c.dwg\",\"\",\"C-3\",\r\n");
    const std::vector<std::string> expected = {
        "show 6",
        "value 1",
        "critical The file /d/missing.dwg was not found and could not be processed.",
        "value 2",
        "value 3",
        "critical There was an unknown error processing /d/broken.dwg",
        "value 4",
        "value 5",
        "hide",
    };
    EXPECT_EQ(recorder.events, expected);
    // Unticked rows are never read; every drawing is read in the first field's space.
    EXPECT_EQ(reads, (std::vector<std::string>{"/d/a.dwg M", "/d/missing.dwg M", "/d/empty.dwg M",
                                               "/d/broken.dwg M", "/d/c.dwg M"}));
}

TEST_F(RunTest, FirstValueWinsAndTagsMatchExactly) {
    drawings["/d/a.dwg"] = {0, {{"Rev", "lower-camel", ""}, {"REV", "upper", ""}, {"REV", "second", ""},
                                {"rev", "lower", ""}, {"TITLE", "", ""}}};
    request.TemplateItems = {Field("REV", true, "P"), Field("rev"), Field("TITLE"), Field("NONE")};
    request.Drawings = {{true, "/d/a.dwg"}};
    ASSERT_TRUE(Process().completed());
    EXPECT_EQ(read_bytes(request.OutputPath),
              "\"File Name\",\"REV\",\"rev\",\"TITLE\",\"NONE\",\r\n"
              "\"/d/a.dwg\",\"upper\",\"lower\",\"\",\"\",\r\n");
    EXPECT_EQ(reads, std::vector<std::string>{"/d/a.dwg P"});
}

TEST_F(RunTest, CsvHeaderShowsTheTagOfARenamedFieldAndTheValueFollowsTheTag) {
    drawings["/d/a.dwg"] = {0, {{"TITLE", "Pump", ""}, {"Title of sheet", "wrong", ""}}};
    request.TemplateItems = {{true, "Title of sheet", "TITLE", "M"}};
    request.Drawings = {{true, "/d/a.dwg"}};
    ASSERT_TRUE(Process().completed());
    EXPECT_EQ(read_bytes(request.OutputPath), "\"File Name\",\"TITLE\",\r\n\"/d/a.dwg\",\"Pump\",\r\n");
}

TEST_F(RunTest, NoTickedDrawingGivesTheHeaderOnlyAndReplacesAnOldFile) {
    request.OutputPath = dir.file("out.csv");
    write_bytes(request.OutputPath, "old content that must go\r\n");
    request.TemplateItems = {Field("A"), Field("B")};
    request.Drawings = {{false, "/d/a.dwg"}, {false, "/d/b.dwg"}};
    ASSERT_TRUE(Process().completed());
    EXPECT_EQ(read_bytes(request.OutputPath), "\"File Name\",\"A\",\"B\",\r\n");
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"show 2", "hide"}));
    EXPECT_TRUE(reads.empty());
}

TEST_F(RunTest, RefusedFieldListsLeaveTheOldFileAlone) {
    struct Case {
        OutputKind kind;
        std::vector<TemplateRow> fields;
        Errc error;
        std::string message;
    } cases[] = {
        {OutputKind::Csv, {Field("A", false)}, Errc::no_fields,
         "failed No field is ticked in the template list, so there is nothing to write. "
         "Tick the tags to extract and process again. No file was changed."},
        {OutputKind::Access97, {}, Errc::no_fields, ""},
        {OutputKind::Access2000, {{true, "Rev", "REV", "M"}, {true, "REV", "rev", "M"}}, Errc::duplicate_field,
         "failed The fields \"Rev\" and \"REV\" would give two database columns of the same name. Give one of "
         "them another name in the template list and process again. No file was changed."},
        {OutputKind::Access97, {{true, "location", "LOC", "M"}}, Errc::duplicate_field,
         "failed The field name \"location\" cannot be used: the database column \"Location\" holds each "
         "drawing's path. Give the field another name in the template list and process again. No file was "
         "changed."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        recorder.events.clear();
        request.OutputPath = dir.file("keep.out");
        write_bytes(request.OutputPath, "precious");
        request.TemplateItems = c.fields;
        request.Drawings = {{true, "/d/a.dwg"}};
        const RunResult result = Process(c.kind);
        EXPECT_EQ(result.Error.code, c.error);
        ASSERT_EQ(recorder.events.size(), 1u);
        if (!c.message.empty()) {
            EXPECT_EQ(recorder.events[0], c.message);
        }
        EXPECT_EQ(read_bytes(request.OutputPath), "precious");
        EXPECT_TRUE(reads.empty());
    }
}

TEST_F(RunTest, DuplicateFieldNamesAreFineForCsv) {
    drawings["/d/a.dwg"] = {0, {{"REV", "C", ""}}};
    request.TemplateItems = {{true, "Rev", "REV", "M"}, {true, "Rev", "REV", "M"}};
    request.Drawings = {{true, "/d/a.dwg"}};
    ASSERT_TRUE(Process().completed());
    EXPECT_EQ(read_bytes(request.OutputPath), "\"File Name\",\"REV\",\"REV\",\r\n\"/d/a.dwg\",\"C\",\"C\",\r\n");
}

TEST_F(RunTest, AnOutputThatCannotBeCreatedIsSaidAndNothingIsRead) {
    request.OutputPath = dir.file("no/such/folder/out.csv");
    request.TemplateItems = {Field("A")};
    request.Drawings = {{true, "/d/a.dwg"}};
    const RunResult result = Process();
    EXPECT_EQ(result.Error.code, Errc::cannot_create);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_TRUE(recorder.events[0].starts_with("failed The output file " + request.OutputPath +
                                               " could not be created: "))
        << recorder.events[0];
    EXPECT_TRUE(reads.empty());
}

TEST_F(RunTest, AFolderWhereTheOutputShouldGoIsNeverDeleted) {
    request.OutputPath = dir.file("folder");
    std::filesystem::create_directory(request.OutputPath);
    request.TemplateItems = {Field("A")};
    EXPECT_EQ(Process().Error.code, Errc::cannot_replace);
    EXPECT_EQ(recorder.events, std::vector<std::string>{"failed The existing file " + request.OutputPath +
                                                        " could not be deleted: a folder has that name. Nothing was written."});
    EXPECT_TRUE(std::filesystem::is_directory(request.OutputPath));
}

TEST_F(RunTest, AWriteFailureMidRunNamesTheDrawingHidesTheBarAndKeepsEarlierRows) {
    drawings["/d/a.dwg"] = {0, {{"A", "1", ""}}};
    drawings["/d/b.dwg"] = {0, {{"A", "2", ""}}};
    drawings["/d/c.dwg"] = {0, {{"A", "3", ""}}};
    const std::string moved = dir.file("moved.csv");
    // While b is read the output goes away and a folder takes its name, so
    // b's row cannot be appended.
    hook = [&](const std::string& path) {
        if (path != "/d/b.dwg") return;
        std::filesystem::rename(request.OutputPath, moved);
        std::filesystem::create_directory(request.OutputPath);
    };
    request.TemplateItems = {Field("A")};
    request.Drawings = {{true, "/d/a.dwg"}, {true, "/d/b.dwg"}, {true, "/d/c.dwg"}};
    const RunResult result = Process();
    EXPECT_EQ(result.Error.code, Errc::cannot_write);
    ASSERT_EQ(recorder.events.size(), 4u);
    EXPECT_EQ(recorder.events[0], "show 3");
    EXPECT_EQ(recorder.events[1], "value 1");
    EXPECT_EQ(recorder.events[2], "hide");
    EXPECT_TRUE(recorder.events[3].starts_with("failed The output file " + request.OutputPath +
                                               " could not be written while processing /d/b.dwg: "))
        << recorder.events[3];
    EXPECT_TRUE(recorder.events[3].ends_with("The rows of the drawings before it are kept in the file."));
    EXPECT_EQ(read_bytes(moved), "\"File Name\",\"A\",\r\n\"/d/a.dwg\",\"1\",\r\n");
    EXPECT_EQ(reads.size(), 2u);  // c is never read
}

TEST_F(RunTest, CsvIsNeverShortened) {
    const std::string v1000 = std::string(1000, 'y');
    drawings["/d/a.dwg"] = {0, {{"A", v1000, ""}}};
    request.TemplateItems = {Field("A")};
    request.Drawings = {{true, "/d/a.dwg"}};
    ASSERT_TRUE(Process(OutputKind::Csv).completed());
    EXPECT_EQ(read_bytes(request.OutputPath), "\"File Name\",\"A\",\r\n\"/d/a.dwg\",\"" + v1000 + "\",\r\n");
}
