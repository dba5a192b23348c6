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

// The encoder's view of one step index. A code's magnitude bits come from
// subtracting step, step / 2 and step / 4 from |difference| while they fit;
// once step is taken off (bit 2), bits 1 and 0 are the number of the
// thresholds step / 4, step / 2 and step / 2 + step / 4 that the rest
// reaches (they rise, and the greedy subtraction picks exactly that many).
// The three comparisons are independent, which keeps the per-sample
// dependency chain short.
struct alignas(64) EncoderRow {
    std::int32_t step;
    std::int32_t base;      // step / 8: the move of magnitude 0
    std::int32_t limit1;    // step / 4 - 1
    std::int32_t limit2;    // step / 2 - 1
    std::int32_t limit3;    // step / 2 + step / 4 - 1
    std::int32_t quarter;   // step / 4: the move of bit 0
    std::int32_t halfRise;  // step / 2 - step / 4: the move of bit 1 less that of bit 0
    std::uint32_t self;     // [bytes] of this index's row, the index limited to 0..88
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
        rows[i].step = step;
        rows[i].base = step >> 3;
        rows[i].limit1 = quarter - 1;
        rows[i].limit2 = half - 1;
        rows[i].limit3 = half + quarter - 1;
        rows[i].quarter = quarter;
        rows[i].halfRise = half - quarter;
        rows[i].self = static_cast<std::uint32_t>(index + 1) * kRowBytes;
    }
    return rows;
}
constexpr std::array<EncoderRow, kEncoderRowCount> kEncoderRows = MakeEncoderRows();

// Out of line: the predictor seldom leaves the 16-bit range, and a
// predicted branch keeps the limit off the critical path.
[[gnu::noinline, gnu::cold]] std::int32_t Saturated(std::int32_t predicted) {
    return predicted < 0 ? -32768 : 32767;
}

// The encoder over one block; each code moves the predictor exactly as
// Apply() of that code does (the tests check both against a textbook
// coder). Masks instead of branches: the code bits of speech are
// unpredictable. The step index is kept as the byte offset of its row.
class EncoderLoop {
public:
    explicit EncoderLoop(CAdpcm::State s)
        : predicted_(s.predicted), offset_(static_cast<std::uint32_t>(s.index + 1) * kRowBytes) {}

    [[gnu::always_inline]] std::uint32_t Code(std::int32_t sample) {
        const EncoderRow& row = *reinterpret_cast<const EncoderRow*>(
            reinterpret_cast<const char*>(kEncoderRows.data()) + offset_);
        const std::int32_t diff = sample - predicted_;
        const std::int32_t negative = diff >> 31;                // -1 or 0
        const std::int32_t magnitude = diff < 0 ? -diff : diff;  // 0..65535
        const std::int32_t over = magnitude - row.step;
        const std::int32_t bit2 = ~(over >> 31);  // -1 when step fits
        const std::int32_t rest = over < 0 ? magnitude : over;
        // -1 where rest reaches the threshold; no overflow within 0..2^17.
        const std::int32_t t1 = (row.limit1 - rest) >> 31;
        const std::int32_t t2 = (row.limit2 - rest) >> 31;
        const std::int32_t t3 = (row.limit3 - rest) >> 31;
        const std::int32_t move = (row.base + (row.step & bit2)) +
                                  (((t1 & row.quarter) + (t2 & row.halfRise)) + (t3 & row.quarter));
        std::int32_t next = (predicted_ - negative) + (move ^ negative);  // predicted_ +- move
        if (static_cast<std::uint32_t>(next + 32768) > 0xFFFFu) [[unlikely]]
            next = Saturated(next);
        predicted_ = next;
        // Index change in rows: -1 for magnitudes 0..3, else 2 plus 2 for
        // each threshold reached (2, 4, 6, 8). Kept apart from the code's
        // bits, so the next row's address is ready three operations after
        // the comparisons.
        const auto rows = [](std::int32_t mask, std::uint32_t n) {
            return static_cast<std::uint32_t>(mask) & (n * kRowBytes);
        };
        const std::int32_t twoRows = static_cast<std::int32_t>(rows(bit2, 2));
        const std::uint32_t start = row.self - kRowBytes + rows(bit2, 3);
        offset_ = (start + rows(t1 & twoRows, 2)) + (rows(t2 & twoRows, 2) + rows(t3 & twoRows, 2));
        const std::int32_t low = t1 + t2 + t3;  // minus bits 1..0 as a number
        return static_cast<std::uint32_t>((negative & 8) | ((bit2 & 4) - low));
    }

    CAdpcm::State Limited() const {
        return {predicted_,
                std::clamp(static_cast<std::int32_t>(offset_ / kRowBytes) - 1, 0, kMaxIndex)};
    }

private:
    std::int32_t predicted_;
    std::uint32_t offset_;  // [bytes] into kEncoderRows, rows -1..96
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
