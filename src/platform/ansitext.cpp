#include "platform/ansitext.h"

#include "text/codepage.h"

namespace platform {

std::optional<std::string> utf8ToAnsi(std::string_view utf8) { return text::convert(utf8, "UTF-8", "CP1252"); }

std::string ansiToUtf8(std::string_view ansi) { return text::cp1252_to_utf8_lenient(ansi); }

std::string replaceOutsideAnsi(std::string_view utf8, bool& replaced) { return text::keep_cp1252(utf8, replaced); }

std::optional<QByteArray> toAnsi(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (auto ansi = utf8ToAnsi(std::string_view(utf8.constData(), std::size_t(utf8.size()))))
        return QByteArray(ansi->data(), qsizetype(ansi->size()));
    return std::nullopt;
}

QString fromAnsi(QByteArrayView bytes)
{
    const std::string utf8 = ansiToUtf8(std::string_view(bytes.data(), std::size_t(bytes.size())));
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

QByteArray encodeTextFile(const QString& text)
{
    if (auto ansi = toAnsi(text))
        return *ansi;
    return QByteArray(utf8ByteOrderMark.data(), qsizetype(utf8ByteOrderMark.size())) + text.toUtf8();
}

QString decodeTextFile(QByteArrayView bytes)
{
    const QByteArrayView bom(utf8ByteOrderMark.data(), qsizetype(utf8ByteOrderMark.size()));
    if (bytes.startsWith(bom))
        return QString::fromUtf8(bytes.sliced(bom.size()));
    return fromAnsi(bytes);
}

QStringView trimSpaces(QStringView line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && line[begin] == u' ') ++begin;
    while (end > begin && line[end - 1] == u' ') --end;
    return line.sliced(begin, end - begin);
}

}  // namespace platform
