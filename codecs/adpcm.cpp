#include "codecs/adpcm.h"

#include <algorithm>
#include <array>

namespace hcy {
namespace {

constexpr std::array<std::int32_t, 89> kStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr std::array<std::int32_t, 16> kIndexTable = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                      -1, -1, -1, -1, 2, 4, 6, 8};

constexpr std::int32_t kMaxIndex = static_cast<std::int32_t>(kStepTable.size()) - 1;

// A state handed in from outside may hold anything; bring it into range
// before it indexes the table.
CAdpcm::State Sanitised(CAdpcm::State s) {
    s.index = std::clamp(s.index, 0, kMaxIndex);
    s.predicted = std::clamp(s.predicted, -32768, 32767);
    return s;
}

// Quantised difference of one code: (step / 8) + step, step / 2 and step / 4
// for bits 2, 1 and 0, negated by bit 3. Masks instead of branches: the bits
// of speech codes are unpredictable.
inline std::int32_t Delta(std::int32_t step, std::uint32_t code) {
    const auto bit = [code](unsigned n) { return -static_cast<std::int32_t>((code >> n) & 1u); };
    const std::int32_t magnitude =
        (step >> 3) + (step & bit(2)) + ((step >> 1) & bit(1)) + ((step >> 2) & bit(0));
    const std::int32_t negative = bit(3);
    return (magnitude ^ negative) - negative;
}

// Moves the predictor over one code, as every decoder does.
inline void Apply(CAdpcm::State& s, std::uint32_t code) {
    const std::int32_t step = kStepTable[static_cast<std::size_t>(s.index)];
    s.predicted = std::clamp(s.predicted + Delta(step, code), -32768, 32767);
    s.index = std::clamp(s.index + kIndexTable[code], 0, kMaxIndex);
}

// -1 when value >= limit, else 0. Both lie within 0..2^17, so the
// difference cannot overflow.
inline std::int32_t AtLeast(std::int32_t value, std::int32_t limit) { return (limit - 1 - value) >> 31; }

// Step sizes for indexes -1..96, the ends repeating those of 0 and 88: the
// encoder looks the next step up before it limits the index, which keeps the
// limit off the loop's critical path.
constexpr std::array<std::int32_t, 98> MakePaddedSteps() {
    std::array<std::int32_t, 98> steps{};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::int32_t index = std::clamp(static_cast<std::int32_t>(i) - 1, 0, kMaxIndex);
        steps[i] = kStepTable[static_cast<std::size_t>(index)];
    }
    return steps;
}
constexpr std::array<std::int32_t, 98> kPaddedSteps = MakePaddedSteps();

// The encoder over one block. Per sample: subtract step, step / 2 and
// step / 4 from |sample - predicted| while they fit, giving code bits 2, 1
// and 0 (bit 3 is the sign), then move the predictor exactly as Apply() of
// that code does (the tests check both). Masks instead of branches: the code
// bits of speech are unpredictable. index may lie in -1..96 between samples
// and is limited to 0..88 before use.
struct EncoderLoop {
    std::int32_t predicted;
    std::int32_t index;

    [[gnu::always_inline]] std::uint32_t Code(std::int32_t sample) {
        const std::int32_t step = kPaddedSteps[static_cast<std::size_t>(index + 1)];
        const std::int32_t half = step >> 1;
        const std::int32_t quarter = step >> 2;
        const std::int32_t diff = sample - predicted;
        const std::int32_t negative = diff >> 31;  // -1 or 0
        std::int32_t rest = (diff ^ negative) - negative;
        const std::int32_t m2 = AtLeast(rest, step);
        rest -= step & m2;
        const std::int32_t m1 = AtLeast(rest, half);
        rest -= half & m1;
        const std::int32_t m0 = AtLeast(rest, quarter);
        const std::int32_t move = (step >> 3) + (step & m2) + (half & m1) + (quarter & m0);
        predicted = std::clamp(predicted + ((move ^ negative) - negative), -32768, 32767);
        // Index change: -1 for magnitudes 0..3, then 2, 4, 6, 8.
        const std::int32_t adjust = -1 + (m2 & (3 + (m1 & 4) + (m0 & 2)));
        index = std::clamp(index, 0, kMaxIndex) + adjust;
        return static_cast<std::uint32_t>((negative & 8) | (m2 & 4) | (m1 & 2) | (m0 & 1));
    }

    CAdpcm::State Limited() const { return {predicted, std::clamp(index, 0, kMaxIndex)}; }
};

}  // namespace

std::size_t CAdpcm::Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out) {
    const std::size_t count = std::min(samples.size(), out.size() * 2);
    const State start = Sanitised(encoder_);
    EncoderLoop coder{start.predicted, start.index};
    std::size_t written = 0;
    std::size_t i = 0;
    for (; i + 1 < count; i += 2) {
        const std::uint32_t low = coder.Code(samples[i]);
        const std::uint32_t high = coder.Code(samples[i + 1]);
        out[written++] = static_cast<std::uint8_t>(low | (high << 4));
    }
    State end = coder.Limited();
    if (i < count) {
        out[written++] = static_cast<std::uint8_t>(coder.Code(samples[i]));
        end = coder.Limited();
        Apply(end, 0);  // the pad nibble, which the far decoder will apply
    }
    encoder_ = end;
    return written;
}

std::size_t CAdpcm::Decode(DecoderState& state, std::span<const std::uint8_t> in,
                           std::span<std::int16_t> out) {
    State s = Sanitised(state);
    std::size_t written = 0;
    for (const std::uint8_t byte : in) {
        Apply(s, byte & 0x0F);
        if (written == out.size()) break;
        out[written++] = static_cast<std::int16_t>(s.predicted);
        Apply(s, byte >> 4);
        if (written == out.size()) break;
        out[written++] = static_cast<std::int16_t>(s.predicted);
    }
    state = s;
    return written;
}

}  // namespace hcy
