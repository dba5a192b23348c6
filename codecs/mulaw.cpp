#include "codecs/mulaw.h"

#include <algorithm>
#include <array>
#include <bit>

namespace hcy {
namespace {

constexpr std::int32_t kClip = 32635;  // largest magnitude coded [linear units]
constexpr std::int32_t kBias = 132;    // added so that every segment starts at a power of two

constexpr std::array<std::int16_t, 256> MakeDecodeTable() {
    constexpr std::int32_t segmentBase[8] = {0, 132, 396, 924, 1980, 4092, 8316, 16764};
    std::array<std::int16_t, 256> table{};
    for (std::uint32_t code = 0; code < 256; ++code) {
        const std::uint32_t c = ~code & 0xFF;
        const std::uint32_t exponent = (c >> 4) & 7;
        const std::uint32_t mantissa = c & 0x0F;
        const std::int32_t value =
            segmentBase[exponent] + static_cast<std::int32_t>(mantissa << (exponent + 3));
        table[code] = static_cast<std::int16_t>((c & 0x80) ? -value : value);
    }
    return table;
}

constexpr std::array<std::int16_t, 256> kDecodeTable = MakeDecodeTable();

}  // namespace

std::uint8_t CMuLaw::EncodeSample(std::int16_t sample) {
    const std::uint32_t sign = sample < 0 ? 0x80 : 0;
    // In 32 bits so that -32768 has a magnitude of 32768.
    std::int32_t magnitude = sample < 0 ? -static_cast<std::int32_t>(sample) : sample;
    magnitude = std::min(magnitude, kClip);
    const auto v = static_cast<std::uint32_t>(magnitude + kBias);
    // Segment: position of the highest set bit of (v >> 7), 0 for 0 and 1.
    const auto exponent = static_cast<std::uint32_t>(std::bit_width((v >> 7) | 1u)) - 1;
    const std::uint32_t mantissa = (v >> (exponent + 3)) & 0x0F;
    const auto code = static_cast<std::uint8_t>(~(sign | (exponent << 4) | mantissa));
    return code == 0x00 ? std::uint8_t{0x02} : code;
}

std::int16_t CMuLaw::DecodeSample(std::uint8_t code) { return kDecodeTable[code]; }

std::size_t CMuLaw::Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out) {
    const std::size_t count = std::min(samples.size(), out.size());
    for (std::size_t i = 0; i < count; ++i) out[i] = EncodeSample(samples[i]);
    return count;
}

std::size_t CMuLaw::Decode(std::span<const std::uint8_t> in, std::span<std::int16_t> out) {
    const std::size_t count = std::min(in.size(), out.size());
    for (std::size_t i = 0; i < count; ++i) out[i] = kDecodeTable[in[i]];
    return count;
}

}  // namespace hcy
