// The CSV format: every cell quoted with quotes doubled, a comma after each,
// CR LF; code page 1252 until a line holds text it cannot carry.

#include "output/csv_file.h"
#include "test_support.h"

using namespace output;
using namespace output_test;

TEST(CsvLine, QuotesEveryCellAndEndsWithCommaAndCrLf) {
    const struct {
        std::vector<std::string_view> cells;
        std::string line;
    } cases[] = {
        {{"C:\\d\\a.dwg", "Pump", ""}, "\"C:\\d\\a.dwg\",\"Pump\",\"\",\r\n"},
        {{"a,b,c", "say \"hi\"", "\""}, "\"a,b,c\",\"say \"\"hi\"\"\",\"\"\"\",\r\n"},
        {{"two\r\nlines", "a\tb", "  padded  ", "x;y"}, "\"two\r\nlines\",\"a\tb\",\"  padded  \",\"x;y\",\r\n"},
        {{}, "\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(csv_line(c.cells), c.line);
}

// The last line is written by another CsvFile, as a later run part does.
TEST(CsvFile, StaysInCp1252UntilALineNeedsUtf8) {
    const struct {
        std::vector<std::vector<std::string_view>> lines;
        bool utf8;
        std::string bytes;
    } cases[] = {
        {{{"File Name", "T"}, {"a.dwg", "Caf\xC3\xA9 25\xC2\xB0"}, {"b.dwg", "x"}}, false,
         "\"File Name\",\"T\",\r\n\"a.dwg\",\"Caf\xE9 25\xB0\",\r\n\"b.dwg\",\"x\",\r\n"},
        {{{"File Name", "T"}, {"a.dwg", "Caf\xC3\xA9"}, {"b.dwg", "\xE5\x9B\xBE"}, {"c.dwg", "\xC3\xA9"}}, true,
         "\xEF\xBB\xBF\"File Name\",\"T\",\r\n\"a.dwg\",\"Caf\xC3\xA9\",\r\n\"b.dwg\",\"\xE5\x9B\xBE\",\r\n"
         "\"c.dwg\",\"\xC3\xA9\",\r\n"},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        const auto path = dir.path() / "out.csv";
        {
            CsvFile csv(path);
            for (std::size_t i = 0; i + 1 < c.lines.size(); ++i) ASSERT_TRUE(csv.WriteLine(c.lines[i]).ok());
        }
        CsvFile later(path);
        EXPECT_EQ(later.is_utf8(), c.utf8);
        ASSERT_TRUE(later.WriteLine(c.lines.back()).ok());
        EXPECT_EQ(read_bytes(path), c.bytes);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // nothing left aside
    }
}
