#include "platform/listfile.h"

#include "platform/ansitext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>

namespace platform {
namespace {

// A list of a million rows is a few tens of megabytes; anything far beyond
// that is not a list, and reading it whole would only exhaust memory.
constexpr qint64 maxListBytes = qint64(256) * 1024 * 1024;

ListFileStatus tooLarge()
{
    return {ListFileError::TooLarge,
            QStringLiteral("It is larger than any list (over %1 MB).").arg(maxListBytes >> 20)};
}

QString oneLine(const QString& field)
{
    QString out = field;
    for (QChar& c : out) {
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    }
    return out;
}

}  // namespace

std::optional<bool> readCheckMark(QStringView field)
{
    bool ok = false;
    const double value = field.toString().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value == 1.0;
}

int forEachListLine(QByteArrayView bytes, const std::function<bool(const ListLine&)>& takeLine)
{
    int refused = 0;
    const QString text = decodeTextFile(bytes);
    forEachLine(text, [&](QStringView raw) {
        const QStringView line = trimSpaces(raw);
        const ListLine fields = line.isEmpty() ? ListLine() : line.split(u'\t');
        if (!takeLine(fields))
            ++refused;
    });
    return refused;
}

ListFileStatus readListBytes(const QString& path, QByteArray& bytes)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {ListFileError::FileNotFound, QString()};
    if (info.isDir())
        return {ListFileError::CannotOpen, QStringLiteral("It is a folder.")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {ListFileError::CannotOpen, file.errorString()};
    const qint64 size = file.size();
    if (size > maxListBytes)
        return tooLarge();
    bytes.clear();
    bytes.reserve(static_cast<qsizetype>(size));
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = file.read(buffer, sizeof buffer);
        if (n < 0)
            return {ListFileError::ReadFailed, file.errorString()};
        if (n == 0)
            return {};
        // The file may grow while it is read.
        if (bytes.size() + n > maxListBytes)
            return tooLarge();
        bytes.append(buffer, static_cast<qsizetype>(n));
    }
}

QByteArray formatListFile(const QList<QStringList>& rows)
{
    QString text;
    for (const QStringList& fields : rows) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                text += u'\t';
            text += oneLine(fields[i]);
        }
        text += QLatin1String("\r\n");
    }
    return encodeTextFile(text);
}

ListFileStatus writeListBytes(QIODevice& device, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = device.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return {ListFileError::WriteFailed, device.errorString()};
        done += n;
    }
    return {};
}

ListFileStatus writeListFile(const QString& path, const QByteArray& bytes)
{
    const QFileInfo target(path);
    if (target.isDir())
        return {ListFileError::CannotCreate, QStringLiteral("A folder of that name exists.")};
    // A file without any write permission counts as read-only even for an
    // administrator, as the read-only attribute does on Windows.
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (target.exists() && (!target.isWritable() || !(target.permissions() & anyWrite)))
        return {ListFileError::CannotReplace, QStringLiteral("The file is read-only.")};

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        // An existing file that cannot be opened for writing is held by
        // another program; otherwise the folder is the problem.
        return {target.exists() ? ListFileError::CannotReplace : ListFileError::CannotCreate, file.errorString()};
    }
    if (ListFileStatus status = writeListBytes(file, bytes); !status.ok()) {
        file.cancelWriting();
        return status;
    }
    if (!file.commit()) {
        const ListFileError error = file.error() == QFileDevice::RenameError && QFileInfo::exists(path)
                                        ? ListFileError::CannotReplace
                                        : ListFileError::WriteFailed;
        return {error, file.errorString()};
    }
    return {};
}

ListFileStatus ensureListFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return {};
    if (info.exists() || info.isSymLink())
        return {ListFileError::FolderNotCreated, QStringLiteral("A file of that name is in the way.")};
    if (!QDir().mkpath(folder))
        return {ListFileError::FolderNotCreated, QString()};
    return {};
}

QStringList listFileNames(const QString& folder, const QString& extension)
{
    return QDir(folder).entryList({QStringLiteral("*.") + extension}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

}  // namespace platform
