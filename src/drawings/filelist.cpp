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

bool isBlank(QStringView line)
{
    for (QChar c : line)
        if (c != u' ')
            return false;
    return true;
}

QStringView trimSpaces(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] == u' ')
        ++b;
    while (e > b && s[e - 1] == u' ')
        --e;
    return s.mid(b, e - b);
}

// Lines end in CR LF, CR alone or LF alone; a last line without an ending
// still counts.
template <typename Fn>
void forEachLine(const QString &text, Fn &&fn)
{
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        fn(QStringView(text).mid(start, i - start));
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        fn(QStringView(text).mid(start));
}

FileListContent parse(const QByteArray &bytes, const std::function<void()> &afterEachLine)
{
    const QString text = platform::decodeTextFile(bytes);
    FileListContent content;
    forEachLine(text, [&](QStringView rawLine) {
        if (afterEachLine)
            afterEachLine();
        if (isBlank(rawLine))
            return;
        const QStringView line = trimSpaces(rawLine);
        const qsizetype tab = line.indexOf(u'\t');
        if (tab < 0) {
            ++content.skippedLines;
            return;
        }
        bool isNumber = false;
        const double flag = trimSpaces(line.first(tab)).toDouble(&isNumber);
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
