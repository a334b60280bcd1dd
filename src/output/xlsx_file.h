#pragma once
// The Excel output: a workbook with one sheet "Main", a frozen header row
// with an autofilter, then one row per drawing. Every cell is a text cell, so
// "007" stays "007". Rows go to disk as they come (the writer keeps one row in
// memory); the workbook is put together under "<name>.part" beside the target
// and renamed into place by Close(), so a failure never leaves half a file
// under the real name and an existing file stays until the new one is whole.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace output {

// Values that had to change to go into a row, named by their column's header.
struct CellChanges {
    std::vector<std::string> Shortened;  // longer than a cell holds: cut at kXlsxCellChars
    std::vector<std::string> Replaced;   // bytes that are not UTF-8, or characters XML cannot carry, became U+FFFD
    bool empty() const { return Shortened.empty() && Replaced.empty(); }
};

// Excel's limit on the text of one cell, in UTF-16 units.
inline constexpr std::size_t kXlsxCellChars = 32767;

class XlsxFile {
public:
    XlsxFile() = default;
    ~XlsxFile();  // without Close(), nothing is written and the target is untouched
    XlsxFile(const XlsxFile&) = delete;
    XlsxFile& operator=(const XlsxFile&) = delete;

    // Starts the workbook with its header row. The file is only made by Close().
    Status Create(const std::filesystem::path& path, const std::vector<std::string_view>& header);

    // Adds one row; cells beyond the header's width are an error.
    Status Append(const std::vector<std::string_view>& cells, CellChanges& changes);

    // Writes the workbook with the rows so far and puts it in place. Valid
    // after any number of rows, so a cancelled run still leaves a workbook.
    Status Close();

    // Drops the workbook: no file is made, an existing one stays.
    void Discard();

    bool is_open() const { return workbook_ != nullptr; }
    std::size_t rows() const { return rows_; }  // data rows, without the header

private:
    Status WriteRow(const std::vector<std::string_view>& cells, bool header, CellChanges& changes);

    std::filesystem::path target_, part_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* header_format_ = nullptr;
    lxw_format* text_format_ = nullptr;
    std::vector<std::string> header_;
    std::vector<std::size_t> widths_;  // longest line per column, in characters
    std::size_t rows_ = 0;
};

}  // namespace output
