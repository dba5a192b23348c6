#pragma once
// IMA/DVI 4-bit ADPCM (encoding code 3): two samples per byte, the first in
// the low nibble.
//
// The encoder state lives in the object (one per sender); the decoder state
// is a separate value, one per heard stream, so that two transmitters heard
// at once never share a predictor.
#include <cstddef>
#include <cstdint>
#include <span>

namespace hcy {

class CAdpcm {
public:
    // Predictor of one direction; all zero at the start of a stream.
    struct State {
        std::int32_t predicted = 0;  // last reconstructed sample [linear units]
        std::int32_t index = 0;      // step-table index, 0..88
    };
    using DecoderState = State;

    // Codes min(samples, 2 x out.size()) samples; returns the bytes written.
    // An odd count leaves the last byte's high nibble 0, and the encoder
    // steps over that pad code exactly as the far decoder will, so both
    // predictors stay equal. Samples that do not fit are not coded.
    std::size_t Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out);

    // Decodes 2 x in.size() codes, low nibble first, stopping once
    // out.size() samples are written (the state has then moved over the code
    // that did not fit). Returns the samples written.
    static std::size_t Decode(DecoderState& state, std::span<const std::uint8_t> in,
                              std::span<std::int16_t> out);

    const State& GetEncoderState() const { return encoder_; }

    static constexpr std::uint32_t GetCompressionRatio() { return 4; }
    static constexpr std::uint32_t GetBitsPerSample() { return 4; }

private:
    State encoder_;
};

}  // namespace hcy
