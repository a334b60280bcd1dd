#pragma once
// Output files read back by independent readers: the npm package mdb-reader
// for databases (the jet tests hold them to libmdb and the format checker
// too), openpyxl (Debian's own Python; the first python3 on PATH may lack it)
// for workbooks.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "output/modUtilities.h"

namespace output_test {

using Rows = std::vector<std::vector<std::string>>;
using Cells = std::vector<std::optional<std::string>>;

struct MdbTable {
    std::vector<std::string> columns;  // "name type size": "Location text 510"
    std::vector<Cells> rows;           // a null as nothing
};

// Table "Main"; nothing when node or the reader fails, `error` then says why.
std::optional<MdbTable> ReadWithMdbReader(const std::filesystem::path& file, std::string& error);

struct Workbook {
    std::vector<std::string> sheets;
    std::string freeze;  // the first cell below and right of the frozen panes
    std::string filter;  // the autofilter's range
    std::vector<double> widths;
    std::vector<std::string> types;              // openpyxl's cell types met ("s" text)
    std::vector<std::vector<std::string>> rows;  // header first; absent cells as ""
};

std::optional<Workbook> ReadWithOpenpyxl(const std::filesystem::path& file, std::string& error);

// The rows below the header of an output file of any kind, as UTF-8 texts
// (a null as ""). Nothing when the file does not read.
std::optional<Rows> ReadRows(output::OutputKind kind, const std::filesystem::path& file);

}  // namespace output_test
