#include "lz77_r2004.h"

#include "lz77_copy.h"

// Stream layout (published 2004 format description, "compression"):
//   [literal-length opcode 0x00-0x0F + literals]
//   { copy opcode · optional literal run } ... 0x11
// Copy opcodes:
//   0x10-0x1F  length = L(op, 0x07) + 2, offset = 0x4000 + ((op & 8) << 11 | b1 >> 2 | b2 << 6)
//   0x20-0x3F  length = L(op, 0x1F) + 2, offset = 1 + (b1 >> 2 | b2 << 6)
//   0x40-0xFF  length = (op >> 4) - 1,   offset = 1 + ((op >> 2) & 3 | b1 << 2)
// The two low bits of the last offset byte (of op itself for 0x40-0xFF) give
// 0-3 literals; when they are 0 the next byte may be a literal-length opcode.
// L(op, mask): op & mask, or if that is 0: mask + 0xFF per following zero
// byte + the first non-zero byte.

namespace dwg::detail {
namespace {

class Decoder {
public:
    Decoder(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) : in_(in), out_(out) {}

    Error run()
    {
        std::uint8_t op = 0;
        if (!next(op))
            return Error::Truncated;
        if ((op & 0xF0) == 0) {
            std::size_t n = 0;
            if (!long_length(op, 0x0F, 3, n))
                return Error::Truncated;
            if (Error e = literals(n); e != Error::Ok)
                return e;
            if (!next(op))
                return Error::Truncated;
        }
        while (op != 0x11) {
            std::size_t length = 0;
            std::size_t offset = 0;
            unsigned trailing = 0;
            if (op >= 0x40) {
                std::uint8_t b1 = 0;
                if (!next(b1))
                    return Error::Truncated;
                length = (op >> 4) - 1u;
                offset = (((op >> 2) & 3u) | (std::size_t{b1} << 2)) + 1;
                trailing = op & 3u;
            } else if (op >= 0x20) {
                std::uint8_t b1 = 0, b2 = 0;
                if (!long_length(op, 0x1F, 2, length) || !next(b1) || !next(b2))
                    return Error::Truncated;
                offset = ((b1 >> 2) | (std::size_t{b2} << 6)) + 1;
                trailing = b1 & 3u;
            } else if (op >= 0x10) {
                std::uint8_t b1 = 0, b2 = 0;
                if (!long_length(op, 0x07, 2, length) || !next(b1) || !next(b2))
                    return Error::Truncated;
                offset = ((std::size_t{op} & 8) << 11 | b1 >> 2 | std::size_t{b2} << 6) + 0x4000;
                trailing = b1 & 3u;
            } else {
                return Error::Corrupt;  // a literal-length opcode where a copy must come
            }
            if (Error e = copy(offset, length); e != Error::Ok)
                return e;

            std::size_t n = trailing;
            if (n == 0) {
                if (!next(op))
                    return Error::Truncated;
                if ((op & 0xF0) != 0)
                    continue;  // another copy, or the end mark
                if (!long_length(op, 0x0F, 3, n))
                    return Error::Truncated;
            }
            if (Error e = literals(n); e != Error::Ok)
                return e;
            if (!next(op))
                return Error::Truncated;
        }
        return Error::Ok;
    }

    std::size_t produced() const { return written_; }

private:
    bool next(std::uint8_t& b)
    {
        if (pos_ >= in_.size())
            return false;
        b = in_[pos_++];
        return true;
    }

    bool long_length(std::uint8_t op, unsigned mask, unsigned add, std::size_t& n)
    {
        std::size_t v = op & mask;
        if (v == 0) {
            std::uint8_t b = 0;
            for (;;) {
                if (!next(b))
                    return false;
                if (b != 0)
                    break;
                v += 0xFF;
            }
            v += mask + b;
        }
        n = v + add;
        return true;
    }

    Error literals(std::size_t n)
    {
        if (n > in_.size() - pos_)
            return Error::Truncated;
        if (n > out_.size() - written_)
            return Error::Corrupt;
        lz77::copy_bytes(out_.data() + written_, in_.data() + pos_, n);
        pos_ += n;
        written_ += n;
        return Error::Ok;
    }

    Error copy(std::size_t offset, std::size_t length)
    {
        if (offset > written_ || length > out_.size() - written_)
            return Error::Corrupt;
        lz77::copy_match(out_.data() + written_, offset, length);
        written_ += length;
        return Error::Ok;
    }

    std::span<const std::uint8_t> in_;
    std::span<std::uint8_t> out_;
    std::size_t pos_ = 0;
    std::size_t written_ = 0;
};

}  // namespace

Error decompress_r2004(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& produced)
{
    Decoder d(in, out);
    const Error e = d.run();
    produced = d.produced();
    return e;
}

}  // namespace dwg::detail
