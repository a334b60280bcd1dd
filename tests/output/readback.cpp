#include "readback.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "platform/ansitext.h"
#include "test_support.h"

namespace output_test {

namespace {

// `program script file`'s standard output as JSON; nothing when it fails.
std::optional<QJsonObject> RunJsonDump(const QString& program, const char* script, const std::filesystem::path& file,
                                       std::string& error)
{
    QProcess process;
    process.start(program, {QString::fromUtf8(script), QString::fromStdString(file.string())});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        error = program.toStdString() + ": " + process.readAllStandardError().toStdString() +
                process.errorString().toStdString();
        return std::nullopt;
    }
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

std::vector<std::string> Texts(const QJsonValue& array)
{
    std::vector<std::string> out;
    for (const QJsonValue v : array.toArray()) out.push_back(v.toString().toStdString());
    return out;
}

// Each cell quoted, quotes doubled, a comma after every cell, CR LF after every line.
Rows ParseCsv(const std::string& bytes)
{
    const std::string_view bom = platform::utf8ByteOrderMark;
    const std::string text = bytes.starts_with(bom) ? bytes.substr(bom.size()) : platform::ansiToUtf8(bytes);
    Rows rows(1);
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "\r\n") == 0) {
            rows.emplace_back();
            i += 2;
            continue;
        }
        std::string cell;
        for (i += 1; i < text.size(); ++i) {  // past the opening quote
            if (text[i] == '"' && text.compare(i, 2, "\"\"") != 0)
                break;
            if (text[i] == '"')
                ++i;
            cell += text[i];
        }
        rows.back().push_back(cell);
        i += 2;  // the closing quote and the comma
    }
    rows.pop_back();
    return rows;
}

}  // namespace

std::optional<MdbTable> ReadWithMdbReader(const std::filesystem::path& file, std::string& error)
{
    const auto doc = RunJsonDump("node", MDB_READER_SCRIPT, file, error);
    if (!doc)
        return std::nullopt;
    // Rows come keyed by column name; the columns give their order.
    MdbTable table;
    QStringList names;
    for (const QJsonValue column : doc->value("columns").toArray()) {
        const QJsonObject c = column.toObject();
        names.append(c.value("name").toString());
        table.columns.push_back((names.back() + " " + c.value("type").toString() + " ").toStdString() +
                                std::to_string(c.value("size").toInt()));
    }
    for (const QJsonValue row : doc->value("rows").toArray()) {
        Cells& cells = table.rows.emplace_back();
        for (const QString& name : names) {
            const QJsonValue cell = row.toObject().value(name);
            if (cell.isNull())
                cells.emplace_back(std::nullopt);
            else
                cells.emplace_back(cell.toString().toStdString());
        }
    }
    return table;
}

std::optional<Workbook> ReadWithOpenpyxl(const std::filesystem::path& file, std::string& error)
{
    const auto doc = RunJsonDump("/usr/bin/python3", XLSX_READER_SCRIPT, file, error);
    if (!doc)
        return std::nullopt;
    Workbook book;
    book.sheets = Texts(doc->value("sheets"));
    book.freeze = doc->value("freeze").toString().toStdString();
    book.filter = doc->value("filter").toString().toStdString();
    for (const QJsonValue w : doc->value("widths").toArray()) book.widths.push_back(w.toDouble());
    book.types = Texts(doc->value("types"));
    for (const QJsonValue row : doc->value("rows").toArray()) book.rows.push_back(Texts(row));
    return book;
}

std::optional<Rows> ReadRows(output::OutputKind kind, const std::filesystem::path& file)
{
    std::optional<Rows> rows;
    std::string error;
    if (kind == output::OutputKind::Csv) {
        if (std::filesystem::exists(file))
            rows = ParseCsv(read_bytes(file));
    } else if (kind == output::OutputKind::Xlsx) {
        if (auto book = ReadWithOpenpyxl(file, error))
            rows = std::move(book->rows);
    } else if (auto table = ReadWithMdbReader(file, error)) {
        Rows texts;
        for (const Cells& row : table->rows) {
            auto& out = texts.emplace_back();
            for (const auto& cell : row) out.push_back(cell.value_or(""));
        }
        return texts;
    }
    if (rows && !rows->empty())
        rows->erase(rows->begin());
    return rows;
}

}  // namespace output_test
