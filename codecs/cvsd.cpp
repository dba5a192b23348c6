#include "codecs/cvsd.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace hcy {
namespace {

// Tuning copied into locals once per block: the output pointer may alias
// anything, and the loop must not reload them per bit.
struct BlockTuning {
    double smoothing, leak, maxStep, minStep, lowpass, gain;
    // Step target by the last three bits: maxStep when they are equal.
    std::array<double, 8> target;
};

BlockTuning TuningOf(const CCvsdCore& c) {
    BlockTuning t{c.stepSmoothing,  c.integratorLeak, c.maxStep, c.minStep,
                  c.decoderLowpass, c.decoderGain,    {}};
    for (std::uint32_t h = 0; h < 8; ++h) t.target[h] = (h == 0 || h == 7) ? c.maxStep : c.minStep;
    return t;
}

// Multiplying by one of these is the exact sign change of the step (of a
// number; a NaN step stays NaN). The decoder's bits are unpredictable and
// known ahead, so no branch decides target or sign; the encoder's bit comes
// from its own integrator, and there branches let the processor run ahead on
// its guess instead of waiting for the comparison.
constexpr std::array<double, 2> kStepSign = {-1.0, 1.0};

// The chains of step and integrator are IEEE double operations in the
// order written; nothing here may be reordered or fused (-ffp-contract=off).
template <bool branchless>
[[gnu::always_inline]] inline void Adapt(const BlockTuning& t, std::uint32_t bit,
                                         std::uint32_t& history, double& step, double& integrator) {
    history = ((history << 1) | bit) & 7;
    if constexpr (branchless) {
        const double target = t.target[history];
        step = (step - target) * t.smoothing + target;
        integrator = integrator * t.leak + step * kStepSign[bit];
    } else {
        const double target = (history == 0 || history == 7) ? t.maxStep : t.minStep;
        step = (step - target) * t.smoothing + target;
        integrator = integrator * t.leak + (bit ? step : -step);
    }
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

// Out of line: the output filter seldom leaves the 16-bit range.
[[gnu::noinline, gnu::cold]] double LimitedSlow(double output) {
    if (std::isnan(output)) return 0.0;
    return std::clamp(output, -32768.0, 32767.0);
}

// The decoder's output stage for one bit: low-pass of the integrator (times
// the gain unless it is 1, which changes no bit), limited, rounded half away
// from zero.
template <bool unitGain>
[[gnu::always_inline]] inline std::int16_t Output(const BlockTuning& t, double integrator,
                                                  double& output) {
    double o = (integrator - output) * t.lowpass + output;
    if constexpr (!unitGain) o *= t.gain;
    if (!(o >= -32768.0 && o <= 32767.0)) [[unlikely]]
        o = LimitedSlow(o);
    output = o;
    return static_cast<std::int16_t>(o + std::copysign(0.5, o));
}

template <bool msbFirst>
[[gnu::always_inline]] inline std::uint32_t BitOf(std::uint32_t byte, unsigned k) {
    return msbFirst ? (byte >> (7 - k)) & 1u : (byte >> k) & 1u;
}

// Whole bytes while each has room for its eight samples; the rest bit by bit.
template <bool msbFirst, bool unitGain>
std::size_t DecodeBytes(const BlockTuning& t, CCvsdCore::DecoderState& state,
                        std::span<const std::uint8_t> in, std::span<std::int16_t> out) {
    double integrator = state.integrator;
    double step = state.step;
    double output = state.output;
    std::uint32_t history = state.history;
    const std::size_t whole = std::min(in.size(), out.size() / 8);
    const std::uint8_t* src = in.data();
    std::int16_t* dst = out.data();

    for (std::size_t i = 0; i < whole; ++i) {
        const std::uint32_t byte = src[i];
        for (unsigned k = 0; k < 8; ++k) {
            Adapt<true>(t, BitOf<msbFirst>(byte, k), history, step, integrator);
            dst[8 * i + k] = Output<unitGain>(t, integrator, output);
        }
    }
    std::size_t written = whole * 8;
    if (whole < in.size()) {
        // Out of room mid-byte: the bit that does not fit still moves the
        // integrator, not the output filter.
        const std::uint32_t byte = src[whole];
        for (unsigned k = 0; k < 8; ++k) {
            Adapt<true>(t, BitOf<msbFirst>(byte, k), history, step, integrator);
            if (written == out.size()) break;
            dst[written++] = Output<unitGain>(t, integrator, output);
        }
    }
    state = CCvsdCore::DecoderState{integrator, step, output, history};
    return written;
}

}  // namespace

bool CCvsdCore::Tuning::SameAs(const Tuning& other) const {
    return std::memcmp(this, &other, sizeof(Tuning)) == 0;
}

template <CCvsdCore::BitOrder order>
std::size_t CCvsdCore::EncodeIn(std::span<const std::int16_t> samples,
                                std::span<std::uint8_t> out) {
    const std::size_t count = samples.size();
    const std::size_t groups = std::min((count + 7) / 8, out.size());
    const BlockTuning t = TuningOf(*this);
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
            Adapt<false>(t, bit, history, step, integrator);
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
    const BlockTuning t = TuningOf(*this);
    constexpr bool msbFirst = order == BitOrder::MsbFirst;
    return t.gain == 1.0 ? DecodeBytes<msbFirst, true>(t, state, in, out)
                         : DecodeBytes<msbFirst, false>(t, state, in, out);
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
