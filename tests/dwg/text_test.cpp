// Stored text to UTF-8: code pages through iconv, the two escape forms,
// formatting codes kept.

#include <gtest/gtest.h>

#include "dwg/text.h"

namespace {

using dwg::detail::TextDecoder;

struct CodepageCase {
    std::uint16_t codepage;
    std::string stored;
    std::string utf8;
};

TEST(Text, CodePages)
{
    const CodepageCase cases[] = {
        {30, "plain ASCII", "plain ASCII"},
        {30, "Caf\xE9 \xA9", "Caf\xC3\xA9 \xC2\xA9"},                          // 1252
        {28, "\xA3\xF3" "d\xBF", "\xC5\x81\xC3\xB3" "d\xC5\xBC"},  // 1250
        {29, "\xCF\xF0\xE8", "\xD0\x9F\xD1\x80\xD0\xB8"},                      // 1251: При
        {22, "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},                  // Shift-JIS: 日本
        {31, "\xD6\xD0", "\xE4\xB8\xAD"},                                      // GB2312: 中
        {30, std::string("trailing\0\0", 10), "trailing"},                    // counted NULs
        {0, "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},                        // 0: UTF-8 when valid
        {0, "\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},                                // 0: else 1252
        {999, "\xE9", "\xC3\xA9"},                                            // unknown: 1252
    };
    for (const auto& c : cases) {
        TextDecoder t(c.codepage);
        EXPECT_EQ(t.from_codepage(c.stored), c.utf8) << c.codepage << " " << c.stored;
    }
}

TEST(Text, Escapes)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\\U+00E9t\\U+00e9", "\xC3\xA9t\xC3\xA9"},
        {"\\U+0141\\U+00F3d\\U+017A", "\xC5\x81\xC3\xB3" "d\xC5\xBA"},
        {"\\U+D83D\\U+DE00", "\xF0\x9F\x98\x80"},            // surrogate pair
        {"\\M+18140", "\xE3\x80\x80"},                       // CP932 ideographic space
        {"\\M+5D6D0", "\xE4\xB8\xAD"},                       // GB2312
        {"%%d %%u %%c \\P {\\fArial;x}", "%%d %%u %%c \\P {\\fArial;x}"},
        {"\\U+12", "\\U+12"},                                // too short: kept
        {"\\U+ZZZZ", "\\U+ZZZZ"},
        {"\\M+9ABCD", "\\M+9ABCD"},                          // no such code page digit
        {"end\\", "end\\"},
    };
    for (const auto& [stored, utf8] : cases) {
        TextDecoder t(30);
        EXPECT_EQ(t.from_codepage(stored), utf8) << stored;
    }
}

TEST(Text, Utf16)
{
    TextDecoder t(30);
    EXPECT_EQ(t.from_utf16(u"Stra\u00DFe"), "Stra\xC3\x9F" "e");
    EXPECT_EQ(t.from_utf16(std::u16string(u"x\0", 2)), "x");
    EXPECT_EQ(t.from_utf16(u"\\U+00E9"), "\xC3\xA9");
    EXPECT_EQ(t.from_utf16(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(t.from_utf16(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");  // lone surrogate
}

TEST(Text, InvalidBytesBecomeReplacementCharacters)
{
    TextDecoder t(22);  // Shift-JIS with a lead byte and nothing after it
    EXPECT_EQ(t.from_codepage("ab\x93"), "ab\xEF\xBF\xBD");
}

}  // namespace
