#include "text_encoding.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace output {
namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Whole-text conversion; nothing when any character does not convert.
    std::optional<std::string> convert(std::string_view in) const {
        if (!valid()) return std::nullopt;
        std::string out;
        out.resize(in.size() * 4 + 4);
        char* src = const_cast<char*>(in.data());
        std::size_t src_left = in.size();
        char* dst = out.data();
        std::size_t dst_left = out.size();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        while (src_left > 0) {
            if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1)) {
                if (errno != E2BIG) return std::nullopt;
                const std::size_t used = out.size() - dst_left;
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dst_left = out.size() - used;
            }
        }
        out.resize(out.size() - dst_left);
        return out;
    }

private:
    iconv_t cd_;
};

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

std::optional<std::string> utf8_to_cp1252(std::string_view utf8) {
    thread_local const Converter to_cp1252("CP1252", "UTF-8");
    return to_cp1252.convert(utf8);
}

std::string cp1252_to_utf8(std::string_view cp1252) {
    thread_local const Converter from_cp1252("UTF-8", "CP1252");
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 2);
    for (std::size_t i = 0; i < cp1252.size();) {
        // Runs of convertible bytes go through iconv; the five bytes 1252
        // leaves undefined become the C1 controls, as Windows reads them.
        std::size_t j = i;
        while (j < cp1252.size()) {
            const unsigned char c = static_cast<unsigned char>(cp1252[j]);
            if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) break;
            ++j;
        }
        if (j > i) {
            out += from_cp1252.convert(cp1252.substr(i, j - i)).value_or(std::string(j - i, '?'));
            i = j;
        } else {
            const unsigned char c = static_cast<unsigned char>(cp1252[i++]);
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string replace_outside_cp1252(std::string_view utf8, bool& replaced) {
    replaced = false;
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        std::size_t n = std::min(sequence_length(lead), utf8.size() - i);
        const std::string_view one = utf8.substr(i, n);
        if (lead < 0x80 || utf8_to_cp1252(one)) {
            out += one;
        } else {
            out += '?';
            replaced = true;
        }
        i += n;
    }
    return out;
}

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

}  // namespace output
