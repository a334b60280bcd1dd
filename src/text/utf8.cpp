#include "text/utf8.h"

namespace text {

Utf8Char next_utf8(std::string_view s, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80)
        return {lead, 1, true};
    // The second byte's range rules out overlong forms, surrogates and
    // values beyond U+10FFFF.
    std::size_t extra = 0;
    char32_t c = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, c = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, c = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return {lead, 1, false};
    }
    std::size_t k = 1;
    for (; k <= extra && i + k < s.size(); ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (b < low || b > high)
            break;
        c = (c << 6) | (b & 0x3F);
        low = 0x80, high = 0xBF;
    }
    // A sequence cut short is one malformed piece, however far it got.
    if (k <= extra)
        return {lead, static_cast<std::uint8_t>(k), false};
    return {c, static_cast<std::uint8_t>(k), true};
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
    for (std::size_t i = 0; i < s.size();) {
        const Utf8Char c = next_utf8(s, i);
        if (!c.valid)
            return false;
        i += c.length;
    }
    return true;
}

void append_utf8(std::string& out, char32_t c)
{
    if ((c >= 0xD800 && c <= 0xDFFF) || c >= 0x110000) {
        out += kReplacement;
    } else if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool utf8_to_utf16(std::string_view in, std::u16string& out)
{
    out.clear();
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        const Utf8Char c = next_utf8(in, i);
        if (!c.valid)
            return false;
        i += c.length;
        if (c.code >= 0x10000) {
            const char32_t v = c.code - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c.code));
        }
    }
    return true;
}

std::string utf16_to_utf8(std::u16string_view units)
{
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        append_utf8(out, c);
    }
    return out;
}

void append_utf16le(std::vector<std::uint8_t>& out, std::u16string_view units)
{
    for (const char16_t c : units) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

std::string utf16le_to_utf8(const std::uint8_t* data, std::size_t bytes)
{
    std::u16string units(bytes / 2, u'\0');
    for (std::size_t k = 0; k < units.size(); ++k)
        units[k] = static_cast<char16_t>(data[2 * k] | (data[2 * k + 1] << 8));
    return utf16_to_utf8(units);
}

std::size_t utf16_length(std::string_view utf8)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Char c = next_utf8(utf8, i);
        units += c.code >= 0x10000 ? 2 : 1;
        i += c.length;
    }
    return units;
}

std::string_view truncate_utf16(std::string_view utf8, std::size_t units)
{
    std::size_t used = 0, i = 0;
    while (i < utf8.size()) {
        const Utf8Char c = next_utf8(utf8, i);
        const std::size_t width = c.code >= 0x10000 ? 2 : 1;
        if (used + width > units)
            break;
        used += width;
        i += c.length;
    }
    return utf8.substr(0, i);
}

char32_t fold_case(char32_t c)
{
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    if (c == 0xFF)
        return 0x178;
    // Latin Extended-A pairs capital/small as even/odd code points, shifted
    // by one between U+0138 and U+0148 and from U+0179.
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c & ~char32_t{1};
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c : c - 1;
    return c;
}

std::u16string fold_case(std::u16string_view units)
{
    std::u16string out(units);
    for (char16_t& c : out) c = static_cast<char16_t>(fold_case(char32_t{c}));
    return out;
}

int compare_caseless(std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        // Names are mostly ASCII: fold it here, without decoding.
        const auto p = static_cast<unsigned char>(a[i]), q = static_cast<unsigned char>(b[j]);
        if ((p | q) < 0x80) {
            const auto upper = [](unsigned c) { return c - 'a' < 26u ? c - 0x20 : c; };
            const unsigned fp = upper(p), fq = upper(q);
            if (fp != fq)
                return fp < fq ? -1 : 1;
            ++i, ++j;
            continue;
        }
        const Utf8Char x = next_utf8(a, i);
        const Utf8Char y = next_utf8(b, j);
        const char32_t fx = fold_case(x.code), fy = fold_case(y.code);
        if (fx != fy)
            return fx < fy ? -1 : 1;
        i += x.length;
        j += y.length;
    }
    return (i < a.size()) - (j < b.size());
}

}  // namespace text
