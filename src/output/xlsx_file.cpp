#include "xlsx_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <xlsxwriter.h>

#include "text_encoding.h"

namespace output {
namespace {

constexpr double kMinWidth = 8.43;        // Excel's default column width
constexpr double kMaxWidth = 100;         // a long value wraps in its cell rather than widening the sheet
constexpr std::size_t kFilterButton = 3;  // room for the autofilter's arrow beside a heading

Status LibraryFailure(Errc code, lxw_error error)
{
    std::string detail = lxw_strerror(error);
    if (detail.ends_with('.'))
        detail.pop_back();  // our messages add their own
    return {code, detail};
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// Excel reads "_xHHHH_" in a cell's XML as the character HHHH (the writer
// library stores control characters that way), so a text that holds such a
// run literally gets its underscore written as "_x005F_".
std::string EscapeUnderscores(const std::string& text)
{
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find("_x"); at != std::string::npos; at = text.find("_x", at + 1)) {
        if (at + 7 > text.size() || text[at + 6] != '_' ||
            !std::all_of(text.begin() + at + 2, text.begin() + at + 6, IsHex))
            continue;
        out.append(text, from, at - from);
        out += "_x005F";
        from = at;
    }
    if (out.empty())
        return text;
    out.append(text, from);
    return out;
}

// The writer library measures in code points, before it escapes controls.
std::size_t CodePoints(std::string_view utf8)
{
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Width of the longest line in characters of the default font; East Asian
// scripts (lead bytes of U+3000 and up, three-byte and four-byte forms) take
// about two.
std::size_t DisplayWidth(std::string_view utf8)
{
    std::size_t widest = 0, line = 0;
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\n' || b == '\r') {
            widest = std::max(widest, line);
            line = 0;
        } else if (b < 0x80 || (b >= 0xC0 && b < 0xE3)) {
            ++line;
        } else if (b >= 0xE3) {
            line += 2;
        }
    }
    return std::max(widest, line);
}

}  // namespace

XlsxFile::~XlsxFile() { Discard(); }

Status XlsxFile::Create(const std::filesystem::path& path, const std::vector<std::string_view>& header)
{
    Discard();
    if (header.size() > LXW_COL_MAX)
        return {Errc::too_many_fields, "a worksheet holds at most 16,384 columns"};
    target_ = path;
    part_ = path;
    part_ += ".part";
    std::error_code ec;
    if (std::filesystem::is_directory(target_, ec))
        return {Errc::cannot_create, "a folder has that name"};

    // The library only touches the file when the workbook is closed; a folder
    // that refuses it should stop the run before any drawing is read.
    errno = 0;
    std::FILE* probe = std::fopen(part_.string().c_str(), "wb");
    if (!probe)
        return {Errc::cannot_create, std::strerror(errno ? errno : EIO)};
    std::fclose(probe);
    std::filesystem::remove(part_, ec);

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // each row goes to a temporary file once the next one starts
    workbook_ = workbook_new_opt(part_.string().c_str(), &options);
    if (!workbook_)
        return {Errc::cannot_create, "out of memory"};
    sheet_ = workbook_add_worksheet(workbook_, "Main");
    if (!sheet_) {
        Discard();
        return {Errc::cannot_create, "no temporary file could be made for the rows"};
    }
    // "@" is Excel's text format: values typed into the sheet later stay text too.
    text_format_ = workbook_add_format(workbook_);
    format_set_num_format(text_format_, "@");
    header_format_ = workbook_add_format(workbook_);
    format_set_num_format(header_format_, "@");
    format_set_bold(header_format_);
    worksheet_freeze_panes(sheet_, 1, 0);

    header_.clear();
    widths_.assign(header.size(), 0);
    rows_ = 0;
    CellChanges ignored;
    if (Status written = WriteRow(header, true, ignored); !written.ok()) {
        Discard();
        written.code = Errc::cannot_create;
        return written;
    }
    return {};
}

Status XlsxFile::Append(const std::vector<std::string_view>& cells, CellChanges& changes)
{
    changes = {};
    if (!workbook_)
        return {Errc::cannot_write, "the workbook is not open"};
    if (rows_ + 1 >= LXW_ROW_MAX)
        return {Errc::cannot_write, "a worksheet holds at most 1,048,576 rows"};
    if (cells.size() > widths_.size())
        return {Errc::cannot_write, "a row has more cells than the header"};
    if (Status written = WriteRow(cells, false, changes); !written.ok())
        return written;
    ++rows_;
    return {};
}

Status XlsxFile::WriteRow(const std::vector<std::string_view>& cells, bool header, CellChanges& changes)
{
    const auto row = static_cast<lxw_row_t>(header ? 0 : rows_ + 1);
    lxw_format* format = header ? header_format_ : text_format_;
    for (std::size_t col = 0; col < cells.size(); ++col) {
        bool replaced = false;
        std::string text = xml_text(cells[col], replaced);
        std::size_t units = std::min(utf16_length(text), kXlsxCellChars);
        bool shortened = false;
        std::string stored;
        for (;;) {
            if (utf16_length(text) > units) {
                text.resize(truncate_utf16(text, units).size());
                shortened = true;
            }
            stored = EscapeUnderscores(text);
            const std::size_t length = CodePoints(stored);
            if (length <= kXlsxCellChars)
                break;
            // Escaped underscores count against the library's limit, not Excel's.
            units = std::min(units - 1, units * kXlsxCellChars / length);
        }
        if (header)
            header_.push_back(text);
        if (replaced)
            changes.Replaced.push_back(header_[col]);
        if (shortened)
            changes.Shortened.push_back(header_[col]);
        widths_[col] = std::max(widths_[col], DisplayWidth(text) + (header ? kFilterButton : 1));
        const lxw_error error =
            worksheet_write_string(sheet_, row, static_cast<lxw_col_t>(col), stored.c_str(), format);
        if (error != LXW_NO_ERROR)
            return LibraryFailure(Errc::cannot_write, error);
    }
    return {};
}

Status XlsxFile::Close()
{
    if (!workbook_)
        return {Errc::cannot_write, "the workbook is not open"};
    for (std::size_t col = 0; col < widths_.size(); ++col) {
        const double width = std::clamp(static_cast<double>(widths_[col]), kMinWidth, kMaxWidth);
        const auto c = static_cast<lxw_col_t>(col);
        worksheet_set_column(sheet_, c, c, width, text_format_);
    }
    if (!widths_.empty())
        worksheet_autofilter(sheet_, 0, 0, static_cast<lxw_row_t>(rows_), static_cast<lxw_col_t>(widths_.size() - 1));

    // The library frees the workbook whatever the outcome.
    errno = 0;
    const lxw_error closed = workbook_close(workbook_);
    const int system_error = errno;
    workbook_ = nullptr;
    sheet_ = nullptr;
    std::error_code ec;
    if (closed != LXW_NO_ERROR) {
        std::filesystem::remove(part_, ec);
        Status failure = LibraryFailure(Errc::cannot_write, closed);
        if (system_error)
            failure.detail += std::string(": ") + std::strerror(system_error);
        return failure;
    }
    std::filesystem::rename(part_, target_, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(part_, ignored);
        return {Errc::cannot_write, ec.message()};
    }
    return {};
}

void XlsxFile::Discard()
{
    if (!workbook_)
        return;
    // The library closes the rows' temporary file only while writing the workbook.
    if (sheet_ && sheet_->optimize_tmpfile) {
        std::fclose(sheet_->optimize_tmpfile);
        sheet_->optimize_tmpfile = nullptr;
        sheet_->file = nullptr;
    }
    lxw_workbook_free(workbook_);
    workbook_ = nullptr;
    sheet_ = nullptr;
    std::error_code ec;
    std::filesystem::remove(part_, ec);
}

}  // namespace output
