#include "templates/templatefile.h"

#include "platform/ansitext.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <optional>

namespace templates {
namespace {

// A template of a million rows is a few tens of megabytes; anything far beyond
// that is not a template, and reading it whole would only exhaust memory.
constexpr qint64 maxTemplateBytes = qint64(256) * 1024 * 1024;

// Signs, leading zeros, decimals and exponents all count ("+1", "01", "1.0").
std::optional<double> readNumber(QStringView field)
{
    bool ok = false;
    const double value = field.toString().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Appends the row a line gives, or returns false for a line no template holds.
bool parseLine(QStringView line, QList<TemplateItem>& items)
{
    line = platform::trimSpaces(line);
    if (line.isEmpty())
        return false;
    const QList<QStringView> fields = line.split(u'\t');
    if (fields.size() < 5)
        return false;
    const auto mark = readNumber(fields[0]);
    if (!mark)
        return false;
    TemplateItem item;
    item.Checked = *mark == 1.0;
    item.FieldName = fields[1].toString();
    item.Tag = fields[2].toString();
    item.SampleValue = fields[3].toString();
    item.SpaceCode = fields[4].toString();
    items.append(std::move(item));
    return true;
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

} // namespace

QString templateErrorMessage(TemplateError error)
{
    switch (error) {
    case TemplateError::None:
        return QStringLiteral("no error");
    case TemplateError::FileNotFound:
        return QStringLiteral("the template file does not exist");
    case TemplateError::CannotOpen:
        return QStringLiteral("the template file cannot be opened");
    case TemplateError::ReadFailed:
        return QStringLiteral("the template file cannot be read");
    case TemplateError::TooLarge:
        return QStringLiteral("the file is too large to be a template");
    case TemplateError::CannotCreate:
        return QStringLiteral("the template file cannot be created");
    case TemplateError::WriteFailed:
        return QStringLiteral("the template file cannot be written");
    case TemplateError::CannotReplace:
        return QStringLiteral("the existing template file is in use and cannot be replaced");
    case TemplateError::FolderNotCreated:
        return QStringLiteral("the template folder cannot be created");
    }
    return QStringLiteral("unknown error");
}

TemplateReadResult parseTemplate(QByteArrayView bytes, const LineCallback& afterEachLine)
{
    TemplateReadResult result;
    const QString text = platform::decodeTextFile(bytes);
    platform::forEachLine(text, [&](QStringView line) {
        if (!parseLine(line, result.items))
            ++result.skippedLines;
        if (afterEachLine)
            afterEachLine();
    });
    return result;
}

TemplateReadResult readTemplateFile(const QString& path, const LineCallback& afterEachLine)
{
    TemplateReadResult result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.error = TemplateError::FileNotFound;
        return result;
    }
    if (info.isDir()) {
        result.error = TemplateError::CannotOpen;
        result.detail = QStringLiteral("It is a folder.");
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = TemplateError::CannotOpen;
        result.detail = file.errorString();
        return result;
    }
    const qint64 size = file.size();
    if (size > maxTemplateBytes) {
        result.error = TemplateError::TooLarge;
        result.detail = QStringLiteral("It is larger than any template (over %1 MB).").arg(maxTemplateBytes >> 20);
        return result;
    }
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(size));
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = file.read(buffer, sizeof buffer);
        if (n < 0) {
            result.error = TemplateError::ReadFailed;
            result.detail = file.errorString();
            return result;
        }
        if (n == 0)
            break;
        if (bytes.size() + n > maxTemplateBytes) {
            result.error = TemplateError::TooLarge;
            result.detail = QStringLiteral("It is larger than any template (over %1 MB).").arg(maxTemplateBytes >> 20);
            return result;
        }
        bytes.append(buffer, static_cast<qsizetype>(n));
    }
    file.close();
    return parseTemplate(bytes, afterEachLine);
}

QByteArray formatTemplate(const QList<TemplateItem>& items)
{
    QString text;
    for (const TemplateItem& item : items) {
        text += item.Checked ? u'1' : u'0';
        text += u'\t';
        text += oneLine(item.FieldName);
        text += u'\t';
        text += oneLine(item.Tag);
        text += u'\t';
        text += oneLine(item.SampleValue);
        text += u'\t';
        text += oneLine(item.SpaceCode);
        text += QLatin1String("\r\n");
    }
    return platform::encodeTextFile(text);
}

TemplateStatus writeTemplate(QIODevice& device, const QList<TemplateItem>& items)
{
    const QByteArray bytes = formatTemplate(items);
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = device.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return {TemplateError::WriteFailed, device.errorString()};
        done += n;
    }
    return {};
}

TemplateStatus writeTemplateFile(const QString& path, const QList<TemplateItem>& items)
{
    const QFileInfo target(path);
    if (target.isDir())
        return {TemplateError::CannotCreate, QStringLiteral("A folder of that name exists.")};

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        // An existing file that cannot be opened for writing is read-only or
        // held by another program; otherwise the folder is the problem.
        const TemplateError error = target.exists() ? TemplateError::CannotReplace : TemplateError::CannotCreate;
        return {error, file.errorString()};
    }
    if (const TemplateStatus status = writeTemplate(file, items); !status.ok()) {
        file.cancelWriting();
        return status;
    }
    if (!file.commit()) {
        const TemplateError error = file.error() == QFileDevice::RenameError && QFileInfo::exists(path)
                                        ? TemplateError::CannotReplace
                                        : TemplateError::WriteFailed;
        return {error, file.errorString()};
    }
    return {};
}

} // namespace templates
