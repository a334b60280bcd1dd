// The CSV format: every cell quoted with quotes doubled, a comma after each,
// CR LF; code page 1252 until a line holds text it cannot carry, then UTF-8
// behind a byte-order mark, the lines before converted.

#include "output/csv_file.h"
#include "test_support.h"

using namespace output;
using namespace output_test;

// The last line is written by another CsvFile, as a later run part does.
TEST(CsvFile, QuotedCellsInCp1252UntilALineNeedsUtf8)
{
    const struct {
        std::vector<std::vector<std::string_view>> lines;
        bool utf8;
        std::string bytes;
    } cases[] = {
        {{{"C:\\d\\a.dwg", "Pump", ""},
          {"a,b,c", "say \"hi\"", "\""},
          {"two\r\nlines", "a\tb", "  padded  ", "x;y"},
          {},
          {"a.dwg", "Caf\xC3\xA9 25\xC2\xB0"}},
         false,
         "\"C:\\d\\a.dwg\",\"Pump\",\"\",\r\n\"a,b,c\",\"say \"\"hi\"\"\",\"\"\"\",\r\n"
         "\"two\r\nlines\",\"a\tb\",\"  padded  \",\"x;y\",\r\n\r\n\"a.dwg\",\"Caf\xE9 25\xB0\",\r\n"},
        {{{"File Name", "T"}, {"a.dwg", "Caf\xC3\xA9"}, {"b.dwg", "\xE5\x9B\xBE"}, {"c.dwg", "\xC3\xA9"}},
         true,
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
