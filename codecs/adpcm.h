#pragma once
// IMA/DVI 4-bit ADPCM (encoding code 3): two samples per byte, the first in
// the low nibble.
//
// The encoder state lives in the object (one per sender); the decoder state
// is a separate value, one per heard stream, so that two transmitters heard
// at once never share a predictor.
//
// The IMA predictor has no leak: a decoder that starts mid-stream, or misses
// blocks, keeps its difference from the far encoder's predictor for good (a
// lasting offset). The decoder therefore keeps the predictor exactly as the
// far encoder does, and takes the predictor's running mean off what it
// writes: a first-order high-pass with a time constant of 2048 samples
// (128 ms at 16 kHz, a corner near 1.2 Hz), so that an offset dies away and
// speech passes unchanged but for a few units.
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
    struct DecoderState {
        std::int32_t predicted = 0;  // the IMA predictor, the far encoder's when in step
        std::int32_t index = 0;      // step-table index, 0..88
        std::int32_t offset = 0;     // running mean of the predictor [1/2048 linear units]
    };
    // Time constant of the offset removal [samples, as a power of two].
    static constexpr int kOffsetShift = 11;

    // Codes min(samples, 2 x out.size()) samples; returns the bytes written.
    // An odd count leaves the last byte's high nibble 0, and the encoder
    // steps over that pad code exactly as the far decoder will, so both
    // predictors stay equal. Samples that do not fit are not coded.
    std::size_t Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out);

    // Decodes 2 x in.size() codes, low nibble first, stopping once
    // out.size() samples are written (the predictor has then moved over the
    // code that did not fit). Each sample written is the predictor less
    // offset / 2048 as it stood before the pair (or single last sample), and
    // the offset then grows by what was written, limited to the 16-bit range
    // only on output. Returns the samples written.
    static std::size_t Decode(DecoderState& state, std::span<const std::uint8_t> in,
                              std::span<std::int16_t> out);

    const State& GetEncoderState() const { return encoder_; }
    // A new transmission: the encoder starts from the zero state, as a
    // listener that starts with it does.
    void ResetEncoder() { encoder_ = State{}; }

    static constexpr std::uint32_t GetCompressionRatio() { return 4; }
    static constexpr std::uint32_t GetBitsPerSample() { return 4; }

private:
    State encoder_;
};

}  // namespace hcy
