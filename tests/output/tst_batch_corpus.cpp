// quorvane-batch end to end on corpus drawings: a template file, a file list
// or a folder, each output kind, and the exit codes.

#include <map>
#include <sstream>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "batch.h"
#include "drawings/filelist.h"
#include "mdb_readers.h"
#include "templates/templatefile.h"
#include "test_support.h"

using output_test::corpus;
using output_test::read_bytes;
using output_test::ScratchDir;

namespace {

// The first value of each tag in the reference's model space.
std::map<std::string, std::string> ExpectedModel(const std::string& id) {
    QFile f(QString::fromStdString((corpus() / "expected" / (id + ".json")).string()));
    std::map<std::string, std::string> values;
    if (!f.open(QIODevice::ReadOnly)) return values;
    for (const QJsonValue pair : QJsonDocument::fromJson(f.readAll()).object().value("model").toArray())
        values.emplace(pair[0].toString().toStdString(), pair[1].toString().toStdString());
    return values;
}

std::string Generated(const std::string& name) {
    return (corpus() / "generated" / name).string();
}

class BatchCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        const QList<templates::TemplateItem> items = {
            {true, "TITLE", "TITLE", "GENERAL ARRANGEMENT", "M"},
            {false, "DATE", "DATE", "", "M"},
            {true, "Quote", "QUOTE", "", "M"},
            {true, "CJK", "CJK", "", "M"},
            {true, "Rev", "REV", "", "M"},
        };
        ASSERT_TRUE(templates::writeTemplateFile(QString::fromStdString(dir.file("t.xat")), items).ok());
        const QList<drawings::FileListRow> rows = {
            {true, QString::fromStdString(Generated("a_title_block.dwg"))},
            {true, QString::fromStdString(dir.file("gone.dwg"))},
            {false, QString::fromStdString(Generated("c_case_variants.dwg"))},
            {true, QString::fromStdString(Generated("f_awkward_values.dwg"))},
            {true, QString::fromStdString(Generated("c_case_variants.dwg"))},
        };
        ASSERT_EQ(drawings::writeFileList(QString::fromStdString(dir.file("l.xal")), rows),
                  drawings::FileListError::None);
    }

    int Batch(const std::vector<std::string>& args, bool terminal = false) {
        out.str("");
        err.str("");
        return batch::Main(args, out, err, terminal);
    }

    ScratchDir dir;
    std::ostringstream out, err;
};

}  // namespace

TEST_F(BatchCorpus, CsvFromAFileListReportsTheMissingDrawingAndExitsWithOne) {
    const std::string output = dir.file("out.csv");
    ASSERT_EQ(Batch({"--template", dir.file("t.xat"), "--file-list", dir.file("l.xal"), "--output", output, "--kind",
                     "csv"}),
              batch::kSomeNotRead)
        << err.str();
    EXPECT_NE(err.str().find("The file " + dir.file("gone.dwg") + " was not found and could not be processed.\n"),
              std::string::npos)
        << err.str();
    // Not a terminal: the problem as it came, then the report, nothing else.
    EXPECT_EQ(err.str(), "The file " + dir.file("gone.dwg") + " was not found and could not be processed.\n"
                         "4 of 4 drawings processed: 3 rows written to " + output + ".\n\n"
                         "Drawings not processed (1):\n" + dir.file("gone.dwg") + ": the file does not exist\n");
    // The CJK value turns the file into UTF-8 with a byte-order mark; the
    // quote inside a value is doubled.
    const std::string expected = "\xEF\xBB\xBF\"File Name\",\"TITLE\",\"QUOTE\",\"CJK\",\"REV\",\r\n"
                                 "\"" + Generated("a_title_block.dwg") + "\",\"GENERAL ARRANGEMENT\",\"\",\"\",\"C\",\r\n"
                                 "\"" + Generated("f_awkward_values.dwg") + "\",\"\",\"say \"\"hi\"\"\",\""
                                 "\xE5\x9B\xBE\xE7\xBA\xB8\xE6\xA0\x87\xE9\xA2\x98 \xE5\x9B\xB3\xE9\x9D\xA2\",\"\",\r\n"
                                 "\"" + Generated("c_case_variants.dwg") + "\",\"\",\"\",\"\",\"upper\",\r\n";
    EXPECT_EQ(read_bytes(output), expected);
}

TEST_F(BatchCorpus, BothDatabaseKindsFromAFolder) {
    for (const auto& [kind, jet] : {std::pair<std::string, int>{"access97", 0}, {"access2000", 1}}) {
        SCOPED_TRACE(kind);
        const std::string output = dir.file(kind + ".mdb");
        ASSERT_EQ(Batch({"--template", dir.file("t.xat"), "--folder", (corpus() / "generated" / "batch").string(),
                         "--output", output, "--kind", kind, "--quiet"}),
                  batch::kAllRead)
            << err.str();
        EXPECT_EQ(err.str().find("[1/"), std::string::npos);
        const auto table = output_test::ReadWithLibmdb(output);
        ASSERT_TRUE(table);
        EXPECT_EQ(table->jetVersion, jet);
        ASSERT_EQ(table->columns.size(), 5u);
        EXPECT_EQ(table->columns[4].name, "Rev");
        ASSERT_EQ(table->rows.size(), 300u);
        for (const auto& row : table->rows) {
            const std::string name = std::filesystem::path(row[0]).stem().string();
            const auto expected = ExpectedModel("gen_r2000_" + name);
            EXPECT_EQ(row[1], expected.at("TITLE")) << name;
            EXPECT_EQ(row[2], "") << name;  // no QUOTE attribute: null, which libmdb shows as empty
            EXPECT_EQ(row[4], expected.at("REV")) << name;
        }
    }
}

TEST_F(BatchCorpus, ProgressOnATerminalAndLinesPerDrawingWhenVerbose) {
    const std::vector<std::string> base = {"--template", dir.file("t.xat"), "--file-list", dir.file("l.xal"),
                                           "--output", dir.file("out.csv"), "--kind", "csv", "--jobs", "2"};
    struct Case {
        std::vector<std::string> extra;
        bool terminal;
        bool progressLine;
        bool perDrawing;
    } cases[] = {
        {{}, true, true, false},
        {{"--quiet"}, true, false, false},
        {{"--verbose"}, true, true, true},
        {{"--verbose"}, false, false, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = base;
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        SCOPED_TRACE(std::to_string(c.terminal) + " " + (c.extra.empty() ? "" : c.extra[0]));
        EXPECT_EQ(Batch(args, c.terminal), batch::kSomeNotRead);
        const std::string text = err.str();
        // The line is redrawn in place and wiped before anything else is written.
        EXPECT_EQ(text.find("\r4 of 4 drawings, ") != std::string::npos, c.progressLine) << text;
        EXPECT_EQ(text.find("\r\033[KThe file " + dir.file("gone.dwg")) != std::string::npos ||
                      text.find("\r\033[K[") != std::string::npos,
                  c.progressLine)
            << text;
        EXPECT_EQ(text.find("[4/4] " + Generated("c_case_variants.dwg") + "\n") != std::string::npos, c.perDrawing)
            << text;
        EXPECT_NE(text.find("4 of 4 drawings processed: 3 rows written to "), std::string::npos) << text;
    }
}
