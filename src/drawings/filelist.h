#pragma once

// File-list files (".xal"): one line per drawing-list row, "1" or "0" for the
// check box, a TAB, the drawing's path, CR LF after every line. Text is
// Windows-1252; a list holding a path that code page cannot hold is written
// as UTF-8 behind a byte-order mark instead, and reading accepts both.
// Window-free: usable from the command line.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace drawings {

struct FileListRow {
    bool Checked = true;
    QString Path;

    friend bool operator==(const FileListRow &, const FileListRow &) = default;
};

// Stable values: they may be shown or logged.
enum class FileListError {
    None = 0,
    NotFound = 1,      // no file at the path
    Unreadable = 2,    // exists but cannot be opened or read
    CannotCreate = 3,  // the new file cannot be made (folder missing, no rights, disk full)
    CannotReplace = 4, // an existing file is read-only or held open
};

QString fileListErrorMessage(FileListError error);

struct FileListContent {
    QList<FileListRow> rows;
    int skippedLines = 0; // malformed lines left out; blank lines are not counted
    FileListError error = FileListError::None;
};

// Reading is lenient: lines may end in CR LF, CR or LF; spaces around a line
// are ignored; the first field counts as checked only when it is the number 1;
// fields after the path are ignored. A line without a number, a TAB and a
// non-empty path is skipped and counted.
FileListContent parseFileList(const QByteArray &bytes);

// afterEachLine, when set, runs once per line read so a window can keep
// processing its events during a long read.
FileListContent readFileList(const QString &path, const std::function<void()> &afterEachLine = {});

QByteArray formatFileList(const QList<FileListRow> &rows);

// Replaces the file only with a complete new one: on any failure the file
// that was there is left as it was.
FileListError writeFileList(const QString &path, const QList<FileListRow> &rows);

// The names (with extension, without folder) of the "*.xal" files directly in
// filesFolder, in listing order. Creates filesFolder when it is missing.
QStringList fileListNames(const QString &filesFolder);

} // namespace drawings
