#include "filelist.h"

#include "search.h"
#include "platform/folderlisting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <iconv.h>

#include <cerrno>
#include <optional>

namespace drawings {

namespace {

const QByteArray utf8Bom("\xEF\xBB\xBF", 3);

class Iconv {
public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// Windows maps the five bytes Windows-1252 leaves undefined to the C1
// controls of the same value; iconv refuses them, so they are mapped here.
QString decode1252(const QByteArray &bytes)
{
    Iconv cd("UTF-8", "WINDOWS-1252");
    if (!cd.valid())
        return QString::fromLatin1(bytes);
    QByteArray out;
    out.resize(bytes.size() * 3 + 4);
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char *dst = out.data();
    size_t outLeft = size_t(out.size());
    while (inLeft > 0) {
        if (iconv(cd.get(), &in, &inLeft, &dst, &outLeft) != size_t(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        const uchar b = uchar(*in);
        *dst++ = char(0xC0 | (b >> 6));
        *dst++ = char(0x80 | (b & 0x3F));
        outLeft -= 2;
        ++in;
        --inLeft;
    }
    out.resize(dst - out.data());
    return QString::fromUtf8(out);
}

// Empty when some character has no place in Windows-1252.
std::optional<QByteArray> encode1252(const QString &text)
{
    Iconv cd("WINDOWS-1252", "UTF-8");
    if (!cd.valid())
        return std::nullopt;
    QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.resize(utf8.size() + 1);
    char *in = utf8.data();
    size_t inLeft = size_t(utf8.size());
    char *dst = out.data();
    size_t outLeft = size_t(out.size());
    if (iconv(cd.get(), &in, &inLeft, &dst, &outLeft) == size_t(-1))
        return std::nullopt;
    out.resize(dst - out.data());
    return out;
}

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
    const QString text = bytes.startsWith(utf8Bom) ? QString::fromUtf8(bytes.mid(3)) : decode1252(bytes);
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
    if (std::optional<QByteArray> ansi = encode1252(text))
        return *ansi;
    return utf8Bom + text.toUtf8();
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
