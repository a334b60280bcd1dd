#pragma once
// Workbooks read back by an independent reader: openpyxl, through Debian's
// own Python (the first python3 on PATH may be another one without it).

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace output_test {

struct Workbook {
    std::vector<std::string> sheets;
    std::string freeze;  // the first cell below and right of the frozen panes
    std::string filter;  // the autofilter's range
    std::vector<double> widths;
    std::vector<std::string> types;  // openpyxl's cell types met ("s" text)
    std::vector<std::vector<std::string>> rows;  // absent cells as ""
};

inline std::optional<Workbook> ReadWithOpenpyxl(const std::filesystem::path& file, std::string& error) {
    QProcess python;
    python.start("/usr/bin/python3", {QString::fromUtf8(XLSX_READER_SCRIPT), QString::fromStdString(file.string())});
    if (!python.waitForFinished(120000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        error = "python3: " + python.readAllStandardError().toStdString() + python.errorString().toStdString();
        return std::nullopt;
    }
    const QJsonObject doc = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    auto texts = [](const QJsonValue& array) {
        std::vector<std::string> out;
        for (const QJsonValue v : array.toArray()) out.push_back(v.toString().toStdString());
        return out;
    };
    Workbook book;
    book.sheets = texts(doc.value("sheets"));
    book.freeze = doc.value("freeze").toString().toStdString();
    book.filter = doc.value("filter").toString().toStdString();
    for (const QJsonValue w : doc.value("widths").toArray()) book.widths.push_back(w.toDouble());
    book.types = texts(doc.value("types"));
    for (const QJsonValue row : doc.value("rows").toArray()) book.rows.push_back(texts(row));
    return book;
}

}  // namespace output_test
