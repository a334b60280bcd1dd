#pragma once

// File-list files (".xal"): the drawing list in the tab-separated list format
// (platform/listfile.h), two fields a line: "1" or "0" for the check box, then
// the drawing's path. Saved in "Files" beside templates. Window-free: usable
// from the command line.

#include "platform/listfile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace drawings {

struct FileListRow {
    bool Checked = true;
    QString Path;

    friend bool operator==(const FileListRow&, const FileListRow&) = default;
};

using FileListError = platform::ListFileError;

// The window's words for a failure.
QString fileListErrorMessage(FileListError error);

// Blank lines pass; a line without a number, a TAB and a non-empty path is left
// out and counted; fields after the path are ignored.
using FileListContent = platform::ListFileContent<FileListRow>;

FileListContent parseFileList(const QByteArray& bytes);

// afterEachLine, when set, runs once per line read so a window can keep
// processing its events during a long read.
FileListContent readFileList(const QString& path, const std::function<void()>& afterEachLine = {});

QByteArray formatFileList(const QList<FileListRow>& rows);

FileListError writeFileList(const QString& path, const QList<FileListRow>& rows);

}  // namespace drawings
