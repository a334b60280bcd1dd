#pragma once
// Access 2000 counts a text's length in UTF-16 code units; the program's
// texts are UTF-8. (Code page 1252 lives in platform/ansitext.h.)

#include <cstddef>
#include <string_view>

namespace output {

// Length of a UTF-8 text in UTF-16 code units.
std::size_t utf16_length(std::string_view utf8);

// The longest start of the text that takes at most `units` UTF-16 code
// units, never splitting a character.
std::string_view truncate_utf16(std::string_view utf8, std::size_t units);

}  // namespace output
