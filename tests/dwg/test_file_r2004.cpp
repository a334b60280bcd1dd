// The 2004-family container (AC1018, AC1024, AC1027, AC1032): the LZ77
// decoder on small hand-made streams, the file structure on every corpus
// drawing of these versions, and damaged copies of them.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "dwg/file_r2004.h"
#include "dwg/lz77_copy.h"
#include "dwg/lz77_r2004.h"
#include "corpus.h"
#include "dwg/sections.h"

namespace fs = std::filesystem;
using dwg::Error;
using dwg::detail::Sections;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Lz77Case {
    const char* name;
    Bytes in;
    std::size_t capacity;
    Error error;
    Bytes out;  // expected output when error is Ok
};

class Lz77 : public ::testing::TestWithParam<Lz77Case> {};

TEST_P(Lz77, Decodes)
{
    const Lz77Case& c = GetParam();
    Bytes out(c.capacity, 0xEE);
    std::size_t produced = 0;
    EXPECT_EQ(dwg::detail::decompress_r2004(c.in, out, produced), c.error);
    EXPECT_LE(produced, c.capacity);
    if (c.error == Error::Ok) {
        out.resize(produced);
        EXPECT_EQ(out, c.out);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Lz77,
    ::testing::Values(
        // 0x01: 1 + 3 literals, then the end mark.
        Lz77Case{"literals", {0x01, 'a', 'b', 'c', 'd', 0x11}, 16, Error::Ok, {'a', 'b', 'c', 'd'}},
        // Literal length 0x0F + 0xFF (one zero byte) + 1 + 3 = 274.
        Lz77Case{"long_literal_run", [] {
                     Bytes b{0x00, 0x00, 0x01};
                     for (int i = 0; i < 274; ++i) b.push_back(static_cast<std::uint8_t>(i));
                     b.push_back(0x11);
                     return b;
                 }(), 300, Error::Ok, [] {
                     Bytes b;
                     for (int i = 0; i < 274; ++i) b.push_back(static_cast<std::uint8_t>(i));
                     return b;
                 }()},
        // 0x52: copy 4 from offset 1 (repeats the last byte), then 2 literals.
        Lz77Case{"overlapping_copy_and_trailing_literals",
                 {0x01, 'a', 'b', 'c', 'd', 0x52, 0x00, 'p', 'q', 0x11}, 16, Error::Ok,
                 {'a', 'b', 'c', 'd', 'd', 'd', 'd', 'd', 'p', 'q'}},
        // 0x40 then 0x11: a copy of 3, no literals, end.
        Lz77Case{"short_copy", {0x01, 'a', 'b', 'c', 'd', 0x40, 0x00, 0x11}, 16, Error::Ok,
                 {'a', 'b', 'c', 'd', 'd', 'd', 'd'}},
        // 0x22: copy 4 from offset 2, then a literal-length opcode (4 literals).
        Lz77Case{"copy_then_literal_opcode",
                 {0x01, 'w', 'x', 'y', 'z', 0x22, 0x04, 0x00, 0x01, '1', '2', '3', '4', 0x11}, 32, Error::Ok,
                 {'w', 'x', 'y', 'z', 'y', 'z', 'y', 'z', '1', '2', '3', '4'}},
        // 0x4001 literals (0x00, 64 zero bytes, 47), then 0x12: copy 4 from
        // the far offset 0x4000.
        Lz77Case{"far_copy", [] {
                     Bytes b{0x00};
                     b.insert(b.end(), 64, 0x00);
                     b.push_back(47);
                     for (int i = 0; i < 0x4001; ++i) b.push_back(static_cast<std::uint8_t>(i * 7));
                     b.insert(b.end(), {0x12, 0x00, 0x00, 0x11});
                     return b;
                 }(), 0x5000, Error::Ok, [] {
                     Bytes b;
                     for (int i = 0; i < 0x4001; ++i) b.push_back(static_cast<std::uint8_t>(i * 7));
                     for (int i = 1; i <= 4; ++i) b.push_back(b[static_cast<std::size_t>(i)]);
                     return b;
                 }()},
        Lz77Case{"copy_before_start", {0x01, 'a', 'b', 'c', 'd', 0x40, 0x08, 0x11}, 16, Error::Corrupt, {}},
        Lz77Case{"output_too_small", {0x01, 'a', 'b', 'c', 'd', 0x11}, 3, Error::Corrupt, {}},
        Lz77Case{"copy_past_end", {0x01, 'a', 'b', 'c', 'd', 0xF0, 0x00, 0x11}, 8, Error::Corrupt, {}},
        Lz77Case{"no_end_mark", {0x01, 'a', 'b', 'c', 'd'}, 16, Error::Truncated, {}},
        Lz77Case{"literals_cut_short", {0x05, 'a', 'b'}, 16, Error::Truncated, {}},
        Lz77Case{"zero_run_to_the_end", Bytes(64, 0x00), 1 << 16, Error::Truncated, {}},
        Lz77Case{"empty", {}, 16, Error::Truncated, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Back-references of every short offset and length against the plain
// byte-by-byte copy, which is what they mean.
TEST(Lz77Copy, MatchesTheByteByByteCopy)
{
    for (std::size_t offset = 1; offset <= 20; ++offset)
        for (std::size_t length = 0; length <= 40; ++length) {
            Bytes fast(offset + length + 8, 0xEE), plain;
            for (std::size_t i = 0; i < offset; ++i) fast[i] = static_cast<std::uint8_t>(i * 7 + 1);
            plain = fast;
            dwg::detail::lz77::copy_match(fast.data() + offset, offset, length);
            for (std::size_t i = 0; i < length; ++i) plain[offset + i] = plain[i];
            EXPECT_EQ(fast, plain) << "offset " << offset << ", length " << length;
        }
}

TEST(Checksums, Crc32MatchesTheStandardCheckValue)
{
    const std::string s = "123456789";
    const Bytes b(s.begin(), s.end());
    EXPECT_EQ(dwg::detail::crc32_r2004(0, b), 0xCBF43926u);
}

TEST(Checksums, PageSumReducesEveryChunkAndContinuesFromSeed)
{
    const Bytes ones(0x15B0 * 2 + 7, 0xFF);
    const auto whole = dwg::detail::page_checksum_r2004(0, ones);
    const auto split = dwg::detail::page_checksum_r2004(
        dwg::detail::page_checksum_r2004(0, std::span(ones).first(0x15B0)), std::span(ones).subspan(0x15B0));
    EXPECT_EQ(whole, split);
    EXPECT_LT(whole & 0xFFFF, 0xFFF1u);
    EXPECT_LT(whole >> 16, 0xFFF1u);
}

TEST(Checksums, PageSumEqualsTheSumByteByByte)
{
    std::mt19937 rng(5);
    for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 100u, 0x15B0u, 0x15B3u, 20000u}) {
        Bytes data(n);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng() % 3 == 0 ? 0xFF : rng());
        const std::uint32_t seed = rng() % 0xFFF1 | (rng() % 0xFFF1) << 16;
        std::uint32_t s1 = seed & 0xFFFF, s2 = seed >> 16;
        for (std::size_t i = 0; i < n; ++i) {
            s1 += data[i];
            s2 += s1;
            if ((i + 1) % 0x15B0 == 0 || i + 1 == n) {
                s1 %= 0xFFF1;
                s2 %= 0xFFF1;
            }
        }
        EXPECT_EQ(dwg::detail::page_checksum_r2004(seed, data), s2 << 16 | s1) << n;
    }
}

// ---------------------------------------------------------------------------
// Corpus

const std::array<std::uint8_t, 16> kHeaderBegin{0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                                0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
const std::array<std::uint8_t, 16> kClassesBegin{0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                                 0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};

using corpus::read_file;

bool is_2004_family(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    char tag[6] = {};
    if (!f.read(tag, 6)) return false;
    const std::string v(tag, 6);
    return v == "AC1018" || v == "AC1024" || v == "AC1027" || v == "AC1032";
}

std::vector<fs::path> corpus_files()
{
    std::vector<fs::path> out;
    const fs::path dir = fs::path(QUORVANE_CORPUS_DIR) / "dwg";
    if (!fs::is_directory(dir)) return out;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() == ".dwg" && is_2004_family(e.path())) out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::uint16_t crc16(std::uint16_t crc, std::span<const std::uint8_t> data)
{
    for (std::uint8_t b : data) {
        std::uint16_t x = static_cast<std::uint16_t>((crc ^ b) & 0xFF);
        for (int k = 0; k < 8; ++k) x = static_cast<std::uint16_t>((x & 1) ? (x >> 1) ^ 0xA001 : x >> 1);
        crc = static_cast<std::uint16_t>((crc >> 8) ^ x);
    }
    return crc;
}

// A deliberately small reader of the object map and of object records, so
// that the section bytes are checked independently of the object decoder.
struct ByteCursor {
    std::span<const std::uint8_t> d;
    std::size_t pos = 0;
    bool ok = true;
    std::uint8_t byte()
    {
        if (pos >= d.size()) {
            ok = false;
            return 0;
        }
        return d[pos++];
    }
    std::uint64_t umc()
    {
        std::uint64_t v = 0;
        for (int shift = 0; shift < 70 && ok; shift += 7) {
            const std::uint8_t b = byte();
            v |= std::uint64_t{b & 0x7Fu} << shift;
            if (!(b & 0x80)) break;
        }
        return v;
    }
    std::int64_t mc()
    {
        std::int64_t v = 0;
        for (int shift = 0; shift < 70 && ok; shift += 7) {
            const std::uint8_t b = byte();
            if (!(b & 0x80)) {
                v |= std::int64_t{b & 0x3F} << shift;
                return (b & 0x40) ? -v : v;
            }
            v |= std::int64_t{b & 0x7F} << shift;
        }
        return v;
    }
    std::uint64_t ms()
    {
        std::uint64_t v = 0;
        for (int shift = 0; shift < 60 && ok; shift += 15) {
            const std::uint8_t lo = byte();
            const std::uint16_t w = static_cast<std::uint16_t>(lo | byte() << 8);
            v |= std::uint64_t{w & 0x7FFFu} << shift;
            if (!(w & 0x8000)) break;
        }
        return v;
    }
};

// Reads `file` leaving the objects pages for later, as a drawing does, then
// reads pieces here and there as objects are met: each must hold what
// reading the pages at once gave (`eager`, read with `expected`).
void expect_deferred_agrees(const Bytes& file, const Sections& eager, Error expected)
{
    Sections s;
    s.defer_objects = true;
    ASSERT_EQ(dwg::detail::read_sections_r2004(file, s), expected);
    if (expected != Error::Ok) return;
    ASSERT_EQ(s.objects.size(), eager.objects.size());
    for (std::size_t at = 0; at < s.objects.size(); at += 997) {
        const std::size_t n = std::min<std::size_t>(24, s.objects.size() - at);
        ASSERT_EQ(s.load_objects(at, n), Error::Ok) << at;
        ASSERT_TRUE(std::equal(s.objects.begin() + at, s.objects.begin() + at + n, eager.objects.begin() + at)) << at;
    }
}

class Corpus2004 : public ::testing::TestWithParam<fs::path> {};

TEST_P(Corpus2004, YieldsTheFourSectionsAndAnObjectMapIntoObjects)
{
    const Bytes file = read_file(GetParam());
    Sections s;
    ASSERT_EQ(dwg::detail::read_sections_r2004(file, s), Error::Ok);
    ASSERT_GE(s.header.size(), 16u);
    EXPECT_TRUE(std::equal(kHeaderBegin.begin(), kHeaderBegin.end(), s.header.begin()));
    ASSERT_GE(s.classes.size(), 16u);
    EXPECT_TRUE(std::equal(kClassesBegin.begin(), kClassesBegin.end(), s.classes.begin()));
    const bool r2010 = s.version >= dwg::detail::Version::R2010;

    // Every object the map names starts with a size whose record fits the
    // objects section and carries a matching CRC.
    ByteCursor map{s.handles};
    std::uint64_t handle = 0;
    std::int64_t offset = 0;
    std::size_t objects = 0;
    for (;;) {
        const std::size_t page_start = map.pos;
        const std::uint8_t hi = map.byte();
        const std::size_t size = std::size_t{hi} << 8 | map.byte();
        ASSERT_TRUE(map.ok);
        if (size <= 2) break;
        // Each page starts its sums afresh.
        handle = 0;
        offset = 0;
        ASSERT_LE(page_start + size + 2, s.handles.size());
        while (map.pos < page_start + size) {
            handle += map.umc();
            offset += map.mc();
            ASSERT_TRUE(map.ok);
            ASSERT_GT(offset, 0) << "handle " << handle;
            ASSERT_LT(static_cast<std::uint64_t>(offset), s.objects.size()) << "handle " << handle;
            ByteCursor obj{s.objects, static_cast<std::size_t>(offset)};
            const std::uint64_t obj_size = obj.ms();
            if (r2010) obj.umc();
            ASSERT_TRUE(obj.ok);
            ASSERT_LE(obj.pos + obj_size + 2, s.objects.size()) << "handle " << handle;
            const auto covered = s.objects.subspan(static_cast<std::size_t>(offset),
                                                   obj.pos - static_cast<std::size_t>(offset) + obj_size);
            const std::size_t crc_at = obj.pos + obj_size;
            const std::uint16_t stored = static_cast<std::uint16_t>(s.objects[crc_at] | s.objects[crc_at + 1] << 8);
            EXPECT_EQ(crc16(0xC0C1, covered), stored) << "handle " << handle;
            ++objects;
        }
        ASSERT_EQ(map.pos, page_start + size);
        const std::uint8_t crc_hi = map.byte();
        const std::uint16_t stored = static_cast<std::uint16_t>(crc_hi << 8 | map.byte());
        EXPECT_EQ(crc16(0xC0C1, std::span(s.handles).subspan(page_start, size)), stored);
    }
    EXPECT_GT(objects, 0u);

    expect_deferred_agrees(file, s, Error::Ok);
}

INSTANTIATE_TEST_SUITE_P(Drawings, Corpus2004, ::testing::ValuesIn(corpus_files()),
                         [](const auto& info) { return corpus::test_name(info.param.stem().string()); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Corpus2004);

// ---------------------------------------------------------------------------
// Damaged copies: one drawing per version, cut short and with flipped bytes.
// Every result is an error or a set of sections, never a crash (the
// sanitizer build runs these); damage inside the checksummed maps and
// pages must be reported.

std::vector<fs::path> one_per_version()
{
    std::vector<fs::path> out;
    std::vector<std::string> seen;
    for (const auto& p : corpus_files()) {
        std::ifstream f(p, std::ios::binary);
        char tag[6] = {};
        f.read(tag, 6);
        const std::string v(tag, 6);
        if (std::find(seen.begin(), seen.end(), v) == seen.end() && fs::file_size(p) < 400000) {
            seen.push_back(v);
            out.push_back(p);
        }
    }
    return out;
}

std::uint64_t page_map_address(const Bytes& file)
{
    Bytes header(file.begin() + 0x80, file.begin() + 0x80 + 0x6C);
    dwg::detail::unmask_file_header_r2004(header);
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | header[0x54 + static_cast<std::size_t>(i)];
    return v + 0x100;
}

class Damaged2004 : public ::testing::TestWithParam<fs::path> {};


TEST_P(Damaged2004, TruncationsAreErrors)
{
    const Bytes file = read_file(GetParam());
    const std::uint64_t map_at = page_map_address(file);
    for (std::size_t cut : {std::size_t{0}, std::size_t{5}, std::size_t{6}, std::size_t{0x7F}, std::size_t{0xFF},
                            std::size_t{0x100}, std::size_t{0x1000}, file.size() / 3, file.size() / 2,
                            static_cast<std::size_t>(map_at) + 10, file.size() - 0x6C, file.size() - 1}) {
        if (cut >= file.size()) continue;
        const Bytes part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
        Sections s;
        EXPECT_NE(dwg::detail::read_sections_r2004(part, s), Error::Ok) << "cut at " << cut;
    }
}

TEST_P(Damaged2004, FlippedBytesInTheMapsAreErrors)
{
    const Bytes file = read_file(GetParam());
    const std::size_t map_at = static_cast<std::size_t>(page_map_address(file));
    // The encrypted header, the page map's header and its compressed bytes.
    for (std::size_t at : {std::size_t{0x80}, std::size_t{0x80 + 0x55}, std::size_t{0x80 + 0x5C},
                           map_at + 4, map_at + 8, map_at + 20, map_at + 24, map_at + 30}) {
        ASSERT_LT(at, file.size());
        Bytes copy = file;
        copy[at] ^= 0x5A;
        Sections s;
        EXPECT_NE(dwg::detail::read_sections_r2004(copy, s), Error::Ok) << "flip at " << at;
    }
}

TEST_P(Damaged2004, FlippedBytesAnywhereNeverCrash)
{
    const Bytes file = read_file(GetParam());
    Sections good;
    ASSERT_EQ(dwg::detail::read_sections_r2004(file, good), Error::Ok);
    const std::size_t step = std::max<std::size_t>(1, file.size() / 400);
    std::size_t detected = 0, runs = 0;
    for (std::size_t at = 0x80; at < file.size(); at += step, ++runs) {
        Bytes copy = file;
        copy[at] ^= static_cast<std::uint8_t>(0x80 >> (at % 8));
        Sections s;
        const Error e = dwg::detail::read_sections_r2004(copy, s);
        expect_deferred_agrees(copy, s, e);
        if (e != Error::Ok) {
            ++detected;
        } else {
            // Undetected damage can only lie outside the four sections.
            EXPECT_EQ(s.header, good.header) << "flip at " << at;
            EXPECT_EQ(s.handles, good.handles) << "flip at " << at;
            EXPECT_TRUE(std::equal(s.objects.begin(), s.objects.end(), good.objects.begin(), good.objects.end()))
                << "flip at " << at;
        }
    }
    EXPECT_GT(detected, 0u);
    EXPECT_GT(runs, 100u);
}

INSTANTIATE_TEST_SUITE_P(Drawings, Damaged2004, ::testing::ValuesIn(one_per_version()),
                         [](const auto& info) { return corpus::test_name(info.param.stem().string()); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Damaged2004);

}  // namespace
