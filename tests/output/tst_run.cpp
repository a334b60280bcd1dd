// The run over a scripted drawing reader: rows in list order whatever the
// number of threads, the runs refused before the old file goes, the ways a
// run ends early, the answers to a drawing not processed, the end report.

#include <algorithm>
#include <chrono>
#include <thread>

#include "readback.h"
#include "test_support.h"

using namespace output;
using namespace output_test;

TEST_F(RunTest, OneRowPerTickedDrawingInListOrderForAnyNumberOfJobs)
{
    drawings["/d/a.dwg"] = {0,
                            {{"TITLE", "Pump", ""},
                             {"Title of sheet", "wrong", ""},
                             {"Rev", "lower-camel", ""},
                             {"REV", "upper", ""},
                             {"REV", "second", ""},
                             {"rev", "lower", ""},
                             {"LONG", std::string(1000, 'y'), ""}}};
    drawings["/d/empty.dwg"] = {0, {}};
    drawings["/d/broken.dwg"] = {13, {}};
    drawings["/d/c.dwg"] = {0, {{"REV", "C-3", ""}}};
    // The header shows tags, so names that would clash as columns are fine;
    // every drawing is read in the first ticked field's space.
    request.TemplateItems = {Field("DATE", false),
                             {true, "Title of sheet", "TITLE", "P"},
                             Field("REV"),
                             Field("rev"),
                             {true, "Rev", "REV", "M"},
                             Field("LONG"),
                             Field("NONE")};
    request.Drawings = {{true, "/d/a.dwg"},     {true, "/d/missing.dwg"}, {false, "/d/c.dwg"},
                        {true, "/d/empty.dwg"}, {true, "/d/broken.dwg"},  {true, "/d/c.dwg"}};
    // Reads end in another order than they began.
    run.Reader = [read = run.Reader](const std::string& path, const std::string& space) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::hash<std::string>{}(path) % 5));
        return read(path, space);
    };
    for (unsigned jobs : {1u, 2u, 5u}) {
        SCOPED_TRACE(jobs);
        ProcessingRun fresh;
        fresh.Reader = run.Reader;
        recorder = {};
        reads.clear();
        request.Jobs = jobs;
        request.OutputPath = dir.file("out.csv");
        const RunResult result = fresh.Run(request, recorder.callbacks());
        ASSERT_TRUE(result.completed());
        EXPECT_EQ(result.DrawingsHandled, 5);
        EXPECT_EQ(result.DrawingsNotProcessed, 2);
        EXPECT_EQ(read_bytes(request.OutputPath),
                  "\"File Name\",\"TITLE\",\"REV\",\"rev\",\"REV\",\"LONG\",\"NONE\",\r\n"
                  "\"/d/a.dwg\",\"Pump\",\"upper\",\"lower\",\"upper\",\"" +
                      std::string(1000, 'y') +
                      "\",\"\",\r\n"
                      "\"/d/empty.dwg\",\"\",\"\",\"\",\"\",\"\",\"\",\r\n"
                      "\"/d/c.dwg\",\"\",\"C-3\",\"\",\"C-3\",\"\",\"\",\r\n");
        EXPECT_EQ(recorder.events,
                  (std::vector<std::string>{
                      "show 6", "value 1", "critical The file /d/missing.dwg was not found and could not be processed.",
                      "value 2", "value 3",
                      "critical There was an unknown error processing /d/broken.dwg: the drawing "
                      "is damaged.",
                      "value 4", "value 5", "hide"}));
        // Unticked rows are never read.
        std::sort(reads.begin(), reads.end());
        EXPECT_EQ(reads, (std::vector<std::string>{"/d/a.dwg P", "/d/broken.dwg P", "/d/c.dwg P", "/d/empty.dwg P",
                                                   "/d/missing.dwg P"}));
    }
}

TEST_F(RunTest, RefusedRunsSayWhyAndLeaveTheOldFileAlone)
{
    const struct {
        OutputKind kind;
        std::vector<TemplateRow> fields;
        std::string output;  // "folder": a folder of that name is there
        Errc error;
        std::string message;  // "@" stands for the output's path
    } cases[] = {
        {OutputKind::Csv,
         {Field("A", false)},
         "keep.csv",
         Errc::no_fields,
         "No field is ticked in the template list, so there is nothing to write. Tick the tags to extract and "
         "process again. No file was changed."},
        {OutputKind::Access2000,
         {{true, "Rev", "REV", "M"}, {true, "REV", "rev", "M"}},
         "keep.mdb",
         Errc::duplicate_field,
         "The fields \"Rev\" and \"REV\" would give two database columns of the same name. Give one of them another "
         "name in the template list and process again. No file was changed."},
        {OutputKind::Access97,
         {{true, "location", "LOC", "M"}},
         "keep.mdb",
         Errc::duplicate_field,
         "The field name \"location\" cannot be used: the database column \"Location\" holds each drawing's path. "
         "Give the field another name in the template list and process again. No file was changed."},
        {OutputKind::Access97,
         {Field("A")},
         "no/such/out.mdb",
         Errc::cannot_create,
         "The output file @ could not be created: No such file or directory. Choose a folder where you may save "
         "files, or another name, and process again."},
        {OutputKind::Csv,
         {Field("A")},
         "no/such/out.csv",
         Errc::cannot_create,
         "The output file @ could not be created: No such file or directory. Choose a folder where you may save "
         "files, or another name, and process again."},
        {OutputKind::Csv,
         {Field("A")},
         "folder",
         Errc::cannot_replace,
         "The existing file @ could not be deleted: a folder has that name. Close the program that has it open, or "
         "choose another name, and process again. Nothing was written."},
    };
    std::filesystem::create_directory(dir.file("folder"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        recorder = {};
        request.OutputPath = dir.file(c.output);
        if (c.output.starts_with("keep"))
            write_bytes(request.OutputPath, "precious");
        request.TemplateItems = c.fields;
        request.Drawings = {{true, "/d/a.dwg"}};
        EXPECT_EQ(Process(c.kind).Error.code, c.error);
        std::string message = c.message;
        if (const auto at = message.find('@'); at != std::string::npos)
            message.replace(at, 1, request.OutputPath);
        EXPECT_EQ(recorder.events, std::vector<std::string>{"failed " + message});
        if (c.output.starts_with("keep")) {
            EXPECT_EQ(read_bytes(request.OutputPath), "precious");
        }
        EXPECT_TRUE(reads.empty());
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));
}

// Every kind of file replaces an older one and holds the rows written so far,
// for every reader, however the run ends.
TEST_F(RunTest, ARunThatEndsEarlyLeavesTheRowsSoFarInAFileEveryReaderTakes)
{
    for (int i : {0, 1, 3, 4}) drawings["/d/" + std::to_string(i) + ".dwg"] = {0, {{"A", std::to_string(i), ""}}};
    request.TemplateItems = {Field("A")};
    request.Jobs = 3;
    enum End { NothingTicked, Cancel, Stop, WriteFails };
    for (OutputKind kind : {OutputKind::Csv, OutputKind::Access97, OutputKind::Access2000, OutputKind::Xlsx}) {
        for (End end : {NothingTicked, Cancel, Stop, WriteFails}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(kind)) + " " + std::to_string(end));
            request.Drawings.clear();
            for (const char* name : {"/d/0.dwg", "/d/1.dwg", "/d/x.dwg", "/d/3.dwg", "/d/4.dwg"})
                request.Drawings.push_back({end != NothingTicked, name});
            request.OutputPath = dir.file("out" + std::to_string(static_cast<int>(kind)));
            write_bytes(request.OutputPath, "older file");
            ProcessingRun fresh;
            fresh.Reader = run.Reader;
            if (end == WriteFails)
                fresh.MakeWriter = [](OutputKind k, bool) { return std::make_unique<FailingWriter>(k, 3); };
            recorder = {};
            recorder.choices = {FailureChoice::Stop};
            RunCallbacks callbacks = recorder.callbacks();
            if (end != Stop)
                callbacks.DrawingNotProcessed = nullptr;
            if (end == Cancel)
                callbacks.Progress = [&fresh](const RunProgress& p, const std::string&) {
                    if (p.Done == 2)
                        fresh.Cancel();
                };
            request.Kind = kind;
            const RunResult result = fresh.Run(request, callbacks);
            EXPECT_EQ(result.Cancelled, end == Cancel || end == Stop);
            EXPECT_EQ(result.Error.code, end == WriteFails ? Errc::cannot_write : Errc::ok);
            const Rows rows = end == NothingTicked ? Rows{} : Rows{{"/d/0.dwg", "0"}, {"/d/1.dwg", "1"}};
            EXPECT_EQ(ReadRows(kind, request.OutputPath), rows);
            if (end == Cancel) {
                EXPECT_EQ(RunReport(result), "The run was cancelled after 2 of 5 drawings: 2 rows written to " +
                                                 request.OutputPath + ".\n");
            }
            if (end == WriteFails) {
                EXPECT_EQ(std::vector(recorder.events.end() - 2, recorder.events.end()),
                          (std::vector<std::string>{
                              "hide", "failed The output file " + request.OutputPath +
                                          " could not be written while processing /d/3.dwg: No space left on device. "
                                          "The rows of the drawings before it are kept in the file. Make room on the "
                                          "disk or choose another folder, and process again."}));
            }
        }
    }
}

TEST_F(RunTest, TheChoicesAtADrawingThatWasNotProcessed)
{
    for (const char* name : {"/d/x1.dwg", "/d/x2.dwg", "/d/x3.dwg"}) drawings[name] = {13, {}};
    for (const char* name : {"/d/a.dwg", "/d/b.dwg"}) drawings[name] = {0, {{"A", "v", ""}}};
    request.TemplateItems = {Field("A")};
    request.Drawings = {
        {true, "/d/x1.dwg"}, {true, "/d/a.dwg"}, {true, "/d/x2.dwg"}, {true, "/d/x3.dwg"}, {true, "/d/b.dwg"}};
    request.OutputPath = dir.file("choices.csv");
    const struct {
        std::vector<FailureChoice> answers;
        int asked;  // messages shown
        int rows;   // rows written
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
        const RunResult result = fresh.Run(request, recorder.callbacks());
        EXPECT_EQ(std::count_if(recorder.events.begin(), recorder.events.end(),
                                [](const std::string& e) { return e.starts_with("critical "); }),
                  c.asked);
        EXPECT_EQ(result.RowsWritten, c.rows);
        EXPECT_EQ(result.Cancelled, c.cancelled);
        EXPECT_EQ(result.completed(), !c.cancelled);
        // Every drawing not processed is in the report, asked about or not.
        EXPECT_EQ(result.NotProcessed.size(), static_cast<std::size_t>(c.cancelled ? c.asked : 3));
        EXPECT_EQ(ReadRows(OutputKind::Csv, request.OutputPath).value_or(Rows{}).size(),
                  static_cast<std::size_t>(c.rows));
    }
}

TEST_F(RunTest, TheEndReportGathersEverythingWorthSaying)
{
    const std::string replacement = "\xEF\xBF\xBD";
    drawings["/d/a.dwg"] = {0, {{"A", std::string(40000, 'v'), ""}, {"B", std::string(40000, 'w'), ""}}};
    drawings["/d/damaged.dwg"] = {13, {}};
    drawings["/d/paperless.dwg"] = {20, {}};
    request.TemplateItems = {Field("A"), Field("B")};
    request.Drawings = {{true, "/d/a.dwg"},  {true, "/d/gone.dwg"},      {true, "/d/damaged.dwg"},
                        {false, "/d/a.dwg"}, {true, "/d/paperless.dwg"}, {true, "/d/salvaged.dwg"}};
    const std::string head = "5 of 5 drawings processed: 3 rows written to @.\n\n"
                             "Drawings not processed (3):\n"
                             "/d/gone.dwg: the file does not exist\n"
                             "/d/damaged.dwg: the drawing is damaged\n"
                             "/d/paperless.dwg: the drawing has no block of that name\n\n"
                             "Drawings read with parts skipped; their rows were written (1):\n"
                             "/d/salvaged.dwg: 2 damaged objects skipped, 1 page checksum did not match\n\n";
    const std::pair<OutputKind, std::string> cases[] = {
        {OutputKind::Access2000, "Some values were longer than the database holds and were shortened (drawing: "
                                 "fields):\n/d/a.dwg: A, B\n"},
        {OutputKind::Xlsx, "Some values were longer than the 32,767 characters a workbook cell holds and were "
                           "shortened (drawing: columns):\n/d/a.dwg: A, B\n\nSome values held bytes that are not "
                           "text, or control characters a workbook cannot hold; they were written with \"" +
                               replacement + "\" in their place (drawing: columns):\n/d/salvaged.dwg: A\n"},
    };
    for (const auto& [kind, adjustments] : cases) {
        // Bytes that are not text are the workbook's to replace.
        drawings["/d/salvaged.dwg"] = {0, {{"A", kind == OutputKind::Xlsx ? "bad \xFF byte" : "w", ""}}, {2, 1}};
        ProcessingRun fresh;
        fresh.Reader = run.Reader;
        request.OutputPath = dir.file("out" + std::to_string(static_cast<int>(kind)));
        request.Kind = kind;
        const RunResult result = fresh.Run(request, {});
        ASSERT_TRUE(result.completed()) << result.FailureMessage;
        EXPECT_TRUE(result.HasNotes());
        std::string expected = head + adjustments;
        expected.replace(expected.find('@'), 1, request.OutputPath);
        EXPECT_EQ(RunReport(result), expected);
    }
}
