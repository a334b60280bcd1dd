#include "lz77_r2007.h"

#include <cstring>
#include <utility>

#include "lz77_copy.h"

namespace dwg::detail::lz77_r2007 {
namespace {

// How the writer lays out a literal run: in 32-byte blocks, then the rest,
// each emitted as a sequence of chunks (source offset, length) taken from
// the top of the block downwards. A chunk of 1 to 3 bytes is emitted
// backwards, one of 4 or 8 bytes forwards, one of 16 bytes as its upper
// eight bytes followed by its lower eight. [ODS "R2007 compression";
// LibreDWG copy_compressed_bytes]
struct Chunk {
    std::uint8_t offset;
    std::uint8_t length;
};
using Recipe = std::array<Chunk, 5>;  // unused entries have length 0

constexpr std::array<Recipe, 33> recipes = {{
    {},
    {{{0, 1}}},
    {{{0, 2}}},
    {{{0, 3}}},
    {{{0, 4}}},
    {{{4, 1}, {0, 4}}},
    {{{5, 1}, {1, 4}, {0, 1}}},
    {{{5, 2}, {1, 4}, {0, 1}}},
    {{{0, 8}}},
    {{{8, 1}, {0, 8}}},
    {{{9, 1}, {1, 8}, {0, 1}}},
    {{{9, 2}, {1, 8}, {0, 1}}},
    {{{8, 4}, {0, 8}}},
    {{{12, 1}, {8, 4}, {0, 8}}},
    {{{13, 1}, {9, 4}, {1, 8}, {0, 1}}},
    {{{13, 2}, {9, 4}, {1, 8}, {0, 1}}},
    {{{0, 16}}},
    {{{9, 8}, {8, 1}, {0, 8}}},
    {{{17, 1}, {1, 16}, {0, 1}}},
    {{{16, 3}, {0, 16}}},
    {{{16, 4}, {0, 16}}},
    {{{20, 1}, {16, 4}, {0, 16}}},
    {{{20, 2}, {16, 4}, {0, 16}}},
    {{{20, 3}, {16, 4}, {0, 16}}},
    {{{16, 8}, {0, 16}}},
    {{{17, 8}, {16, 1}, {0, 16}}},
    {{{25, 1}, {17, 8}, {16, 1}, {0, 16}}},
    {{{25, 2}, {17, 8}, {16, 1}, {0, 16}}},
    {{{24, 4}, {16, 8}, {0, 16}}},
    {{{28, 1}, {24, 4}, {16, 8}, {0, 16}}},
    {{{28, 2}, {24, 4}, {16, 8}, {0, 16}}},
    {{{30, 1}, {26, 4}, {18, 8}, {2, 16}, {0, 2}}},
    {{{16, 16}, {0, 16}}},
}};

constexpr LiteralOrder make_order()
{
    LiteralOrder order{};
    for (std::size_t n = 1; n < recipes.size(); ++n) {
        std::size_t i = 0;
        for (const Chunk& c : recipes[n]) {
            const unsigned len = c.length;
            for (unsigned k = 0; k < len; ++k) {
                unsigned src = 0;
                if (len <= 3)
                    src = c.offset + len - 1 - k;
                else if (len == 16)
                    src = c.offset + (k < 8 ? k + 8 : k - 8);
                else
                    src = c.offset + k;
                order[n][i++] = static_cast<std::uint8_t>(src);
            }
        }
    }
    return order;
}

constexpr LiteralOrder order_table = make_order();

// The rest of a literal run after its whole blocks, in the order of
// order_table, chunk by chunk: one straight piece of code per length
// instead of a lookup per byte.
template <std::size_t N, std::size_t C>
void put_chunk(std::uint8_t* dst, const std::uint8_t* src)
{
    constexpr Chunk c = recipes[N][C];
    constexpr std::size_t at = [] {
        std::size_t sum = 0;
        for (std::size_t i = 0; i < C; ++i) sum += recipes[N][i].length;
        return sum;
    }();
    dst += at;
    src += c.offset;
    if constexpr (c.length == 16) {
        std::memcpy(dst, src + 8, 8);
        std::memcpy(dst + 8, src, 8);
    } else if constexpr (c.length >= 4) {
        std::memcpy(dst, src, c.length);
    } else {
        for (std::size_t i = 0; i < c.length; ++i) dst[i] = src[c.length - 1 - i];
    }
}

using Tail = void (*)(std::uint8_t*, const std::uint8_t*);

template <std::size_t N>
void tail(std::uint8_t* dst, const std::uint8_t* src)
{
    [&]<std::size_t... C>(std::index_sequence<C...>) { (put_chunk<N, C>(dst, src), ...); }
    (std::make_index_sequence<std::tuple_size_v<Recipe>>{});
}

constexpr auto tails = []<std::size_t... N>(std::index_sequence<N...>)
{
    return std::array<Tail, recipes.size()>{&tail<N>...};
}
(std::make_index_sequence<recipes.size()>{});

class Decoder {
public:
    Decoder(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) : in_(in), out_(out) {}

    Error run(std::size_t& produced)
    {
        produced = 0;
        if (in_.empty())
            return Error::Corrupt;
        std::uint8_t op = in_[ip_++];
        std::size_t literals = 0;
        if ((op & 0xF0) == 0x20) {
            if (!has(3))
                return Error::Corrupt;
            ip_ += 2;
            literals = in_[ip_++] & 7u;
            if (literals == 0)
                return Error::Corrupt;
        }
        while (ip_ < in_.size()) {
            if (literals == 0 && !literal_length(op, literals))
                return Error::Corrupt;
            if (!copy_literals(literals))
                return Error::Corrupt;
            literals = 0;
            if (ip_ >= in_.size())
                break;
            op = in_[ip_++];
            std::size_t offset = 0, length = 0;
            if (!instruction(op, offset, length))
                return Error::Corrupt;
            for (;;) {
                if (!copy_match(offset, length))
                    return Error::Corrupt;
                literals = op & 7u;
                if (literals != 0 || ip_ >= in_.size())
                    break;
                op = in_[ip_++];
                if ((op >> 4) == 0)
                    break;
                if ((op >> 4) == 0xF)
                    op &= 0x0F;
                if (!instruction(op, offset, length))
                    return Error::Corrupt;
            }
        }
        // A match announcing literals that the input does not hold.
        if (literals != 0)
            return Error::Corrupt;
        produced = op_;
        return Error::Ok;
    }

private:
    bool has(std::size_t n) const { return in_.size() - ip_ >= n; }

    bool literal_length(std::uint8_t op, std::size_t& length)
    {
        length = op + 8u;
        if (length != 0x17)
            return true;
        if (!has(1))
            return false;
        const unsigned n = in_[ip_++];
        length += n;
        if (n != 0xFF)
            return true;
        unsigned w = 0;
        do {
            if (!has(2))
                return false;
            w = in_[ip_] | (in_[ip_ + 1] << 8);
            ip_ += 2;
            length += w;
            if (length > in_.size())
                return false;  // could never be copied
        } while (w == 0xFFFF);
        return true;
    }

    bool copy_literals(std::size_t n)
    {
        if (!has(n) || out_.size() - op_ < n)
            return false;
        const std::uint8_t* src = in_.data() + ip_;
        std::uint8_t* dst = out_.data() + op_;
        std::size_t left = n;
        // Most runs are a few bytes, stored backwards: no table call.
        if (n <= 3) {
            for (std::size_t i = 0; i < n; ++i) dst[i] = src[n - 1 - i];
            ip_ += n;
            op_ += n;
            return true;
        }
        // Whole blocks are their four 8-byte quarters in reverse order.
        for (; left >= 32; left -= 32, src += 32, dst += 32) {
            std::memcpy(dst, src + 24, 8);
            std::memcpy(dst + 8, src + 16, 8);
            std::memcpy(dst + 16, src + 8, 8);
            std::memcpy(dst + 24, src, 8);
        }
        tails[left](dst, src);
        ip_ += n;
        op_ += n;
        return true;
    }

    bool copy_match(std::size_t offset, std::size_t length)
    {
        if (length == 0)
            return true;
        if (offset == 0 || offset > op_ || out_.size() - op_ < length)
            return false;
        lz77::copy_match(out_.data() + op_, offset, length);
        op_ += length;
        return true;
    }

    // Decodes one back-reference; `op` becomes the byte whose low three
    // bits give the literal count that follows it.
    [[gnu::always_inline]] bool instruction(std::uint8_t& op, std::size_t& offset, std::size_t& length)
    {
        switch (op >> 4) {
        case 0: {
            if (!has(2))
                return false;
            length = (op & 0x0Fu) + 0x13u;
            offset = in_[ip_++];
            op = in_[ip_++];
            length += (op >> 3) & 0x10u;
            offset += ((op & 0x78u) << 5) + 1;
            return true;
        }
        case 1: {
            if (!has(2))
                return false;
            length = (op & 0x0Fu) + 3;
            offset = in_[ip_++];
            op = in_[ip_++];
            offset += ((op & 0xF8u) << 5) + 1;
            return true;
        }
        case 2: {
            if (!has(3))
                return false;
            offset = in_[ip_] | (in_[ip_ + 1] << 8);
            ip_ += 2;
            length = op & 7u;
            if ((op & 8) == 0) {
                op = in_[ip_++];
                length += op & 0xF8u;
            } else {
                if (!has(2))
                    return false;
                ++offset;
                length += static_cast<std::size_t>(in_[ip_++]) << 3;
                op = in_[ip_++];
                length += (static_cast<std::size_t>(op & 0xF8u) << 8) + 0x100;
            }
            return true;
        }
        default: {
            if (!has(1))
                return false;
            length = op >> 4;
            offset = op & 0x0Fu;
            op = in_[ip_++];
            offset += ((op & 0xF8u) << 1) + 1;
            return true;
        }
        }
    }

    std::span<const std::uint8_t> in_;
    std::span<std::uint8_t> out_;
    std::size_t ip_ = 0;
    std::size_t op_ = 0;
};

}  // namespace

const LiteralOrder& literal_order() { return order_table; }

Error decompress(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& produced)
{
    return Decoder(in, out).run(produced);
}

}  // namespace dwg::detail::lz77_r2007
