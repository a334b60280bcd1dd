#include "bits.h"

#include <array>

namespace dwg::detail {

std::uint16_t crc16(std::uint16_t seed, std::span<const std::uint8_t> data)
{
    static constexpr auto table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
            t[i] = static_cast<std::uint16_t>(c);
        }
        return t;
    }();
    std::uint16_t crc = seed;
    for (const std::uint8_t b : data) crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ b) & 0xFF]);
    return crc;
}

}  // namespace dwg::detail
