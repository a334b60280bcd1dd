#pragma once
// Access 2000 counts a text's length in UTF-16 code units; the program's
// texts are UTF-8. (Code page 1252 lives in platform/ansitext.h.)

#include <cstddef>
#include <string>
#include <string_view>

namespace output {

// Length of a UTF-8 text in UTF-16 code units.
std::size_t utf16_length(std::string_view utf8);

// The longest start of the text that takes at most `units` UTF-16 code
// units, never splitting a character.
std::string_view truncate_utf16(std::string_view utf8, std::size_t units);

// The text with every byte that is not part of valid UTF-8, and every
// character an XML file cannot carry (controls other than tab, line feed and
// carriage return; U+FFFE, U+FFFF), replaced by U+FFFD; `replaced` tells
// whether one was.
std::string xml_text(std::string_view utf8, bool& replaced);

}  // namespace output
