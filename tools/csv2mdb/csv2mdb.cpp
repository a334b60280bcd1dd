// csv2mdb --format 97|2000 INPUT.csv OUTPUT.mdb
//
// Creates OUTPUT with table "Main" whose columns are the header cells of
// INPUT and appends every further line as a record, opening and closing the
// database for each one. A quoted empty cell is an empty text, an unquoted
// empty cell a null.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "jet/jet.h"

namespace {

using Record = std::vector<std::optional<std::string>>;

// Splits CSV text into records; false with `error` set on an unterminated quote.
bool parse_csv(const std::string& text, std::vector<Record>& records, std::string& error)
{
    std::size_t i = 0;
    std::size_t line = 1;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        i = 3;
    while (i < text.size()) {
        Record rec;
        for (;;) {
            std::optional<std::string> cell;
            if (i < text.size() && text[i] == '"') {
                const std::size_t opened = line;
                std::string v;
                ++i;
                for (;;) {
                    if (i >= text.size()) {
                        error = "line " + std::to_string(opened) + ": a quoted cell is not closed";
                        return false;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            v += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n')
                        ++line;
                    v += text[i++];
                }
                // Anything between the closing quote and the separator is kept.
                while (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') v += text[i++];
                cell = std::move(v);
            } else {
                std::string v;
                while (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') v += text[i++];
                if (!v.empty())
                    cell = std::move(v);
            }
            rec.push_back(std::move(cell));
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            break;
        }
        if (i < text.size() && text[i] == '\r')
            ++i;
        if (i < text.size() && text[i] == '\n')
            ++i;
        ++line;
        records.push_back(std::move(rec));
    }
    return true;
}

int fail(const std::string& what)
{
    std::cerr << "csv2mdb: " << what << '\n';
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5 || std::strcmp(argv[1], "--format") != 0 ||
        (std::strcmp(argv[2], "97") != 0 && std::strcmp(argv[2], "2000") != 0)) {
        std::cerr << "usage: csv2mdb --format 97|2000 INPUT.csv OUTPUT.mdb\n";
        return 2;
    }
    const jet::Version version = std::strcmp(argv[2], "97") == 0 ? jet::Version::Jet3 : jet::Version::Jet4;
    std::ifstream in(argv[3], std::ios::binary);
    if (!in)
        return fail(std::string("cannot read ") + argv[3]);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return fail(std::string("cannot read ") + argv[3]);
    std::vector<Record> records;
    std::string error;
    if (!parse_csv(text, records, error))
        return fail(std::string(argv[3]) + ": " + error);
    if (records.empty())
        return fail(std::string(argv[3]) + ": no header line");

    std::vector<std::string> columns;
    for (std::size_t i = 0; i < records[0].size(); ++i) {
        if (!records[0][i])
            return fail("header cell " + std::to_string(i + 1) + " is empty");
        columns.push_back(*records[0][i]);
    }
    if (const jet::Status s = jet::create(argv[4], version, "Main", columns); !s.ok())
        return fail(std::string(jet::message(s.code)) + ": " + s.detail);
    for (std::size_t r = 1; r < records.size(); ++r) {
        jet::Database db;
        jet::Status s = jet::Database::open(argv[4], db);
        if (s.ok())
            s = db.append(records[r]);
        const jet::Status closed = db.close();
        if (s.ok())
            s = closed;
        if (!s.ok())
            return fail("line " + std::to_string(r + 1) + ": " + jet::message(s.code) + ": " + s.detail);
    }
    return 0;
}
