// Sharing a run out: the parts of the drawing list, and joining the parts'
// CSV files (a whole run against its merged parts is in the batch tests).

#include "output/csv_file.h"
#include "output/shard.h"
#include "test_support.h"

using namespace output;
using namespace output_test;

TEST(ShardOf, PartsCoverTheTickedDrawingsOnceInOrderAndEvenly)
{
    for (std::size_t count : {0u, 1u, 2u, 5u, 7u, 300u}) {
        std::vector<DrawingRow> rows;
        std::vector<std::string> ticked;
        for (std::size_t i = 0; i < count; ++i) {
            rows.push_back({true, std::to_string(i)});
            ticked.push_back(rows.back().Path);
            rows.push_back({false, "unticked " + std::to_string(i)});
        }
        for (std::size_t parts : {1u, 2u, 3u, 8u}) {
            std::vector<std::string> joined;
            std::size_t smallest = count, largest = 0;
            for (std::size_t k = 1; k <= parts; ++k) {
                const auto part = ShardOf(rows, k, parts);
                smallest = std::min(smallest, part.size());
                largest = std::max(largest, part.size());
                for (const auto& row : part) joined.push_back(row.Checked ? row.Path : "unticked");
            }
            EXPECT_EQ(joined, ticked) << count << " drawings in " << parts;
            EXPECT_LE(largest - std::min(smallest, largest), 1u) << count << " drawings in " << parts;
        }
    }
    const std::vector<DrawingRow> rows{{true, "a"}};
    EXPECT_TRUE(ShardOf(rows, 0, 2).empty());
    EXPECT_TRUE(ShardOf(rows, 3, 2).empty());
}

TEST(MergeCsvParts, OneHeaderInCp1252WhenEverythingFitsElseUtf8AndNothingOfAnotherRun)
{
    ScratchDir dir;
    const std::string bom = "\xEF\xBB\xBF", header = "\"File Name\",\"T\",\r\n";
    const std::pair<const char*, std::string> files[] = {
        {"1.csv", bom + header + "\"a.dwg\",\"Caf\xC3\xA9\",\r\n"},
        {"2.csv", bom + header},                          // a part without drawings
        {"3.csv", header + "\"b.dwg\",\"25\xB0\",\r\n"},  // an older part, in 1252
        {"4.csv", bom + header + "\"c.dwg\",\"\xE5\x9B\xBE\",\r\n"},
        {"other.csv", "\"File Name\",\"U\",\r\n"},
        {"empty.csv", ""},
    };
    for (const auto& [name, bytes] : files) write_bytes(dir.path() / name, bytes);
    const struct {
        std::vector<std::string> parts;
        Errc code;
        std::string merged;
    } cases[] = {
        {{"1.csv", "2.csv", "3.csv"}, Errc::ok, header + "\"a.dwg\",\"Caf\xE9\",\r\n\"b.dwg\",\"25\xB0\",\r\n"},
        {{"3.csv", "4.csv"}, Errc::ok, bom + header + "\"b.dwg\",\"25\xC2\xB0\",\r\n\"c.dwg\",\"\xE5\x9B\xBE\",\r\n"},
        {{"1.csv", "other.csv"}, Errc::bad_part, "kept"},
        {{"1.csv", "empty.csv"}, Errc::bad_part, "kept"},
        {{"1.csv", "missing.csv"}, Errc::cannot_read, "kept"},
        {{}, Errc::bad_part, "kept"},
    };
    for (const auto& c : cases) {
        write_bytes(dir.path() / "out.csv", "kept");
        std::vector<std::filesystem::path> parts;
        for (const auto& part : c.parts) parts.push_back(dir.path() / part);
        EXPECT_EQ(MergeCsvParts(dir.path() / "out.csv", parts).code, c.code);
        EXPECT_EQ(read_bytes(dir.path() / "out.csv"), c.merged);
    }
}
