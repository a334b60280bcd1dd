#include "text.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace dwg::detail {

namespace {

// DWGCODEPAGE numbers 0..44 and the code pages they stand for.
constexpr std::array<const char*, 45> kCharsets = {
    "CP1252",      // 0: not a code page of its own; see from_codepage for UTF-8
    "US-ASCII",    "ISO-8859-1", "ISO-8859-2", "ISO-8859-3", "ISO-8859-4",
    "ISO-8859-5",  "ISO-8859-6", "ISO-8859-7", "ISO-8859-8", "ISO-8859-9",
    "CP437",       "CP850",      "CP852",      "CP855",      "CP857",
    "CP860",       "CP861",      "CP863",      "CP864",      "CP865",
    "CP869",       "CP932",      "MACINTOSH",  "CP950",      "CP949",
    "JOHAB",       "CP866",      "CP1250",     "CP1251",     "CP1252",
    "CP936",       "CP1253",     "CP1254",     "CP1255",     "CP1256",
    "CP1257",      "CP874",      "CP932",      "CP936",      "CP949",
    "CP950",       "JOHAB",      "UTF-16LE",   "CP1258",
};

// The same numbers' names in DXF headers, written without '_' and '-'.
constexpr std::array<const char*, 45> kCodepageNames = {
    "",         "ASCII",    "ISO88591", "ISO88592", "ISO88593", "ISO88594", "ISO88595", "ISO88596",
    "ISO88597", "ISO88598", "ISO88599", "DOS437",   "DOS850",   "DOS852",   "DOS855",   "DOS857",
    "DOS860",   "DOS861",   "DOS863",   "DOS864",   "DOS865",   "DOS869",   "DOS932",   "MACINTOSH",
    "BIG5",     "KSC5601",  "JOHAB",    "DOS866",   "ANSI1250", "ANSI1251", "ANSI1252", "GB2312",
    "ANSI1253", "ANSI1254", "ANSI1255", "ANSI1256", "ANSI1257", "ANSI874",  "ANSI932",  "ANSI936",
    "ANSI949",  "ANSI950",  "ANSI1361", "ANSI1200", "ANSI1258",
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

bool is_ascii(std::string_view s)
{
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool valid_utf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
        if (n == 9 || (n && c < 0xC2) || i + n >= s.size() + (n ? 0 : 1))
            return false;
        for (std::size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n + 1;
    }
    return true;
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
        key += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    for (std::size_t i = 1; i < kCodepageNames.size(); ++i)
        if (key == kCodepageNames[i])
            return static_cast<std::uint16_t>(i);
    return 0;
}

void append_utf8(std::string& out, char32_t c)
{
    if (c >= 0xD800 && c <= 0xDFFF)
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += "\xEF\xBF\xBD";
    }
}

TextDecoder::TextDecoder(std::uint16_t codepage) : charset_(codepage_charset(codepage)) {}

TextDecoder::~TextDecoder()
{
    if (cd_)
        iconv_close(static_cast<iconv_t>(cd_));
}

// One conversion with a given iconv descriptor; bytes that do not convert
// become U+FFFD so that a damaged string still shows its readable part.
static std::string run_iconv(iconv_t cd, std::string_view bytes)
{
    std::string out;
    out.resize(bytes.size() * 4 + 8);
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    char* dst = out.data();
    std::size_t dst_left = out.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (in_left > 0) {
        if (iconv(cd, &in, &in_left, &dst, &dst_left) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            const std::size_t used = static_cast<std::size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dst_left = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: replace one byte and go on.
        if (dst_left < 3) {
            const std::size_t used = static_cast<std::size_t>(dst - out.data());
            out.resize(out.size() + 16);
            dst = out.data() + used;
            dst_left = out.size() - used;
        }
        std::memcpy(dst, "\xEF\xBF\xBD", 3);
        dst += 3;
        dst_left -= 3;
        ++in;
        --in_left;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return out;
}

std::string TextDecoder::convert(const char* charset, std::string_view bytes)
{
    if (charset == charset_) {
        if (!cd_ && !cd_failed_) {
            const iconv_t cd = iconv_open("UTF-8", charset_);
            if (cd == reinterpret_cast<iconv_t>(-1))
                cd_failed_ = true;
            else
                cd_ = cd;
        }
        if (cd_)
            return run_iconv(static_cast<iconv_t>(cd_), bytes);
    } else {
        const iconv_t cd = iconv_open("UTF-8", charset);
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            std::string out = run_iconv(cd, bytes);
            iconv_close(cd);
            return out;
        }
    }
    // No converter for this code page: keep ASCII, mark the rest.
    std::string out;
    for (const char c : bytes)
        static_cast<unsigned char>(c) < 0x80 ? void(out += c) : void(out += "\xEF\xBF\xBD");
    return out;
}

std::string TextDecoder::from_codepage(std::string_view bytes)
{
    while (!bytes.empty() && bytes.back() == '\0')
        bytes.remove_suffix(1);
    std::string s;
    if (is_ascii(bytes))
        s.assign(bytes);
    else if (charset_ == kCharsets[0] && valid_utf8(bytes))
        s.assign(bytes);
    else
        s = convert(charset_, bytes);
    return expand_escapes(std::move(s));
}

std::string TextDecoder::from_utf8(std::string_view bytes)
{
    if (is_ascii(bytes) || valid_utf8(bytes))
        return expand_escapes(std::string(bytes));
    return expand_escapes(convert("UTF-8", bytes));
}

std::string TextDecoder::from_utf16(std::u16string_view units)
{
    while (!units.empty() && units.back() == 0)
        units.remove_suffix(1);
    std::string s;
    s.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        append_utf8(s, c);
    }
    return expand_escapes(std::move(s));
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
                    append_utf8(out, c);
                    i += used;
                    continue;
                }
            } else if (s[i + 1] == 'M' || s[i + 1] == 'm') {
                const char* cs = i + 3 < s.size() ? mbcs_charset(s[i + 3]) : nullptr;
                const long v = cs ? hex4(s, i + 4) : -1;
                if (v >= 0) {
                    const char pair[2] = {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
                    out += convert(cs, (v >> 8) ? std::string_view(pair, 2) : std::string_view(pair + 1, 1));
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
