#pragma once
// The CSV output: every cell between double quotes and followed by a comma,
// lines ended by CR LF, text in code page 1252. A double quote inside a cell
// is doubled so that readers keep the line together. When a line holds text
// that 1252 cannot represent, the file turns into UTF-8 with a byte-order
// mark (the lines already written are converted), since the alternative is
// turning that text into question marks.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"

namespace output {

// One line, UTF-8, with its line end.
std::string csv_line(const std::vector<std::string_view>& cells);

class CsvFile {
public:
    // A file that already starts with the byte-order mark stays UTF-8.
    explicit CsvFile(std::filesystem::path path);

    // Opens the file for appending (creating it), writes the line, closes it.
    // On failure the lines written before are still there.
    Status WriteLine(const std::vector<std::string_view>& cells);

    // Starts the file anew with the byte-order mark: every line is then
    // UTF-8, whatever its text (the parts of a run shared out to machines).
    Status StartUtf8();

    bool is_utf8() const { return utf8_; }
    const std::filesystem::path& path() const { return path_; }

private:
    Status ConvertToUtf8();

    std::filesystem::path path_;
    bool utf8_ = false;
};

// Joins the CSV files of the parts of one run, in order, into `out`: the
// first part's header once, then every part's lines. The result is the file
// one run over the whole list writes: code page 1252 when every character
// fits, else UTF-8 behind a byte-order mark. Parts may be in either; a part
// without a header line, or with another header than the first, is refused
// (bad_part) before `out` is touched. `out` is replaced only once complete.
Status MergeCsvParts(const std::filesystem::path& out, const std::vector<std::filesystem::path>& parts);

}  // namespace output
