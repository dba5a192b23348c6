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

// The encoder's view of one step index. A code's magnitude is the number of
// the seven thresholds step / 4, step / 2, step / 2 + step / 4, step, and
// step plus each of those, that |difference| reaches: the greedy
// subtraction of step, step / 2 and step / 4 picks exactly that many. Once
// the half is known (bit 2: |difference| reaches step), its three
// thresholds are compared with |difference| itself, independently, which
// keeps the per-sample dependency chain short.
struct alignas(64) EncoderRow {
    std::int32_t step;
    std::int32_t low1, low2, low3;     // step / 4, step / 2, step / 2 + step / 4, each - 1
    std::int32_t high1, high2, high3;  // step + those
    std::int32_t base;                 // step / 8: the move of magnitude 0
    std::int32_t highBase;             // step / 8 + step: the move of magnitude 4
    std::int32_t quarter;              // step / 4: the move of bit 0
    std::int32_t halfRise;             // step / 2 - step / 4: the move of bit 1 less that of bit 0
    std::int32_t self;  // [bytes] from this row to the row of its index limited to 0..88
};

// Rows for indexes -1..96, the ends repeating those of 0 and 88: the next
// row is looked up before its index is limited, so the limit, kept in each
// row, stays off the loop's critical path.
constexpr std::size_t kEncoderRowCount = 98;
constexpr std::uint32_t kRowBytes = sizeof(EncoderRow);

constexpr std::array<EncoderRow, kEncoderRowCount> MakeEncoderRows() {
    std::array<EncoderRow, kEncoderRowCount> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::int32_t index = std::clamp(static_cast<std::int32_t>(i) - 1, 0, kMaxIndex);
        const std::int32_t step = kStepTable[static_cast<std::size_t>(index)];
        const std::int32_t half = step >> 1, quarter = step >> 2;
        EncoderRow& r = rows[i];
        r.step = step;
        r.low1 = quarter - 1;
        r.low2 = half - 1;
        r.low3 = half + quarter - 1;
        r.high1 = step + r.low1;
        r.high2 = step + r.low2;
        r.high3 = step + r.low3;
        r.base = step >> 3;
        r.highBase = (step >> 3) + step;
        r.quarter = quarter;
        r.halfRise = half - quarter;
        r.self = (index + 1 - static_cast<std::int32_t>(i)) * static_cast<std::int32_t>(kRowBytes);
    }
    return rows;
}
constexpr std::array<EncoderRow, kEncoderRowCount> kEncoderRows = MakeEncoderRows();

// The encoder over one block; each code moves the predictor exactly as
// Apply() of that code does (the tests check both against a textbook
// coder). Masks instead of branches: the code bits of speech are
// unpredictable, but whether |difference| reaches step is guessed well
// enough that a branch beats computing both halves. The step index is kept
// as the address of its row.
class EncoderLoop {
public:
    explicit EncoderLoop(CAdpcm::State s) : predicted_(s.predicted), row_(Row(s.index + 1)) {}

    [[gnu::always_inline]] std::uint32_t Code(std::int32_t sample) {
        const EncoderRow& row = *reinterpret_cast<const EncoderRow*>(row_);
        const std::int32_t diff = sample - predicted_;
        const std::int32_t negative = diff >> 31;                // -1 or 0
        const std::int32_t magnitude = diff < 0 ? -diff : diff;  // 0..65535
        // -1 where |difference| reaches the threshold; no overflow within
        // 0..2^17.
        const auto reaches = [magnitude](std::int32_t limit) { return (limit - magnitude) >> 31; };
        std::int32_t move, count;
        if (magnitude >= row.step) {
            const std::int32_t t1 = reaches(row.high1), t2 = reaches(row.high2),
                               t3 = reaches(row.high3);
            move = (row.highBase + (t3 & row.quarter)) + ((t1 & row.quarter) + (t2 & row.halfRise));
            count = 4 - (t1 + t2 + t3);
            // 2 rows up, and 2 more for each further threshold reached.
            const auto twoRows = [](std::int32_t mask) {
                return mask & static_cast<std::int32_t>(2 * kRowBytes);
            };
            row_ += (row.self + 2 * static_cast<std::int32_t>(kRowBytes) + twoRows(t3)) +
                    (twoRows(t1) + twoRows(t2));
        } else {
            const std::int32_t t1 = reaches(row.low1), t2 = reaches(row.low2),
                               t3 = reaches(row.low3);
            move = (row.base + (t3 & row.quarter)) + ((t1 & row.quarter) + (t2 & row.halfRise));
            count = -(t1 + t2 + t3);
            row_ += row.self - static_cast<std::int32_t>(kRowBytes);
        }
        std::int32_t next = (predicted_ - negative) + (move ^ negative);  // predicted_ +- move
        if (static_cast<std::uint32_t>(next + 32768) > 0xFFFFu) [[unlikely]]
            next = Saturated(next);
        predicted_ = next;
        return static_cast<std::uint32_t>((negative & 8) | count);
    }

    CAdpcm::State Limited() const {
        const auto row = static_cast<std::int32_t>(
            (row_ - reinterpret_cast<const char*>(kEncoderRows.data())) / kRowBytes);
        return {predicted_, std::clamp(row - 1, 0, kMaxIndex)};
    }

private:
    static const char* Row(std::int32_t n) {
        return reinterpret_cast<const char*>(kEncoderRows.data() + n);
    }

    std::int32_t predicted_;
    const char* row_;  // into kEncoderRows, rows -1..96
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
