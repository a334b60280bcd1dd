#include "mdb_readers.h"

#include <cstdio>
#include <glib.h>
#include <mdbtools.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace output_test {

std::optional<MdbTable> ReadWithLibmdb(const std::filesystem::path& file) {
    MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
    if (!mdb) return std::nullopt;
    MdbTable result;
    result.jetVersion = static_cast<int>(mdb->f->jet_version);
    std::optional<MdbTable> out;
    if (mdb_read_catalog(mdb, MDB_TABLE)) {
        if (MdbTableDef* table = mdb_read_table_by_name(mdb, const_cast<gchar*>("Main"), MDB_TABLE)) {
            mdb_read_columns(table);
            mdb_rewind_table(table);
            const unsigned n = table->num_cols;
            std::vector<std::vector<char>> bound(n, std::vector<char>(MDB_BIND_SIZE));
            std::vector<int> lengths(n);
            for (unsigned i = 0; i < n; ++i) {
                auto* col = static_cast<::MdbColumn*>(g_ptr_array_index(table->columns, i));
                result.columns.push_back({col->name, col->col_type, col->col_size});
                mdb_bind_column(table, static_cast<int>(i) + 1, bound[i].data(), &lengths[i]);
            }
            while (mdb_fetch_row(table)) {
                std::vector<std::string> row;
                for (unsigned i = 0; i < n; ++i) row.emplace_back(bound[i].data(), static_cast<std::size_t>(lengths[i]));
                result.rows.push_back(std::move(row));
            }
            mdb_free_tabledef(table);
            out = std::move(result);
        }
    }
    mdb_close(mdb);
    return out;
}

std::optional<std::vector<Cells>> ReadWithMdbReader(const std::filesystem::path& file, std::string& error) {
    QProcess node;
    node.start("node", {QString::fromUtf8(MDB_READER_SCRIPT), QString::fromStdString(file.string())});
    if (!node.waitForFinished(60000) || node.exitStatus() != QProcess::NormalExit || node.exitCode() != 0) {
        error = "node: " + node.readAllStandardError().toStdString() + node.errorString().toStdString();
        return std::nullopt;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(node.readAllStandardOutput());
    // Rows come keyed by column name; the columns give their order.
    QStringList names;
    for (const QJsonValue column : doc.object().value("columns").toArray())
        names.append(column.toObject().value("name").toString());
    std::vector<Cells> rows;
    for (const QJsonValue row : doc.object().value("rows").toArray()) {
        Cells cells;
        for (const QString& name : names) {
            const QJsonValue cell = row.toObject().value(name);
            if (cell.isNull()) cells.emplace_back(std::nullopt);
            else cells.emplace_back(cell.toString().toStdString());
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

}  // namespace output_test
