#pragma once
// Stored text to UTF-8: the drawing's code page (through iconv), then the
// \U+XXXX and \M+nXXXX escapes. Formatting codes (%%d, \P, ...) stay.

#include <cstdint>
#include <string>
#include <string_view>

namespace dwg::detail {

class TextDecoder {
public:
    // `codepage` is the DWGCODEPAGE number from the file header.
    explicit TextDecoder(std::uint16_t codepage);

    // 8-bit text as stored before 2007 (a trailing NUL run is dropped).
    std::string from_codepage(std::string_view bytes);
    // UTF-16 text as stored from 2007 on.
    std::string from_utf16(std::u16string_view units);
    // UTF-8 text, as DXF files store it from 2007 on; invalid bytes become U+FFFD.
    std::string from_utf8(std::string_view bytes);

private:
    std::string expand_escapes(std::string s);

    const char* charset_;
};

// The iconv name of a DWGCODEPAGE number (Windows-1252 for unknown ones).
const char* codepage_charset(std::uint16_t codepage);
// The DWGCODEPAGE number of a code page's name as a DXF header gives it
// ("ANSI_1251", "DOS866", "ISO8859-1"; letter case, '_' and '-' do not
// matter); 0 for a name not known.
std::uint16_t codepage_number(std::string_view name);

}  // namespace dwg::detail
