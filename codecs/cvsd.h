#pragma once
// Continuously variable slope delta modulation, one bit per sample
// (encoding code 2), in two bit orders that share one coder:
//
//   CCvsd       first sample of a byte in bit 7 (MSB first)
//   CCecomCvsd  first sample of a byte in bit 0 (LSB first; code 7 locally,
//               sent as 2)
//
// Per bit b, encoder and decoder alike:
//   history    = ((history << 1) | b) & 7
//   target     = maxStep if the last three bits are equal, else minStep
//   step       = (step - target) x stepSmoothing + target
//   integrator = integrator x integratorLeak +/- step
// The encoder sends 1 when the sample exceeds the integrator rounded and
// limited to the 16-bit range; the decoder low-passes the integrator.
//
// The tuning parameters are public and plain: the owner writes them (radio
// data sets both codecs of a radio) and serialises those writes with its own
// coding calls. The encoder state lives in the object; the decoder state is a
// separate value, one per heard stream.
#include <cstddef>
#include <cstdint>
#include <span>

namespace hcy {

class CCvsdCore {
public:
    struct EncoderState {
        double integrator = 0.0;    // [linear units]
        double step = 0.0;          // [linear units per bit]
        std::uint32_t history = 0;  // last three bits, newest in bit 0
    };
    struct DecoderState {
        double integrator = 0.0;
        double step = 0.0;
        double output = 0.0;  // output low-pass state, within the 16-bit range
        std::uint32_t history = 0;
    };

    double stepSmoothing = 0.98758;   // pull of the step toward its target, per bit
    double integratorLeak = 0.93068;  // integrator factor per bit
    double maxStep = 8192.0;          // step target after three equal bits
    double minStepX16 = 8192.0;       // 16 x minStep, as configured
    double minStep = 512.0;           // step target otherwise
    double decoderLowpass = 0.3;      // output filter coefficient
    double decoderGain = 1.0;         // gain inside the output filter

    // Sets minStepX16 and minStep = value / 16 together.
    void SetMinStepX16(double value) {
        minStepX16 = value;
        minStep = value * 0.0625;
    }

    // The parameters that shape decoded samples, as one value: two
    // listeners with the same tuning (bit for bit) decode a stream alike.
    struct Tuning {
        double stepSmoothing, integratorLeak, maxStep, minStep, decoderLowpass, decoderGain;
        bool SameAs(const Tuning& other) const;
    };
    Tuning GetTuning() const {
        return {stepSmoothing, integratorLeak, maxStep, minStep, decoderLowpass, decoderGain};
    }
    void SetTuning(const Tuning& t) {
        stepSmoothing = t.stepSmoothing;
        integratorLeak = t.integratorLeak;
        maxStep = t.maxStep;
        minStep = t.minStep;
        minStepX16 = t.minStep * 16.0;
        decoderLowpass = t.decoderLowpass;
        decoderGain = t.decoderGain;
    }

    const EncoderState& GetEncoderState() const { return encoder_; }
    // A new transmission: the encoder starts from the zero state.
    void ResetEncoder() { encoder_ = EncoderState{}; }

    static constexpr std::uint32_t GetCompressionRatio() { return 16; }
    static constexpr std::uint32_t GetBitsPerSample() { return 1; }

protected:
    enum class BitOrder { MsbFirst, LsbFirst };

    CCvsdCore() = default;
    ~CCvsdCore() = default;
    CCvsdCore(const CCvsdCore&) = default;
    CCvsdCore& operator=(const CCvsdCore&) = default;

    template <BitOrder order>
    std::size_t EncodeIn(std::span<const std::int16_t> samples, std::span<std::uint8_t> out);
    template <BitOrder order>
    std::size_t DecodeIn(DecoderState& state, std::span<const std::uint8_t> in,
                         std::span<std::int16_t> out) const;

private:
    EncoderState encoder_;
};

// Encode: one byte per group of 8 samples, min(ceil(samples / 8),
// out.size()) bytes; a last, partial group is completed by repeating its
// last sample. Groups that do not fit are not coded. Returns the bytes
// written.
// Decode: the bits of in, in the class's order, stopping once out.size()
// samples are written (the integrator has then moved over the bit that did
// not fit). Returns the samples written.
class CCvsd : public CCvsdCore {
public:
    std::size_t Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out);
    std::size_t Decode(DecoderState& state, std::span<const std::uint8_t> in,
                       std::span<std::int16_t> out) const;
};

class CCecomCvsd : public CCvsdCore {
public:
    std::size_t Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out);
    std::size_t Decode(DecoderState& state, std::span<const std::uint8_t> in,
                       std::span<std::int16_t> out) const;
};

}  // namespace hcy
