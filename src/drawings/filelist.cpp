#include "filelist.h"

#include "search.h"
#include "platform/ansitext.h"
#include "platform/folderlisting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace drawings {

namespace {

FileListContent parse(const QByteArray &bytes, const std::function<void()> &afterEachLine)
{
    const QString text = platform::decodeTextFile(bytes);
    FileListContent content;
    platform::forEachLine(text, [&](QStringView rawLine) {
        if (afterEachLine)
            afterEachLine();
        const QStringView line = platform::trimSpaces(rawLine);
        if (line.isEmpty())
            return;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab < 0) {
            ++content.skippedLines;
            return;
        }
        bool isNumber = false;
        const double flag = platform::trimSpaces(line.first(tab)).toDouble(&isNumber);
        qsizetype pathEnd = line.indexOf(u'\t', tab + 1);
        if (pathEnd < 0)
            pathEnd = line.size();
        const QStringView path = line.mid(tab + 1, pathEnd - tab - 1);
        if (!isNumber || path.isEmpty()) {
            ++content.skippedLines;
            return;
        }
        content.rows.append(FileListRow{flag == 1.0, path.toString()});
    });
    return content;
}

} // namespace

QString fileListErrorMessage(FileListError error)
{
    switch (error) {
    case FileListError::None:
        return {};
    case FileListError::NotFound:
        return QCoreApplication::translate("drawings", "The file list does not exist.");
    case FileListError::Unreadable:
        return QCoreApplication::translate("drawings", "The file list cannot be read.");
    case FileListError::CannotCreate:
        return QCoreApplication::translate("drawings", "The file list cannot be created in this folder.");
    case FileListError::CannotReplace:
        return QCoreApplication::translate(
            "drawings", "An error occurred. The file is open and cannot be saved. Please close the file and try again.");
    }
    return {};
}

FileListContent parseFileList(const QByteArray &bytes)
{
    return parse(bytes, {});
}

FileListContent readFileList(const QString &path, const std::function<void()> &afterEachLine)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        FileListContent missing;
        missing.error = FileListError::NotFound;
        return missing;
    }
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        FileListContent unreadable;
        unreadable.error = FileListError::Unreadable;
        return unreadable;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        FileListContent unreadable;
        unreadable.error = FileListError::Unreadable;
        return unreadable;
    }
    return parse(bytes, afterEachLine);
}

QByteArray formatFileList(const QList<FileListRow> &rows)
{
    QString text;
    for (const FileListRow &row : rows) {
        text += row.Checked ? u'1' : u'0';
        text += u'\t';
        text += row.Path;
        text += QLatin1String("\r\n");
    }
    return platform::encodeTextFile(text);
}

FileListError writeFileList(const QString &path, const QList<FileListRow> &rows)
{
    const QFileInfo info(path);
    if (info.isDir())
        return FileListError::CannotReplace;
    // A file without any write permission counts as read-only even for an
    // administrator, as the read-only attribute does on Windows.
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (info.exists() && (!info.isWritable() || !(info.permissions() & anyWrite)))
        return FileListError::CannotReplace;

    const QByteArray bytes = formatFileList(rows);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return FileListError::CannotCreate;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return FileListError::CannotCreate;
    }
    if (!file.commit())
        return info.exists() ? FileListError::CannotReplace : FileListError::CannotCreate;
    return FileListError::None;
}

QStringList fileListNames(const QString &filesFolder)
{
    if (!QFileInfo(filesFolder).isDir())
        QDir().mkpath(filesFolder);
    QStringList names;
    platform::listFolder(filesFolder, [&names](const platform::FolderEntry &entry) {
        if (!entry.isFolder && MatchSpec(entry.name, QStringLiteral("*.xal")))
            names.append(entry.name);
    });
    return names;
}

} // namespace drawings
