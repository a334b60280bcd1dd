#pragma once
// Output files read back by independent readers: libmdb (mdbtools) and the
// npm package mdb-reader, which also tells a null from an empty text, for
// databases; openpyxl for workbooks (xlsx_reader.h).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "output/modUtilities.h"

namespace output_test {

using Rows = std::vector<std::vector<std::string>>;

struct MdbColumn {
    std::string name;
    int type = 0;  // libmdb's column type, 10 for text
    int size = 0;  // bytes: 255 in Access 97, 510 in Access 2000
    friend bool operator==(const MdbColumn&, const MdbColumn&) = default;
};

struct MdbTable {
    int jetVersion = -1;  // 0 Jet 3 (Access 97), 1 Jet 4 (Access 2000)
    std::vector<MdbColumn> columns;
    Rows rows;
};

// Table "Main" as libmdb sees it; nothing when it cannot open it.
std::optional<MdbTable> ReadWithLibmdb(const std::filesystem::path& file);

// Table "Main" as mdb-reader sees it: each cell a value or nothing for null.
// Nothing when node or the reader fails; `error` then says why.
using Cells = std::vector<std::optional<std::string>>;
std::optional<std::vector<Cells>> ReadWithMdbReader(const std::filesystem::path& file, std::string& error);

// The rows below the header of an output file of any kind, as UTF-8 texts
// (a null as ""): CSV parsed here, databases through libmdb, workbooks
// through openpyxl. Nothing when the file does not read.
std::optional<Rows> ReadRows(output::OutputKind kind, const std::filesystem::path& file);

}  // namespace output_test
