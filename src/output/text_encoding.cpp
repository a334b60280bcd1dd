#include "text_encoding.h"

#include <algorithm>

#include <QString>
#include <QStringDecoder>

namespace output {
namespace {

// Byte length of the UTF-8 sequence that starts with `lead`; 1 for a byte
// that cannot start one, so a malformed text still advances.
std::size_t sequence_length(unsigned char lead) {
    if (lead < 0xC0) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    return 1;
}

}  // namespace

std::size_t utf16_length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t n = sequence_length(static_cast<unsigned char>(utf8[i]));
        units += n == 4 ? 2 : 1;
        i += n;
    }
    return units;
}

std::string_view truncate_utf16(std::string_view utf8, std::size_t units) {
    std::size_t used = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t n = sequence_length(static_cast<unsigned char>(utf8[i]));
        const std::size_t width = n == 4 ? 2 : 1;
        if (used + width > units) break;
        used += width;
        i = std::min(i + n, utf8.size());
    }
    return utf8.substr(0, i);
}

std::string xml_text(std::string_view utf8, bool& replaced) {
    replaced = false;
    const bool plain = std::all_of(utf8.begin(), utf8.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r';
    });
    if (plain) return std::string(utf8);
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
