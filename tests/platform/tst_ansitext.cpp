// The text-file form built on code page 1252 (the conversions themselves are
// the text library's, tested there), and its lines.

#include "platform/ansitext.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace platform;

TEST(AnsiTextFile, WritesAnsiWhenEverythingFitsElseMarkedUtf8AndReadsEither)
{
    struct Case {
        QString text;
        QByteArray bytes;
    } cases[] = {
        {QString(), QByteArray()},
        {QStringLiteral("1\tplain.dwg\r\n"), QByteArray("1\tplain.dwg\r\n")},
        {QString::fromUtf8("0\tCaf\xC3\xA9 \xE2\x82\xAC.dwg\r\n"), QByteArray("0\tCaf\xE9 \x80.dwg\r\n")},
        {QString::fromUtf8("\xC3\xA9 \xE6\x97\xA5"), QByteArray("\xEF\xBB\xBF\xC3\xA9 \xE6\x97\xA5")},
        {QString(QChar(0x81)), QByteArray("\xEF\xBB\xBF\xC2\x81")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encodeTextFile(c.text), c.bytes) << c.text.toStdString();
        EXPECT_EQ(decodeTextFile(c.bytes), c.text) << c.text.toStdString();
    }
    // Without the mark, bytes that would be UTF-8 are still 1252; a mark only
    // counts at the start.
    const std::pair<QByteArray, const char*> readOnly[] = {{"\xEF\xBB\xBF", ""},
                                                           {"\xC3\xA9", "\xC3\x83\xC2\xA9"},
                                                           {"\x81\xE9", "\xC2\x81\xC3\xA9"},
                                                           {"a\xEF\xBB\xBF", "a\xC3\xAF\xC2\xBB\xC2\xBF"}};
    for (const auto& [bytes, utf8] : readOnly)
        EXPECT_EQ(decodeTextFile(bytes), QString::fromUtf8(utf8)) << bytes.toHex().toStdString();
}

TEST(TextFileLines, EndInCrLfLoneCrOrLoneLf)
{
    struct Case {
        const char* text;
        QStringList lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n\r", {"a", ""}},  // LF then CR: two endings
        {"a\r\r\n\n", {"a", "", ""}},
        {"\r\n", {""}},
        {" \t x \t ", {" \t x \t "}},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        QStringList lines;
        forEachLine(text, [&lines](QStringView line) { lines.append(line.toString()); });
        EXPECT_EQ(lines, c.lines) << c.text;
    }
}

TEST(TextFileLines, TrimOnlySpaces)
{
    const std::pair<QStringView, QStringView> cases[] = {
        {u"  a b  ", u"a b"}, {u"\ta\t", u"\ta\t"}, {u"    ", u""}, {u"", u""}};
    for (const auto& [text, trimmed] : cases) EXPECT_EQ(trimSpaces(text), trimmed) << text.toString().toStdString();
}
