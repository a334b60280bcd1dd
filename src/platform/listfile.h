#pragma once
// Tab-separated list files, the one format of templates (".xat") and file
// lists (".xal"), and the folder they are saved in.
//
// One line per row, in list order, each ended by CR LF; fields separated by
// one TAB and never quoted. The text is in code page 1252, or UTF-8 behind a
// byte-order mark when a character does not fit (ansitext.h). An empty list
// is a file of zero bytes. Reading is lenient: a lone CR or LF also ends a
// line, and blanks (code 32) around a line are dropped. What a line's fields
// mean is the format's own (templates/templatefile.h, drawings/filelist.h).

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

namespace platform {

// Stable numbers: they may be logged or compared by callers.
enum class ListFileError : int {
    None = 0,
    FileNotFound = 1,      // no file of that name
    CannotOpen = 2,        // exists but cannot be opened for reading (a folder, no rights)
    ReadFailed = 3,        // opened, then reading failed
    TooLarge = 4,          // far larger than any list could be
    CannotCreate = 5,      // the new file cannot be created (folder missing or read-only, a folder of that name)
    WriteFailed = 6,       // writing the new file failed (disk full); any old file is untouched
    CannotReplace = 7,     // the existing file is held open or read-only and cannot be replaced
    FolderNotCreated = 8,  // the folder of saved lists is missing and cannot be created
};

struct ListFileStatus {
    ListFileError error = ListFileError::None;
    QString detail;  // the system's own words, when it gave any

    bool ok() const { return error == ListFileError::None; }
};

template <typename Row>
struct ListFileContent {
    QList<Row> rows;
    int skippedLines = 0;  // lines the format never holds, left out of rows
    ListFileError error = ListFileError::None;
    QString detail;

    bool ok() const { return error == ListFileError::None; }
};

// One line's fields: the line without blanks at either end, split at every
// TAB. A blank line has no fields.
using ListLine = QList<QStringView>;

// The check mark of a row: the field read as a number (signs, leading zeros,
// decimals and exponents count) checks exactly when it equals 1; nothing when
// the field is not a finite number.
std::optional<bool> readCheckMark(QStringView field);
inline QString checkMark(bool checked) { return checked ? QStringLiteral("1") : QStringLiteral("0"); }

// Calls takeLine with the fields of every line of the file's bytes and
// returns how many lines it refused (returned false for).
int forEachListLine(QByteArrayView bytes, const std::function<bool(const ListLine&)>& takeLine);

// The whole file, refused when it is far larger than any list.
ListFileStatus readListBytes(const QString& path, QByteArray& bytes);

// take(line, rows) appends the row a line gives and returns false for a line
// the format never holds; afterEachLine, when set, runs once per line so a
// window can keep painting during a long read.
template <typename Row, typename Take>
ListFileContent<Row> parseListFile(QByteArrayView bytes, Take&& take, const std::function<void()>& afterEachLine = {})
{
    ListFileContent<Row> content;
    content.skippedLines = forEachListLine(bytes, [&](const ListLine& line) {
        const bool taken = take(line, content.rows);
        if (afterEachLine)
            afterEachLine();
        return taken;
    });
    return content;
}

template <typename Row, typename Take>
ListFileContent<Row> readListFile(const QString& path, Take&& take, const std::function<void()>& afterEachLine = {})
{
    QByteArray bytes;
    if (ListFileStatus status = readListBytes(path, bytes); !status.ok()) {
        ListFileContent<Row> failed;
        failed.error = status.error;
        failed.detail = std::move(status.detail);
        return failed;
    }
    return parseListFile<Row>(bytes, take, afterEachLine);
}

// The file's bytes. TAB, CR and LF inside a field become blanks: the format
// has no escape, and any of them would shift or split the row on reading.
QByteArray formatListFile(const QList<QStringList>& rows);

ListFileStatus writeListBytes(QIODevice& device, const QByteArray& bytes);

// Writes a new file beside the target and replaces the target only once the
// new one is complete, so a failure leaves any earlier file as it was.
ListFileStatus writeListFile(const QString& path, const QByteArray& bytes);

// The folder of saved lists ("Files", platform/appfolders.h): made with any
// missing parents when nothing of that name exists. A file in its place, or a
// folder that cannot be made, gives FolderNotCreated.
ListFileStatus ensureListFolder(const QString& folder);

// Names (with extension, without folder) of the normal files in folder whose
// extension is `extension` ("xat"), letter case ignored as Windows does,
// sorted by name the same way. Empty when the folder cannot be listed.
QStringList listFileNames(const QString& folder, const QString& extension);

}  // namespace platform
