// quorvane-batch: its arguments, its exit codes, and that a command reaches
// the run (what the run writes is the output tests').

#include <sstream>

#include "batch.h"
#include "drawings/filelist.h"
#include "readback.h"
#include "templates/templatefile.h"
#include "test_support.h"

using namespace output_test;

namespace {

std::string Describe(const batch::Options& o)
{
    std::ostringstream s;
    s << "t=" << o.templatePath << " l=" << o.fileListPath << " f=" << o.folder << (o.subfolders ? "/**" : "")
      << " p=" << static_cast<int>(o.pattern) << " o=" << o.outputPath << " k=" << static_cast<int>(o.kind)
      << " j=" << o.jobs << " s=" << o.shard << "/" << o.shards << (o.quiet ? " quiet" : "")
      << (o.verbose ? " verbose" : "");
    if (!o.mergeOutput.empty())
        s << " merge=" << o.mergeOutput;
    for (const auto& part : o.mergeParts) s << " " << part;
    return s.str();
}

std::string Generated(const std::string& name)
{
    return (std::filesystem::path(QUORVANE_CORPUS_DIR) / "generated" / name).string();
}

}  // namespace

TEST(BatchArguments, TheDocumentedFormsAndAReasonForEveryWrongOne)
{
    const struct {
        std::vector<std::string> args;
        std::string parsed;  // Describe's text, or the error
    } cases[] = {
        {{"--template", "t.xat", "--file-list", "l.xal", "--output", "o.mdb", "--kind", "access97"},
         "t=t.xat l=l.xal f= p=0 o=o.mdb k=1 j=0 s=0/0"},
        {{"--kind=access2000", "--folder=d", "--subfolders", "--output=o", "--template=t", "--quiet", "--jobs", "3"},
         "t=t l= f=d/** p=0 o=o k=2 j=3 s=0/0 quiet"},
        {{"--kind=csv", "--folder=d", "--pattern", "both", "--output=o", "--template=t", "--verbose"},
         "t=t l= f=d p=2 o=o k=3 j=0 s=0/0 verbose"},
        {{"--kind=xlsx", "--folder=d", "--pattern=dxf", "--output=o.xlsx", "--template=t", "--shard", "2/3"},
         "t=t l= f=d p=1 o=o.xlsx k=4 j=0 s=2/3"},
        {{"--merge", "all.csv", "1.csv", "--2.csv"}, "t= l= f= p=0 o= k=3 j=0 s=0/0 merge=all.csv 1.csv --2.csv"},
        {{"--folder", "d", "--output", "o", "--kind", "csv"}, "--template is missing"},
        {{"--template", "t", "--output", "o", "--kind", "csv"}, "give either --file-list or --folder"},
        {{"--template", "t", "--folder", "d", "--file-list", "l", "--output", "o", "--kind", "csv"},
         "give either --file-list or --folder"},
        {{"--template", "t", "--file-list", "l", "--subfolders", "--output", "o", "--kind", "csv"},
         "--subfolders goes with --folder"},
        {{"--template", "t", "--folder", "d", "--kind", "csv"}, "--output is missing"},
        {{"--template", "t", "--folder", "d", "--output", "o"}, "--kind is missing"},
        {{"--template", "t", "--folder", "d", "--output", "o", "--kind", "xls"},
         "unknown kind \"xls\" (access97, access2000, csv or xlsx)"},
        {{"--template", "t", "--folder", "d", "--output", "o", "--kind"}, "--kind needs a value"},
        {{"--template=", "--folder", "d", "--output", "o", "--kind", "csv"}, "--template needs a value"},
        {{"--subfolders=yes"}, "--subfolders takes no value"},
        {{"--template", "t", "--folder", "d", "--pattern", "*.dwg", "--output", "o", "--kind", "csv"},
         "unknown pattern \"*.dwg\" (dwg, dxf or both)"},
        {{"--template", "t", "--file-list", "l", "--pattern=dxf", "--output", "o", "--kind", "csv"},
         "--pattern goes with --folder"},
        {{"--bogus"}, "unknown argument \"--bogus\""},
        {{"--jobs", "0"}, "--jobs takes a number from 1 to 256"},
        {{"--jobs=2x"}, "--jobs takes a number from 1 to 256"},
        {{"--template", "t", "--folder", "d", "--output", "o", "--kind", "csv", "--quiet", "--verbose"},
         "--quiet and --verbose exclude each other"},
        {{"--shard", "0/2"}, "--shard takes K/N with K from 1 to N, not \"0/2\""},
        {{"--shard=3/2"}, "--shard takes K/N with K from 1 to N, not \"3/2\""},
        {{"--shard", "1/2x"}, "--shard takes K/N with K from 1 to N, not \"1/2x\""},
        {{"--merge", "out.csv"}, "--merge needs the output file and at least one part"},
        {{"--quiet", "--merge", "o", "p"}, "--merge comes first, followed by the output file and the parts"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto options = batch::ParseArguments(c.args, error);
        EXPECT_EQ(options ? Describe(*options) : error, c.parsed);
    }
}

class BatchCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QList<templates::TemplateItem> items = {{true, "TITLE", "TITLE", "GENERAL ARRANGEMENT", "M"},
                                                      {false, "DATE", "DATE", "", "M"},
                                                      {true, "Quote", "QUOTE", "", "M"},
                                                      {true, "CJK", "CJK", "", "M"},
                                                      {true, "Rev", "REV", "", "M"}};
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

    int Batch(std::vector<std::string> args, bool terminal = false)
    {
        out.str("");
        err.str("");
        return batch::Main(args, out, err, terminal);
    }
    std::vector<std::string> FromList(const std::string& output, const std::string& kind,
                                      std::vector<std::string> more = {})
    {
        more.insert(more.begin(), {"--template", dir.file("t.xat"), "--file-list", dir.file("l.xal"), "--output",
                                   output, "--kind", kind});
        return more;
    }

    ScratchDir dir;
    std::ostringstream out, err;
};

TEST_F(BatchCommand, NoRunWithExitCodeTwoWhenItCannotStart)
{
    const std::string output = dir.file("out.csv");
    write_bytes(output, "kept");
    write_bytes(dir.file("none-ticked.xat"), "0\tTITLE\tTITLE\t\tM\r\n");
    const std::string folder = dir.path().string();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus"}, "quorvane-batch: unknown argument \"--bogus\"\nTry quorvane-batch --help.\n"},
        {{"--template", dir.file("none.xat"), "--folder", folder, "--output", output, "--kind", "csv"}, "none.xat"},
        // Refused before the old output goes.
        {{"--template", dir.file("none-ticked.xat"), "--folder", folder, "--output", output, "--kind", "csv"},
         "No field is ticked"},
        {{"--template", dir.file("t.xat"), "--folder", dir.file("nowhere"), "--output", output, "--kind", "csv"},
         "nowhere: no such folder"},
        {{"--template", dir.file("t.xat"), "--file-list", dir.file("none.xal"), "--output", output, "--kind", "csv"},
         "none.xal"},
        {{"--merge", output, dir.file("missing.csv")}, "missing.csv"},
    };
    for (const auto& [args, said] : cases) {
        EXPECT_EQ(Batch(args), batch::kNotDone) << said;
        EXPECT_NE(err.str().find(said), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().empty());
        EXPECT_EQ(read_bytes(output), "kept");
    }
    EXPECT_EQ(Batch({"--help"}), batch::kAllRead);
    EXPECT_NE(out.str().find("Exit codes:"), std::string::npos);
    EXPECT_TRUE(err.str().empty());
}

TEST_F(BatchCommand, ARunFromTheTemplateAndTheFileListReportsTheMissingDrawingAndExitsWithOne)
{
    const std::string output = dir.file("out.csv");
    ASSERT_EQ(Batch(FromList(output, "csv")), batch::kSomeNotRead) << err.str();
    // Not a terminal: the problem as it came, then the report, nothing else.
    EXPECT_EQ(err.str(), "The file " + dir.file("gone.dwg") +
                             " was not found and could not be processed.\n"
                             "4 of 4 drawings processed: 3 rows written to " +
                             output +
                             ".\n\n"
                             "Drawings not processed (1):\n" +
                             dir.file("gone.dwg") + ": the file does not exist\n");
    const std::string cjk = "\xE5\x9B\xBE\xE7\xBA\xB8\xE6\xA0\x87\xE9\xA2\x98 \xE5\x9B\xB3\xE9\x9D\xA2";
    EXPECT_EQ(read_bytes(output), "\xEF\xBB\xBF\"File Name\",\"TITLE\",\"QUOTE\",\"CJK\",\"REV\",\r\n"
                                  "\"" +
                                      Generated("a_title_block.dwg") +
                                      "\",\"GENERAL ARRANGEMENT\",\"\",\"\",\"C\",\r\n"
                                      "\"" +
                                      Generated("f_awkward_values.dwg") + "\",\"\",\"say \"\"hi\"\"\",\"" + cjk +
                                      "\",\"\",\r\n"
                                      "\"" +
                                      Generated("c_case_variants.dwg") + "\",\"\",\"\",\"\",\"upper\",\r\n");

    // The kind reaches the run, Access 97 in its code page. On a terminal a
    // progress line is redrawn in place and wiped before anything else is
    // written, unless --quiet; --verbose adds a line per drawing.
    Rows rows = ReadRows(output::OutputKind::Csv, output).value_or(Rows{});
    ASSERT_EQ(Batch(FromList(dir.file("out.xlsx"), "xlsx", {"--verbose", "--jobs", "2"}), true), batch::kSomeNotRead);
    EXPECT_EQ(ReadRows(output::OutputKind::Xlsx, dir.file("out.xlsx")), rows);
    EXPECT_NE(err.str().find("\r4 of 4 drawings, "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("[4/4] " + Generated("c_case_variants.dwg") + "\n"), std::string::npos);
    EXPECT_TRUE(err.str().find("\r\033[KThe file " + dir.file("gone.dwg")) != std::string::npos ||
                err.str().find("\r\033[K[") != std::string::npos)
        << err.str();
    ASSERT_EQ(Batch(FromList(dir.file("out.mdb"), "access97", {"--quiet"}), true), batch::kSomeNotRead);
    rows[1][3] = "???? ??";
    EXPECT_EQ(ReadRows(output::OutputKind::Access97, dir.file("out.mdb")), rows);
    EXPECT_EQ(err.str().find('\r'), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("[4/4]"), std::string::npos) << err.str();
}

// Shards of a folder and its sub-folders, merged, are the whole run's file.
TEST_F(BatchCommand, ShardsOfAFolderMergedAreTheWholeRun)
{
    auto run = [&](const std::string& output, std::vector<std::string> more) {
        std::vector<std::string> args = {"--template",   dir.file("t.xat"), "--folder", Generated(""),
                                         "--subfolders", "--output",        output,     "--kind",
                                         "csv",          "--quiet"};
        args.insert(args.end(), more.begin(), more.end());
        return Batch(args);
    };
    EXPECT_EQ(run(dir.file("whole.csv"), {}), batch::kAllRead) << err.str();
    const std::string whole = read_bytes(dir.file("whole.csv"));
    // The folder's path is cleaned of "..".
    for (const char* name : {"a_title_block.dwg", "batch/batch_001.dwg"})
        EXPECT_NE(whole.find("\"" + std::filesystem::path(Generated(name)).lexically_normal().string() + "\""),
                  std::string::npos)
            << name;
    for (const char* shard : {"1/2", "2/2"}) {
        run(dir.file(std::string("part") + shard[0] + ".csv"), {"--shard", shard});
        EXPECT_TRUE(read_bytes(dir.file(std::string("part") + shard[0] + ".csv")).starts_with("\xEF\xBB\xBF"));
    }
    EXPECT_EQ(Batch({"--merge", dir.file("merged.csv"), dir.file("part1.csv"), dir.file("part2.csv")}),
              batch::kAllRead);
    EXPECT_EQ(read_bytes(dir.file("merged.csv")), whole);
}
