#include "jet/text.h"

namespace jet::detail {

Status check_name(std::string_view name, Version version, Errc error, const char* what)
{
    const std::string quoted = std::string(what) + " \"" + std::string(name) + "\"";
    std::u16string units;
    if (!utf8_to_utf16(name, units))
        return {Errc::invalid_utf8, std::string(what) + " is not valid UTF-8"};
    if (units.empty())
        return {error, std::string(what) + " is empty"};
    if (units.size() > 64)
        return {error, quoted + " is longer than 64 characters"};
    if (units.front() == u' ')
        return {error, quoted + " starts with a space"};
    for (const char16_t c : units) {
        if (c < 0x20 || c == 0x7F)
            return {error, quoted + " contains a control character"};
        if (c == u'.' || c == u'!' || c == u'`' || c == u'[' || c == u']')
            return {error, quoted + " contains one of the characters . ! ` [ ]"};
    }
    if (version == Version::Jet3) {
        std::string cp;
        if (!utf8_to_cp1252(name, cp, false))
            return {Errc::not_representable, quoted + " has a character outside code page 1252"};
    }
    return {};
}

std::vector<std::uint8_t> text_key(std::string_view name, Version version)
{
    // General sort order weights of the letters A..Z (either case) and digits.
    static const std::uint8_t jet4_letters[26] = {0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59,
                                                  0x5B, 0x5C, 0x5E, 0x60, 0x62, 0x64, 0x66, 0x68, 0x69,
                                                  0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};
    static const std::uint8_t jet3_letters[26] = {0x60, 0x61, 0x62, 0x64, 0x66, 0x67, 0x68, 0x69, 0x6A,
                                                  0x6B, 0x6C, 0x6D, 0x6F, 0x70, 0x72, 0x73, 0x74, 0x75,
                                                  0x76, 0x77, 0x78, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E};
    std::vector<std::uint8_t> key{0x7F};
    for (const char ch : name) {
        const bool jet4 = version == Version::Jet4;
        if (ch >= '0' && ch <= '9') {
            key.push_back(static_cast<std::uint8_t>(jet4 ? 0x36 + 2 * (ch - '0') : 0x56 + (ch - '0')));
        } else if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')) {
            const int k = (ch >= 'a') ? ch - 'a' : ch - 'A';
            key.push_back(jet4 ? jet4_letters[k] : jet3_letters[k]);
        } else {
            return {};
        }
    }
    if (version == Version::Jet4)
        key.push_back(0x01);
    key.push_back(0x00);
    return key;
}

}  // namespace jet::detail
