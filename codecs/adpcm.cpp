#include "codecs/adpcm.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace hcy {
namespace {

constexpr std::array<std::int32_t, 89> kStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

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
constexpr std::int32_t Delta(std::int32_t step, std::uint32_t code) {
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

// Decoder tables, by step index and code: the signed move of the
// predictor, and the step index after the code [89 x 16]; the step index
// after a whole byte, low nibble first [89 x 256].
constexpr std::array<std::int32_t, 89 * 16> kDeltaTable = [] {
    std::array<std::int32_t, 89 * 16> t{};
    for (std::size_t i = 0; i < 89; ++i)
        for (std::uint32_t c = 0; c < 16; ++c) t[i * 16 + c] = Delta(kStepTable[i], c);
    return t;
}();

constexpr std::uint8_t NextIndex(std::uint32_t index, std::uint32_t code) {
    return static_cast<std::uint8_t>(
        std::clamp(static_cast<std::int32_t>(index) + kIndexTable[code], 0, kMaxIndex));
}

constexpr std::array<std::uint8_t, 89 * 16> kNextIndex = [] {
    std::array<std::uint8_t, 89 * 16> t{};
    for (std::uint32_t i = 0; i < 89; ++i)
        for (std::uint32_t c = 0; c < 16; ++c) t[i * 16 + c] = NextIndex(i, c);
    return t;
}();

constexpr std::array<std::uint8_t, 89 * 256> kNextIndexByByte = [] {
    std::array<std::uint8_t, 89 * 256> t{};
    for (std::uint32_t i = 0; i < 89; ++i)
        for (std::uint32_t b = 0; b < 256; ++b)
            t[i * 256 + b] = NextIndex(NextIndex(i, b & 15), b >> 4);
    return t;
}();

// Out of line: the predictor seldom leaves the 16-bit range, and a
// predicted branch keeps the limit off the critical path.
[[gnu::noinline, gnu::cold]] std::int32_t Saturated(std::int32_t predicted) {
    return predicted < 0 ? -32768 : 32767;
}

[[gnu::always_inline]] inline std::int32_t Limited(std::int32_t predicted) {
    if (static_cast<std::uint32_t>(predicted + 32768) > 0xFFFFu) [[unlikely]]
        return Saturated(predicted);
    return predicted;
}

// Predictor less its mean, within the 16-bit range.
inline std::int16_t ToSample(std::int32_t value) {
    return static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
}

// The offset's bound: the mean of a 16-bit predictor, scaled [1/2048 units].
constexpr std::int32_t kOffsetLimit = 32768 << CAdpcm::kOffsetShift;

// The encoder's tables, by position: the step index plus one, for indexes
// -1..96, whose ends repeat the rows of 0 and 88. The next position is
// found before its index is limited, and each row says how far its own
// limited index lies, so the limit stays off the loop's chains.
//
// A code's magnitude is the number of the seven thresholds step / 4,
// step / 2, step / 2 + step / 4, step, and step plus each of those, that
// |difference| reaches: the greedy subtraction of step, step / 2 and
// step / 4 picks exactly that many, and the predictor moves by step / 8
// plus the highest threshold reached. Once the half is known (bit 2:
// |difference| reaches step), its three thresholds are compared with
// |difference| independently.
constexpr std::size_t kPositions = 98;

struct EncoderTables {
    std::int32_t below[8][kPositions];  // [k]: threshold k less one, k = 1..7 (reached when above)
    std::int32_t base[kPositions];      // step / 8: the move of magnitude 0
    std::int32_t highBase[kPositions];  // step / 8 + step: the move of magnitude 4
    std::int32_t quarter[kPositions];   // step / 4: the rise at thresholds 1, 3, 5 and 7
    std::int32_t halfRise[kPositions];  // step / 2 - step / 4: the rise at thresholds 2 and 6
    // [positions] to the next position after a code of magnitude 0..3, and
    // after magnitude 4 (each further magnitude adds 2).
    std::intptr_t down[kPositions];
    std::intptr_t up[kPositions];
};

constexpr EncoderTables MakeEncoderTables() {
    EncoderTables t{};
    for (std::size_t at = 0; at < kPositions; ++at) {
        const std::int32_t index = std::clamp(static_cast<std::int32_t>(at) - 1, 0, kMaxIndex);
        const std::int32_t step = kStepTable[static_cast<std::size_t>(index)];
        const std::int32_t half = step >> 1, quarter = step >> 2;
        const std::int32_t threshold[8] = {
            0,    quarter,        half,        half + quarter,
            step, step + quarter, step + half, step + half + quarter};
        for (std::size_t k = 0; k < 8; ++k) t.below[k][at] = threshold[k] - 1;
        t.base[at] = step >> 3;
        t.highBase[at] = (step >> 3) + step;
        t.quarter[at] = quarter;
        t.halfRise[at] = half - quarter;
        const std::intptr_t toLimited = index + 1 - static_cast<std::intptr_t>(at);
        t.down[at] = toLimited - 1;
        t.up[at] = toLimited + 2;
    }
    return t;
}
constexpr EncoderTables kEncoderTables = MakeEncoderTables();

// The encoder over one block; each code moves the predictor exactly as
// Apply() of that code does (the tests check both against a textbook
// coder). Masks instead of branches within a half: the code bits of
// speech are unpredictable. Which half is a branch, mispredicted on about
// one sample in five of speech, and still cheaper than computing both. The
// sign is folded into the moves before they are masked, so nothing follows
// their sum on the predictor's chain.
class EncoderLoop {
public:
    explicit EncoderLoop(CAdpcm::State s) : predicted_(s.predicted), at_(s.index + 1) {}

    [[gnu::always_inline]] std::uint32_t Code(std::int32_t sample) {
        const EncoderTables& t = kEncoderTables;
        const std::int32_t p = predicted_;
        // |difference| from two subtractions, so that it waits on one step.
        const std::int32_t negated = p - sample;
        const std::int32_t diff = sample - p;
        const std::int32_t magnitude = diff < 0 ? negated : diff;  // 0..65535
        const std::int32_t negative = diff >> 31;                  // -1 or 0
        const auto signedMove = [negative](std::int32_t move) {
            return (move ^ negative) - negative;
        };
        // -1 where |difference| reaches the threshold; no overflow within 0..2^17.
        const auto reaches = [magnitude](std::int32_t below) { return (below - magnitude) >> 31; };
        const std::int32_t quarter = signedMove(t.quarter[at_]);
        const std::int32_t halfRise = signedMove(t.halfRise[at_]);
        const std::int32_t start = p - negative;  // with base ^ negative: p + signed base
        std::int32_t next, code;
        if (magnitude > t.below[4][at_]) [[unlikely]] {
            const std::int32_t t5 = reaches(t.below[5][at_]), t6 = reaches(t.below[6][at_]),
                               t7 = reaches(t.below[7][at_]);
            next = ((start + (t.highBase[at_] ^ negative)) + (t5 & quarter)) +
                   ((t6 & halfRise) + (t7 & quarter));
            const std::int32_t reached = t5 + t6 + t7;  // -0..-3
            code = ((negative & 8) + 4) - reached;
            at_ = (at_ + t.up[at_]) - 2 * static_cast<std::intptr_t>(reached);
        } else {
            const std::int32_t t1 = reaches(t.below[1][at_]), t2 = reaches(t.below[2][at_]),
                               t3 = reaches(t.below[3][at_]);
            next = ((start + (t.base[at_] ^ negative)) + (t1 & quarter)) +
                   ((t2 & halfRise) + (t3 & quarter));
            code = (negative & 8) - (t1 + t2 + t3);
            at_ += t.down[at_];
        }
        if (static_cast<std::uint32_t>(next + 32768) > 0xFFFFu) [[unlikely]]
            next = Saturated(next);
        predicted_ = next;
        return static_cast<std::uint32_t>(code);
    }

    CAdpcm::State Limited() const {
        return {predicted_, std::clamp(static_cast<std::int32_t>(at_) - 1, 0, kMaxIndex)};
    }

private:
    std::int32_t predicted_;
    std::intptr_t at_;  // position: step index + 1, 0..97 before it is limited
};

}  // namespace

std::size_t CAdpcm::Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out) {
    const std::size_t count = std::min(samples.size(), out.size() * 2);
    const State start = Sanitised(encoder_);
    EncoderLoop coder(start);
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
    State s = Sanitised(State{state.predicted, state.index});
    std::int32_t offset = std::clamp(state.offset, -kOffsetLimit, kOffsetLimit);
    const std::size_t pairs = std::min(in.size(), out.size() / 2);
    const std::uint8_t* src = in.data();
    std::int16_t* dst = out.data();
    std::int32_t predicted = s.predicted;
    std::uint32_t index = static_cast<std::uint32_t>(s.index);
    // The step index runs a byte ahead through its own table, so the
    // predictor's chain is one addition per sample.
    for (std::size_t k = 0; k < pairs; ++k) {
        const std::uint32_t byte = src[k];
        const std::uint32_t mid = kNextIndex[index * 16 + (byte & 0x0F)];
        const std::int32_t first = Limited(predicted + kDeltaTable[index * 16 + (byte & 0x0F)]);
        predicted = Limited(first + kDeltaTable[mid * 16 + (byte >> 4)]);
        index = kNextIndexByByte[index * 256 + byte];
        const std::int32_t mean = offset >> kOffsetShift;
        const std::int32_t y0 = first - mean;
        const std::int32_t y1 = predicted - mean;
        offset += y0 + y1;
        dst[2 * k] = ToSample(y0);
        dst[2 * k + 1] = ToSample(y1);
    }
    s = {predicted, static_cast<std::int32_t>(index)};
    std::size_t written = pairs * 2;
    if (pairs < in.size()) {
        // Out of room mid-byte: the code that does not fit still moves the
        // predictor.
        const std::uint8_t byte = src[pairs];
        Apply(s, byte & 0x0F);
        if (written < out.size()) {
            const std::int32_t y = s.predicted - (offset >> kOffsetShift);
            offset += y;
            dst[written++] = ToSample(y);
            Apply(s, byte >> 4);
        }
    }
    state = {s.predicted, s.index, offset};
    return written;
}

}  // namespace hcy
