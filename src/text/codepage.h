#pragma once
// Code pages through iconv (charset names as iconv spells them: "CP1252").
// Converters are opened once per thread and pair of charsets and kept, so
// threads reading drawings at once never share one.

#include <optional>
#include <string>
#include <string_view>

namespace text {

// The whole text in `to`, or nothing when a character does not convert (or
// no converter exists).
std::optional<std::string> convert(std::string_view in, const char* from, const char* to);

// Stored text to UTF-8 that never fails: a byte that does not convert becomes
// U+FFFD, so damaged text still shows its readable part; without a converter
// ASCII stays and the rest is marked.
std::string decode_lossy(std::string_view in, const char* from);

// UTF-8 to code page 1252. With `substitute` a character 1252 lacks becomes
// '?' (`lossy` says whether one did); without it that fails. Malformed UTF-8
// always fails.
bool utf8_to_cp1252(std::string_view in, std::string& out, bool substitute, bool* lossy = nullptr);
// Strict: fails on the five bytes 1252 leaves undefined.
bool cp1252_to_utf8(std::string_view in, std::string& out);
// Never fails: the undefined bytes become the control characters of the same
// number, as Windows reads them.
std::string cp1252_to_utf8_lenient(std::string_view in);
// The UTF-8 text with every character 1252 cannot hold (and every malformed
// byte) replaced by '?'.
std::string keep_cp1252(std::string_view utf8, bool& replaced);

}  // namespace text
