#pragma once
// Workbooks read back by an independent reader: openpyxl, through Debian's
// own Python (the first python3 on PATH may be another one without it).

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "platform/ansitext.h"

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

// A run's CSV file as rows of UTF-8 cells, to hold a workbook against: each
// cell quoted, quotes doubled, a comma after every cell, CR LF after every line.
inline std::vector<std::vector<std::string>> ReadCsvRows(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    const std::string bytes = s.str();
    const std::string_view bom = platform::utf8ByteOrderMark;
    const std::string text = bytes.starts_with(bom) ? bytes.substr(bom.size()) : platform::ansiToUtf8(bytes);
    std::vector<std::vector<std::string>> rows(1);
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

}  // namespace output_test
