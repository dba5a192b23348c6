#pragma once
// 16-bit linear PCM, carried unchanged (encoding code 4 and every unknown
// code).
//
// On the wire the samples are little-endian: the platform's own order, which
// peers rely on. Both directions write whole samples only.
#include <cstddef>
#include <cstdint>
#include <span>

namespace hcy {

class CPcm {
public:
    // Stateless; present so that every codec has the same decode signature.
    struct DecoderState {};

    // Writes min(samples, out.size() / 2) samples; returns the bytes written.
    static std::size_t Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out);

    // Reads in.size() / 2 whole samples (an odd last byte is ignored),
    // at most out.size(); returns the samples written.
    static std::size_t Decode(std::span<const std::uint8_t> in, std::span<std::int16_t> out);
    static std::size_t Decode(DecoderState&, std::span<const std::uint8_t> in,
                              std::span<std::int16_t> out) {
        return Decode(in, out);
    }

    // Sample bytes per coded byte.
    static constexpr std::uint32_t GetCompressionRatio() { return 1; }
    // Coded bits per sample.
    static constexpr std::uint32_t GetBitsPerSample() { return 16; }
};

}  // namespace hcy
