// The CSV format and the UTF-16 length rules of database text.

#include "output/csv_file.h"
#include "output/text_encoding.h"
#include "test_support.h"

using namespace output;
using output_test::read_bytes;
using output_test::ScratchDir;

TEST(CsvLine, QuotesEveryCellAndEndsWithCommaAndCrLf) {
    struct Case {
        std::vector<std::string_view> cells;
        std::string line;
    } cases[] = {
        {{"File Name", "TITLE", "REV"}, "\"File Name\",\"TITLE\",\"REV\",\r\n"},
        {{"C:\\d\\a.dwg", "Pump", ""}, "\"C:\\d\\a.dwg\",\"Pump\",\"\",\r\n"},
        {{"a,b,c"}, "\"a,b,c\",\r\n"},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\",\r\n"},
        {{"\""}, "\"\"\"\",\r\n"},
        {{"two\r\nlines", "a\tb"}, "\"two\r\nlines\",\"a\tb\",\r\n"},
        {{"  padded  ", "x;y"}, "\"  padded  \",\"x;y\",\r\n"},
        {{}, "\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(csv_line(c.cells), c.line);
}

TEST(TextEncoding, CountsAndCutsInUtf16Units) {
    const std::string smile = "\xF0\x9F\x98\x80";  // two UTF-16 units
    EXPECT_EQ(utf16_length("abc"), 3u);
    EXPECT_EQ(utf16_length("\xC3\xA9\xE5\x9B\xBE"), 2u);
    EXPECT_EQ(utf16_length(smile), 2u);
    EXPECT_EQ(truncate_utf16("abcdef", 3), "abc");
    EXPECT_EQ(truncate_utf16("ab", 3), "ab");
    EXPECT_EQ(truncate_utf16("a\xC3\xA9z", 2), "a\xC3\xA9");
    EXPECT_EQ(truncate_utf16("a" + smile, 2), "a");  // never half a pair
    EXPECT_EQ(truncate_utf16("a" + smile, 3), "a" + smile);
}

TEST(CsvFile, WritesCp1252WhileTheTextFits) {
    ScratchDir dir;
    const auto path = dir.path() / "out.csv";
    CsvFile csv(path);
    ASSERT_TRUE(csv.WriteLine({"File Name", "LATIN1"}).ok());
    ASSERT_TRUE(csv.WriteLine({"a.dwg", "Caf\xC3\xA9 25\xC2\xB0"}).ok());
    EXPECT_FALSE(csv.is_utf8());
    EXPECT_EQ(read_bytes(path), "\"File Name\",\"LATIN1\",\r\n\"a.dwg\",\"Caf\xE9 25\xB0\",\r\n");
}

TEST(CsvFile, TurnsUtf8WithByteOrderMarkWhenTextDoesNotFit) {
    ScratchDir dir;
    const auto path = dir.path() / "out.csv";
    {
        CsvFile csv(path);
        ASSERT_TRUE(csv.WriteLine({"File Name", "T"}).ok());
        ASSERT_TRUE(csv.WriteLine({"a.dwg", "Caf\xC3\xA9"}).ok());
        ASSERT_TRUE(csv.WriteLine({"b.dwg", "\xE5\x9B\xBE"}).ok());
        EXPECT_TRUE(csv.is_utf8());
    }
    // A later writer (one per row in a run) finds the mark and stays UTF-8.
    CsvFile later(path);
    EXPECT_TRUE(later.is_utf8());
    ASSERT_TRUE(later.WriteLine({"c.dwg", "\xC3\xA9"}).ok());
    EXPECT_EQ(read_bytes(path),
              "\xEF\xBB\xBF\"File Name\",\"T\",\r\n\"a.dwg\",\"Caf\xC3\xA9\",\r\n"
              "\"b.dwg\",\"\xE5\x9B\xBE\",\r\n\"c.dwg\",\"\xC3\xA9\",\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.csv.converting"));
}

TEST(CsvFile, ReportsAFileThatCannotBeOpenedAndKeepsNothingHalfDone) {
    ScratchDir dir;
    const auto path = dir.path() / "taken";
    std::filesystem::create_directory(path);  // a folder where the file should go
    CsvFile csv(path);
    const Status s = csv.WriteLine({"x"});
    EXPECT_EQ(s.code, Errc::cannot_write);
    EXPECT_FALSE(s.detail.empty());
    EXPECT_EQ(CsvFile(dir.path() / "missing" / "out.csv").WriteLine({"x"}).code, Errc::cannot_write);
}
