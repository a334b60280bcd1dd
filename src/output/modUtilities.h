#pragma once
// The output side of a processing run: the fields chosen for it and the
// checks made before any file is touched (row_writer.h writes the rows).
// Texts are UTF-8 throughout.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "extract/modOdxAtributes.h"

namespace jet {
struct Status;
}

namespace output {

// The 1-based index of the file type chosen in the run's save dialog.
enum class OutputKind : int { Access97 = 1, Access2000 = 2, Csv = 3 };

// "mdb" for both database kinds, "csv" for CSV, "" for anything else.
std::string_view KindText(OutputKind kind);

// Database format versions, as the engine names them.
constexpr int dbVersion30 = 32;  // Access 97
constexpr int dbVersion40 = 64;  // Access 2000

// The database column that holds each drawing's path.
inline constexpr const char* kLocationColumn = "Location";

struct OutputField {
    std::string FieldName;  // the database column's name
    std::string Tag;        // the attribute that supplies the value; the CSV header cell
    std::string SpaceCode;  // "M" or "P"
};

// A row of the template list, as the run reads it.
struct TemplateRow {
    bool Checked = false;
    std::string FieldName;
    std::string Tag;
    std::string SpaceCode;
};

// Values changed to fit one database record.
struct Adjustment {
    std::string Drawing;
    std::vector<std::string> Shortened;  // column names, in column order
    std::vector<std::string> Replaced;   // columns whose characters Access 97 cannot hold became "?"
};

std::filesystem::path PathFromUtf8(std::string_view utf8);

class modUtilities {
public:
    std::vector<OutputField> OutputFields;

    // Rebuilds OutputFields from the ticked rows, in list order. None ticked
    // is an error and leaves OutputFields empty.
    Status CollectOutputFields(const std::vector<TemplateRow>& rows);

    // Whether "Location" and the field names make a valid column list, so a
    // database run can be refused before any file is touched.
    Status CheckDatabaseColumns() const;
};

// The error of a run from the database engine's, in words for the user.
Status FromJet(Errc code, const jet::Status& status);

// Text of the note that lists the changed values, at most maxDrawings
// drawings named (0: all).
std::string AdjustmentReport(const std::vector<Adjustment>& adjustments, std::size_t maxDrawings);

}  // namespace output
