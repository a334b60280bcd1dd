// Text in the ANSI code page 1252 and the text-file form built on it.

#include "platform/ansitext.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace platform;

TEST(AnsiText, HoldsWesternTextOnly) {
    EXPECT_EQ(utf8ToAnsi(""), "");
    EXPECT_EQ(utf8ToAnsi("plain"), "plain");
    EXPECT_EQ(utf8ToAnsi("Caf\xC3\xA9 Stra\xC3\x9F" "e 25\xC2\xB0"), "Caf\xE9 Stra\xDF" "e 25\xB0");
    EXPECT_EQ(utf8ToAnsi("\xE2\x82\xAC"), "\x80");      // euro sign
    EXPECT_FALSE(utf8ToAnsi("\xE5\x9B\xBE"));            // CJK
    EXPECT_FALSE(utf8ToAnsi("\xF0\x9F\x98\x80"));        // outside the BMP
    EXPECT_FALSE(utf8ToAnsi("\xC2\x81"));                // a control 1252 has no byte for
    EXPECT_FALSE(utf8ToAnsi("bad \xFF"));
}

TEST(AnsiText, ReadsEveryByteAsWindowsDoes) {
    EXPECT_EQ(ansiToUtf8(""), "");
    EXPECT_EQ(ansiToUtf8("Caf\xE9 \x80 \x81"), "Caf\xC3\xA9 \xE2\x82\xAC \xC2\x81");
    // The five undefined bytes become the controls of the same number,
    // also back to back and at either end.
    EXPECT_EQ(ansiToUtf8("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(ansiToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
    // Every defined byte survives the way there and back.
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;
        EXPECT_EQ(utf8ToAnsi(ansiToUtf8(one)), one) << b;
    }
}

TEST(AnsiText, ReplacesWhatItCannotHold) {
    bool replaced = true;
    EXPECT_EQ(replaceOutsideAnsi("Caf\xC3\xA9", replaced), "Caf\xC3\xA9");
    EXPECT_FALSE(replaced);
    EXPECT_EQ(replaceOutsideAnsi("A\xE5\x9B\xBE\xE7\xBA\xB8 B", replaced), "A?? B");
    EXPECT_TRUE(replaced);
    EXPECT_EQ(replaceOutsideAnsi("\xF0\x9F\x98\x80!", replaced), "?!");  // one mark per character
    EXPECT_TRUE(replaced);
    EXPECT_EQ(replaceOutsideAnsi("cut \xE5\x9B", replaced), "cut ?");   // a sequence cut short
}

TEST(AnsiTextFile, WritesAnsiWhenEverythingFitsElseMarkedUtf8) {
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
}

TEST(AnsiTextFile, ReadsEitherForm) {
    EXPECT_EQ(decodeTextFile(QByteArray("\xEF\xBB\xBF")), QString());
    // Without the mark, bytes that would be UTF-8 are still 1252.
    EXPECT_EQ(decodeTextFile(QByteArray("\xC3\xA9")), QString::fromUtf8("\xC3\x83\xC2\xA9"));
    EXPECT_EQ(decodeTextFile(QByteArray("\x81\xE9")), QString::fromUtf8("\xC2\x81\xC3\xA9"));
    // A mark only counts at the start.
    EXPECT_EQ(decodeTextFile(QByteArray("a\xEF\xBB\xBF")), QString::fromUtf8("a\xC3\xAF\xC2\xBB\xC2\xBF"));
    EXPECT_EQ(toAnsi(QString::fromUtf8("\xC3\xA9")), QByteArray("\xE9"));
    EXPECT_FALSE(toAnsi(QString::fromUtf8("\xE6\x97\xA5")));
    EXPECT_EQ(fromAnsi(QByteArray("\xE9")), QString::fromUtf8("\xC3\xA9"));
}

TEST(TextFileLines, EndInCrLfLoneCrOrLoneLf) {
    struct Case {
        const char* text;
        QStringList lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n\r", {"a", ""}},         // LF then CR: two endings
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

TEST(TextFileLines, TrimOnlySpaces) {
    EXPECT_EQ(trimSpaces(u"  a b  "), u"a b");
    EXPECT_EQ(trimSpaces(u"\ta\t"), u"\ta\t");
    EXPECT_EQ(trimSpaces(u"    "), u"");
    EXPECT_EQ(trimSpaces(u""), u"");
}
