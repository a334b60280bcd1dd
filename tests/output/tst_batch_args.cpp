// quorvane-batch: its arguments and the runs it refuses before reading anything.

#include <sstream>

#include "batch.h"
#include "test_support.h"

using output_test::read_bytes;
using output_test::ScratchDir;
using output_test::write_bytes;

TEST(BatchArguments, AcceptsTheDocumentedForms) {
    std::string error;
    auto o = batch::ParseArguments({"--template", "t.xat", "--file-list", "l.xal", "--output", "o.mdb", "--kind",
                                    "access97"},
                                   error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->templatePath, "t.xat");
    EXPECT_EQ(o->fileListPath, "l.xal");
    EXPECT_EQ(o->outputPath, "o.mdb");
    EXPECT_EQ(o->kind, output::OutputKind::Access97);
    EXPECT_FALSE(o->subfolders);

    o = batch::ParseArguments({"--kind=access2000", "--folder=d", "--subfolders", "--output=o", "--template=t",
                               "--quiet", "--jobs", "3"},
                              error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->jobs, 3u);
    EXPECT_EQ(o->folder, "d");
    EXPECT_TRUE(o->subfolders);
    EXPECT_TRUE(o->quiet);
    EXPECT_EQ(o->kind, output::OutputKind::Access2000);

    EXPECT_EQ(o->pattern, drawings::DrawingPattern::Dwg);

    o = batch::ParseArguments({"--kind=csv", "--folder=d", "--pattern", "both", "--output=o", "--template=t"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->pattern, drawings::DrawingPattern::Both);

    o = batch::ParseArguments({"--kind=xlsx", "--folder=d", "--output=o.xlsx", "--template=t"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->kind, output::OutputKind::Xlsx);

    o = batch::ParseArguments({"--template", "t", "--folder", "d", "--output", "o", "--kind", "csv", "--shard", "2/3"},
                              error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->shard, 2u);
    EXPECT_EQ(o->shards, 3u);

    o = batch::ParseArguments({"--merge", "all.csv", "1.csv", "--2.csv"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->mergeOutput, "all.csv");
    EXPECT_EQ(o->mergeParts, (std::vector<std::string>{"1.csv", "--2.csv"}));

    o = batch::ParseArguments({"--help"}, error);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->help);
}

TEST(BatchArguments, RefusesWrongOnesWithAReason) {
    const std::vector<std::string> full = {"--template", "t", "--folder", "d", "--output", "o", "--kind", "csv"};
    struct Case {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
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
        {{"extra.dwg"}, "unknown argument \"extra.dwg\""},
        {{"--shard", "0/2"}, "--shard takes K/N with K from 1 to N, not \"0/2\""},
        {{"--shard=3/2"}, "--shard takes K/N with K from 1 to N, not \"3/2\""},
        {{"--shard", "1/2x"}, "--shard takes K/N with K from 1 to N, not \"1/2x\""},
        {{"--shard", "-1/2"}, "--shard takes K/N with K from 1 to N, not \"-1/2\""},
        {{"--merge", "out.csv"}, "--merge needs the output file and at least one part"},
        {{"--quiet", "--merge", "o", "p"}, "--merge comes first, followed by the output file and the parts"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(batch::ParseArguments(c.args, error));
        EXPECT_EQ(error, c.error);
    }
    std::string error;
    EXPECT_TRUE(batch::ParseArguments(full, error)) << error;
}

TEST(BatchCommand, HelpAndUnreadableInputsGiveTheirExitCodes) {
    ScratchDir dir;
    std::ostringstream out, err;
    EXPECT_EQ(batch::Main({"--help"}, out, err), batch::kAllRead);
    EXPECT_NE(out.str().find("Exit codes:"), std::string::npos);
    EXPECT_TRUE(err.str().empty());

    out.str("");
    EXPECT_EQ(batch::Main({"--bogus"}, out, err), batch::kNotDone);
    EXPECT_NE(err.str().find("unknown argument"), std::string::npos);
    EXPECT_TRUE(out.str().empty());

    const std::string output = dir.file("out.csv");
    write_bytes(output, "kept");
    err.str("");
    EXPECT_EQ(batch::Main({"--template", dir.file("none.xat"), "--folder", dir.path().string(), "--output", output,
                           "--kind", "csv"},
                          out, err),
              batch::kNotDone);
    EXPECT_NE(err.str().find("none.xat"), std::string::npos) << err.str();

    // A template without a ticked row: refused before the old output goes.
    write_bytes(dir.file("t.xat"), "0\tTITLE\tTITLE\t\tM\r\n");
    err.str("");
    EXPECT_EQ(batch::Main({"--template", dir.file("t.xat"), "--folder", dir.path().string(), "--output", output,
                           "--kind", "csv"},
                          out, err),
              batch::kNotDone);
    EXPECT_NE(err.str().find("No field is ticked"), std::string::npos) << err.str();
    EXPECT_EQ(read_bytes(output), "kept");

    err.str("");
    write_bytes(dir.file("t.xat"), "1\tTITLE\tTITLE\t\tM\r\n");
    EXPECT_EQ(batch::Main({"--template", dir.file("t.xat"), "--folder", dir.file("nowhere"), "--output", output,
                           "--kind", "csv"},
                          out, err),
              batch::kNotDone);
    EXPECT_NE(err.str().find("no such folder"), std::string::npos) << err.str();
}
