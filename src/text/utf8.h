#pragma once
// The one UTF-8 walker, UTF-16 both ways, and the case folding that tags,
// block and column names are compared under.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace text {

inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The character that starts at s[i]. A malformed piece (a stray byte, an
// overlong form, a surrogate, beyond U+10FFFF, or the start of a sequence cut
// short, however long) gives `valid` false, `code` then being its first byte.
struct Utf8Char {
    char32_t code;
    std::uint8_t length;
    bool valid;
};
Utf8Char next_utf8(std::string_view s, std::size_t i);

bool is_ascii(std::string_view s);
bool valid_utf8(std::string_view s);
// Surrogates and values beyond U+10FFFF are written as U+FFFD.
void append_utf8(std::string& out, char32_t c);

// False on malformed input.
bool utf8_to_utf16(std::string_view in, std::u16string& out);
// Surrogate pairs join; a lone surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view units);
void append_utf16le(std::vector<std::uint8_t>& out, std::u16string_view units);
std::string utf16le_to_utf8(const std::uint8_t* data, std::size_t bytes);

// Length in UTF-16 code units (what Access and workbooks count); a malformed
// byte counts as one.
std::size_t utf16_length(std::string_view utf8);
// The longest start that takes at most `units` code units, never splitting a
// character.
std::string_view truncate_utf16(std::string_view utf8, std::size_t units);

// Upper case for the scripts names are written in (Latin with Latin-1 and
// Extended-A, Greek, Cyrillic); other characters stay.
char32_t fold_case(char32_t c);
std::u16string fold_case(std::u16string_view units);
// Caseless order and equality of UTF-8 texts; malformed bytes compare as
// themselves.
int compare_caseless(std::string_view a, std::string_view b);
inline bool equal_caseless(std::string_view a, std::string_view b) { return a == b || compare_caseless(a, b) == 0; }

}  // namespace text
