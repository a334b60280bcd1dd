// Runs that read on several threads: the output is the one-thread output,
// and a cancelled run leaves a file every reader takes, with the rows so far.

#include <set>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "mdb_readers.h"
#include "run_fixture.h"

using namespace output;
using namespace output_test;

namespace {

// Every drawing of the corpus (real ones of every version, generated ones,
// the batch), in name order, and the first model-space tags of the references.
RunRequest CorpusRequest() {
    RunRequest request;
    std::vector<std::string> paths;
    for (const char* folder : {"dwg", "generated"}) {
        QDirIterator it(QString::fromStdString((corpus() / folder).string()), {"*.dwg"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) paths.push_back(it.next().toStdString());
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& p : paths) request.Drawings.push_back({true, p});
    std::set<std::string> tags;
    QDirIterator refs(QString::fromStdString((corpus() / "expected").string()), {"*.json"}, QDir::Files);
    while (refs.hasNext() && tags.size() < 30) {
        QFile f(refs.next());
        if (!f.open(QIODevice::ReadOnly)) continue;
        for (const QJsonValue pair : QJsonDocument::fromJson(f.readAll()).object().value("model").toArray()) {
            const std::string tag = pair[0].toString().toStdString();
            // Column names of our own: tags may differ only in case or hold characters columns refuse.
            if (tags.insert(tag).second)
                request.TemplateItems.push_back({true, "F" + std::to_string(tags.size()), tag, "M"});
        }
    }
    return request;
}

}  // namespace

TEST(ParallelRun, AnyNumberOfJobsGivesTheOneJobOutput) {
    ScratchDir dir;
    RunRequest request = CorpusRequest();
    ASSERT_GT(request.Drawings.size(), 900u);
    for (OutputKind kind : {OutputKind::Csv, OutputKind::Access97, OutputKind::Access2000}) {
        SCOPED_TRACE(static_cast<int>(kind));
        request.Kind = kind;
        std::string csv;
        std::optional<MdbTable> table;
        for (unsigned jobs : {1u, 2u, 5u}) {
            request.Jobs = jobs;
            request.OutputPath = dir.file("out" + std::to_string(jobs));
            ProcessingRun run;
            const RunResult result = run.Run(request, {});
            ASSERT_TRUE(result.completed()) << result.FailureMessage;
            EXPECT_GT(result.RowsWritten, 500);
            if (kind == OutputKind::Csv) {
                if (jobs == 1) csv = read_bytes(request.OutputPath);
                else EXPECT_TRUE(read_bytes(request.OutputPath) == csv) << "jobs " << jobs;
            } else {
                auto read = ReadWithLibmdb(request.OutputPath);
                ASSERT_TRUE(read);
                ASSERT_EQ(read->rows.size(), static_cast<std::size_t>(result.RowsWritten));
                if (jobs == 1) table = std::move(read);
                else EXPECT_TRUE(read->rows == table->rows) << "jobs " << jobs;
            }
        }
    }
}

TEST_F(RunTest, CancelInTheMiddleLeavesTheRowsSoFarInAFileEveryReaderTakes) {
    for (int i = 0; i < 10; ++i) drawings["/d/" + std::to_string(i) + ".dwg"] = {0, {{"A", std::to_string(i), ""}}};
    request.TemplateItems = {Field("A")};
    for (int i = 0; i < 10; ++i) request.Drawings.push_back({true, "/d/" + std::to_string(i) + ".dwg"});
    request.Jobs = 3;
    for (OutputKind kind : {OutputKind::Csv, OutputKind::Access97, OutputKind::Access2000}) {
        SCOPED_TRACE(static_cast<int>(kind));
        ProcessingRun fresh;
        fresh.Reader = run.Reader;
        RunCallbacks callbacks;
        callbacks.Progress = [&fresh](const RunProgress& p, const std::string&) {
            if (p.Done == 4) fresh.Cancel();
        };
        request.OutputPath = dir.file("cancelled" + std::to_string(static_cast<int>(kind)));
        request.Kind = kind;
        const RunResult result = fresh.Run(request, callbacks);
        EXPECT_TRUE(result.Cancelled);
        EXPECT_TRUE(result.Error.ok());
        EXPECT_EQ(result.RowsWritten, 4);
        EXPECT_EQ(RunReport(result),
                  "The run was cancelled after 4 of 10 drawings: 4 rows written to " + request.OutputPath + ".\n");
        if (kind == OutputKind::Csv) {
            EXPECT_EQ(read_bytes(request.OutputPath),
                      "\"File Name\",\"A\",\r\n\"/d/0.dwg\",\"0\",\r\n\"/d/1.dwg\",\"1\",\r\n"
                      "\"/d/2.dwg\",\"2\",\r\n\"/d/3.dwg\",\"3\",\r\n");
            continue;
        }
        const std::vector<std::vector<std::string>> rows = {
            {"/d/0.dwg", "0"}, {"/d/1.dwg", "1"}, {"/d/2.dwg", "2"}, {"/d/3.dwg", "3"}};
        const auto table = ReadWithLibmdb(request.OutputPath);
        ASSERT_TRUE(table);
        EXPECT_EQ(table->rows, rows);
        std::string error;
        const auto cells = ReadWithMdbReader(request.OutputPath, error);
        ASSERT_TRUE(cells) << error;
        EXPECT_EQ(*cells, (std::vector<Cells>{{"/d/0.dwg", "0"}, {"/d/1.dwg", "1"}, {"/d/2.dwg", "2"}, {"/d/3.dwg", "3"}}));
    }
}
