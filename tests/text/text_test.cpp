// The text library, and the drawing reader's decoder built on it.

#include <gtest/gtest.h>

#include <future>

#include "dwg/text.h"
#include "text/codepage.h"
#include "text/utf8.h"

namespace {

const std::string kFffd = "\xEF\xBF\xBD";
const std::string kSmile = "\xF0\x9F\x98\x80";  // two UTF-16 units

TEST(Utf8, WalksValidAndMalformedText)
{
    struct Case {
        std::string s;
        char32_t code;
        int length;
        bool valid;
    } cases[] = {
        {"A", 'A', 1, true},
        {"\xC3\xA9", 0xE9, 2, true},
        {"\xE2\x82\xAC", 0x20AC, 3, true},
        {kSmile, 0x1F600, 4, true},
        {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4, true},
        {"\x80", 0x80, 1, false},              // stray continuation
        {"\xC0\xAF", 0xC0, 1, false},          // overlong
        {"\xE0\x80\x80", 0xE0, 1, false},      // overlong
        {"\xED\xA0\x80", 0xED, 1, false},      // surrogate
        {"\xF4\x90\x80\x80", 0xF4, 1, false},  // beyond U+10FFFF
        {"\xE5\x9B", 0xE5, 2, false},          // cut short: one piece
        {"\xC3"
         "A",
         0xC3, 1, false},  // the next character is kept
    };
    for (const Case& c : cases) {
        const text::Utf8Char got = text::next_utf8(c.s, 0);
        EXPECT_EQ(got.code, c.code) << c.s;
        EXPECT_EQ(got.length, c.length) << c.s;
        EXPECT_EQ(got.valid, c.valid) << c.s;
        EXPECT_EQ(text::valid_utf8(c.s), c.valid) << c.s;
        std::u16string units;
        EXPECT_EQ(text::utf8_to_utf16(c.s, units), c.valid) << c.s;
        EXPECT_EQ(c.valid ? text::utf16_to_utf8(units) : c.s, c.s);
    }
}

TEST(Utf16, PairsJoinLoneSurrogatesAreReplacedLengthsCountUnits)
{
    EXPECT_EQ(text::utf16_to_utf8(std::u16string(1, char16_t(0xD800)) + u"x"), kFffd + "x");
    std::vector<std::uint8_t> le;
    text::append_utf16le(le, u"\u00E9\U0001F600");
    EXPECT_EQ(le, (std::vector<std::uint8_t>{0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE}));
    EXPECT_EQ(text::utf16le_to_utf8(le.data(), le.size()), "\xC3\xA9" + kSmile);

    EXPECT_EQ(text::utf16_length("\xC3\xA9\xE5\x9B\xBE" + kSmile), 4u);
    const std::string s = "a" + kSmile + "z";
    const std::pair<std::size_t, std::string> cuts[] = {{0, ""}, {1, "a"}, {2, "a"}, {3, "a" + kSmile}, {9, s}};
    for (const auto& [units, kept] : cuts)
        EXPECT_EQ(text::truncate_utf16(s, units), kept) << units;  // never half a pair
}

TEST(Case, FoldsTheScriptsNamesAreWrittenIn)
{
    const std::pair<const char*, const char*> same[] = {
        {"tag", "TAG"},
        {"\xC3\xA9t\xC3\xBF", "\xC3\x89T\xC5\xB8"},                                // étÿ
        {"\xCE\xB1\xCF\x89\xD0\xB4\xD1\x91", "\xCE\x91\xCE\xA9\xD0\x94\xD0\x81"},  // αωдё
        {"\xC4\x81\xC5\x82\xC5\xBE", "\xC4\x80\xC5\x81\xC5\xBD"},                  // āłž
    };
    for (const auto& [a, b] : same) EXPECT_TRUE(text::equal_caseless(a, b)) << a;
    EXPECT_FALSE(text::equal_caseless("\xCF\x82", "\xCE\xA3"));  // final sigma stays
    EXPECT_FALSE(text::equal_caseless("a", "ab"));
    EXPECT_LT(text::compare_caseless("a", "AB"), 0);
    EXPECT_LT(text::compare_caseless("B", "c"), 0);
    EXPECT_GT(text::compare_caseless("\xFF", "\xFE"), 0);  // malformed bytes as themselves
    EXPECT_EQ(text::fold_case(u"\u00E9\u00FF\u0451"), u"\u00C9\u0178\u0401");
}

TEST(CodePage, DecodesLossily)
{
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"CP1252", "Caf\xE9 \x80", "Caf\xC3\xA9 \xE2\x82\xAC"},
        {"CP1251", "\xCF\xF0\xE8", "\xD0\x9F\xD1\x80\xD0\xB8"},
        {"CP932", "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"CP932", "ab\x93", "ab" + kFffd},  // a lead byte and nothing after it
        {"UTF-8", "a\xFF\xE5\x9B", "a" + kFffd + kFffd + kFffd},
        {"NO-SUCH-CHARSET", "a\xE9", "a" + kFffd},
    };
    for (const auto& [charset, bytes, utf8] : cases) EXPECT_EQ(text::decode_lossy(bytes, charset), utf8) << charset;
    EXPECT_FALSE(text::convert("x", "NO-SUCH-CHARSET", "UTF-8"));
}

TEST(CodePage, Cp1252BothWays)
{
    struct Case {
        std::string utf8;
        std::optional<std::string> strict, substituted, kept;
    } cases[] = {
        // nothing: fails
        {"plain", "plain", "plain", "plain"},
        {"Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xE9 \x80", "Caf\xE9 \x80", "Caf\xC3\xA9 \xE2\x82\xAC"},
        {"A\xE5\x9B\xBE" + kSmile + "!",
         {},
         "A?"
         "?!",
         "A?"
         "?!"},                      // one mark per character
        {"\xC2\x81", {}, "?", "?"},  // no byte for it in 1252
        {"bad \xFF", {}, {}, "bad ?"},
        {"cut \xE5\x9B", {}, {}, "cut ?"},
    };
    for (const Case& c : cases) {
        std::string out;
        bool lossy = false;
        EXPECT_EQ(text::utf8_to_cp1252(c.utf8, out, false) ? std::optional(out) : std::nullopt, c.strict) << c.utf8;
        EXPECT_EQ(text::convert(c.utf8, "UTF-8", "CP1252"), c.strict) << c.utf8;
        const bool ok = text::utf8_to_cp1252(c.utf8, out, true, &lossy);
        EXPECT_EQ(ok ? std::optional(out) : std::nullopt, c.substituted) << c.utf8;
        EXPECT_EQ(ok && lossy, ok && !c.strict) << c.utf8;
        bool replaced = false;
        EXPECT_EQ(text::keep_cp1252(c.utf8, replaced), c.kept) << c.utf8;
        EXPECT_EQ(replaced, *c.kept != c.utf8) << c.utf8;
    }
    // Read back: the five undefined bytes fail strictly, else become the
    // controls of the same number, as Windows reads them.
    std::string out;
    EXPECT_FALSE(text::cp1252_to_utf8("a\x81", out));
    EXPECT_EQ(out, "a");
    EXPECT_EQ(text::cp1252_to_utf8_lenient(std::string("\x81\x8D\x8F\x90\x9D"
                                                       "a\0\xE9",
                                                       8)),
              std::string("\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"
                          "a\0\xC3\xA9",
                          14));
    for (const char b : std::string_view("\x01 ~\x7F\x80\x8E\x9F\xA0\xFF"))  // there and back
        EXPECT_EQ(text::convert(text::cp1252_to_utf8_lenient({&b, 1}), "UTF-8", "CP1252"), std::string(1, b)) << +b;
}

TEST(CodePage, ThreadsConvertAtOnce)
{
    auto work = [](const char* charset, const char* bytes, const char* utf8) {
        bool ok = true;
        for (int i = 0; i < 2000 && ok; ++i) ok = text::decode_lossy(bytes, charset) == utf8;
        return ok;
    };
    auto other = std::async(std::launch::async, work, "CP932", "\x93\xFA", "\xE6\x97\xA5");
    EXPECT_TRUE(work("CP1251", "\xCF", "\xD0\x9F"));
    EXPECT_TRUE(other.get());
}

// DWGCODEPAGE numbers, trailing NULs, UTF-8 in files marked 1252, escapes.
TEST(DrawingText, CodePagesAndEscapes)
{
    const std::tuple<std::uint16_t, std::string, std::string> cases[] = {
        {22, "\x93\xFA", "\xE6\x97\xA5"},
        {30, std::string("trailing\0\0", 10), "trailing"},
        {0, "\xC3\xA9t", "\xC3\xA9t"},  // 0, 30 and unknown ones: UTF-8 when valid
        {999, "\xE9", "\xC3\xA9"},
        {29, "\xC3\xA9", "\xD0\x93\xC2\xA9"},
        {30, "\\U+00E9t\\U+00e9", "\xC3\xA9t\xC3\xA9"},
        {30, "\\U+D83D\\U+DE00", kSmile},
        {30, "\\M+18140", "\xE3\x80\x80"},  // CP932 ideographic space
        {30, "\\M+5D6D0", "\xE4\xB8\xAD"},
        {30, "%%d \\P {\\fArial;x} \\U+12 \\U+ZZZZ \\M+9ABCD end\\",
         "%%d \\P {\\fArial;x} \\U+12 \\U+ZZZZ \\M+9ABCD end\\"},
    };
    for (const auto& [codepage, stored, utf8] : cases)
        EXPECT_EQ(dwg::detail::TextDecoder(codepage).from_codepage(stored), utf8) << codepage << " " << stored;
    dwg::detail::TextDecoder t(30);
    EXPECT_EQ(t.from_utf16(std::u16string(u"\\U+00E9x\0", 9)), "\xC3\xA9x");
    EXPECT_EQ(t.from_utf8("\xC3\xA9\xFF"), "\xC3\xA9" + kFffd);
    for (const auto& [name, number] : {std::pair{"ansi_1251", 29}, {"Dos-866", 27}, {"nonsense", 0}})
        EXPECT_EQ(dwg::detail::codepage_number(name), number) << name;
}

}  // namespace
