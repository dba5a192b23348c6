#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "codecs/cvsd.h"
#include "signals.h"

using hcy::CCecomCvsd;
using hcy::CCvsd;
using hcy::CCvsdCore;

namespace {

std::uint8_t Reversed(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = static_cast<std::uint8_t>(r | (((b >> i) & 1) << (7 - i)));
    return r;
}

template <class Codec>
std::vector<std::uint8_t> EncodeAll(Codec& codec, std::span<const std::int16_t> samples) {
    std::vector<std::uint8_t> out((samples.size() + 7) / 8);
    out.resize(codec.Encode(samples, out));
    return out;
}

template <class Codec>
std::vector<std::int16_t> DecodeAll(const Codec& codec, CCvsdCore::DecoderState& state,
                                    std::span<const std::uint8_t> bytes) {
    std::vector<std::int16_t> out(bytes.size() * 8);
    out.resize(codec.Decode(state, bytes, out));
    return out;
}

bool SameState(const CCvsdCore::DecoderState& a, const CCvsdCore::DecoderState& b) {
    return a.integrator == b.integrator && a.step == b.step && a.output == b.output &&
           a.history == b.history;
}

}  // namespace

TEST(Cvsd, SilenceFromFreshStateAlternates) {
    const std::vector<std::int16_t> silence(16, 0);
    CCvsd msb;
    CCecomCvsd lsb;
    EXPECT_EQ(EncodeAll(msb, silence), (std::vector<std::uint8_t>{0x55, 0x55}));
    EXPECT_EQ(EncodeAll(lsb, silence), (std::vector<std::uint8_t>{0xAA, 0xAA}));
}

TEST(Cvsd, KnownBitsDecodeInEachOrder) {
    // A lone 1 bit first: step (0 - 512) x 0.98758 + 512 = 6.35904, output
    // 0.3 x that = 1.9 -> 2. A lone 0 bit first: three equal bits (history 0)
    // pull toward 8192, step 101.74336, output -30.5 -> -31.
    CCvsd msb;
    CCecomCvsd lsb;
    std::array<std::int16_t, 8> out{};
    CCvsdCore::DecoderState s1, s2, s3, s4;
    ASSERT_EQ(msb.Decode(s1, std::array<std::uint8_t, 1>{0x80}, out), 8u);
    EXPECT_EQ(out[0], 2);
    ASSERT_EQ(lsb.Decode(s2, std::array<std::uint8_t, 1>{0x01}, out), 8u);
    EXPECT_EQ(out[0], 2);
    ASSERT_EQ(msb.Decode(s3, std::array<std::uint8_t, 1>{0x01}, out), 8u);
    EXPECT_EQ(out[0], -31);
    ASSERT_EQ(lsb.Decode(s4, std::array<std::uint8_t, 1>{0x80}, out), 8u);
    EXPECT_EQ(out[0], -31);
    EXPECT_TRUE(SameState(s1, s2));
    EXPECT_TRUE(SameState(s3, s4));
}

TEST(Cvsd, TheTwoOrdersAreByteReversalsOfEachOther) {
    auto input = codectest::Sine(4000, 400.0, 9000.0);
    const auto noise = codectest::Noise(1000, 3);
    input.insert(input.end(), noise.begin(), noise.end());
    CCvsd msb;
    CCecomCvsd lsb;
    const auto a = EncodeAll(msb, input);
    const auto b = EncodeAll(lsb, input);
    ASSERT_EQ(a.size(), 625u);
    ASSERT_EQ(b.size(), a.size());
    for (std::size_t i = 0; i < a.size(); ++i) ASSERT_EQ(b[i], Reversed(a[i])) << "byte " << i;
    CCvsdCore::DecoderState sa, sb;
    EXPECT_EQ(DecodeAll(msb, sa, a), DecodeAll(lsb, sb, b));
}

TEST(Cvsd, AllOnesSaturateWithoutWrapping) {
    CCvsd codec;
    CCvsdCore::DecoderState state;
    const std::vector<std::uint8_t> ones(400, 0xFF);
    const auto out = DecodeAll(codec, state, ones);
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end()));
    EXPECT_GE(out.front(), 0);
    EXPECT_EQ(out.back(), 32767);
}

TEST(Cvsd, DecoderStopsAtTheCapacityAfterAdaptingTheNextBit) {
    CCvsd codec;
    const std::array<std::uint8_t, 3> in{0x5A, 0xC3, 0x96};
    CCvsdCore::DecoderState stopped;
    std::array<std::int16_t, 16> out{};
    ASSERT_EQ(codec.Decode(stopped, in, out), 16u);

    // The same as two whole bytes, then one bit of the third with no room.
    CCvsdCore::DecoderState stepwise;
    std::array<std::int16_t, 16> again{};
    ASSERT_EQ(codec.Decode(stepwise, std::span(in).first(2), again), 16u);
    ASSERT_EQ(codec.Decode(stepwise, std::span(in).subspan(2), std::span<std::int16_t>{}), 0u);
    EXPECT_TRUE(SameState(stopped, stepwise));
    EXPECT_EQ(out, again);
    EXPECT_EQ(codec.Decode(stopped, std::span<const std::uint8_t>{}, out), 0u);
}

TEST(Cvsd, PartialGroupsAndShortCapacityCodeOnlyWhatIsSent) {
    const auto input = codectest::Sine(12, 500.0, 8000.0);
    // A last group of 4 is completed with its last sample.
    std::vector<std::int16_t> padded(input);
    padded.resize(16, input.back());
    CCvsd partial;
    CCvsd whole;
    EXPECT_EQ(EncodeAll(partial, input), EncodeAll(whole, padded));

    // Room for one byte: the second group is not coded at all.
    CCvsd shortOut;
    CCvsd firstOnly;
    std::array<std::uint8_t, 1> one{};
    ASSERT_EQ(shortOut.Encode(input, one), 1u);
    EXPECT_EQ(one[0], EncodeAll(firstOnly, std::span(input).first(8))[0]);
    EXPECT_EQ(shortOut.GetEncoderState().integrator, firstOnly.GetEncoderState().integrator);
    EXPECT_EQ(shortOut.GetEncoderState().step, firstOnly.GetEncoderState().step);
    EXPECT_EQ(shortOut.GetEncoderState().history, firstOnly.GetEncoderState().history);
}

// A clipped input drives the integrator far above 32767. Its comparison
// level must stop at full scale: wrapped to 16 bits it would latch the coder
// at a rail through the following silence.
TEST(Cvsd, ClippedFullScaleThenSilenceDecodesToSilence) {
    std::vector<std::int16_t> input;
    for (int period = 0; period < 40; ++period) {
        input.insert(input.end(), 50, 32767);
        input.insert(input.end(), 50, -32768);
    }
    input.insert(input.end(), 8000, 0);
    CCecomCvsd codec;
    const auto coded = EncodeAll(codec, input);
    CCvsdCore::DecoderState state;
    const auto out = DecodeAll(codec, state, coded);
    const auto tail = std::span(out).last(4000);
    const auto [low, high] = std::minmax_element(tail.begin(), tail.end());
    EXPECT_GT(*low, -600);
    EXPECT_LT(*high, 600);

    // Held at full scale the encoder's level sits at 32767, so it answers
    // 32767 with 0 bits and the integrator stays near full scale.
    CCvsd held;
    EncodeAll(held, std::vector<std::int16_t>(512, 32767));
    EXPECT_LT(held.GetEncoderState().integrator, 32767.0 + held.maxStep);
}

TEST(Cvsd, ParametersAndNonFiniteValues) {
    CCvsd codec;
    codec.SetMinStepX16(4096.0);
    EXPECT_EQ(codec.minStep, 256.0);
    EXPECT_EQ(codec.minStepX16, 4096.0);

    // Nonsense tuning must still give in-range samples and defined behaviour.
    codec.stepSmoothing = std::numeric_limits<double>::quiet_NaN();
    codec.decoderGain = std::numeric_limits<double>::infinity();
    const auto input = codectest::Sine(64, 400.0, 9000.0);
    const auto coded = EncodeAll(codec, input);
    CCvsdCore::DecoderState state;
    EXPECT_EQ(DecodeAll(codec, state, coded).size(), 64u);
}
