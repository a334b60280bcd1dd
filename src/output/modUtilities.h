#pragma once
// The output side of a processing run: the fields chosen for it, starting the
// output file, and one row per drawing. Texts are UTF-8 throughout.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "extract/modOdxAtributes.h"
#include "xlsx_file.h"

namespace output {

// The 1-based index of the file type chosen in the run's save dialog.
enum class OutputKind : int { Access97 = 1, Access2000 = 2, Csv = 3, Xlsx = 4 };

// "mdb" for both database kinds, "csv" for CSV, "xlsx" for an Excel
// workbook, "" for anything else.
std::string_view KindText(OutputKind kind);

// Database format versions, as the engine names them.
constexpr int dbVersion30 = 32;  // Access 97
constexpr int dbVersion40 = 64;  // Access 2000

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

// Values changed to fit one database record or workbook row.
struct Adjustment {
    std::string Drawing;
    std::vector<std::string> Shortened;  // column names (a workbook's: the header cells), in column order
    std::vector<std::string> Replaced;   // columns whose characters the file cannot hold were replaced
};

// Reads every attribute of one space of a drawing into `records`, in entity
// order; returns the drawing component's code (0 read, 3 no such file).
using AttributeSource = std::function<std::uint16_t(const std::string& drawingPath, const std::string& spaceCode,
                                                    std::vector<extract::AttributeRecord>& records)>;

std::filesystem::path PathFromUtf8(std::string_view utf8);

class modUtilities {
public:
    modUtilities();

    std::vector<OutputField> OutputFields;
    extract::modOdxAtributes Attributes;  // DrawingAttributes: the last drawing's records

    // Rebuilds OutputFields from the ticked rows, in list order. None ticked
    // is an error and leaves OutputFields empty.
    Status CollectOutputFields(const std::vector<TemplateRow>& rows);

    // Whether "Location" and the field names make a valid column list, so a
    // database run can be refused before any file is touched.
    Status CheckDatabaseColumns() const;

    // Creates the database with table "Main": "Location", then one text column
    // per field named by its FieldName. formatVersion: dbVersion30 or dbVersion40.
    Status CreateOutputDatabase(const std::string& outputPath, int formatVersion);

    // Writes the header line: "File Name", then each field's Tag.
    Status WriteCsvHeader(const std::string& outputPath);

    // Starts a workbook with the CSV header's cells. Unlike the other kinds
    // it stays open for the run's rows; FinishWorkbook puts it in place.
    Status StartWorkbook(const std::string& outputPath);
    Status FinishWorkbook();
    bool WorkbookOpen() const { return xlsx_.is_open(); }

    // Reads the drawing's space and appends its row for kindText ("mdb",
    // "csv" or "xlsx"; anything else writes nothing). Returns the drawing component's
    // code; a drawing that could not be opened gives no row. A row that could
    // not be written is reported in `failure` and is not in the file.
    std::uint16_t ExtractDrawing(const std::string& drawingPath, const std::string& spaceCode,
                                 const std::string& outputPath, std::string_view kindText, Status& failure);

    // Values shortened or changed so far to fit database records or workbook rows.
    const std::vector<Adjustment>& Adjustments() const { return adjustments_; }
    void ClearAdjustments() { adjustments_.clear(); }

    // Replaces the drawing reader (tests; the default reads through Attributes).
    void SetAttributeSource(AttributeSource source) { source_ = std::move(source); }

    // Time spent inside the drawing reader since the last reset.
    double SecondsReading() const { return seconds_reading_; }
    void ResetTiming() { seconds_reading_ = 0; }

private:
    Status WriteDatabaseRow(const std::string& drawingPath, const std::string& outputPath);
    Status WriteCsvRow(const std::string& drawingPath, const std::string& outputPath);
    Status WriteXlsxRow(const std::string& drawingPath);
    // The CSV header's cells: "File Name", then each field's Tag.
    std::vector<std::string_view> HeaderCells() const;
    // The CSV line's cells: the path, then each field's first value by its tag.
    std::vector<std::string_view> RowCells(const std::string& drawingPath) const;

    AttributeSource source_;
    XlsxFile xlsx_;
    std::vector<Adjustment> adjustments_;
    double seconds_reading_ = 0;
};

// Text of the note that lists the changed values, at most maxDrawings
// drawings named (0: all), worded for the kind of file written.
std::string AdjustmentReport(const std::vector<Adjustment>& adjustments, std::size_t maxDrawings,
                             OutputKind kind = OutputKind::Access2000);

}  // namespace output
