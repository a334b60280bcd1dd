#pragma once
// Reed-Solomon code words of 2007 drawings: 255 bytes over GF(256), roots
// alpha^1 .. alpha^n of the generator for n check bytes, alpha = x. Byte i of
// a stored word is the coefficient of x^i; the data bytes come first, the
// check bytes last. The two codes use different fields (both found by
// checking the syndromes of real files):
//   file header and system pages: 239 data + 16 check bytes (8 correctable),
//                                 field x^8 + x^6 + x^5 + x^3 + 1
//   data pages:                   251 data +  4 check bytes (1 repaired,
//                                 2 or 3 always detected),
//                                 field x^8 + x^4 + x^3 + x^2 + 1
// Words are interleaved on disk: byte j of word i of a run of k words is
// stored at i + j*k.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace dwg::detail::rs {

inline constexpr std::size_t word_size = 255;

enum class Code { System, Data };

constexpr std::size_t check_bytes(Code c) { return c == Code::System ? 16 : 4; }
constexpr std::size_t data_bytes(Code c) { return word_size - check_bytes(c); }

// Repairs one code word in place. Returns the number of bytes corrected
// (0 for an intact word), or -1 when the word has more errors than the code
// can correct; the word is then left as it was.
int correct_word(std::span<std::uint8_t, word_size> word, Code code);

// De-interleaves `words` code words from `stored` (at least words * 255
// bytes), corrects each, and appends its data bytes to `out`. Returns false
// when a word cannot be corrected; `corrected` counts the repaired bytes.
// Data pages' syndromes use the processor's vector instructions where it
// has them; `portable` keeps to the plain loop (for the tests).
bool decode_interleaved(std::span<const std::uint8_t> stored, std::size_t words, Code code,
                        std::vector<std::uint8_t>& out, std::size_t* corrected = nullptr, bool portable = false);

// Whether all `words` interleaved words at `stored` are code words as they
// are (nothing to repair), without de-interleaving them.
bool intact_interleaved(std::span<const std::uint8_t> stored, std::size_t words, Code code);
// The data bytes of words found intact, appended to `out`.
void deinterleave(std::span<const std::uint8_t> stored, std::size_t words, Code code, std::vector<std::uint8_t>& out);

}  // namespace dwg::detail::rs
