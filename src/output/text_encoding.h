#pragma once
// Conversions between the program's UTF-8 texts and what the output files
// hold: the ANSI code page 1252 of the CSV file and of Access 97 text, and
// the UTF-16 code units Access 2000 counts a text's length in.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace output {

// The text in code page 1252, or nothing when a character has no place in it
// (or the input is not UTF-8).
std::optional<std::string> utf8_to_cp1252(std::string_view utf8);

// Code page 1252 back to UTF-8; bytes the code page leaves undefined are
// carried over as the control characters of the same number.
std::string cp1252_to_utf8(std::string_view cp1252);

// The text with every character that code page 1252 cannot hold replaced by
// "?"; `replaced` tells whether one was.
std::string replace_outside_cp1252(std::string_view utf8, bool& replaced);

// Length of a UTF-8 text in UTF-16 code units.
std::size_t utf16_length(std::string_view utf8);

// The longest start of the text that takes at most `units` UTF-16 code
// units, never splitting a character.
std::string_view truncate_utf16(std::string_view utf8, std::size_t units);

}  // namespace output
