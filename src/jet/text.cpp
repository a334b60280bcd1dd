#include "jet/text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace jet::detail {

namespace {

// Decodes one UTF-8 sequence at `i`; returns the code point or -1.
long next_code_point(std::string_view s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    long cp = 0;
    long min = 0;
    if ((b0 & 0xE0) == 0xC0) { extra = 1; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { extra = 2; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { extra = 3; cp = b0 & 0x07; min = 0x10000; }
    else return -1;
    if (i + extra >= s.size()) return -1;
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    i += extra + 1;
    return cp;
}

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() { if (ok()) iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // Converts all of `in`; false when a character cannot be converted.
    bool convert(std::string_view in, std::string& out)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        char buf[512];
        while (left > 0) {
            char* dst = buf;
            std::size_t room = sizeof buf;
            const std::size_t r = iconv(cd_, &src, &left, &dst, &room);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

}  // namespace

bool utf8_to_utf16(std::string_view in, std::u16string& out)
{
    out.clear();
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        const long cp = next_code_point(in, i);
        if (cp < 0) return false;
        if (cp >= 0x10000) {
            const long v = cp - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return true;
}

void append_utf16le(std::vector<std::uint8_t>& out, std::u16string_view s)
{
    for (const char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

bool utf8_to_cp1252(std::string_view in, std::string& out, bool substitute, bool* lossy)
{
    out.clear();
    if (lossy) *lossy = false;
    bool ascii = true;
    for (std::size_t i = 0; i < in.size();) {
        if (static_cast<unsigned char>(in[i]) >= 0x80) ascii = false;
        if (next_code_point(in, i) < 0) return false;
    }
    // Plain ASCII is the same in both, and the common case.
    if (ascii) {
        out.assign(in);
        return true;
    }
    Converter cv("WINDOWS-1252", "UTF-8");
    if (!cv.ok()) return false;
    if (cv.convert(in, out)) return true;
    if (!substitute) return false;
    // Some character is missing from the code page: go one at a time.
    out.clear();
    for (std::size_t i = 0; i < in.size();) {
        const std::size_t start = i;
        next_code_point(in, i);
        std::string piece;
        if (!cv.convert(in.substr(start, i - start), piece)) {
            piece = "?";
            if (lossy) *lossy = true;
        }
        out += piece;
    }
    return true;
}

bool cp1252_to_utf8(std::string_view in, std::string& out)
{
    out.clear();
    if (std::all_of(in.begin(), in.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        out.assign(in);
        return true;
    }
    Converter cv("UTF-8", "WINDOWS-1252");
    return cv.ok() && cv.convert(in, out);
}

std::string utf16le_to_utf8(const std::uint8_t* data, std::size_t bytes)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        unsigned long cp = data[i] | (data[i + 1] << 8);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes) {
            const unsigned long lo = data[i + 2] | (data[i + 3] << 8);
            if (lo >= 0xDC00 && lo < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::u16string fold_case(std::u16string_view s)
{
    std::u16string out(s);
    for (char16_t& c : out) {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
            (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
            c = static_cast<char16_t>(c - 0x20);
        } else if (c >= 0x450 && c <= 0x45F) {
            c = static_cast<char16_t>(c - 0x50);
        } else if (c == 0xFF) {
            c = 0x178;
        }
    }
    return out;
}

Status check_name(std::string_view name, Version version, Errc error, const char* what)
{
    const std::string quoted = std::string(what) + " \"" + std::string(name) + "\"";
    std::u16string units;
    if (!utf8_to_utf16(name, units)) return {Errc::invalid_utf8, std::string(what) + " is not valid UTF-8"};
    if (units.empty()) return {error, std::string(what) + " is empty"};
    if (units.size() > 64) return {error, quoted + " is longer than 64 characters"};
    if (units.front() == u' ') return {error, quoted + " starts with a space"};
    for (const char16_t c : units) {
        if (c < 0x20 || c == 0x7F) return {error, quoted + " contains a control character"};
        if (c == u'.' || c == u'!' || c == u'`' || c == u'[' || c == u']')
            return {error, quoted + " contains one of the characters . ! ` [ ]"};
    }
    if (version == Version::Jet3) {
        std::string cp;
        if (!utf8_to_cp1252(name, cp, false))
            return {Errc::not_representable, quoted + " has a character outside code page 1252"};
    }
    return {};
}

std::vector<std::uint8_t> text_key(std::string_view name, Version version)
{
    // General sort order weights of the letters A..Z (either case) and digits.
    static const std::uint8_t jet4_letters[26] = {
        0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59, 0x5B, 0x5C, 0x5E, 0x60,
        0x62, 0x64, 0x66, 0x68, 0x69, 0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};
    static const std::uint8_t jet3_letters[26] = {
        0x60, 0x61, 0x62, 0x64, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6F,
        0x70, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E};
    std::vector<std::uint8_t> key{0x7F};
    for (const char ch : name) {
        const bool jet4 = version == Version::Jet4;
        if (ch >= '0' && ch <= '9') {
            key.push_back(static_cast<std::uint8_t>(jet4 ? 0x36 + 2 * (ch - '0') : 0x56 + (ch - '0')));
        } else if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')) {
            const int k = (ch >= 'a') ? ch - 'a' : ch - 'A';
            key.push_back(jet4 ? jet4_letters[k] : jet3_letters[k]);
        } else {
            return {};
        }
    }
    if (version == Version::Jet4) key.push_back(0x01);
    key.push_back(0x00);
    return key;
}

}  // namespace jet::detail
