#include "modUtilities.h"

#include <chrono>
#include <optional>
#include <system_error>

#include <QString>

#include "csv_file.h"
#include "jet/jet.h"
#include "platform/ansitext.h"
#include "text_encoding.h"

namespace output {
namespace {

constexpr const char* kLocationColumn = "Location";
constexpr std::uint16_t kBlockNotFound = 20;  // dwg::Error::BlockNotFound

// The drawing was opened: a row is due, even when its space could not be read.
bool DrawingOpened(std::uint16_t code) {
    return code == 0 || code == kBlockNotFound;
}

// First value whose tag equals `tag` exactly, in the order the attributes were met.
const std::string* FindValue(const std::vector<extract::AttributeRecord>& records, const std::string& tag) {
    for (const auto& record : records) {
        if (record.Tag == tag) return &record.Value;
    }
    return nullptr;
}

Status FromJet(Errc code, const jet::Status& status) {
    std::string detail = jet::message(status.code);
    if (!status.detail.empty()) detail += ": " + status.detail;
    return {code, detail};
}

}  // namespace

std::string_view KindText(OutputKind kind) {
    switch (kind) {
    case OutputKind::Access97:
    case OutputKind::Access2000: return "mdb";
    case OutputKind::Csv: return "csv";
    case OutputKind::Xlsx: return "xlsx";
    }
    return "";
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

const char* message(Errc code) {
    switch (code) {
    case Errc::ok: return "no error";
    case Errc::no_fields: return "no field is ticked";
    case Errc::duplicate_field: return "two fields have the same name";
    case Errc::bad_field_name: return "a field name cannot name a database column";
    case Errc::too_many_fields: return "more fields than a database table holds";
    case Errc::cannot_replace: return "the existing file could not be deleted";
    case Errc::cannot_create: return "the output file could not be created";
    case Errc::cannot_write: return "the output file could not be written";
    }
    return "unknown error";
}

modUtilities::modUtilities() {
    source_ = [this](const std::string& drawingPath, const std::string& spaceCode,
                     std::vector<extract::AttributeRecord>& records) {
        const std::uint16_t code = Attributes.ReadSpaceAttributes(PathFromUtf8(drawingPath), spaceCode);
        if (&records != &Attributes.DrawingAttributes) records = Attributes.DrawingAttributes;
        return code;
    };
}

Status modUtilities::CollectOutputFields(const std::vector<TemplateRow>& rows) {
    OutputFields.clear();
    OutputFields.reserve(rows.size());
    for (const auto& row : rows) {
        if (row.Checked) OutputFields.push_back({row.FieldName, row.Tag, row.SpaceCode});
    }
    OutputFields.shrink_to_fit();
    if (OutputFields.empty()) return {Errc::no_fields, {}};
    return {};
}

Status modUtilities::CheckDatabaseColumns() const {
    // The engine compares column names without regard to case; finding the
    // pair here lets the message name both.
    std::vector<QString> seen{QString::fromLatin1(kLocationColumn)};
    std::vector<std::string> names{kLocationColumn};
    for (const auto& field : OutputFields) {
        const QString name = QString::fromStdString(field.FieldName);
        for (std::size_t i = 0; i < seen.size(); ++i) {
            if (seen[i].compare(name, Qt::CaseInsensitive) == 0) return {Errc::duplicate_field, names[i] + '\n' + field.FieldName};
        }
        seen.push_back(name);
        names.push_back(field.FieldName);
    }
    const jet::Status checked = jet::check_columns(names);
    switch (checked.code) {
    case jet::Errc::ok: return {};
    case jet::Errc::duplicate_column: return FromJet(Errc::duplicate_field, checked);
    case jet::Errc::too_many_columns: return FromJet(Errc::too_many_fields, checked);
    default: return FromJet(Errc::bad_field_name, checked);
    }
}

Status modUtilities::CreateOutputDatabase(const std::string& outputPath, int formatVersion) {
    std::vector<std::string> columns{kLocationColumn};
    for (const auto& field : OutputFields) columns.push_back(field.FieldName);
    const jet::Version version = formatVersion == dbVersion30 ? jet::Version::Jet3 : jet::Version::Jet4;
    const jet::Status created = jet::create(PathFromUtf8(outputPath), version, "Main", columns);
    if (!created.ok()) return FromJet(Errc::cannot_create, created);
    return {};
}

std::vector<std::string_view> modUtilities::HeaderCells() const {
    std::vector<std::string_view> cells{"File Name"};
    for (const auto& field : OutputFields) cells.push_back(field.Tag);
    return cells;
}

Status modUtilities::WriteCsvHeader(const std::string& outputPath) {
    Status written = CsvFile(PathFromUtf8(outputPath)).WriteLine(HeaderCells());
    if (!written.ok()) written.code = Errc::cannot_create;
    return written;
}

Status modUtilities::StartWorkbook(const std::string& outputPath) {
    return xlsx_.Create(PathFromUtf8(outputPath), HeaderCells());
}

Status modUtilities::FinishWorkbook() {
    return xlsx_.Close();
}

std::uint16_t modUtilities::ExtractDrawing(const std::string& drawingPath, const std::string& spaceCode,
                                           const std::string& outputPath, std::string_view kindText,
                                           Status& failure) {
    failure = {};
    auto& records = Attributes.DrawingAttributes;
    records.clear();
    const auto start = std::chrono::steady_clock::now();
    const std::uint16_t code = source_(drawingPath, spaceCode, records);
    seconds_reading_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!DrawingOpened(code)) return code;
    if (code != 0) records.clear();  // the space was not read: the row carries the location only

    if (kindText == "mdb") {
        failure = WriteDatabaseRow(drawingPath, outputPath);
    } else if (kindText == "csv") {
        failure = WriteCsvRow(drawingPath, outputPath);
    } else if (kindText == "xlsx") {
        failure = WriteXlsxRow(drawingPath);
    }
    return code;
}

std::vector<std::string_view> modUtilities::RowCells(const std::string& drawingPath) const {
    const auto& records = Attributes.DrawingAttributes;
    std::vector<std::string_view> cells{drawingPath};
    for (const auto& field : OutputFields) {
        const std::string* value = FindValue(records, field.Tag);
        cells.push_back(value ? std::string_view(*value) : std::string_view());
    }
    return cells;
}

Status modUtilities::WriteCsvRow(const std::string& drawingPath, const std::string& outputPath) {
    return CsvFile(PathFromUtf8(outputPath)).WriteLine(RowCells(drawingPath));
}

Status modUtilities::WriteXlsxRow(const std::string& drawingPath) {
    CellChanges changes;
    if (Status appended = xlsx_.Append(RowCells(drawingPath), changes); !appended.ok()) return appended;
    if (!changes.empty())
        adjustments_.push_back({drawingPath, std::move(changes.Shortened), std::move(changes.Replaced)});
    return {};
}

Status modUtilities::WriteDatabaseRow(const std::string& drawingPath, const std::string& outputPath) {
    jet::Database db;
    const jet::Status opened = jet::Database::open(PathFromUtf8(outputPath), db);
    if (!opened.ok()) return FromJet(Errc::cannot_write, opened);
    const jet::Version version = db.version();

    // Values are looked up by the field's tag, whatever its column is called;
    // "Location" always holds the path.
    const auto& records = Attributes.DrawingAttributes;
    std::vector<std::optional<std::string>> values;
    values.reserve(OutputFields.size() + 1);
    values.emplace_back(drawingPath);
    for (const auto& field : OutputFields) {
        if (const std::string* value = FindValue(records, field.Tag)) values.emplace_back(*value);
        else values.emplace_back(std::nullopt);
    }
    auto columnName = [this](std::size_t i) -> const std::string& {
        static const std::string location = kLocationColumn;
        return i == 0 ? location : OutputFields[i - 1].FieldName;
    };

    Adjustment adjustment{drawingPath, {}, {}};
    if (version == jet::Version::Jet3) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!values[i]) continue;
            bool replaced = false;
            std::string fitted = platform::replaceOutsideAnsi(*values[i], replaced);
            if (replaced) {
                values[i] = std::move(fitted);
                adjustment.Replaced.push_back(columnName(i));
            }
        }
    }
    // Cap every value at one length, the longest that lets the record fit:
    // only the longest values lose characters.
    auto capped = [&values](std::size_t cap) {
        std::vector<std::optional<std::string>> out = values;
        for (auto& value : out) {
            if (value) value = std::string(truncate_utf16(*value, cap));
        }
        return out;
    };
    std::size_t cap = jet::max_text_chars();
    if (!jet::row_fits(version, capped(cap))) {
        std::size_t low = 0;  // the binary search keeps row_fits(low) or low == 0
        std::size_t high = cap;
        while (low + 1 < high) {
            const std::size_t mid = (low + high) / 2;
            if (jet::row_fits(version, capped(mid))) low = mid;
            else high = mid;
        }
        cap = low;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] && utf16_length(*values[i]) > cap) {
            values[i] = std::string(truncate_utf16(*values[i], cap));
            adjustment.Shortened.push_back(columnName(i));
        }
    }

    const jet::Status appended = db.append(values);
    if (!appended.ok()) return FromJet(Errc::cannot_write, appended);
    const jet::Status closed = db.close();
    if (!closed.ok()) return FromJet(Errc::cannot_write, closed);
    if (!adjustment.Shortened.empty() || !adjustment.Replaced.empty()) adjustments_.push_back(std::move(adjustment));
    return {};
}

std::string AdjustmentReport(const std::vector<Adjustment>& adjustments, std::size_t maxDrawings,
                             OutputKind kind) {
    auto section = [&](const char* heading, auto member) {
        std::string text;
        std::size_t listed = 0, total = 0;
        for (const auto& adjustment : adjustments) {
            const auto& columns = adjustment.*member;
            if (columns.empty()) continue;
            ++total;
            if (maxDrawings != 0 && listed == maxDrawings) continue;
            ++listed;
            text += "\n" + adjustment.Drawing + ": ";
            for (std::size_t i = 0; i < columns.size(); ++i) text += (i ? ", " : "") + columns[i];
        }
        if (total == 0) return std::string();
        if (total > listed) text += "\n... and " + std::to_string(total - listed) + " more drawings.";
        return heading + text;
    };
    const bool workbook = kind == OutputKind::Xlsx;
    std::string report = section(
        workbook ? "Some values were longer than the 32,767 characters a workbook cell holds and were shortened "
                   "(drawing: columns):"
                 : "Some values were longer than the database holds and were shortened (drawing: fields):",
        &Adjustment::Shortened);
    const std::string replaced = section(
        workbook ? "Some values held bytes that are not text, or control characters a workbook cannot hold; "
                   "they were written with \"\xEF\xBF\xBD\" in their place (drawing: columns):"
                 : "Some values held characters that an Access 97 database cannot hold; they were written with "
                   "\"?\" in their place (drawing: fields):",
        &Adjustment::Replaced);
    if (!report.empty() && !replaced.empty()) report += "\n\n";
    return report + replaced;
}

}  // namespace output
