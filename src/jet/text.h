// Text conversions and name rules shared by the writer's parts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/jet.h"

namespace jet::detail {

// UTF-8 to UTF-16 code units; false on malformed input (overlongs, surrogates,
// truncated sequences).
bool utf8_to_utf16(std::string_view in, std::u16string& out);

// UTF-16 code units to UTF-16LE bytes, appended.
void append_utf16le(std::vector<std::uint8_t>& out, std::u16string_view s);

// UTF-8 to code page 1252 through iconv. With `substitute`, a character the
// code page lacks becomes '?'; without it the conversion fails. False also on
// malformed UTF-8 or when iconv is unavailable.
bool utf8_to_cp1252(std::string_view in, std::string& out, bool substitute, bool* lossy = nullptr);

// Code page 1252 back to UTF-8 (for names read from a file).
bool cp1252_to_utf8(std::string_view in, std::string& out);
std::string utf16le_to_utf8(const std::uint8_t* data, std::size_t bytes);

// Upper-case folding good enough to find names that differ only in case.
std::u16string fold_case(std::u16string_view s);

// The engine's rules for table and column names.
Status check_name(std::string_view name, Version version, Errc error, const char* what);

// Index key of a table name under the General sort order (ascending), for
// names of ASCII letters and digits; empty when the name has other characters.
std::vector<std::uint8_t> text_key(std::string_view ascii_name, Version version);

}  // namespace jet::detail
