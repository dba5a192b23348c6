#include "codecs/cvsd.h"

#include <algorithm>
#include <cmath>

namespace hcy {
namespace {

// Tuning copied into locals once per block: the output pointer may alias
// anything, and the loop must not reload them per bit.
struct Tuning {
    double smoothing, leak, maxStep, minStep, lowpass, gain;
};

inline void Adapt(const Tuning& t, std::uint32_t bit, std::uint32_t& history, double& step,
                  double& integrator) {
    history = ((history << 1) | bit) & 7;
    const double target = (history == 0 || history == 7) ? t.maxStep : t.minStep;
    step = (step - target) * t.smoothing + target;
    integrator = integrator * t.leak + (bit ? step : -step);
}

// The encoder's comparison level: the integrator rounded toward zero after
// adding 0.5, limited to the 16-bit range. Limiting instead of taking the low
// 16 bits keeps a clipped input from latching the coder at the opposite rail.
inline std::int32_t Reference(double integrator) {
    double level = integrator + 0.5;
    if (std::isnan(level)) return 0;
    level = std::clamp(level, -32768.0, 32767.0);
    return static_cast<std::int32_t>(level);
}

}  // namespace

template <CCvsdCore::BitOrder order>
std::size_t CCvsdCore::EncodeIn(std::span<const std::int16_t> samples,
                                std::span<std::uint8_t> out) {
    const std::size_t count = samples.size();
    const std::size_t groups = std::min((count + 7) / 8, out.size());
    const Tuning t{stepSmoothing, integratorLeak, maxStep, minStep, decoderLowpass, decoderGain};
    double integrator = encoder_.integrator;
    double step = encoder_.step;
    std::uint32_t history = encoder_.history;
    const std::int16_t* in = samples.data();
    std::uint8_t* dst = out.data();

    for (std::size_t g = 0; g < groups; ++g) {
        const std::size_t first = g * 8;
        const std::size_t last = std::min(first + 8, count) - 1;
        std::uint32_t byte = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            const std::int32_t sample = in[std::min(first + k, last)];
            const std::uint32_t bit = sample > Reference(integrator) ? 1u : 0u;
            Adapt(t, bit, history, step, integrator);
            if constexpr (order == BitOrder::MsbFirst) {
                byte = (byte << 1) | bit;
            } else {
                byte |= bit << k;
            }
        }
        dst[g] = static_cast<std::uint8_t>(byte);
    }
    encoder_ = EncoderState{integrator, step, history};
    return groups;
}

template <CCvsdCore::BitOrder order>
std::size_t CCvsdCore::DecodeIn(DecoderState& state, std::span<const std::uint8_t> in,
                                std::span<std::int16_t> out) const {
    const Tuning t{stepSmoothing, integratorLeak, maxStep, minStep, decoderLowpass, decoderGain};
    double integrator = state.integrator;
    double step = state.step;
    double output = state.output;
    std::uint32_t history = state.history;
    const std::size_t capacity = out.size();
    std::int16_t* dst = out.data();
    std::size_t written = 0;

    for (const std::uint8_t byte : in) {
        for (unsigned k = 0; k < 8; ++k) {
            const std::uint32_t bit =
                order == BitOrder::MsbFirst ? (byte >> (7 - k)) & 1u : (byte >> k) & 1u;
            Adapt(t, bit, history, step, integrator);
            if (written == capacity) goto done;
            output = ((integrator - output) * t.lowpass + output) * t.gain;
            if (std::isnan(output)) output = 0.0;
            output = std::clamp(output, -32768.0, 32767.0);
            // Round half away from zero; the limits above keep it in range.
            dst[written++] = static_cast<std::int16_t>(output >= 0.0 ? output + 0.5 : output - 0.5);
        }
    }
done:
    state = DecoderState{integrator, step, output, history};
    return written;
}

std::size_t CCvsd::Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out) {
    return EncodeIn<BitOrder::MsbFirst>(samples, out);
}
std::size_t CCvsd::Decode(DecoderState& state, std::span<const std::uint8_t> in,
                          std::span<std::int16_t> out) const {
    return DecodeIn<BitOrder::MsbFirst>(state, in, out);
}

std::size_t CCecomCvsd::Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out) {
    return EncodeIn<BitOrder::LsbFirst>(samples, out);
}
std::size_t CCecomCvsd::Decode(DecoderState& state, std::span<const std::uint8_t> in,
                               std::span<std::int16_t> out) const {
    return DecodeIn<BitOrder::LsbFirst>(state, in, out);
}

}  // namespace hcy
