// The bit-level primitives where the corpus cannot reach them: relative
// handles, reads at and past the end, the CRC table.

#include <gtest/gtest.h>

#include <vector>

#include "dwg/bits.h"

namespace {

using dwg::detail::BitReader;
using dwg::detail::ByteReader;

// Builds a stream MSB first from (value, bit count) pieces.
std::vector<std::uint8_t> bits(const std::vector<std::pair<std::uint64_t, int>>& pieces)
{
    std::vector<std::uint8_t> out;
    int used = 0;
    for (const auto& [v, n] : pieces) {
        for (int i = n - 1; i >= 0; --i) {
            if (used % 8 == 0)
                out.push_back(0);
            if ((v >> i) & 1)
                out.back() |= static_cast<std::uint8_t>(0x80 >> (used % 8));
            ++used;
        }
    }
    return out;
}

TEST(Bits, Handles)
{
    // code 5, two bytes big-endian; code 6 with no bytes; counter 9 is bad.
    const auto s = bits({{0x52, 8}, {0x01, 8}, {0x2C, 8}, {0x60, 8}, {0x09, 8}});
    BitReader r(s);
    const auto h = r.H();
    EXPECT_EQ(h.code, 5);
    EXPECT_EQ(h.value, 0x12Cu);
    const auto rel = r.H();
    EXPECT_EQ(dwg::detail::absolute(rel, 0x704), 0x705u);
    EXPECT_EQ(dwg::detail::absolute({0xC, 0x60}, 0x704), 0x6A4u);
    EXPECT_EQ(dwg::detail::absolute({0x8, 0}, 0x704), 0x703u);
    EXPECT_EQ(dwg::detail::absolute({0xA, 0x52}, 0x704), 0x756u);
    r.H();
    EXPECT_FALSE(r.ok());
}

TEST(Bits, ReadingPastTheEndFailsAndStaysFailed)
{
    const std::vector<std::uint8_t> s = {0xFF};
    BitReader whole(s);
    EXPECT_EQ(whole.RC(), 0xFFu);  // up to the last bit
    EXPECT_TRUE(whole.ok());
    BitReader r(s, 6);
    EXPECT_EQ(r.BB(), 3u);
    EXPECT_EQ(r.RC(), 0u);  // only 4 bits left
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.B(), 0u);
    EXPECT_FALSE(r.ok());
    // A text longer than the stream is refused before anything is allocated.
    const auto t = bits({{0, 2}, {0xFF, 8}, {0xFF, 8}, {'a', 8}});
    BitReader tr(t);
    EXPECT_TRUE(tr.TV().empty());
    EXPECT_FALSE(tr.ok());
}

TEST(Bits, ModularNumbers)
{
    // UMC 0x81 0x01 = 129; MC 0x41 = -1; MC 0xE9 0x97 0x44 (3 bytes, negative);
    // MS 0x8001 0x0002 = 1 + (2 << 15).
    const std::vector<std::uint8_t> s = {0x81, 0x01, 0x41, 0xE9, 0x97, 0x44, 0x01, 0x80, 0x02, 0x00};
    ByteReader r(s);
    EXPECT_EQ(r.UMC(), 129u);
    EXPECT_EQ(r.MC(), -1);
    EXPECT_EQ(r.MC(), -(0x69 | (0x17 << 7) | (0x04 << 14)));
    EXPECT_EQ(r.MS(), 1u + (2u << 15));
    EXPECT_TRUE(r.ok());
    r.RC();
    EXPECT_FALSE(r.ok());
    // A modular number that never ends is refused.
    const std::vector<std::uint8_t> endless(20, 0xFF);
    ByteReader e(endless);
    e.UMC();
    EXPECT_FALSE(e.ok());
}

TEST(Bits, Crc16)
{
    // The file-header CRC of a real R2000 file's first bytes is checked by the
    // corpus tests; here the table itself: CRC-16/ARC of "123456789" is 0xBB3D.
    const std::string s = "123456789";
    EXPECT_EQ(dwg::detail::crc16(0, {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}), 0xBB3D);
}

}  // namespace
