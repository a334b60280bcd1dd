#pragma once
// Workbooks read back by openpyxl, through Debian's own Python (the first
// python3 on PATH may be another one without it).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace output_test {

struct Workbook {
    std::vector<std::string> sheets;
    std::string freeze;  // the first cell below and right of the frozen panes
    std::string filter;  // the autofilter's range
    std::vector<double> widths;
    std::vector<std::string> types;  // openpyxl's cell types met ("s" text)
    std::vector<std::vector<std::string>> rows;  // header first; absent cells as ""
};

std::optional<Workbook> ReadWithOpenpyxl(const std::filesystem::path& file, std::string& error);

}  // namespace output_test
