#include "text.h"

#include <array>
#include <cstring>

#include "text/codepage.h"
#include "text/utf8.h"

namespace dwg::detail {

namespace {

// DWGCODEPAGE numbers 0..44 and the code pages they stand for.
constexpr std::array<const char*, 45> kCharsets = {
    "CP1252",  // 0: not a code page of its own; see from_codepage for UTF-8
    "US-ASCII",   "ISO-8859-1", "ISO-8859-2", "ISO-8859-3", "ISO-8859-4", "ISO-8859-5", "ISO-8859-6", "ISO-8859-7",
    "ISO-8859-8", "ISO-8859-9", "CP437",      "CP850",      "CP852",      "CP855",      "CP857",      "CP860",
    "CP861",      "CP863",      "CP864",      "CP865",      "CP869",      "CP932",      "MACINTOSH",  "CP950",
    "CP949",      "JOHAB",      "CP866",      "CP1250",     "CP1251",     "CP1252",     "CP936",      "CP1253",
    "CP1254",     "CP1255",     "CP1256",     "CP1257",     "CP874",      "CP932",      "CP936",      "CP949",
    "CP950",      "JOHAB",      "UTF-16LE",   "CP1258",
};

// The same numbers' names in DXF headers, written without '_' and '-'.
constexpr std::array<const char*, 45> kCodepageNames = {
    "",         "ASCII",    "ISO88591", "ISO88592", "ISO88593", "ISO88594",  "ISO88595", "ISO88596", "ISO88597",
    "ISO88598", "ISO88599", "DOS437",   "DOS850",   "DOS852",   "DOS855",    "DOS857",   "DOS860",   "DOS861",
    "DOS863",   "DOS864",   "DOS865",   "DOS869",   "DOS932",   "MACINTOSH", "BIG5",     "KSC5601",  "JOHAB",
    "DOS866",   "ANSI1250", "ANSI1251", "ANSI1252", "GB2312",   "ANSI1253",  "ANSI1254", "ANSI1255", "ANSI1256",
    "ANSI1257", "ANSI874",  "ANSI932",  "ANSI936",  "ANSI949",  "ANSI950",   "ANSI1361", "ANSI1200", "ANSI1258",
};

// \M+n selects a double-byte code page by digit.
const char* mbcs_charset(char digit)
{
    switch (digit) {
    case '1': return "CP932";
    case '2': return "CP950";
    case '3': return "CP949";
    case '4': return "JOHAB";
    case '5': return "CP936";
    default: return nullptr;
    }
}

int hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Four hex digits at s[i..i+3], or -1.
long hex4(std::string_view s, std::size_t i)
{
    if (i + 4 > s.size())
        return -1;
    long v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const int h = hex(s[i + k]);
        if (h < 0)
            return -1;
        v = v * 16 + h;
    }
    return v;
}

}  // namespace

const char* codepage_charset(std::uint16_t codepage)
{
    return codepage < kCharsets.size() ? kCharsets[codepage] : "CP1252";
}

std::uint16_t codepage_number(std::string_view name)
{
    std::string key;
    for (const char c : name) {
        if (c == '_' || c == '-' || c == ' ')
            continue;
        key += static_cast<char>(text::fold_case(static_cast<unsigned char>(c)));
    }
    for (std::size_t i = 1; i < kCodepageNames.size(); ++i)
        if (key == kCodepageNames[i])
            return static_cast<std::uint16_t>(i);
    return 0;
}

TextDecoder::TextDecoder(std::uint16_t codepage) : charset_(codepage_charset(codepage)) {}

std::string TextDecoder::from_codepage(std::string_view bytes)
{
    while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
    // Text marked 1252 (code page 0, 30 or an unknown one) may be UTF-8 in fact.
    if (text::is_ascii(bytes) || (std::strcmp(charset_, kCharsets[0]) == 0 && text::valid_utf8(bytes)))
        return expand_escapes(std::string(bytes));
    return expand_escapes(text::decode_lossy(bytes, charset_));
}

std::string TextDecoder::from_utf8(std::string_view bytes)
{
    if (text::valid_utf8(bytes))
        return expand_escapes(std::string(bytes));
    return expand_escapes(text::decode_lossy(bytes, "UTF-8"));
}

std::string TextDecoder::from_utf16(std::u16string_view units)
{
    while (!units.empty() && units.back() == 0) units.remove_suffix(1);
    return expand_escapes(text::utf16_to_utf8(units));
}

std::string TextDecoder::expand_escapes(std::string s)
{
    if (s.find('\\') == std::string::npos)
        return s;
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '\\' && i + 2 < s.size() && s[i + 2] == '+') {
            if (s[i + 1] == 'U' || s[i + 1] == 'u') {
                const long v = hex4(s, i + 3);
                if (v >= 0) {
                    char32_t c = static_cast<char32_t>(v);
                    std::size_t used = 7;
                    // A surrogate pair written as two escapes is one character.
                    if (c >= 0xD800 && c <= 0xDBFF && i + 13 < s.size() + 1 && s.compare(i + 7, 3, "\\U+") == 0) {
                        const long lo = hex4(s, i + 10);
                        if (lo >= 0xDC00 && lo <= 0xDFFF) {
                            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(lo) - 0xDC00);
                            used = 14;
                        }
                    }
                    text::append_utf8(out, c);
                    i += used;
                    continue;
                }
            } else if (s[i + 1] == 'M' || s[i + 1] == 'm') {
                const char* cs = i + 3 < s.size() ? mbcs_charset(s[i + 3]) : nullptr;
                const long v = cs ? hex4(s, i + 4) : -1;
                if (v >= 0) {
                    const char pair[2] = {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
                    out += text::decode_lossy((v >> 8) ? std::string_view(pair, 2) : std::string_view(pair + 1, 1), cs);
                    i += 8;
                    continue;
                }
            }
        }
        out += s[i++];
    }
    return out;
}

}  // namespace dwg::detail
