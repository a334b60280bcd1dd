// The 2007 file structure: Reed-Solomon words, the 2007 LZ77, and every
// AC1021 drawing of the corpus taken apart into its sections, intact and
// damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dwg/document.h"
#include "dwg/file_r2007.h"
#include "dwg/lz77_r2007.h"
#include "dwg/reed_solomon.h"
#include "corpus.h"
#include "dwg/sections.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using dwg::Error;
using namespace dwg::detail;

using corpus::read_file;

std::vector<std::string> drawings_2007() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(corpus::dir() / "dwg", ec)) {
        if (e.path().extension() != ".dwg") continue;
        std::ifstream f(e.path(), std::ios::binary);
        char v[6] = {};
        if (f.read(v, 6) && std::string(v, 6) == "AC1021") names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------------------
// Reed-Solomon words

struct RsCase {
    rs::Code code;
    std::vector<std::size_t> positions;  // bytes to damage
    int expected;                        // corrected count, or -1
};

class ReedSolomon : public ::testing::TestWithParam<RsCase> {};

// The all-zero word belongs to every linear code, so damage to it is easy
// to state and its repair easy to check. Header words repair up to 8 bytes;
// data words 1, and refuse 2 or 3.
TEST_P(ReedSolomon, RepairsWhatTheCodeCanAndRefusesTheRest) {
    const RsCase& c = GetParam();
    std::array<std::uint8_t, rs::word_size> word{};
    std::uint8_t v = 0x5A;
    for (std::size_t p : c.positions) word[p] ^= v++;
    const auto damaged = word;
    const int result = rs::correct_word(word, c.code);
    if (c.expected < 0) {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(word, damaged);
    } else {
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(word, (std::array<std::uint8_t, rs::word_size>{}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Words, ReedSolomon,
    ::testing::Values(RsCase{rs::Code::System, {}, 0}, RsCase{rs::Code::System, {0}, 1},
                      RsCase{rs::Code::System, {254}, 1}, RsCase{rs::Code::System, {3, 100, 240}, 3},
                      RsCase{rs::Code::System, {0, 1, 2, 3, 4, 5, 6, 7}, 8},
                      RsCase{rs::Code::System, {9, 30, 77, 120, 121, 200, 238, 239}, 8},
                      RsCase{rs::Code::System, {0, 1, 2, 3, 4, 5, 6, 7, 8}, -1},
                      RsCase{rs::Code::Data, {}, 0}, RsCase{rs::Code::Data, {17}, 1},
                      RsCase{rs::Code::Data, {250}, 1}, RsCase{rs::Code::Data, {250, 254}, -1},
                      RsCase{rs::Code::Data, {0, 128, 254}, -1}));

TEST(ReedSolomonInterleave, RefusesTooFewBytes) {
    Bytes stored(2 * rs::word_size - 1, 0);
    Bytes out;
    EXPECT_FALSE(rs::decode_interleaved(stored, 2, rs::Code::Data, out));
    EXPECT_TRUE(rs::decode_interleaved(stored, 1, rs::Code::Data, out));
    EXPECT_EQ(out.size(), rs::data_bytes(rs::Code::Data));
}

// The vector syndromes against the plain loop, with up to nine damaged
// bytes in some words: the same verdict, the same repairs. Real data pages,
// and zero words (a code word of both codes) for the header code, whose
// real pages are too short for the vector path.
TEST(ReedSolomonInterleave, VectorAndPlainPathsAgree) {
    std::mt19937 rng(7);
    auto agree = [&](const Bytes& intact, std::size_t words, rs::Code code) {
        for (int round = 0; round < 6; ++round) {
            Bytes stored = intact;
            for (int k = 0; k < round * 3; ++k) {
                const std::size_t word = rng() % words, count = 1 + rng() % (round < 3 ? 1 : 9);
                for (std::size_t j = 0; j < count; ++j) stored[word + (rng() % rs::word_size) * words] ^= 1 + rng() % 255;
            }
            Bytes fast, plain;
            std::size_t fast_fixed = 0, plain_fixed = 0;
            EXPECT_EQ(rs::decode_interleaved(stored, words, code, fast, &fast_fixed),
                      rs::decode_interleaved(stored, words, code, plain, &plain_fixed, true))
                << words << " words, round " << round;
            EXPECT_EQ(fast, plain);
            EXPECT_EQ(fast_fixed, plain_fixed);
        }
    };
    const Bytes file = read_file(corpus::dir() / "dwg" / "acs_sample_AC1021.dwg");
    r2007::FileHeader header;
    std::vector<r2007::Page> pages;
    ASSERT_EQ(r2007::read_file_header(file, header), Error::Ok);
    ASSERT_EQ(r2007::read_pages_map(file, header, pages), Error::Ok);
    std::size_t tried = 0;
    for (const r2007::Page& p : pages) {
        const std::size_t words = static_cast<std::size_t>(p.size / rs::word_size);
        if (words < 40 || p.id == header.sections_map_id || tried == 3) continue;
        ++tried;
        agree(Bytes(file.begin() + static_cast<std::ptrdiff_t>(p.address),
                    file.begin() + static_cast<std::ptrdiff_t>(p.address + words * rs::word_size)),
              words, rs::Code::Data);
    }
    EXPECT_GT(tried, 0u);
    agree(Bytes(70 * rs::word_size, 0), 70, rs::Code::System);
}

// ---------------------------------------------------------------------------
// LZ77

// The published table of literal orders, one line per run length.
TEST(Lz77R2007, LiteralOrderMatchesThePublishedTable) {
    std::ifstream f(corpus::dir().parent_path() / "dwg" / "lit2007.txt");
    ASSERT_TRUE(f) << "lit2007.txt not found";
    const auto& order = lz77_r2007::literal_order();
    std::string line;
    int rows = 0;
    while (std::getline(f, line)) {
        std::size_t n = 0;
        std::string rest;
        if (line.rfind("32-byte block", 0) == 0) {
            n = 32;
            rest = line.substr(line.find("p = ") + 4);
            // "24..31,16..23,8..15,0..7"
            std::vector<int> expect;
            std::stringstream ss(rest);
            std::string part;
            while (std::getline(ss, part, ',')) {
                const int lo = std::stoi(part.substr(0, part.find("..")));
                const int hi = std::stoi(part.substr(part.find("..") + 2));
                for (int i = lo; i <= hi; ++i) expect.push_back(i);
            }
            ASSERT_EQ(expect.size(), 32u);
            for (std::size_t i = 0; i < 32; ++i) EXPECT_EQ(order[32][i], expect[i]) << "block, byte " << i;
            ++rows;
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        n = std::stoul(line.substr(0, colon));
        std::stringstream ss(line.substr(colon + 1));
        std::string part;
        std::size_t i = 0;
        while (std::getline(ss, part, ',')) {
            ASSERT_LT(i, n);
            EXPECT_EQ(order[n][i], std::stoi(part)) << "length " << n << ", byte " << i;
            ++i;
        }
        EXPECT_EQ(i, n);
        ++rows;
    }
    EXPECT_EQ(rows, 32);
}

// Literal runs of every length up to a block and a half come out in the
// table's order, block by block, then the rest.
TEST(Lz77R2007, LiteralRunsFollowTheOrder) {
    const auto& order = lz77_r2007::literal_order();
    for (std::size_t n = 9; n < 64; ++n) {
        Bytes in = n < 0x17 ? Bytes{static_cast<std::uint8_t>(n - 8)} : Bytes{0x0F, static_cast<std::uint8_t>(n - 0x17)};
        const std::size_t head = in.size();
        for (std::size_t i = 0; i < n; ++i) in.push_back(static_cast<std::uint8_t>(i + 1));
        Bytes out(n);
        std::size_t produced = 0;
        ASSERT_EQ(lz77_r2007::decompress(in, out, produced), Error::Ok) << n;
        ASSERT_EQ(produced, n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t block = i / 32 * 32, part = std::min<std::size_t>(32, n - block);
            EXPECT_EQ(out[i], in[head + block + order[part][i - block]]) << "length " << n << ", byte " << i;
        }
    }
}

struct LzCase {
    const char* name;
    Bytes in;
    std::size_t room;
    Error error;
    std::string out;
};

class Lz77R2007Stream : public ::testing::TestWithParam<LzCase> {};

TEST_P(Lz77R2007Stream, Decodes) {
    const LzCase& c = GetParam();
    // Guard bytes behind the output's room prove nothing is written past it.
    Bytes buffer(c.room + 16, 0xEE);
    std::size_t produced = 99;
    const Error e = lz77_r2007::decompress(c.in, std::span(buffer).first(c.room), produced);
    EXPECT_EQ(e, c.error);
    if (e == Error::Ok) {
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<long>(produced)), c.out);
    }
    EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<long>(c.room), buffer.end(), [](auto b) { return b == 0xEE; }));
}

Bytes operator+(Bytes a, const std::string& s) {
    a.insert(a.end(), s.begin(), s.end());
    return a;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Lz77R2007Stream,
    ::testing::Values(
        // op 0x00: 8 literals, stored in order.
        LzCase{"literals8", Bytes{0x00} + "ABCDEFGH", 64, Error::Ok, "ABCDEFGH"},
        // op 0x01: 9 literals, the ninth stored first.
        LzCase{"literals9", Bytes{0x01} + "BCDEFGHIA", 64, Error::Ok, "ABCDEFGHI"},
        // op 0x0F: 0x17 + next byte literals (0x17 + 0x09 = 32: one block).
        LzCase{"literals32", Bytes{0x0F, 0x09} + "YZ012345QRSTUVWXIJKLMNOPABCDEFGH", 64, Error::Ok,
               "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"},
        // Then op 0x30, 0x00: copy 3 bytes from 1 back.
        LzCase{"run", Bytes{0x00} + "ABCDEFGH" + Bytes{0x30, 0x00}, 64, Error::Ok, "ABCDEFGHHHH"},
        // Op 0x20 opening: two skipped bytes, then 1 literal.
        LzCase{"short opening", Bytes{0x20, 0, 0, 0x01} + "Z", 4, Error::Ok, "Z"},
        LzCase{"output exactly full", Bytes{0x00} + "ABCDEFGH" + Bytes{0x30, 0x00}, 11, Error::Ok, "ABCDEFGHHHH"},
        LzCase{"output one short", Bytes{0x00} + "ABCDEFGH" + Bytes{0x30, 0x00}, 10, Error::Corrupt, ""},
        LzCase{"literals past the output", Bytes{0x00} + "ABCDEFGH", 7, Error::Corrupt, ""},
        LzCase{"literals past the input", Bytes{0x00} + "ABC", 64, Error::Corrupt, ""},
        // Offset 2 + 1 from a 1-byte output.
        LzCase{"reference before the start", Bytes{0x20, 0, 0, 0x01} + "Z" + Bytes{0x32, 0x00}, 64, Error::Corrupt,
               ""},
        LzCase{"instruction cut short", Bytes{0x00} + "ABCDEFGH" + Bytes{0x10}, 64, Error::Corrupt, ""},
        // A match promising literals that never come.
        LzCase{"missing literals", Bytes{0x00} + "ABCDEFGH" + Bytes{0x30, 0x01}, 64, Error::Corrupt, ""},
        // An extended length of 0xFFFF steps runs out of input.
        LzCase{"endless length", Bytes{0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 64, Error::Corrupt, ""},
        LzCase{"zero opening count", Bytes{0x20, 0, 0, 0x00}, 64, Error::Corrupt, ""},
        LzCase{"empty", Bytes{}, 64, Error::Corrupt, ""}),
    [](const auto& info) {
        std::string n = info.param.name;
        std::replace(n.begin(), n.end(), ' ', '_');
        return n;
    });

// ---------------------------------------------------------------------------
// Whole files

// CRC-16 (reflected 0xA001) with the drawing's seed 0xC0C1.
std::uint16_t crc16(const std::uint8_t* p, std::size_t n) {
    std::uint16_t crc = 0xC0C1;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

std::uint32_t rl(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

constexpr std::array<std::uint8_t, 16> header_begin = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                                      0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
constexpr std::array<std::uint8_t, 16> header_end = {0x30, 0x84, 0xE0, 0xDC, 0x02, 0x21, 0xC7, 0x56,
                                                    0xA0, 0x83, 0x97, 0x47, 0xB1, 0x92, 0xCC, 0xA0};
constexpr std::array<std::uint8_t, 16> classes_begin = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                                       0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};
constexpr std::array<std::uint8_t, 16> classes_end = {0x72, 0x5E, 0x3B, 0x47, 0x3B, 0x56, 0x07, 0x3A,
                                                     0x3F, 0x23, 0x0B, 0xA0, 0x18, 0x30, 0x49, 0x75};

// begin sentinel · RL size · size bytes · RS CRC over size field and data ·
// end sentinel
void expect_framed(const Bytes& s, const std::array<std::uint8_t, 16>& begin,
                   const std::array<std::uint8_t, 16>& end, const char* what) {
    ASSERT_GE(s.size(), 38u) << what;
    EXPECT_TRUE(std::equal(begin.begin(), begin.end(), s.begin())) << what;
    const std::size_t size = rl(s, 16);
    ASSERT_LE(20 + size + 18, s.size()) << what;
    const std::uint16_t stored = static_cast<std::uint16_t>(s[20 + size] | (s[21 + size] << 8));
    EXPECT_EQ(crc16(&s[16], size + 4), stored) << what;
    EXPECT_TRUE(std::equal(end.begin(), end.end(), s.begin() + static_cast<long>(22 + size))) << what;
}

// Walks the object map and checks that every offset lands on an object
// whose size prefix and CRC hold inside the objects section. Handle and
// offset deltas start from 0 again on every page.
void expect_object_map(const Sections& s, std::size_t& objects) {
    const Bytes& m = s.handles;
    std::size_t pos = 0;
    objects = 0;
    for (;;) {
        std::int64_t offset = 0;
        std::uint64_t handle = 0;
        ASSERT_LE(pos + 2, m.size());
        const std::size_t size = (m[pos] << 8) | m[pos + 1];
        ASSERT_GE(size, 2u);
        ASSERT_LE(pos + size + 2, m.size());
        const std::uint16_t crc = static_cast<std::uint16_t>((m[pos + size] << 8) | m[pos + size + 1]);
        EXPECT_EQ(crc16(&m[pos], size), crc) << "object map page at " << pos;
        if (size == 2) break;
        std::size_t p = pos + 2;
        while (p < pos + size) {
            std::uint64_t dh = 0;
            for (int shift = 0;; shift += 7) {
                ASSERT_LT(p, pos + size);
                const std::uint8_t b = m[p++];
                dh |= static_cast<std::uint64_t>(b & 0x7F) << shift;
                if (!(b & 0x80)) break;
            }
            std::int64_t d = 0;
            for (int shift = 0;; shift += 7) {
                ASSERT_LT(p, pos + size);
                const std::uint8_t b = m[p++];
                if (b & 0x80) {
                    d |= static_cast<std::int64_t>(b & 0x7F) << shift;
                    continue;
                }
                d |= static_cast<std::int64_t>(b & 0x3F) << shift;
                if (b & 0x40) d = -d;
                break;
            }
            handle += dh;
            offset += d;
            ASSERT_GT(offset, 0) << "handle " << handle;
            const auto at = static_cast<std::size_t>(offset);
            ASSERT_LT(at + 2, s.objects.size()) << "handle " << handle;
            // MS size: 15-bit words, high bit = another word follows.
            std::size_t len = 0, q = at;
            for (int shift = 0;; shift += 15) {
                ASSERT_LE(q + 2, s.objects.size());
                const unsigned w = s.objects[q] | (s.objects[q + 1] << 8);
                q += 2;
                len |= static_cast<std::size_t>(w & 0x7FFF) << shift;
                if (!(w & 0x8000)) break;
            }
            ASSERT_LE(q + len + 2, s.objects.size()) << "handle " << handle;
            const std::uint16_t obj_crc = static_cast<std::uint16_t>(s.objects[q + len] | (s.objects[q + len + 1] << 8));
            EXPECT_EQ(crc16(&s.objects[at], q - at + len), obj_crc) << "handle " << handle << " at " << at;
            ++objects;
        }
        pos += size + 2;
    }
}

class Drawing2007 : public ::testing::TestWithParam<std::string> {};

TEST_P(Drawing2007, SectionsComeOutWhole) {
    const Bytes file = read_file(corpus::dir() / "dwg" / GetParam());
    Sections s;
    ASSERT_EQ(read_sections_r2007(file, s), Error::Ok);
    EXPECT_EQ(s.version, Version::R2007);
    expect_framed(s.header, header_begin, header_end, "header");
    expect_framed(s.classes, classes_begin, classes_end, "classes");
    // The objects section opens with its 0x0DCA marker.
    ASSERT_GE(s.objects.size(), 4u);
    EXPECT_EQ(s.objects[0] | (s.objects[1] << 8), 0x0DCA);
    std::size_t objects = 0;
    expect_object_map(s, objects);
    EXPECT_GT(objects, 10u);
}

// The header's handle stream names the block control object and the two
// space records; the control object names the spaces again.
TEST_P(Drawing2007, HeaderAgreesWithTheBlockControl) {
    Document doc(0);
    const auto bytes = read_file(corpus::dir() / "dwg" / GetParam());
    doc.file.assign(bytes.begin(), bytes.end());
    ASSERT_EQ(read_sections_r2007(doc.file, doc.sections), Error::Ok);
    ASSERT_EQ(doc.map.read(doc.sections.handles), Error::Ok);
    ASSERT_EQ(read_header_handles(doc), Error::Ok);
    BlockControl control;
    ASSERT_EQ(read_block_control(doc, doc.block_control, control), Error::Ok);
    EXPECT_NE(doc.model_space, 0u);
    EXPECT_EQ(doc.model_space, control.model_space);
    EXPECT_EQ(doc.paper_space, control.paper_space);
}

INSTANTIATE_TEST_SUITE_P(Corpus, Drawing2007, ::testing::ValuesIn(drawings_2007()), [](const auto& info) {
    return corpus::test_name(std::filesystem::path(info.param).stem().string());
});

TEST(Corpus2007, HoldsEveryDrawing) { EXPECT_EQ(drawings_2007().size(), 39u); }

// ---------------------------------------------------------------------------
// Damaged files

bool same(const Sections& a, const Sections& b) {
    return a.header == b.header && a.classes == b.classes && a.handles == b.handles &&
           std::equal(a.objects.begin(), a.objects.end(), b.objects.begin(), b.objects.end());
}

// Reads `file`; a result must be the intact one, anything else an error
// that says the file is damaged.
void expect_whole_or_refused(const Bytes& file, const Sections& intact, const std::string& what) {
    Sections s;
    const Error e = read_sections_r2007(file, s);
    if (e == Error::Ok)
        EXPECT_TRUE(same(s, intact)) << what;
    else
        EXPECT_TRUE(e == Error::Truncated || e == Error::Corrupt || e == Error::TooLarge) << what << ": " << int(e);
}

struct Layout {
    Bytes file;
    Sections intact;
    std::vector<r2007::Page> pages;
    std::vector<r2007::Section> sections;
    r2007::FileHeader header;
};

Layout load(const char* name) {
    Layout l;
    l.file = read_file(corpus::dir() / "dwg" / name);
    EXPECT_EQ(read_sections_r2007(l.file, l.intact), Error::Ok);
    EXPECT_EQ(r2007::read_file_header(l.file, l.header), Error::Ok);
    EXPECT_EQ(r2007::read_pages_map(l.file, l.header, l.pages), Error::Ok);
    EXPECT_EQ(r2007::read_sections_map(l.file, l.header, l.pages, l.sections), Error::Ok);
    return l;
}

const r2007::Page& page_of(const Layout& l, const char16_t* section) {
    for (const auto& s : l.sections)
        if (s.name == section)
            for (const auto& p : l.pages)
                if (p.id == s.pages.front().id) return p;
    throw std::runtime_error("no such section");
}

// Damages `count` bytes of word `word` of the `words` interleaved words at
// `address`.
void damage_word(Bytes& file, std::size_t address, std::size_t words, std::size_t word, std::size_t count,
                 std::size_t first = 0) {
    for (std::size_t j = 0; j < count; ++j) file[address + word + (first + j * 7) % rs::word_size * words] ^= 0xA5;
}

TEST(Damaged2007, ProtectedHeaderIsRepaired) {
    const Layout l = load("ldwg_2007_Point.dwg");
    for (std::size_t word = 0; word < 3; ++word)
        for (std::size_t count : {1u, 5u, 8u}) {
            Bytes f = l.file;
            damage_word(f, 0x80, 3, word, count, word * 11);
            r2007::ReadStats stats;
            r2007::FileHeader h;
            ASSERT_EQ(r2007::read_file_header(f, h, &stats), Error::Ok);
            EXPECT_EQ(stats.corrected_header, count);
            Sections s;
            ASSERT_EQ(read_sections_r2007(f, s), Error::Ok);
            EXPECT_TRUE(same(s, l.intact));
        }
    // All three words at their limit at once.
    Bytes f = l.file;
    for (std::size_t word = 0; word < 3; ++word) damage_word(f, 0x80, 3, word, 8, 40);
    Sections s;
    ASSERT_EQ(read_sections_r2007(f, s), Error::Ok);
    EXPECT_TRUE(same(s, l.intact));
}

TEST(Damaged2007, ProtectedHeaderBeyondRepairIsRefused) {
    const Layout l = load("ldwg_2007_Point.dwg");
    for (std::size_t word = 0; word < 3; ++word) {
        Bytes f = l.file;
        damage_word(f, 0x80, 3, word, 30);
        Sections s;
        EXPECT_EQ(read_sections_r2007(f, s), Error::Corrupt);
    }
    // Every byte of the region flipped in turn, several at a time.
    for (std::size_t at = 0x80; at < 0x80 + 3 * rs::word_size; at += 13) {
        Bytes f = l.file;
        for (std::size_t k = 0; k < 24 && at + k * 3 < 0x480; ++k) f[at + k * 3] = static_cast<std::uint8_t>(~f[at + k * 3]);
        expect_whole_or_refused(f, l.intact, "header from " + std::to_string(at));
    }
}

TEST(Damaged2007, MapsAreRepairedOrRefused) {
    const Layout l = load("ldwg_2007_Point.dwg");
    const std::size_t pages_map = 0x480 + static_cast<std::size_t>(l.header.pages_map_offset);
    std::size_t sections_map = 0;
    for (const auto& p : l.pages)
        if (p.id == l.header.sections_map_id) sections_map = static_cast<std::size_t>(p.address);
    ASSERT_NE(sections_map, 0u);
    for (std::size_t at : {pages_map, sections_map}) {
        // Within reach of the code: one word, up to 8 bytes.
        Bytes f = l.file;
        damage_word(f, at, 1, 0, 8, 3);
        Sections s;
        r2007::ReadStats stats;
        ASSERT_EQ(read_sections_r2007(f, s), Error::Ok);
        EXPECT_TRUE(same(s, l.intact));
        // Out of reach, and wholesale damage at many places.
        f = l.file;
        damage_word(f, at, 1, 0, 40);
        expect_whole_or_refused(f, l.intact, "map word");
        for (std::size_t k = 0; k < 512; k += 11) {
            f = l.file;
            for (std::size_t j = 0; j < 64; ++j) f[at + k + j] ^= static_cast<std::uint8_t>(j * 37 + 1);
            expect_whole_or_refused(f, l.intact, "map at " + std::to_string(at + k));
        }
    }
}

TEST(Damaged2007, CompressedPagesAreRepairedOrRefused) {
    const Layout l = load("acs_sample_AC1021.dwg");
    for (const char16_t* name : {u"AcDb:Header", u"AcDb:Classes", u"AcDb:Handles", u"AcDb:AcDbObjects"}) {
        const r2007::Page& p = page_of(l, name);
        const std::size_t words = (p.size / rs::word_size);
        // One byte in a word is mended, two or three always noticed.
        Bytes f = l.file;
        damage_word(f, static_cast<std::size_t>(p.address), words, 0, 1, 5);
        damage_word(f, static_cast<std::size_t>(p.address), words, words - 1, 1, 200);
        Sections s;
        ASSERT_EQ(read_sections_r2007(f, s), Error::Ok);
        EXPECT_TRUE(same(s, l.intact));
        // Objects pages expanded later still come to the same.
        Sections later;
        later.defer_objects = true;
        ASSERT_EQ(read_sections_r2007(f, later), Error::Ok);
        ASSERT_EQ(later.load_objects(0, later.objects.size()), Error::Ok);
        EXPECT_TRUE(same(later, l.intact));
        for (std::size_t count : {2u, 3u}) {
            f = l.file;
            damage_word(f, static_cast<std::size_t>(p.address), words, words / 2, count, 17);
            EXPECT_EQ(read_sections_r2007(f, s), Error::Corrupt);
            EXPECT_EQ(read_sections_r2007(f, later), Error::Corrupt);
        }
    }
}

// Section descriptions as a damaged sections map could give them: each
// must be refused before any page is decoded twice or written out of place.
TEST(Damaged2007, MalformedSectionDescriptionsAreRefused) {
    const Layout l = load("acs_sample_AC1021.dwg");
    const r2007::Section* objects = nullptr;
    for (const auto& s : l.sections)
        if (s.name == u"AcDb:AcDbObjects") objects = &s;
    ASSERT_NE(objects, nullptr);
    ASSERT_GE(objects->pages.size(), 2u);
    using Edit = void (*)(r2007::Section&);
    const std::pair<const char*, Edit> cases[] = {
        {"same page twice", [](r2007::Section& s) { s.pages[1].id = s.pages[0].id; }},
        {"pages overlap", [](r2007::Section& s) { s.pages[1].offset = s.pages[0].offset; s.pages.push_back(s.pages[0]); s.pages.back().id = 9999; }},
        {"page past the end", [](r2007::Section& s) { s.pages[0].offset = s.data_size - 1; }},
        {"negative size", [](r2007::Section& s) { s.pages[0].size_comp = -1; }},
        {"unknown page", [](r2007::Section& s) { s.pages[0].id = 424242; }},
        {"compressed size beyond the page", [](r2007::Section& s) { s.pages[0].size_comp = std::int64_t{1} << 40; }},
        {"short output", [](r2007::Section& s) { s.pages[0].size_uncomp -= 1; }},
        {"negative section", [](r2007::Section& s) { s.data_size = -5; }},
    };
    for (const auto& [what, edit] : cases) {
        r2007::Section s = *objects;
        edit(s);
        Bytes out;
        EXPECT_EQ(r2007::read_section(l.file, l.pages, s, out), Error::Corrupt) << what;
    }
    r2007::Section huge = *objects;
    huge.data_size = std::int64_t{1} << 40;
    Bytes out;
    EXPECT_EQ(r2007::read_section(l.file, l.pages, huge, out), Error::TooLarge);
}

// Compressed data that survives the RS check damaged (the data code is
// weak) must still decode safely: replay the LZ77 over mutated real pages.
TEST(Damaged2007, MutatedCompressedDataDecodesSafely) {
    const Layout l = load("acs_sample_AC1021.dwg");
    std::mt19937 rng(2007);
    for (const char16_t* name : {u"AcDb:Header", u"AcDb:Classes", u"AcDb:Handles"}) {
        const r2007::Section* section = nullptr;
        for (const auto& s : l.sections)
            if (s.name == name) section = &s;
        ASSERT_NE(section, nullptr);
        const auto& sp = section->pages.front();
        const r2007::Page& p = page_of(l, name);
        const std::size_t words = (static_cast<std::size_t>(sp.size_comp + 7) / 8 * 8 + 250) / 251;
        Bytes stored;
        ASSERT_TRUE(rs::decode_interleaved(std::span(l.file).subspan(static_cast<std::size_t>(p.address)), words,
                                           rs::Code::Data, stored));
        stored.resize(static_cast<std::size_t>(sp.size_comp));
        const std::size_t room = static_cast<std::size_t>(sp.size_uncomp);
        for (int round = 0; round < 300; ++round) {
            Bytes in = stored;
            const int flips = 1 + round % 8;
            for (int k = 0; k < flips; ++k) in[rng() % in.size()] = static_cast<std::uint8_t>(rng());
            if (round % 5 == 0) in.resize(rng() % in.size());
            Bytes out(room + 32, 0xEE);
            std::size_t produced = 0;
            const Error e = lz77_r2007::decompress(in, std::span(out).first(room), produced);
            EXPECT_TRUE(e == Error::Ok || e == Error::Corrupt);
            EXPECT_LE(produced, room);
            EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(room), out.end(), [](auto b) { return b == 0xEE; }));
        }
    }
}

TEST(Damaged2007, TruncatedFilesAreRefusedOrWhole) {
    for (const char* name : {"ldwg_2007_Point.dwg", "acs_sample_AC1021.dwg"}) {
        const Layout l = load(name);
        std::vector<std::size_t> cuts = {0, 5, 6, 0x80, 0x100, 0x457, 0x458, 0x47F, 0x480, 0x481};
        for (const auto& p : l.pages) {
            cuts.push_back(static_cast<std::size_t>(p.address));
            cuts.push_back(static_cast<std::size_t>(p.address + p.size / 2));
            cuts.push_back(static_cast<std::size_t>(p.address + p.size - 1));
        }
        for (std::size_t cut : cuts) {
            if (cut >= l.file.size()) continue;
            const Bytes f(l.file.begin(), l.file.begin() + static_cast<long>(cut));
            Sections s;
            const Error e = read_sections_r2007(f, s);
            if (e == Error::Ok)
                EXPECT_TRUE(same(s, l.intact)) << name << " cut at " << cut;
            else
                EXPECT_TRUE(e == Error::Truncated || e == Error::Corrupt || e == Error::NotDwg)
                    << name << " cut at " << cut << ": " << int(e);
        }
    }
}

TEST(Damaged2007, RandomDamageNeverCrashes) {
    const Layout l = load("archimed_examples_dwg_circle2007.dwg");
    std::mt19937 rng(21);
    for (int round = 0; round < 400; ++round) {
        Bytes f = l.file;
        const int flips = 1 + round % 40;
        for (int k = 0; k < flips; ++k) f[0x80 + rng() % (f.size() - 0x80)] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        Sections s;
        const Error e = read_sections_r2007(f, s);
        EXPECT_NE(e, Error::NotDwg);
    }
}

}  // namespace
