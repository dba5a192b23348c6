#pragma once
// G.711 mu-law in the bias-and-clip form (encoding code 1): one byte per
// sample, no state.
#include <cstddef>
#include <cstdint>
#include <span>

namespace hcy {

class CMuLaw {
public:
    struct DecoderState {};

    // Writes min(samples, out.size()) codes; returns the bytes written.
    // Never emits 0x00: that code goes out as 0x02, as peers expect.
    static std::size_t Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out);

    // Writes min(in.size(), out.size()) samples; returns the samples written.
    static std::size_t Decode(std::span<const std::uint8_t> in, std::span<std::int16_t> out);
    static std::size_t Decode(DecoderState&, std::span<const std::uint8_t> in,
                              std::span<std::int16_t> out) {
        return Decode(in, out);
    }

    // One sample each way; the block members are loops over these.
    static std::uint8_t EncodeSample(std::int16_t sample);
    static std::int16_t DecodeSample(std::uint8_t code);

    static constexpr std::uint32_t GetCompressionRatio() { return 2; }
    static constexpr std::uint32_t GetBitsPerSample() { return 8; }
};

}  // namespace hcy
