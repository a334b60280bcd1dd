// Name rules shared by the writer's parts, beside the text conversions they use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/jet.h"
#include "text/codepage.h"
#include "text/utf8.h"

namespace jet::detail {

using text::append_utf16le;
using text::cp1252_to_utf8;
using text::fold_case;
using text::utf16le_to_utf8;
using text::utf8_to_cp1252;
using text::utf8_to_utf16;

// The engine's rules for table and column names.
Status check_name(std::string_view name, Version version, Errc error, const char* what);

// Index key of a table name under the General sort order (ascending), for
// names of ASCII letters and digits; empty when the name has other characters.
std::vector<std::uint8_t> text_key(std::string_view ascii_name, Version version);

}  // namespace jet::detail
