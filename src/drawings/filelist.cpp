#include "filelist.h"

#include <QCoreApplication>

namespace drawings {

namespace {

bool takeLine(const platform::ListLine& fields, QList<FileListRow>& rows)
{
    if (fields.isEmpty())
        return true;
    if (fields.size() < 2 || fields[1].isEmpty())
        return false;
    const std::optional<bool> checked = platform::readCheckMark(fields[0]);
    if (!checked)
        return false;
    rows.append(FileListRow{*checked, fields[1].toString()});
    return true;
}

}  // namespace

QString fileListErrorMessage(FileListError error)
{
    switch (error) {
    case FileListError::None: return {};
    case FileListError::FileNotFound: return QCoreApplication::translate("drawings", "The file list does not exist.");
    case FileListError::CannotOpen:
    case FileListError::ReadFailed:
    case FileListError::TooLarge: return QCoreApplication::translate("drawings", "The file list cannot be read.");
    case FileListError::CannotCreate:
    case FileListError::WriteFailed:
    case FileListError::FolderNotCreated:
        return QCoreApplication::translate("drawings", "The file list cannot be created in this folder.");
    case FileListError::CannotReplace:
        return QCoreApplication::translate(
            "drawings",
            "An error occurred. The file is open and cannot be saved. Please close the file and try again.");
    }
    return {};
}

FileListContent parseFileList(const QByteArray& bytes) { return platform::parseListFile<FileListRow>(bytes, takeLine); }

FileListContent readFileList(const QString& path, const std::function<void()>& afterEachLine)
{
    return platform::readListFile<FileListRow>(path, takeLine, afterEachLine);
}

QByteArray formatFileList(const QList<FileListRow>& rows)
{
    QList<QStringList> lines;
    lines.reserve(rows.size());
    for (const FileListRow& row : rows) lines.append({platform::checkMark(row.Checked), row.Path});
    return platform::formatListFile(lines);
}

FileListError writeFileList(const QString& path, const QList<FileListRow>& rows)
{
    return platform::writeListFile(path, formatFileList(rows)).error;
}

}  // namespace drawings
