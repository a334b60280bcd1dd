// What reading the corpus cannot show of the 2004 and 2007 containers: the
// decompressors' edge cases, Reed-Solomon repair, and damage the maps must
// notice.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "corpus.h"
#include "dwg/file_r2004.h"
#include "dwg/file_r2007.h"
#include "dwg/lz77_r2004.h"
#include "dwg/lz77_r2007.h"
#include "dwg/reed_solomon.h"
#include "dwg/sections.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using dwg::Error;
using namespace dwg::detail;

Bytes operator+(Bytes a, const std::string& s)
{
    a.insert(a.end(), s.begin(), s.end());
    return a;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes series(std::size_t n, int step, int from = 0)
{
    Bytes b;
    for (std::size_t i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(from + static_cast<int>(i) * step));
    return b;
}

// The all-zero word belongs to every linear code, so damage to it is easy to
// state and its repair easy to check. Header words repair up to 8 bytes;
// data words 1, and refuse 2 or 3.
TEST(ReedSolomon, RepairsWhatTheCodeCanAndRefusesTheRest)
{
    const struct {
        rs::Code code;
        std::vector<std::size_t> positions;
        int expected;  // corrected count, or -1
    } cases[] = {
        {rs::Code::System, {}, 0},
        {rs::Code::System, {0}, 1},
        {rs::Code::System, {254}, 1},
        {rs::Code::System, {3, 100, 240}, 3},
        {rs::Code::System, {0, 1, 2, 3, 4, 5, 6, 7}, 8},
        {rs::Code::System, {9, 30, 77, 120, 121, 200, 238, 239}, 8},
        {rs::Code::System, {0, 1, 2, 3, 4, 5, 6, 7, 8}, -1},
        {rs::Code::Data, {}, 0},
        {rs::Code::Data, {17}, 1},
        {rs::Code::Data, {250}, 1},
        {rs::Code::Data, {250, 254}, -1},
        {rs::Code::Data, {0, 128, 254}, -1},
    };
    for (const auto& c : cases) {
        std::array<std::uint8_t, rs::word_size> word{};
        std::uint8_t v = 0x5A;
        for (std::size_t p : c.positions) word[p] ^= v++;
        const auto damaged = word;
        EXPECT_EQ(rs::correct_word(word, c.code), c.expected) << c.positions.size() << " bytes";
        EXPECT_EQ(word, c.expected < 0 ? damaged : decltype(word){});
    }
    Bytes stored(2 * rs::word_size - 1, 0), out;
    EXPECT_FALSE(rs::decode_interleaved(stored, 2, rs::Code::Data, out));
}

// Literal runs up to a block and a half: block by block in the order of
// lit2007.txt, then the rest.
TEST(Lz77R2007, LongLiteralRuns)
{
    const auto& order = lz77_r2007::literal_order();
    for (std::size_t n = 9; n < 64; ++n) {
        const Bytes head =
            n < 0x17 ? Bytes{static_cast<std::uint8_t>(n - 8)} : Bytes{0x0F, static_cast<std::uint8_t>(n - 0x17)};
        const Bytes in = head + series(n, 1, 1);
        Bytes out(n);
        std::size_t produced = 0;
        ASSERT_EQ(lz77_r2007::decompress(in, out, produced), Error::Ok) << n;
        ASSERT_EQ(produced, n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t block = i / 32 * 32, part = std::min<std::size_t>(32, n - block);
            EXPECT_EQ(out[i], in[head.size() + block + order[part][i - block]]) << "length " << n << ", byte " << i;
        }
    }
}

TEST(Lz77R2007, Streams)
{
    const Bytes abc = Bytes{0x00} + "ABCDEFGH";
    const struct {
        const char* name;
        Bytes in;
        std::size_t room;
        Error error;
        std::string out;
    } cases[] = {
        {"8 literals, in order", abc, 64, Error::Ok, "ABCDEFGH"},
        {"9 literals, the ninth first", Bytes{0x01} + "BCDEFGHIA", 64, Error::Ok, "ABCDEFGHI"},
        {"32 literals: one block", Bytes{0x0F, 0x09} + "YZ012345QRSTUVWXIJKLMNOPABCDEFGH", 64, Error::Ok,
         "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"},
        {"copy 3 from 1 back", abc + Bytes{0x30, 0x00}, 64, Error::Ok, "ABCDEFGHHHH"},
        {"short opening", Bytes{0x20, 0, 0, 0x01} + "Z", 4, Error::Ok, "Z"},
        {"output exactly full", abc + Bytes{0x30, 0x00}, 11, Error::Ok, "ABCDEFGHHHH"},
        {"output one short", abc + Bytes{0x30, 0x00}, 10, Error::Corrupt, ""},
        {"reference before the start", Bytes{0x20, 0, 0, 0x01} + "Z" + Bytes{0x32, 0x00}, 64, Error::Corrupt, ""},
        {"missing literals", abc + Bytes{0x30, 0x01}, 64, Error::Corrupt, ""},
        {"endless length", Bytes{0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 64, Error::Corrupt, ""},
        {"zero opening count", Bytes{0x20, 0, 0, 0x00}, 64, Error::Corrupt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Guard bytes behind the output's room prove nothing is written past it.
        Bytes buffer(c.room + 16, 0xEE);
        std::size_t produced = 99;
        EXPECT_EQ(lz77_r2007::decompress(c.in, std::span(buffer).first(c.room), produced), c.error);
        if (c.error == Error::Ok) {
            EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<long>(produced)), c.out);
        }
        EXPECT_TRUE(
            std::all_of(buffer.begin() + static_cast<long>(c.room), buffer.end(), [](auto b) { return b == 0xEE; }));
    }
    // Garbage that a weak data code let through: an error or a result, within the room.
    std::mt19937 rng(2007);
    for (int round = 0; round < 300; ++round) {
        Bytes in(rng() % 200), out(128 + 16, 0xEE);
        for (auto& b : in) b = static_cast<std::uint8_t>(rng() % 4 ? rng() % 0x40 : rng());
        std::size_t produced = 0;
        const Error e = lz77_r2007::decompress(in, std::span(out).first(128), produced);
        EXPECT_TRUE(e == Error::Ok || e == Error::Corrupt);
        EXPECT_LE(produced, 128u);
        EXPECT_TRUE(std::all_of(out.begin() + 128, out.end(), [](auto b) { return b == 0xEE; }));
    }
}

TEST(Lz77R2004, Streams)
{
    const Bytes abcd = {0x01, 'a', 'b', 'c', 'd'};
    const Bytes far = series(0x4001, 7);
    const struct {
        const char* name;
        Bytes in;
        std::size_t capacity;
        Error error;
        Bytes out;
    } cases[] = {
        {"literals", abcd + Bytes{0x11}, 16, Error::Ok, {'a', 'b', 'c', 'd'}},
        // Literal length 0x0F + 0xFF (one zero byte) + 1 + 3 = 274.
        {"long literal run", Bytes{0x00, 0x00, 0x01} + series(274, 1) + Bytes{0x11}, 300, Error::Ok, series(274, 1)},
        // 0x52: copy 4 from offset 1 (repeats the last byte), then 2 literals.
        {"overlapping copy and trailing literals",
         abcd + Bytes{0x52, 0x00, 'p', 'q', 0x11},
         16,
         Error::Ok,
         {'a', 'b', 'c', 'd', 'd', 'd', 'd', 'd', 'p', 'q'}},
        // 0x22: copy 4 from offset 2, then a literal-length opcode (4 literals).
        {"copy then literal opcode",
         Bytes{0x01, 'w', 'x', 'y', 'z', 0x22, 0x04, 0x00, 0x01, '1', '2', '3', '4', 0x11},
         32,
         Error::Ok,
         {'w', 'x', 'y', 'z', 'y', 'z', 'y', 'z', '1', '2', '3', '4'}},
        // 0x4001 literals (0x00, 64 zero bytes, 47), then 0x12: copy 4 from the far offset 0x4000.
        {"far copy", Bytes{0x00} + Bytes(64, 0) + Bytes{47} + far + Bytes{0x12, 0x00, 0x00, 0x11}, 0x5000, Error::Ok,
         far + Bytes(far.begin() + 1, far.begin() + 5)},
        {"copy before start", abcd + Bytes{0x40, 0x08, 0x11}, 16, Error::Corrupt, {}},
        {"output too small", abcd + Bytes{0x11}, 3, Error::Corrupt, {}},
        {"no end mark", abcd, 16, Error::Truncated, {}},
        {"zero run to the end", Bytes(64, 0x00), 1 << 16, Error::Truncated, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out(c.capacity, 0xEE);
        std::size_t produced = 0;
        EXPECT_EQ(decompress_r2004(c.in, out, produced), c.error);
        EXPECT_LE(produced, c.capacity);
        if (c.error == Error::Ok) {
            out.resize(produced);
            EXPECT_EQ(out, c.out);
        }
    }
}

// A flip in the encrypted header or the page map is an error, never a quiet
// misreading.
TEST(Damaged2004, FlipsInTheMapsAreErrors)
{
    for (const char* name :
         {"archimed_examples_dwg_circle2004.dwg", "acs_sample_AC1024.dwg", "acs_sample_AC1032.dwg"}) {
        const Bytes file = corpus::read_file(corpus::dir() / "dwg" / name);
        ASSERT_GT(file.size(), 0x100u) << name;
        Bytes header(file.begin() + 0x80, file.begin() + 0x80 + 0x6C);
        unmask_file_header_r2004(header);
        std::size_t map_at = 0x100;
        for (int i = 7; i >= 0; --i) map_at += std::size_t{header[0x54 + static_cast<std::size_t>(i)]} << (8 * i);
        for (std::size_t at : {std::size_t{0x80}, std::size_t{0x80 + 0x55}, std::size_t{0x80 + 0x5C}, map_at + 4,
                               map_at + 8, map_at + 20, map_at + 24, map_at + 30}) {
            Bytes copy = file;
            copy[at] ^= 0x5A;
            Sections s;
            EXPECT_NE(read_sections_r2004(copy, s), Error::Ok) << name << ", flip at " << at;
        }
    }
}

// Damages `count` bytes of word `word` of the `words` interleaved words at `address`.
void damage_word(Bytes& file, std::size_t address, std::size_t words, std::size_t word, std::size_t count,
                 std::size_t first = 0)
{
    for (std::size_t j = 0; j < count; ++j) file[address + word + (first + j * 7) % rs::word_size * words] ^= 0xA5;
}

struct Layout2007 {
    Bytes file = corpus::read_file(corpus::dir() / "dwg" / "acs_sample_AC1021.dwg");
    r2007::FileHeader header;
    std::vector<r2007::Page> pages;
    std::vector<r2007::Section> sections;
    Layout2007()
    {
        EXPECT_EQ(r2007::read_file_header(file, header), Error::Ok);
        EXPECT_EQ(r2007::read_pages_map(file, header, pages), Error::Ok);
        EXPECT_EQ(r2007::read_sections_map(file, header, pages, sections), Error::Ok);
    }
    const r2007::Section& section(const char16_t* name) const
    {
        return *std::find_if(sections.begin(), sections.end(), [&](const auto& s) { return s.name == name; });
    }
};

TEST(Damaged2007, RepairedWithinTheCodesReachRefusedBeyond)
{
    const Layout2007 l;
    Sections intact;
    ASSERT_EQ(read_sections_r2007(l.file, intact), Error::Ok);
    auto expect = [&](const Bytes& damaged, Error error) {
        Sections s;
        ASSERT_EQ(read_sections_r2007(damaged, s), error);
        if (error == Error::Ok) {
            EXPECT_EQ(s.header, intact.header);
            EXPECT_EQ(s.handles, intact.handles);
            EXPECT_TRUE(std::equal(s.objects.begin(), s.objects.end(), intact.objects.begin(), intact.objects.end()));
        }
    };
    // The file header: three words of the header code at 0x80, up to 8 bytes each.
    for (std::size_t word = 0; word < 3; ++word) {
        for (std::size_t count : {1u, 8u, 30u}) {
            Bytes f = l.file;
            damage_word(f, 0x80, 3, word, count, word * 11);
            r2007::ReadStats stats;
            r2007::FileHeader h;
            if (count <= 8) {
                ASSERT_EQ(r2007::read_file_header(f, h, &stats), Error::Ok);
                EXPECT_EQ(stats.corrected_header, count);
            }
            expect(f, count <= 8 ? Error::Ok : Error::Corrupt);
        }
    }
    // Data pages: one byte a word mended, two or three always noticed.
    for (const char16_t* name : {u"AcDb:Header", u"AcDb:Classes", u"AcDb:Handles", u"AcDb:AcDbObjects"}) {
        const auto id = l.section(name).pages.front().id;
        const r2007::Page& p = *std::find_if(l.pages.begin(), l.pages.end(), [&](const auto& p) { return p.id == id; });
        const std::size_t words = static_cast<std::size_t>(p.size / rs::word_size);
        const auto at = static_cast<std::size_t>(p.address);
        Bytes f = l.file;
        damage_word(f, at, words, 0, 1, 5);
        damage_word(f, at, words, words - 1, 1, 200);
        expect(f, Error::Ok);
        for (std::size_t count : {2u, 3u}) {
            f = l.file;
            damage_word(f, at, words, words / 2, count, 17);
            expect(f, Error::Corrupt);
        }
    }
}

// Section descriptions as a damaged sections map could give them: each is
// refused before any page is decoded twice or written out of place.
TEST(Damaged2007, MalformedSectionDescriptionsAreRefused)
{
    const Layout2007 l;
    const r2007::Section& objects = l.section(u"AcDb:AcDbObjects");
    ASSERT_GE(objects.pages.size(), 2u);
    using Edit = void (*)(r2007::Section&);
    const std::pair<Edit, Error> cases[] = {
        {[](r2007::Section& s) { s.pages[1].id = s.pages[0].id; }, Error::Corrupt},
        {[](r2007::Section& s) {
             s.pages[1].offset = s.pages[0].offset;
             s.pages.push_back(s.pages[0]);
             s.pages.back().id = 9999;
         },
         Error::Corrupt},
        {[](r2007::Section& s) { s.pages[0].offset = s.data_size - 1; }, Error::Corrupt},
        {[](r2007::Section& s) { s.pages[0].size_comp = -1; }, Error::Corrupt},
        {[](r2007::Section& s) { s.pages[0].id = 424242; }, Error::Corrupt},
        {[](r2007::Section& s) { s.pages[0].size_comp = std::int64_t{1} << 40; }, Error::Corrupt},
        {[](r2007::Section& s) { s.pages[0].size_uncomp -= 1; }, Error::Corrupt},
        {[](r2007::Section& s) { s.data_size = -5; }, Error::Corrupt},
        {[](r2007::Section& s) { s.data_size = std::int64_t{1} << 40; }, Error::TooLarge},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        r2007::Section s = objects;
        cases[i].first(s);
        Bytes out;
        EXPECT_EQ(r2007::read_section(l.file, l.pages, s, out), cases[i].second) << "case " << i;
    }
}

}  // namespace
