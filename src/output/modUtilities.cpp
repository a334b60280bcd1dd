#include "modUtilities.h"

#include <system_error>

#include <QString>

#include "jet/jet.h"

namespace output {
Status FromJet(Errc code, const jet::Status& status)
{
    // The engine's details name its own files (a temporary name while the
    // database is made); the user is told the system's reason or the kind
    // of fault, with the field names where they are the cause.
    if (status.system_error != 0)
        return {code, std::generic_category().message(status.system_error)};
    switch (status.code) {
    case jet::Errc::bad_column_name:
    case jet::Errc::duplicate_column:
    case jet::Errc::too_many_columns:
    case jet::Errc::not_representable: return {code, std::string(jet::message(status.code)) + ": " + status.detail};
    default: return {code, jet::message(status.code)};
    }
}

std::string_view KindText(OutputKind kind)
{
    switch (kind) {
    case OutputKind::Access97:
    case OutputKind::Access2000: return "mdb";
    case OutputKind::Csv: return "csv";
    case OutputKind::Xlsx: return "xlsx";
    }
    return "";
}

std::filesystem::path PathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

const char* message(Errc code)
{
    switch (code) {
    case Errc::ok: return "no error";
    case Errc::no_fields: return "no field is ticked";
    case Errc::duplicate_field: return "two fields have the same name";
    case Errc::bad_field_name: return "a field name cannot name a database column";
    case Errc::too_many_fields: return "more fields than a database table holds";
    case Errc::cannot_replace: return "the existing file could not be deleted";
    case Errc::cannot_create: return "the output file could not be created";
    case Errc::cannot_write: return "the output file could not be written";
    case Errc::cannot_read: return "a part to merge could not be read";
    case Errc::bad_part: return "a part to merge does not belong to the run";
    }
    return "unknown error";
}

Status modUtilities::CollectOutputFields(const std::vector<TemplateRow>& rows)
{
    OutputFields.clear();
    OutputFields.reserve(rows.size());
    for (const auto& row : rows) {
        if (row.Checked)
            OutputFields.push_back({row.FieldName, row.Tag, row.SpaceCode});
    }
    OutputFields.shrink_to_fit();
    if (OutputFields.empty())
        return {Errc::no_fields, {}};
    return {};
}

Status modUtilities::CheckDatabaseColumns() const
{
    // The engine compares column names without regard to case; finding the
    // pair here lets the message name both.
    std::vector<QString> seen{QString::fromLatin1(kLocationColumn)};
    std::vector<std::string> names{kLocationColumn};
    for (const auto& field : OutputFields) {
        const QString name = QString::fromStdString(field.FieldName);
        for (std::size_t i = 0; i < seen.size(); ++i) {
            if (seen[i].compare(name, Qt::CaseInsensitive) == 0)
                return {Errc::duplicate_field, names[i] + '\n' + field.FieldName};
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

std::string AdjustmentReport(const std::vector<Adjustment>& adjustments, std::size_t maxDrawings, OutputKind kind)
{
    auto section = [&](const char* heading, auto member) {
        std::string text;
        std::size_t listed = 0, total = 0;
        for (const auto& adjustment : adjustments) {
            const auto& columns = adjustment.*member;
            if (columns.empty())
                continue;
            ++total;
            if (maxDrawings != 0 && listed == maxDrawings)
                continue;
            ++listed;
            text += "\n" + adjustment.Drawing + ": ";
            for (std::size_t i = 0; i < columns.size(); ++i) text += (i ? ", " : "") + columns[i];
        }
        if (total == 0)
            return std::string();
        if (total > listed)
            text += "\n... and " + std::to_string(total - listed) + " more drawings.";
        return heading + text;
    };
    const bool workbook = kind == OutputKind::Xlsx;
    std::string report = section(
        workbook ? "Some values were longer than the 32,767 characters a workbook cell holds and were shortened "
                   "(drawing: columns):"
                 : "Some values were longer than the database holds and were shortened (drawing: fields):",
        &Adjustment::Shortened);
    const std::string replaced =
        section(workbook ? "Some values held bytes that are not text, or control characters a workbook cannot hold; "
                           "they were written with \"\xEF\xBF\xBD\" in their place (drawing: columns):"
                         : "Some values held characters that an Access 97 database cannot hold; they were written with "
                           "\"?\" in their place (drawing: fields):",
                &Adjustment::Replaced);
    if (!report.empty() && !replaced.empty())
        report += "\n\n";
    return report + replaced;
}

}  // namespace output
