#pragma once
// Text as workbooks and Access 2000 take it: UTF-16 lengths, characters an
// XML file can carry. (Code page 1252 lives in platform/ansitext.h.)

#include <cstddef>
#include <string>
#include <string_view>

#include "text/utf8.h"

namespace output {

// The UTF-16 lengths Access and workbooks count.
using text::truncate_utf16;
using text::utf16_length;

// The text with every byte that is not part of valid UTF-8, and every
// character an XML file cannot carry (controls other than tab, line feed and
// carriage return; U+FFFE, U+FFFF), replaced by U+FFFD; `replaced` tells
// whether one was.
std::string xml_text(std::string_view utf8, bool& replaced);

}  // namespace output
