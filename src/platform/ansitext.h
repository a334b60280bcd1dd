#pragma once
// Text in the Windows ANSI code page, 1252. Text files are written in it
// whenever every character fits, so older copies of the program and plain
// editors read them; otherwise as UTF-8 behind a byte-order mark. Reading
// accepts both.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::string_view utf8ByteOrderMark = "\xEF\xBB\xBF";

// The UTF-8 text in code page 1252, or nothing when a character has no place
// in it (or the input is not UTF-8).
std::optional<std::string> utf8ToAnsi(std::string_view utf8);

// Code page 1252 as UTF-8. Never fails: the five bytes 1252 leaves undefined
// become the control characters of the same number, as Windows reads them.
std::string ansiToUtf8(std::string_view ansi);

// The UTF-8 text with every character code page 1252 cannot hold replaced by
// "?"; `replaced` tells whether one was.
std::string replaceOutsideAnsi(std::string_view utf8, bool& replaced);

// The same for Qt texts.
std::optional<QByteArray> toAnsi(const QString& text);
QString fromAnsi(QByteArrayView bytes);

// A whole text file: code page 1252 when every character fits, otherwise
// UTF-8 behind a byte-order mark.
QByteArray encodeTextFile(const QString& text);

// A whole text file's bytes: UTF-8 behind a byte-order mark, else 1252.
QString decodeTextFile(QByteArrayView bytes);

// Calls fn with each line of a text file's text: lines end in CR LF, a lone
// CR or a lone LF, and a last line without an ending still counts.
template <typename Fn>
void forEachLine(QStringView text, Fn&& fn)
{
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        fn(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        fn(text.sliced(start));
}

// The line without the spaces at either end (tabs stay: they part fields).
QStringView trimSpaces(QStringView line);

}  // namespace platform
