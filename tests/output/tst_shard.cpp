// Sharing a run out: the parts of the drawing list, and joining the parts'
// CSV files (a whole run against its merged parts is in the batch tests).

#include "output/csv_file.h"
#include "output/shard.h"
#include "test_support.h"

using namespace output;
using namespace output_test;

TEST(ShardOf, PartsCoverTheTickedDrawingsOnceInOrderAndEvenly) {
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

TEST(MergeCsvParts, OneHeaderInCp1252WhenEverythingFitsElseUtf8) {
    ScratchDir dir;
    const std::string bom = "\xEF\xBB\xBF", header = "\"File Name\",\"T\",\r\n";
    write_bytes(dir.path() / "1.csv", bom + header + "\"a.dwg\",\"Caf\xC3\xA9\",\r\n");
    write_bytes(dir.path() / "2.csv", bom + header);                          // a part without drawings
    write_bytes(dir.path() / "3.csv", header + "\"b.dwg\",\"25\xB0\",\r\n");  // an older part, in 1252
    write_bytes(dir.path() / "4.csv", bom + header + "\"c.dwg\",\"\xE5\x9B\xBE\",\r\n");
    const struct {
        std::vector<std::string> parts;
        std::string merged;
    } cases[] = {
        {{"1.csv", "2.csv", "3.csv"}, header + "\"a.dwg\",\"Caf\xE9\",\r\n\"b.dwg\",\"25\xB0\",\r\n"},
        {{"3.csv", "4.csv"}, bom + header + "\"b.dwg\",\"25\xC2\xB0\",\r\n\"c.dwg\",\"\xE5\x9B\xBE\",\r\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::filesystem::path> parts;
        for (const auto& part : c.parts) parts.push_back(dir.path() / part);
        ASSERT_TRUE(MergeCsvParts(dir.path() / "out.csv", parts).ok());
        EXPECT_EQ(read_bytes(dir.path() / "out.csv"), c.merged);
    }
}

TEST(MergeCsvParts, RefusesPartsOfAnotherRunAndLeavesTheOutputAlone) {
    ScratchDir dir;
    write_bytes(dir.path() / "out.csv", "kept");
    write_bytes(dir.path() / "1.csv", "\"File Name\",\"T\",\r\n");
    write_bytes(dir.path() / "other.csv", "\"File Name\",\"U\",\r\n");
    write_bytes(dir.path() / "empty.csv", "");
    const struct {
        std::vector<std::filesystem::path> parts;
        Errc code;
    } cases[] = {
        {{dir.path() / "1.csv", dir.path() / "other.csv"}, Errc::bad_part},
        {{dir.path() / "1.csv", dir.path() / "empty.csv"}, Errc::bad_part},
        {{dir.path() / "1.csv", dir.path() / "missing.csv"}, Errc::cannot_read},
        {{}, Errc::bad_part},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MergeCsvParts(dir.path() / "out.csv", c.parts).code, c.code);
        EXPECT_EQ(read_bytes(dir.path() / "out.csv"), "kept");
    }
}
