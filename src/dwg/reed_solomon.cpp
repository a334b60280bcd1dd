#include "reed_solomon.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace dwg::detail::rs {
namespace {

constexpr int max_check = 16;

// One code: its field's exponent and logarithm tables, and multiplication
// by each generator root as a table of its own, since the syndromes of
// every stored word are computed and that is the hot loop of a 2007 file.
struct Tables {
    int check = 0;
    int max_errors = 0;                   // per word repaired; more are refused
    std::array<std::uint8_t, 512> exp{};  // doubled so exp[a + b] needs no modulo
    std::array<int, 256> log{};
    std::array<std::array<std::uint8_t, 256>, max_check + 1> times_root{};

    constexpr std::uint8_t mul(std::uint8_t a, std::uint8_t b) const
    {
        if (a == 0 || b == 0)
            return 0;
        return exp[static_cast<std::size_t>(log[a] + log[b])];
    }
    constexpr std::uint8_t div(std::uint8_t a, std::uint8_t b) const
    {  // b != 0
        if (a == 0)
            return 0;
        return exp[static_cast<std::size_t>(log[a] + 255 - log[b])];
    }
};

constexpr Tables make_tables(unsigned field_polynomial, int check, int max_errors)
{
    Tables t;
    t.check = check;
    t.max_errors = max_errors;
    unsigned x = 1;
    for (std::size_t i = 0; i < 255; ++i) {
        t.exp[i] = static_cast<std::uint8_t>(x);
        t.log[x] = static_cast<int>(i);
        x <<= 1;
        if (x & 0x100)
            x ^= field_polynomial;
    }
    for (std::size_t i = 255; i < 512; ++i) t.exp[i] = t.exp[i - 255];
    for (std::size_t j = 1; j <= static_cast<std::size_t>(check); ++j)
        for (unsigned v = 0; v < 256; ++v) t.times_root[j][v] = t.mul(static_cast<std::uint8_t>(v), t.exp[j]);
    return t;
}

// Sixteen check bytes repair 8 bytes and leave a damaged word almost no
// chance of passing for another. With four, repairing 2 bytes would let
// about half of all garbage words through as "repaired"; repairing 1 still
// mends a flipped byte and detects every word with 2 or 3 damaged bytes.
constexpr Tables system_code = make_tables(0x169, 16, 8);
constexpr Tables data_code = make_tables(0x11D, 4, 1);

const Tables& tables(Code c) { return c == Code::System ? system_code : data_code; }

using Syndromes = std::array<std::uint8_t, max_check>;
using Word = std::array<std::uint8_t, word_size>;

// S_j = word(alpha^j), j = 1..n, by Horner from the highest coefficient.
// Returns whether all are zero. N fixed at compile time keeps the n running
// sums in registers.
template <std::size_t N>
bool syndromes_n(const Tables& t, const std::uint8_t* word, Syndromes& s)
{
    std::array<std::uint8_t, N> acc{};
    for (std::size_t i = word_size; i-- > 0;) {
        const std::uint8_t c = word[i];
        for (std::size_t j = 0; j < N; ++j) acc[j] = t.times_root[j + 1][acc[j]] ^ c;
    }
    s.fill(0);
    std::uint8_t any = 0;
    for (std::size_t j = 0; j < N; ++j) {
        s[j] = acc[j];
        any |= acc[j];
    }
    return any == 0;
}

bool syndromes(const Tables& t, const std::uint8_t* word, Syndromes& s)
{
    return t.check == 4 ? syndromes_n<4>(t, word, s) : syndromes_n<16>(t, word, s);
}

using Poly = std::array<std::uint8_t, max_check + 1>;  // coefficient i of x^i

std::uint8_t eval(const Tables& t, const Poly& p, std::size_t degree, std::uint8_t x)
{
    std::uint8_t y = 0;
    for (std::size_t i = degree + 1; i-- > 0;) y = static_cast<std::uint8_t>(t.mul(y, x) ^ p[i]);
    return y;
}

int correct_with(const Tables& t, std::uint8_t* word, const Syndromes& s)
{
    const auto n = static_cast<std::size_t>(t.check);
    // Berlekamp-Massey: the shortest error locator Lambda with
    // sum Lambda_i S_{k-i} = 0 for all k.
    Poly lambda{}, prev{};
    lambda[0] = prev[0] = 1;
    std::size_t length = 0, shift = 1;
    std::uint8_t prev_discrepancy = 1;
    for (std::size_t k = 0; k < n; ++k) {
        std::uint8_t d = s[k];
        for (std::size_t i = 1; i <= length; ++i) d ^= t.mul(lambda[i], s[k - i]);
        if (d == 0) {
            ++shift;
            continue;
        }
        const std::uint8_t factor = t.div(d, prev_discrepancy);
        const Poly before = lambda;
        for (std::size_t i = 0; i + shift <= static_cast<std::size_t>(max_check); ++i)
            lambda[i + shift] ^= t.mul(factor, prev[i]);
        if (2 * length <= k) {
            length = k + 1 - length;
            prev = before;
            prev_discrepancy = d;
            shift = 1;
        } else {
            ++shift;
        }
    }
    if (length == 0 || length > static_cast<std::size_t>(t.max_errors))
        return -1;

    // Omega = S * Lambda mod x^n, with S(x) = S_1 + S_2 x + ...
    Poly omega{};
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j <= i && j <= length; ++j) omega[i] ^= t.mul(s[i - j], lambda[j]);
    // Formal derivative: only odd powers survive in characteristic 2.
    Poly derivative{};
    for (std::size_t i = 1; i <= length; i += 2) derivative[i - 1] = lambda[i];

    // Chien search over all 255 positions; Forney for the values (first
    // root alpha^1, so e = Omega(X^-1) / Lambda'(X^-1)).
    Word fixed;
    std::memcpy(fixed.data(), word, word_size);
    std::size_t found = 0;
    for (std::size_t pos = 0; pos < word_size; ++pos) {
        const std::uint8_t x_inv = t.exp[(255 - pos) % 255];
        if (eval(t, lambda, length, x_inv) != 0)
            continue;
        const std::uint8_t denom = eval(t, derivative, length, x_inv);
        if (denom == 0 || found == length)
            return -1;
        fixed[pos] ^= t.div(eval(t, omega, n - 1, x_inv), denom);
        ++found;
    }
    Syndromes check{};
    if (found != length || !syndromes(t, fixed.data(), check))
        return -1;
    std::memcpy(word, fixed.data(), word_size);
    return static_cast<int>(found);
}

}  // namespace

int correct_word(std::span<std::uint8_t, word_size> word, Code code)
{
    const Tables& t = tables(code);
    Syndromes s{};
    if (syndromes(t, word.data(), s))
        return 0;
    return correct_with(t, word.data(), s);
}

namespace {

// The syndromes of interleaved words [first, words) into acc (n per word),
// row by row (byte j of every word), highest coefficient first: the words'
// running sums are independent, so the table lookups overlap instead of
// waiting on each other.
template <std::size_t N>
void horner_syndromes(const Tables& t, const std::uint8_t* stored, std::size_t words, std::size_t first,
                      std::uint8_t* acc)
{
    for (std::size_t j = word_size; j-- > 0;) {
        const std::uint8_t* row = stored + j * words;
        for (std::size_t w = first; w < words; ++w) {
            std::uint8_t* a = acc + w * N;
            const std::uint8_t c = row[w];
            for (std::size_t k = 0; k < N; ++k) a[k] = t.times_root[k + 1][a[k]] ^ c;
        }
    }
}

// Data pages are most of a file. Their four syndromes are sums over the
// positions i of c_i * alpha^(i*k); a table per position gives all four
// terms of one byte packed in 32 bits, so a byte costs one lookup and no
// dependency on the previous one.
const std::vector<std::uint32_t>& data_terms()
{
    static const std::vector<std::uint32_t> terms = [] {
        const Tables& t = data_code;
        std::vector<std::uint32_t> v(word_size * 256);
        for (std::size_t i = 0; i < word_size; ++i)
            for (unsigned c = 0; c < 256; ++c) {
                std::uint32_t packed = 0;
                for (std::size_t k = 1; k <= 4; ++k)
                    packed |= static_cast<std::uint32_t>(t.mul(static_cast<std::uint8_t>(c), t.exp[(i * k) % 255]))
                              << (8 * (k - 1));
                v[i * 256 + c] = packed;
            }
        return v;
    }();
    return terms;
}

void data_syndromes(const std::uint8_t* stored, std::size_t words, std::size_t first, std::uint8_t* acc)
{
    if (first == words)
        return;
    const std::uint32_t* terms = data_terms().data();
    std::vector<std::uint32_t> sums(words, 0);
    for (std::size_t j = 0; j < word_size; ++j) {
        const std::uint8_t* row = stored + j * words;
        const std::uint32_t* at = terms + j * 256;
        for (std::size_t w = first; w < words; ++w) sums[w] ^= at[row[w]];
    }
    for (std::size_t w = first; w < words; ++w)
        for (std::size_t k = 0; k < 4; ++k) acc[w * 4 + k] = static_cast<std::uint8_t>(sums[w] >> (8 * k));
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUORVANE_RS_AVX2 1

// Multiplication by a root of the generator on 32 bytes at once: the
// products of the low and of the high nibble come from two 16-entry tables
// (stored twice, once per 128-bit lane).
template <std::size_t N>
struct NibbleTables {
    std::array<std::array<std::uint8_t, 32>, N> low{}, high{};
};

template <std::size_t N>
NibbleTables<N> make_nibbles(const Tables& t)
{
    NibbleTables<N> v;
    for (std::size_t k = 0; k < N; ++k)
        for (unsigned x = 0; x < 32; ++x) {
            v.low[k][x] = t.mul(static_cast<std::uint8_t>(x & 15), t.exp[k + 1]);
            v.high[k][x] = t.mul(static_cast<std::uint8_t>((x & 15) << 4), t.exp[k + 1]);
        }
    return v;
}

// The N syndromes of words [0, 32 * blocks) by Horner, 32 words side by
// side in the bytes of a register.
template <std::size_t N>
[[gnu::target("avx2")]] void vector_syndromes(const NibbleTables<N>& n, const std::uint8_t* stored, std::size_t words,
                                              std::size_t blocks, std::uint8_t* acc)
{
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    for (std::size_t b = 0; b < blocks; ++b) {
        __m256i s[N];
        for (std::size_t k = 0; k < N; ++k) s[k] = _mm256_setzero_si256();
        for (std::size_t j = word_size; j-- > 0;) {
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(stored + j * words + 32 * b));
            for (std::size_t k = 0; k < N; ++k) {
                const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(n.low[k].data()));
                const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(n.high[k].data()));
                const __m256i lo = _mm256_and_si256(s[k], nibble);
                const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(s[k], 4), nibble);
                s[k] =
                    _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(low, lo), _mm256_shuffle_epi8(high, hi)), c);
            }
        }
        std::uint8_t lanes[N][32];
        for (std::size_t k = 0; k < N; ++k) _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes[k]), s[k]);
        for (std::size_t w = 0; w < 32; ++w)
            for (std::size_t k = 0; k < N; ++k) acc[(32 * b + w) * N + k] = lanes[k][w];
    }
}

bool have_avx2()
{
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
#endif

// Transposes 8 rows of 8 bytes held little-endian: afterwards r[i] holds
// byte i of every row.
void transpose8(std::uint64_t (&r)[8])
{
    auto swap = [](std::uint64_t& a, std::uint64_t& b, unsigned shift, std::uint64_t mask) {
        const std::uint64_t t = ((a >> shift) ^ b) & mask;
        b ^= t;
        a ^= t << shift;
    };
    for (std::size_t i = 0; i < 8; i += 2) swap(r[i], r[i + 1], 8, 0x00FF00FF00FF00FFull);
    for (std::size_t i : {0, 1, 4, 5}) swap(r[i], r[i + 2], 16, 0x0000FFFF0000FFFFull);
    for (std::size_t i = 0; i < 4; ++i) swap(r[i], r[i + 4], 32, 0x00000000FFFFFFFFull);
}

// Each word's first `keep` bytes into out, word after word. Blocks of 8
// words by 8 rows go through a transpose in registers, so that reads and
// writes both move 8 bytes.
void gather(const std::uint8_t* stored, std::size_t words, std::size_t keep, std::uint8_t* out)
{
    std::size_t w = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; w + 8 <= words; w += 8) {
            std::size_t j = 0;
            for (; j + 8 <= keep; j += 8) {
                std::uint64_t r[8];
                for (std::size_t k = 0; k < 8; ++k) std::memcpy(&r[k], stored + (j + k) * words + w, 8);
                transpose8(r);
                for (std::size_t k = 0; k < 8; ++k) std::memcpy(out + (w + k) * keep + j, &r[k], 8);
            }
            for (; j < keep; ++j)
                for (std::size_t k = 0; k < 8; ++k) out[(w + k) * keep + j] = stored[j * words + w + k];
        }
    }
    for (; w < words; ++w)
        for (std::size_t j = 0; j < keep; ++j) out[w * keep + j] = stored[w + j * words];
}

// The syndromes of every word, n per word (words * 255 bytes at stored).
std::vector<std::uint8_t> all_syndromes(const std::uint8_t* stored, std::size_t words, Code code, bool portable)
{
    const Tables& t = tables(code);
    const auto n = static_cast<std::size_t>(t.check);
    std::vector<std::uint8_t> acc(words * n, 0);
    std::size_t scalar_from = 0;  // words before it have their syndromes
#ifdef QUORVANE_RS_AVX2
    if (!portable && have_avx2()) {
        static const NibbleTables<4> data_nibbles = make_nibbles<4>(data_code);
        static const NibbleTables<16> system_nibbles = make_nibbles<16>(system_code);
        auto run = [&](const std::uint8_t* rows, std::size_t stride, std::size_t blocks, std::uint8_t* sums) {
            if (code == Code::Data)
                vector_syndromes(data_nibbles, rows, stride, blocks, sums);
            else
                vector_syndromes(system_nibbles, rows, stride, blocks, sums);
        };
        const std::size_t whole = words / 32 * 32;
        run(stored, words, words / 32, acc.data());
        if (whole < words) {
            // The last words padded with zero words to a block of their own.
            std::vector<std::uint8_t> rows(32 * word_size, 0), sums(32 * n);
            for (std::size_t j = 0; j < word_size; ++j)
                std::memcpy(&rows[32 * j], stored + j * words + whole, words - whole);
            run(rows.data(), 32, 1, sums.data());
            std::copy_n(sums.begin(), (words - whole) * n, acc.begin() + static_cast<std::ptrdiff_t>(whole * n));
        }
        scalar_from = words;
    }
#else
    (void)portable;
#endif
    if (code == Code::Data)
        data_syndromes(stored, words, scalar_from, acc.data());
    else
        horner_syndromes<16>(t, stored, words, scalar_from, acc.data());
    return acc;
}

}  // namespace

bool intact_interleaved(std::span<const std::uint8_t> stored, std::size_t words, Code code)
{
    if (stored.size() / word_size < words)
        return false;
    const std::vector<std::uint8_t> acc = all_syndromes(stored.data(), words, code, false);
    return std::all_of(acc.begin(), acc.end(), [](std::uint8_t v) { return v == 0; });
}

void deinterleave(std::span<const std::uint8_t> stored, std::size_t words, Code code, std::vector<std::uint8_t>& out)
{
    words = std::min(words, stored.size() / word_size);
    const std::size_t first = out.size();
    out.resize(first + words * data_bytes(code));
    gather(stored.data(), words, data_bytes(code), out.data() + first);
}

bool decode_interleaved(std::span<const std::uint8_t> stored, std::size_t words, Code code,
                        std::vector<std::uint8_t>& out, std::size_t* corrected, bool portable)
{
    if (words == 0)
        return true;
    if (stored.size() / word_size < words)
        return false;
    const Tables& t = tables(code);
    const auto n = static_cast<std::size_t>(t.check);
    const std::size_t keep = data_bytes(code);
    const std::size_t first = out.size();
    out.resize(first + words * keep);
    const std::vector<std::uint8_t> acc = all_syndromes(stored.data(), words, code, portable);
    gather(stored.data(), words, keep, out.data() + first);

    Word word;
    Syndromes s{};
    for (std::size_t w = 0; w < words; ++w) {
        const std::uint8_t* a = acc.data() + w * n;
        if (std::all_of(a, a + n, [](std::uint8_t v) { return v == 0; }))
            continue;
        std::copy(a, a + n, s.begin());
        for (std::size_t j = 0; j < word_size; ++j) word[j] = stored[w + j * words];
        const int fixed = correct_with(t, word.data(), s);
        if (fixed < 0)
            return false;
        if (corrected)
            *corrected += static_cast<std::size_t>(fixed);
        std::copy(word.begin(), word.begin() + static_cast<std::ptrdiff_t>(keep),
                  out.begin() + static_cast<std::ptrdiff_t>(first + w * keep));
    }
    return true;
}

}  // namespace dwg::detail::rs
