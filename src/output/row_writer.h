#pragma once
// One output kind as a run writes it: the file is created with its header,
// one row per drawing is appended in list order, and the file is closed once
// at the end. A run keeps its writer open from the first row to the last;
// after every Append the file on disk is one that other programs read, with
// the rows so far, so a cancelled or failed run leaves a usable file.
//
// A new kind is one class here and one case in MakeRowWriter.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "modUtilities.h"

namespace output {

class RowWriter {
public:
    virtual ~RowWriter() = default;

    // Creates the file at outputPath (where none exists) with its header.
    virtual Status Create(const std::string& outputPath, const std::vector<OutputField>& fields) = 0;

    // Appends the row of one drawing; the values of the columns that had to
    // change to fit go into `changed` (whose Drawing is already set). A row
    // that could not be written is not in the file.
    virtual Status Append(const std::string& drawingPath, const std::vector<extract::AttributeRecord>& records,
                          Adjustment& changed) = 0;

    // Completes the file; called once, also after a failed Append.
    virtual Status Close() = 0;
};

// The writer of a kind; nothing for a kind that has none. `csvAlwaysUtf8`:
// a CSV file is UTF-8 behind a byte-order mark from its first line.
std::unique_ptr<RowWriter> MakeRowWriter(OutputKind kind, bool csvAlwaysUtf8 = false);

// The cells of outputs made of text cells (CSV and the like): "File Name"
// and each field's tag; then per drawing its path and the value of the first
// attribute whose tag equals each field's tag exactly, or an empty cell.
std::vector<std::string_view> HeaderCells(const std::vector<OutputField>& fields);
std::vector<std::string_view> RowCells(const std::string& drawingPath, const std::vector<OutputField>& fields,
                                       const std::vector<extract::AttributeRecord>& records);

}  // namespace output
