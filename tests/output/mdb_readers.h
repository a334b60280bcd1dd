#pragma once
// Our database files read back by two independent readers: libmdb (mdbtools)
// for the schema and the texts, and the npm package mdb-reader, which also
// tells a null from an empty text.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace output_test {

inline constexpr int kMdbText = 10;  // libmdb's type number of a text column

struct MdbColumn {
    std::string name;
    int type = 0;  // libmdb's column type
    int size = 0;  // bytes: 255 in Access 97, 510 in Access 2000
    friend bool operator==(const MdbColumn&, const MdbColumn&) = default;
};

struct MdbTable {
    int jetVersion = -1;  // 0 Jet 3 (Access 97), 1 Jet 4 (Access 2000)
    std::vector<MdbColumn> columns;
    std::vector<std::vector<std::string>> rows;
};

// Table "Main" as libmdb sees it; nothing when it cannot open it.
std::optional<MdbTable> ReadWithLibmdb(const std::filesystem::path& file);

// Table "Main" as mdb-reader sees it: each cell a value or nothing for null.
// Nothing when node or the reader fails; `error` then says why.
using Cells = std::vector<std::optional<std::string>>;
std::optional<std::vector<Cells>> ReadWithMdbReader(const std::filesystem::path& file, std::string& error);

}  // namespace output_test
