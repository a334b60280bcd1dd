#include "text_encoding.h"

#include <algorithm>

#include <QString>
#include <QStringDecoder>

namespace output {
std::string xml_text(std::string_view utf8, bool& replaced)
{
    replaced = false;
    const bool plain = std::all_of(utf8.begin(), utf8.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r';
    });
    if (plain)
        return std::string(utf8);
    // Qt's decoder is strict (overlong forms, surrogates, stray and trailing
    // bytes become U+FFFD), so only the characters XML refuses are left to
    // find. A leading byte-order mark is a character of the value here.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF)
            c = QChar::ReplacementCharacter;
    }
    std::string out = text.toStdString();
    replaced = out != utf8;
    return out;
}

}  // namespace output
