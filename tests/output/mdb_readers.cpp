#include "mdb_readers.h"

#include <glib.h>
#include <mdbtools.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <fstream>
#include <sstream>

#include "platform/ansitext.h"
#include "xlsx_reader.h"

namespace output_test {

std::optional<MdbTable> ReadWithLibmdb(const std::filesystem::path& file) {
    MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
    if (!mdb) return std::nullopt;
    std::optional<MdbTable> out;
    MdbTableDef* table = mdb_read_catalog(mdb, MDB_TABLE)
                             ? mdb_read_table_by_name(mdb, const_cast<gchar*>("Main"), MDB_TABLE)
                             : nullptr;
    if (table) {
        out.emplace().jetVersion = static_cast<int>(mdb->f->jet_version);
        mdb_read_columns(table);
        mdb_rewind_table(table);
        const unsigned n = table->num_cols;
        std::vector<std::vector<char>> bound(n, std::vector<char>(MDB_BIND_SIZE));
        std::vector<int> lengths(n);
        for (unsigned i = 0; i < n; ++i) {
            auto* col = static_cast<::MdbColumn*>(g_ptr_array_index(table->columns, i));
            out->columns.push_back({col->name, col->col_type, col->col_size});
            mdb_bind_column(table, static_cast<int>(i) + 1, bound[i].data(), &lengths[i]);
        }
        while (mdb_fetch_row(table)) {
            auto& row = out->rows.emplace_back();
            for (unsigned i = 0; i < n; ++i) row.emplace_back(bound[i].data(), static_cast<std::size_t>(lengths[i]));
        }
        mdb_free_tabledef(table);
    }
    mdb_close(mdb);
    return out;
}

namespace {

// `program script file`'s standard output as JSON; nothing when it fails.
std::optional<QJsonObject> RunJsonDump(const QString& program, const char* script, const std::filesystem::path& file,
                                       std::string& error) {
    QProcess process;
    process.start(program, {QString::fromUtf8(script), QString::fromStdString(file.string())});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        error = program.toStdString() + ": " + process.readAllStandardError().toStdString() +
                process.errorString().toStdString();
        return std::nullopt;
    }
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

std::vector<std::string> Texts(const QJsonValue& array) {
    std::vector<std::string> out;
    for (const QJsonValue v : array.toArray()) out.push_back(v.toString().toStdString());
    return out;
}

// Each cell quoted, quotes doubled, a comma after every cell, CR LF after every line.
Rows ParseCsv(const std::string& bytes) {
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
            if (text[i] == '"' && text.compare(i, 2, "\"\"") != 0) break;
            if (text[i] == '"') ++i;
            cell += text[i];
        }
        rows.back().push_back(cell);
        i += 2;  // the closing quote and the comma
    }
    rows.pop_back();
    return rows;
}

}  // namespace

std::optional<std::vector<Cells>> ReadWithMdbReader(const std::filesystem::path& file, std::string& error) {
    const auto doc = RunJsonDump("node", MDB_READER_SCRIPT, file, error);
    if (!doc) return std::nullopt;
    // Rows come keyed by column name; the columns give their order.
    QStringList names;
    for (const QJsonValue column : doc->value("columns").toArray())
        names.append(column.toObject().value("name").toString());
    std::vector<Cells> rows;
    for (const QJsonValue row : doc->value("rows").toArray()) {
        Cells& cells = rows.emplace_back();
        for (const QString& name : names) {
            const QJsonValue cell = row.toObject().value(name);
            if (cell.isNull()) cells.emplace_back(std::nullopt);
            else cells.emplace_back(cell.toString().toStdString());
        }
    }
    return rows;
}

std::optional<Workbook> ReadWithOpenpyxl(const std::filesystem::path& file, std::string& error) {
    const auto doc = RunJsonDump("/usr/bin/python3", XLSX_READER_SCRIPT, file, error);
    if (!doc) return std::nullopt;
    Workbook book;
    book.sheets = Texts(doc->value("sheets"));
    book.freeze = doc->value("freeze").toString().toStdString();
    book.filter = doc->value("filter").toString().toStdString();
    for (const QJsonValue w : doc->value("widths").toArray()) book.widths.push_back(w.toDouble());
    book.types = Texts(doc->value("types"));
    for (const QJsonValue row : doc->value("rows").toArray()) book.rows.push_back(Texts(row));
    return book;
}

std::optional<Rows> ReadRows(output::OutputKind kind, const std::filesystem::path& file) {
    std::optional<Rows> rows;
    if (kind == output::OutputKind::Csv) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        if (in && bytes << in.rdbuf()) rows = ParseCsv(bytes.str());
    } else if (kind == output::OutputKind::Xlsx) {
        std::string error;
        if (auto book = ReadWithOpenpyxl(file, error)) rows = std::move(book->rows);
    } else if (auto table = ReadWithLibmdb(file)) {
        return std::move(table->rows);
    }
    if (rows && !rows->empty()) rows->erase(rows->begin());
    return rows;
}

}  // namespace output_test
