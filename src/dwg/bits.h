#pragma once
// The one bounds-checked reader of DWG bit streams. Bits are taken MSB first
// within each byte; multi-byte raw values are little-endian, each byte read
// across the byte boundary when the position is not aligned.
//
// A read past the end sets a sticky failure flag and yields 0; callers check
// ok() at the points where a value decides what is read next, so a damaged
// stream ends in an error instead of a wild read.

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace dwg::detail {

// An H field: code (high nibble of the first byte) and value.
struct HandleRef {
    std::uint8_t code = 0;
    std::uint64_t value = 0;
};

// The absolute handle a reference names, given the handle of the object that
// holds it (codes 6, 8, 0xA, 0xC are relative to it).
inline std::uint64_t absolute(HandleRef r, std::uint64_t self)
{
    switch (r.code) {
    case 0x6: return self + 1;
    case 0x8: return self - 1;
    case 0xA: return self + r.value;
    case 0xC: return self - r.value;
    default: return r.value;
    }
}

// Little-endian words built on the reader's RC(), the same for bit- and
// byte-level readers.
template <typename Reader>
class LittleEndianWords {
public:
    std::uint16_t RS()
    {
        const unsigned lo = rc();
        return static_cast<std::uint16_t>(lo | (rc() << 8));
    }
    std::uint32_t RL()
    {
        const std::uint32_t lo = RS();
        return lo | (std::uint32_t{RS()} << 16);
    }
    std::uint64_t RLL()
    {
        const std::uint64_t lo = RL();
        return lo | (std::uint64_t{RL()} << 32);
    }

private:
    std::uint8_t rc() { return static_cast<Reader*>(this)->RC(); }
};

class BitReader : public LittleEndianWords<BitReader> {
public:
    BitReader() = default;
    // `end_bit` limits reading to the first end_bit bits of `data`.
    BitReader(std::span<const std::uint8_t> data, std::size_t end_bit)
        : data_(data), end_(end_bit <= data.size() * 8 ? end_bit : data.size() * 8)
    {
    }
    explicit BitReader(std::span<const std::uint8_t> data) : BitReader(data, data.size() * 8) {}

    bool ok() const { return ok_; }
    void fail()
    {
        ok_ = false;
        pos_ = end_;
    }
    std::size_t pos() const { return pos_; }
    std::size_t end() const { return end_; }
    std::size_t left() const { return end_ - pos_; }
    void seek(std::size_t bit)
    {
        if (bit > end_)
            fail();
        else
            pos_ = bit;
    }
    void set_end(std::size_t bit)
    {
        if (bit > end_ || bit < pos_)
            fail();
        else
            end_ = bit;
    }
    void skip(std::size_t bits) { take(bits) ? void(pos_ += bits) : void(); }
    void skip_bytes(std::uint64_t n)
    {
        if (n > left() / 8)
            fail();
        else
            pos_ += static_cast<std::size_t>(n) * 8;
    }

    unsigned B()
    {
        if (!take(1))
            return 0;
        const unsigned v = (data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1u;
        ++pos_;
        return v;
    }
    unsigned BB()
    {
        const unsigned hi = B();
        return (hi << 1) | B();
    }
    // 1 to 3 bits (2018).
    unsigned B3()
    {
        if (!B())
            return 0;
        if (!B())
            return 2;
        return B() ? 7 : 6;
    }
    std::uint8_t RC()
    {
        if (!take(8))
            return 0;
        const std::size_t i = pos_ >> 3;
        const unsigned shift = pos_ & 7;
        std::uint8_t v = data_[i];
        if (shift)
            v = static_cast<std::uint8_t>((data_[i] << shift) | (data_[i + 1] >> (8 - shift)));
        pos_ += 8;
        return v;
    }
    double RD() { return std::bit_cast<double>(RLL()); }

    std::uint16_t BS()
    {
        switch (BB()) {
        case 0: return RS();
        case 1: return RC();
        case 2: return 0;
        default: return 256;
        }
    }
    std::uint32_t BL()
    {
        switch (BB()) {
        case 0: return RL();
        case 1: return RC();
        case 2: return 0;
        default: return 256;
        }
    }
    // 3-bit byte count, then that many bytes, little-endian.
    std::uint64_t BLL()
    {
        unsigned n = BB() << 1;
        n |= B();
        std::uint64_t v = 0;
        for (unsigned i = 0; i < n; ++i) v |= std::uint64_t{RC()} << (8 * i);
        return v;
    }
    double BD()
    {
        switch (BB()) {
        case 0: return RD();
        case 1: return 1.0;
        case 2: return 0.0;
        default: fail(); return 0.0;
        }
    }
    double DD(double def)
    {
        std::uint8_t b[8];
        std::memcpy(b, &def, 8);
        switch (BB()) {
        case 0: break;
        case 1:
            for (int i = 0; i < 4; ++i) b[i] = RC();
            break;
        case 2:
            b[4] = RC();
            b[5] = RC();
            for (int i = 0; i < 4; ++i) b[i] = RC();
            break;
        default: return RD();
        }
        double v;
        std::memcpy(&v, b, 8);
        return v;
    }
    void skip_3BD() { BD(), BD(), BD(); }
    void skip_2RD() { skip(128); }
    // Thickness / extrusion: a flag bit from 2000 on, plain BD / 3BD before.
    void skip_BT(bool r2000)
    {
        if (!r2000 || !B())
            BD();
    }
    void skip_BE(bool r2000)
    {
        if (!r2000 || !B())
            skip_3BD();
    }

    HandleRef H()
    {
        HandleRef r;
        const std::uint8_t b = RC();
        r.code = b >> 4;
        const unsigned n = b & 0x0F;
        if (n > 8) {
            fail();
            return {};
        }
        for (unsigned i = 0; i < n; ++i) r.value = (r.value << 8) | RC();
        return r;
    }

    // Raw bytes of a TV (8-bit text): BS length then the bytes.
    std::string TV()
    {
        return counted_text<std::string>(8, [this] { return RC(); });
    }
    // TU (2007+): BS length in UTF-16 code units, then the units.
    std::u16string TU()
    {
        return counted_text<std::u16string>(16, [this] { return RS(); });
    }

private:
    // A BS count of `unit_bits`-wide units; a count the stream cannot hold
    // fails before anything is allocated.
    template <typename String, typename ReadUnit>
    String counted_text(std::size_t unit_bits, ReadUnit unit)
    {
        const std::uint16_t n = BS();
        String s;
        if (n > left() / unit_bits) {
            fail();
            return s;
        }
        s.resize(n);
        for (std::uint16_t i = 0; i < n; ++i) s[i] = static_cast<typename String::value_type>(unit());
        return s;
    }

    bool take(std::size_t bits)
    {
        if (ok_ && bits <= end_ - pos_)
            return true;
        fail();
        return false;
    }

    std::span<const std::uint8_t> data_;
    std::size_t end_ = 0;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// Byte-level reads over a span (file header, object map). Same failure rule.
class ByteReader : public LittleEndianWords<ByteReader> {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}
    bool ok() const { return ok_; }
    std::size_t pos() const { return pos_; }
    std::size_t left() const { return data_.size() - pos_; }
    void seek(std::size_t p) { p <= data_.size() ? void(pos_ = p) : fail(); }
    void fail()
    {
        ok_ = false;
        pos_ = data_.size();
    }

    std::uint8_t RC()
    {
        if (!ok_ || pos_ >= data_.size()) {
            fail();
            return 0;
        }
        return data_[pos_++];
    }
    std::uint16_t RS_BE()
    {
        const unsigned hi = RC();
        return static_cast<std::uint16_t>((hi << 8) | RC());
    }
    // Unsigned modular char: 7 bits a byte, low group first, 0x80 = more.
    std::uint64_t UMC()
    {
        return modular<7>(64, [this] { return RC(); });
    }
    // Signed modular char: as UMC, but the last byte holds the sign (0x40)
    // and six value bits.
    std::int64_t MC()
    {
        std::uint64_t v = 0;
        for (unsigned shift = 0; shift < 63; shift += 7) {
            const std::uint8_t b = RC();
            if (b & 0x80) {
                v |= std::uint64_t{b & 0x7Fu} << shift;
                continue;
            }
            v |= std::uint64_t{b & 0x3Fu} << shift;
            const auto s = static_cast<std::int64_t>(v);
            return (b & 0x40) ? -s : s;
        }
        fail();
        return 0;
    }
    // Modular short: 16-bit words, low first, 0x8000 = more, 15 bits each.
    std::uint64_t MS()
    {
        return modular<15>(60, [this] { return RS(); });
    }
    // The next n bytes as they are; empty, and failed, past the end.
    std::span<const std::uint8_t> bytes(std::size_t n)
    {
        if (!ok_ || n > left()) {
            fail();
            return {};
        }
        pos_ += n;
        return data_.subspan(pos_ - n, n);
    }

private:
    // Groups of GroupBits value bits, low first, the next bit up set on all
    // but the last; more groups than `max_shift` bits hold fail.
    template <unsigned GroupBits, typename ReadGroup>
    std::uint64_t modular(unsigned max_shift, ReadGroup group)
    {
        constexpr std::uint64_t more = std::uint64_t{1} << GroupBits;
        std::uint64_t v = 0;
        for (unsigned shift = 0; shift < max_shift; shift += GroupBits) {
            const std::uint64_t g = group();
            v |= (g & (more - 1)) << shift;
            if (!(g & more))
                return v;
        }
        fail();
        return 0;
    }

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// A little-endian word at byte offset `at`; 0 where it does not fit.
template <typename Word>
Word le_at(std::span<const std::uint8_t> data, std::size_t at)
{
    if (at > data.size() || data.size() - at < sizeof(Word))
        return 0;
    Word v = 0;
    for (std::size_t i = sizeof(Word); i-- > 0;) v = static_cast<Word>((v << 8) | data[at + i]);
    return v;
}
inline std::uint16_t le16_at(std::span<const std::uint8_t> d, std::size_t at) { return le_at<std::uint16_t>(d, at); }
inline std::uint32_t le32_at(std::span<const std::uint8_t> d, std::size_t at) { return le_at<std::uint32_t>(d, at); }
inline std::uint64_t le64_at(std::span<const std::uint8_t> d, std::size_t at) { return le_at<std::uint64_t>(d, at); }

// CRC-16 of the DWG format (reflected 0xA001 polynomial), usually seeded 0xC0C1.
std::uint16_t crc16(std::uint16_t seed, std::span<const std::uint8_t> data);

}  // namespace dwg::detail
