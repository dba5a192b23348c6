#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "codecs/mulaw.h"
#include "codecs/pcm.h"

using hcy::CMuLaw;
using hcy::CPcm;

namespace {

// G.711 expansion written from the recommendation's formula, independently
// of the codec's table: ((mantissa << 3) + 0x84) << segment, minus 0x84.
int G711Expand(std::uint8_t code) {
    const int c = ~code & 0xFF;
    const int t = (((c & 0x0F) << 3) + 0x84) << ((c & 0x70) >> 4);
    return (c & 0x80) ? 0x84 - t : t - 0x84;
}

}  // namespace

TEST(MuLaw, EveryCodeDecodesToTheG711Value) {
    for (int code = 0; code < 256; ++code) {
        EXPECT_EQ(CMuLaw::DecodeSample(static_cast<std::uint8_t>(code)),
                  G711Expand(static_cast<std::uint8_t>(code)))
            << "code " << code;
    }
    EXPECT_EQ(CMuLaw::DecodeSample(0xFF), 0);
    EXPECT_EQ(CMuLaw::DecodeSample(0x7F), 0);
    EXPECT_EQ(CMuLaw::DecodeSample(0x80), 32124);
    EXPECT_EQ(CMuLaw::DecodeSample(0x00), -32124);
    EXPECT_EQ(CMuLaw::DecodeSample(0x02), -30076);
}

TEST(MuLaw, EncodesChosenInputs) {
    EXPECT_EQ(CMuLaw::EncodeSample(0), 0xFF);
    EXPECT_EQ(CMuLaw::EncodeSample(-1), 0x7F);
    EXPECT_EQ(CMuLaw::EncodeSample(32767), 0x80);
    EXPECT_EQ(CMuLaw::EncodeSample(32635), 0x80);
    // Full negative scale codes as 0x00, which is sent as 0x02.
    EXPECT_EQ(CMuLaw::EncodeSample(-32768), 0x02);
    EXPECT_EQ(CMuLaw::EncodeSample(-32635), 0x02);
    // Segment e starts where magnitude + 132 reaches 2^(e + 7).
    for (int e = 1; e <= 7; ++e) {
        const int edge = (1 << (e + 7)) - 132;
        const auto first = static_cast<std::uint8_t>(~(e << 4) & 0xFF);
        EXPECT_EQ(CMuLaw::EncodeSample(static_cast<std::int16_t>(edge)), first) << "segment " << e;
        EXPECT_EQ(CMuLaw::EncodeSample(static_cast<std::int16_t>(edge - 1)), first + 1)
            << "segment " << e;
        EXPECT_EQ(CMuLaw::EncodeSample(static_cast<std::int16_t>(-edge)), first & 0x7F)
            << "segment " << e;
    }
}

TEST(MuLaw, EveryInputQuantisesToTheLevelOfItsInterval) {
    int previous = -32768;
    for (int x = -32768; x <= 32767; ++x) {
        const std::uint8_t code = CMuLaw::EncodeSample(static_cast<std::int16_t>(x));
        ASSERT_NE(code, 0x00) << x;
        if (x <= -31612) {  // the top interval of the negative side, code 0x00
            ASSERT_EQ(code, 0x02) << x;
            continue;
        }
        const int decoded = CMuLaw::DecodeSample(code);
        ASSERT_GE(decoded, previous) << x;  // monotonic
        previous = decoded;
        // Levels sit mid-interval: at most half an interval (4 << segment) off.
        const int segment = ((~code) >> 4) & 7;
        ASSERT_LE(std::abs(decoded - std::clamp(x, -32635, 32635)), 4 << segment) << x;
    }
}

TEST(MuLaw, BlocksStopAtTheCapacity) {
    const std::array<std::uint8_t, 10> in{0xFF, 0x80, 0x00, 0x7F, 0x02, 1, 2, 3, 4, 5};
    std::array<std::int16_t, 5> out{};
    EXPECT_EQ(CMuLaw::Decode(in, out), 5u);  // a 10-byte capacity holds 5 samples
    EXPECT_EQ(out[1], 32124);

    const std::vector<std::int16_t> samples(8, 1000);
    std::array<std::uint8_t, 6> coded{};
    EXPECT_EQ(CMuLaw::Encode(samples, coded), 6u);
    EXPECT_EQ(CMuLaw::Encode(samples, std::span<std::uint8_t>{}), 0u);
}

TEST(Pcm, TravelsLittleEndianAndCopiesWholeSamples) {
    const std::array<std::int16_t, 2> samples{0x1234, -2};
    std::array<std::uint8_t, 4> wire{};
    ASSERT_EQ(CPcm::Encode(samples, wire), 4u);
    EXPECT_EQ(wire, (std::array<std::uint8_t, 4>{0x34, 0x12, 0xFE, 0xFF}));

    const std::vector<std::int16_t> block(1024, 7);
    std::vector<std::uint8_t> small(1000);
    EXPECT_EQ(CPcm::Encode(block, small), 1000u);

    const std::array<std::uint8_t, 7> odd{0x01, 0x00, 0xFF, 0x7F, 0x00, 0x80, 0xAA};
    std::array<std::int16_t, 4> out{};
    EXPECT_EQ(CPcm::Decode(odd, out), 3u);  // the odd last byte is ignored
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 32767);
    EXPECT_EQ(out[2], -32768);
    std::array<std::int16_t, 2> two{};
    EXPECT_EQ(CPcm::Decode(odd, two), 2u);
    EXPECT_EQ(CPcm::Decode(std::span(odd).first(1), out), 0u);
}
