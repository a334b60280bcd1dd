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
        "critical There was an unknown error processing /d/broken.dwg: the drawing is damaged.",
        "value 4",
        "value 5",
        "hide",
    };
    EXPECT_EQ(recorder.events, expected);
    // Unticked rows are never read; every drawing is read in the first field's space.
    EXPECT_EQ(SortedReads(), (std::vector<std::string>{"/d/a.dwg M", "/d/broken.dwg M", "/d/c.dwg M",
                                                       "/d/empty.dwg M", "/d/missing.dwg M"}));
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
                                                        " could not be deleted: a folder has that name. Close the "
                                                        "program that has it open, or choose another name, and "
                                                        "process again. Nothing was written."});
    EXPECT_TRUE(std::filesystem::is_directory(request.OutputPath));
}

TEST_F(RunTest, AWriteFailureMidRunNamesTheDrawingHidesTheBarAndKeepsEarlierRows) {
    drawings["/d/a.dwg"] = {0, {{"A", "1", ""}}};
    drawings["/d/b.dwg"] = {0, {{"A", "2", ""}}};
    drawings["/d/c.dwg"] = {0, {{"A", "3", ""}}};
    int rows = 0;
    run.MakeWriter = [&rows](OutputKind kind, bool) { return std::make_unique<FailingWriter>(kind, 2, rows); };
    request.TemplateItems = {Field("A")};
    request.Drawings = {{true, "/d/a.dwg"}, {true, "/d/b.dwg"}, {true, "/d/c.dwg"}};
    const RunResult result = Process();
    EXPECT_EQ(result.Error.code, Errc::cannot_write);
    ASSERT_EQ(recorder.events.size(), 4u);
    EXPECT_EQ(recorder.events[0], "show 3");
    EXPECT_EQ(recorder.events[1], "value 1");
    EXPECT_EQ(recorder.events[2], "hide");
    EXPECT_EQ(recorder.events[3], "failed The output file " + request.OutputPath +
                                      " could not be written while processing /d/b.dwg: No space left on device. The "
                                      "rows of the drawings before it are kept in the file. Make room on the disk or "
                                      "choose another folder, and process again.");
    EXPECT_EQ(read_bytes(request.OutputPath), "\"File Name\",\"A\",\r\n\"/d/a.dwg\",\"1\",\r\n");
}

TEST_F(RunTest, CsvIsNeverShortened) {
    const std::string v1000 = std::string(1000, 'y');
    drawings["/d/a.dwg"] = {0, {{"A", v1000, ""}}};
    request.TemplateItems = {Field("A")};
    request.Drawings = {{true, "/d/a.dwg"}};
    ASSERT_TRUE(Process(OutputKind::Csv).completed());
    EXPECT_EQ(read_bytes(request.OutputPath), "\"File Name\",\"A\",\r\n\"/d/a.dwg\",\"" + v1000 + "\",\r\n");
}

TEST_F(RunTest, TheChoicesAtADrawingThatWasNotProcessed) {
    for (const char* name : {"/d/x1.dwg", "/d/x2.dwg", "/d/x3.dwg"}) drawings[name] = {13, {}};
    for (const char* name : {"/d/a.dwg", "/d/b.dwg"}) drawings[name] = {0, {{"A", "v", ""}}};
    request.TemplateItems = {Field("A")};
    request.Drawings = {{true, "/d/x1.dwg"}, {true, "/d/a.dwg"}, {true, "/d/x2.dwg"}, {true, "/d/x3.dwg"},
                        {true, "/d/b.dwg"}};
    struct Case {
        std::vector<FailureChoice> answers;
        int asked;      // messages shown
        int rows;       // rows written
        bool cancelled;
    } cases[] = {
        {{FailureChoice::GoOn, FailureChoice::GoOn, FailureChoice::GoOn}, 3, 2, false},
        {{FailureChoice::GoOn, FailureChoice::GoOnWithoutAsking}, 2, 2, false},
        {{FailureChoice::GoOnWithoutAsking}, 1, 2, false},
        {{FailureChoice::GoOn, FailureChoice::Stop}, 2, 1, true},
        {{FailureChoice::Stop}, 1, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked * 10 + c.rows);
        ProcessingRun fresh;
        fresh.Reader = run.Reader;
        recorder = {};
        recorder.choices = c.answers;
        request.OutputPath = dir.file("choices.csv");
        request.Kind = OutputKind::Csv;
        const RunResult result = fresh.Run(request, recorder.callbacks());
        EXPECT_EQ(std::count_if(recorder.events.begin(), recorder.events.end(),
                                [](const std::string& e) { return e.starts_with("critical "); }),
                  c.asked);
        EXPECT_EQ(result.RowsWritten, c.rows);
        EXPECT_EQ(result.Cancelled, c.cancelled);
        EXPECT_EQ(result.completed(), !c.cancelled);
        // Every drawing not processed is in the report, asked about or not.
        EXPECT_EQ(result.NotProcessed.size(), static_cast<std::size_t>(c.cancelled ? c.asked : 3));
        EXPECT_EQ(read_bytes(request.OutputPath).size(),
                  std::string("\"File Name\",\"A\",\r\n").size() +
                      static_cast<std::size_t>(c.rows) * std::string("\"/d/a.dwg\",\"v\",\r\n").size());
    }
}

TEST_F(RunTest, TheEndReportGathersEverythingWorthSaying) {
    drawings["/d/a.dwg"] = {0, {{"A", std::string(300, 'v'), ""}}};
    drawings["/d/damaged.dwg"] = {13, {}};
    drawings["/d/paperless.dwg"] = {20, {}};
    drawings["/d/salvaged.dwg"] = {0, {{"A", "w", ""}}, {2, 1}};
    request.OutputPath = dir.file("out.mdb");
    request.TemplateItems = {Field("A")};
    request.Drawings = {{true, "/d/a.dwg"}, {true, "/d/gone.dwg"}, {true, "/d/damaged.dwg"},
                        {false, "/d/a.dwg"}, {true, "/d/paperless.dwg"}, {true, "/d/salvaged.dwg"}};
    RunResult result = Process(OutputKind::Access2000);
    ASSERT_TRUE(result.completed()) << result.FailureMessage;
    EXPECT_TRUE(result.HasNotes());
    EXPECT_EQ(RunReport(result),
              "5 of 5 drawings processed: 3 rows written to " + request.OutputPath + ".\n"
              "\n"
              "Drawings not processed (3):\n"
              "/d/gone.dwg: the file does not exist\n"
              "/d/damaged.dwg: the drawing is damaged\n"
              "/d/paperless.dwg: the drawing has no block of that name\n"
              "\n"
              "Drawings read with parts skipped; their rows were written (1):\n"
              "/d/salvaged.dwg: 2 damaged objects skipped, 1 page checksum did not match\n"
              "\n"
              "Some values were longer than the database holds and were shortened (drawing: fields):\n"
              "/d/a.dwg: A\n");

    result.NotProcessed.clear();
    result.PartsSkipped.clear();
    result.Adjustments.clear();
    EXPECT_FALSE(result.HasNotes());
    result.Cancelled = true;
    result.DrawingsHandled = 2;
    result.RowsWritten = 1;
    EXPECT_EQ(RunReport(result), "The run was cancelled after 2 of 5 drawings: 1 row written to " +
                                     request.OutputPath + ".\n");
}
