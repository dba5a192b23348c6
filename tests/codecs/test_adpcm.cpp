#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "codecs/adpcm.h"
#include "signals.h"

using hcy::CAdpcm;

namespace {

// The IMA/DVI tables, typed in here from the published algorithm.
constexpr std::array<int, 89> kImaSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int, 8> kImaIndex = {-1, -1, -1, -1, 2, 4, 6, 8};

// A textbook IMA coder with branches, one code at a time.
struct Reference {
    int predicted = 0;
    int index = 0;

    void Apply(int code) {
        const int step = kImaSteps[index];
        int delta = step >> 3;
        if (code & 4) delta += step;
        if (code & 2) delta += step >> 1;
        if (code & 1) delta += step >> 2;
        if (code & 8) delta = -delta;
        predicted = std::clamp(predicted + delta, -32768, 32767);
        index = std::clamp(index + kImaIndex[code & 7], 0, 88);
    }
    int Encode(int sample) {
        const int step = kImaSteps[index];
        int diff = sample - predicted;
        int code = diff < 0 ? 8 : 0;
        diff = std::abs(diff);
        if (diff >= step) {
            code |= 4;
            diff -= step;
        }
        if (diff >= step >> 1) {
            code |= 2;
            diff -= step >> 1;
        }
        if (diff >= step >> 2) code |= 1;
        Apply(code);
        return code;
    }
};

// Full-range noise (step index at 88, predictor at both rails), a loud
// sine, syllables of two harmonics over hiss, silence (step index at 0)
// and a full-scale square.
std::vector<std::int16_t> ReferenceInput() {
    std::vector<std::int16_t> input = codectest::Noise(30000, 7);
    const auto append = [&input](const std::vector<std::int16_t>& part) {
        input.insert(input.end(), part.begin(), part.end());
    };
    append(codectest::Sine(3000, 440.0, 20000.0));
    const auto voice = codectest::Sine(64000, 150.0, 9000.0);
    const auto formant = codectest::Sine(64000, 1500.0, 4000.0);
    const auto hiss = codectest::Noise(64000, 11);
    for (std::size_t i = 0; i < voice.size(); ++i) {
        const double syllable =
            std::max(0.0, std::sin(2.0 * std::numbers::pi * 4.0 * i / codectest::kRate));
        input.push_back(
            static_cast<std::int16_t>(syllable * (voice[i] + formant[i]) + hiss[i] / 200));
    }
    input.resize(input.size() + 3000, 0);
    for (int i = 0; i < 4000; ++i) input.push_back((i / 20) % 2 ? 32767 : -32768);
    return input;
}

}  // namespace

TEST(Adpcm, StepTableFromTheFirstDecodedSample) {
    // Code 4 from a zero prediction gives step + step / 8 at any index.
    for (int i = 0; i < 89; ++i) {
        CAdpcm::DecoderState state{0, i};
        std::array<std::int16_t, 1> out{};
        const std::array<std::uint8_t, 1> byte{0x04};
        ASSERT_EQ(CAdpcm::Decode(state, byte, out), 1u);
        EXPECT_EQ(out[0], std::min(kImaSteps[i] + (kImaSteps[i] >> 3), 32767)) << "index " << i;
    }
}

TEST(Adpcm, IndexTableAndLimits) {
    // With no room for a sample the decoder takes exactly one code and stops.
    for (int code = 0; code < 16; ++code) {
        for (int start : {0, 40, 88}) {
            CAdpcm::DecoderState state{0, start};
            const std::array<std::uint8_t, 1> byte{static_cast<std::uint8_t>(code)};
            EXPECT_EQ(CAdpcm::Decode(state, byte, std::span<std::int16_t>{}), 0u);
            EXPECT_EQ(state.index, std::clamp(start + kImaIndex[code & 7], 0, 88))
                << code << " at " << start;
        }
    }
    // A state from outside the tables' range is brought back into it.
    CAdpcm::DecoderState wild{100000, 1000};
    std::array<std::int16_t, 2> out{};
    const std::array<std::uint8_t, 1> byte{0x77};
    EXPECT_EQ(CAdpcm::Decode(wild, byte, out), 2u);
    EXPECT_EQ(wild.index, 88);
    EXPECT_EQ(out[1], 32767);
}

TEST(Adpcm, FirstSampleGoesInTheLowNibble) {
    CAdpcm codec;
    const std::array<std::int16_t, 2> samples{1000, -1000};
    std::array<std::uint8_t, 1> out{};
    ASSERT_EQ(codec.Encode(samples, out), 1u);
    // 1000 from 0 at step 7 is code 7 (prediction 11, index 8); -1011 at
    // step 16 is code 15.
    EXPECT_EQ(out[0], 0xF7);
    EXPECT_EQ(codec.GetEncoderState().predicted, 11 - (2 + 16 + 8 + 4));
    EXPECT_EQ(codec.GetEncoderState().index, 16);
}

TEST(Adpcm, MatchesTheReferenceAcrossBlocks) {
    const std::vector<std::int16_t> input = ReferenceInput();

    CAdpcm codec;
    Reference ref;
    CAdpcm::DecoderState decoder;
    Reference refDecoder;
    int offset = 0;  // the output's running mean [1/2048 units], updated per pair
    std::size_t at = 0;
    for (std::size_t n = 0; at < input.size(); ++n) {
        // Even sizes (no pad nibbles), block boundaries everywhere.
        const std::size_t sizes[] = {2, 1000, 64, 2048, 886, 1024, 320};
        const std::size_t block = std::min(sizes[n % std::size(sizes)], input.size() - at);
        const std::span<const std::int16_t> samples(input.data() + at, block);
        std::vector<std::uint8_t> coded(block / 2);
        ASSERT_EQ(codec.Encode(samples, coded), block / 2);
        std::vector<std::int16_t> decoded(block);
        ASSERT_EQ(CAdpcm::Decode(decoder, coded, decoded), block);
        for (std::size_t i = 0; i < block; i += 2) {
            const int mean = offset >> 11;
            for (std::size_t j = i; j < i + 2; ++j) {
                const int code = (coded[j / 2] >> (4 * (j % 2))) & 0x0F;
                ASSERT_EQ(code, ref.Encode(samples[j])) << "sample " << at + j;
                refDecoder.Apply(code);
                const int y = refDecoder.predicted - mean;
                offset += y;
                ASSERT_EQ(decoded[j], std::clamp(y, -32768, 32767)) << "sample " << at + j;
            }
        }
        EXPECT_EQ(codec.GetEncoderState().predicted, ref.predicted);
        EXPECT_EQ(codec.GetEncoderState().index, ref.index);
        EXPECT_EQ(decoder.predicted, codec.GetEncoderState().predicted);
        EXPECT_EQ(decoder.index, codec.GetEncoderState().index);
        at += block;
    }
}

// The far decoder sees only the bytes written; the encoder must end where
// that decoder ends, or the two drift apart for good.
TEST(Adpcm, EncoderStaysWithTheFarDecoderOnOddCountsAndShortCapacity) {
    CAdpcm codec;
    const auto input = codectest::Sine(101, 700.0, 12000.0);
    CAdpcm::DecoderState far;

    std::array<std::uint8_t, 2> two{};
    ASSERT_EQ(codec.Encode(std::span(input).first(3), two), 2u);
    EXPECT_EQ(two[1] & 0xF0, 0);  // pad nibble
    std::array<std::int16_t, 4> out{};
    EXPECT_EQ(CAdpcm::Decode(far, two, out), 4u);
    EXPECT_EQ(far.predicted, codec.GetEncoderState().predicted);
    EXPECT_EQ(far.index, codec.GetEncoderState().index);

    std::array<std::uint8_t, 5> five{};  // 98 samples offered, room for 10
    ASSERT_EQ(codec.Encode(std::span(input).subspan(3), five), 5u);
    std::array<std::int16_t, 10> ten{};
    EXPECT_EQ(CAdpcm::Decode(far, five, ten), 10u);
    EXPECT_EQ(far.predicted, codec.GetEncoderState().predicted);
    EXPECT_EQ(far.index, codec.GetEncoderState().index);
    EXPECT_EQ(codec.Encode(std::span(input).first(1), std::span<std::uint8_t>{}), 0u);
    EXPECT_EQ(far.predicted, codec.GetEncoderState().predicted);
}
