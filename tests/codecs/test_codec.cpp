#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "codecs/codec.h"
#include "codecs/level.h"
#include "signals.h"

using namespace hcy;

TEST(CodecSelection, ReceivedCodesAreMaskedAndUnknownOnesArePcm) {
    EXPECT_EQ(SelectReceiveCodec(0x4001, false), CodecKind::MuLaw);
    EXPECT_EQ(SelectReceiveCodec(0xC003, false), CodecKind::Adpcm);
    for (std::uint32_t code : {0u, 4u, 5u, 6u, 8u, 0x3FFFu, 0x4000u}) {
        EXPECT_EQ(SelectReceiveCodec(code, true), CodecKind::Pcm) << code;
        EXPECT_EQ(SelectRawReceiveCodec(code), CodecKind::Pcm) << code;
    }
    // Radios: 2 and 7 follow the receiving radio's flag; interphones pass false.
    EXPECT_EQ(SelectReceiveCodec(2, false), CodecKind::Cvsd);
    EXPECT_EQ(SelectReceiveCodec(7, false), CodecKind::Cvsd);
    EXPECT_EQ(SelectReceiveCodec(2, true), CodecKind::CecomCvsd);
    EXPECT_EQ(SelectReceiveCodec(7, true), CodecKind::CecomCvsd);
    // The raw DIS model goes by the code alone.
    EXPECT_EQ(SelectRawReceiveCodec(2), CodecKind::Cvsd);
    EXPECT_EQ(SelectRawReceiveCodec(0x4007), CodecKind::CecomCvsd);
}

TEST(CodecSelection, SendingCodesAndBlockSizes) {
    EXPECT_EQ(WireEncoding(ENCODING_CECOM_CVSD), ENCODING_CVSD);
    EXPECT_EQ(WireEncoding(0), ENCODING_PCM16);
    EXPECT_EQ(WireEncoding(ENCODING_ADPCM), ENCODING_ADPCM);
    EXPECT_EQ(SelectSendCodec(ENCODING_CVSD, true), CodecKind::CecomCvsd);
    EXPECT_EQ(SelectSendCodec(ENCODING_CVSD, false), CodecKind::Cvsd);
    EXPECT_EQ(SelectSendCodec(ENCODING_MULAW, false), CodecKind::MuLaw);
    EXPECT_EQ(SelectSendCodec(5, false), CodecKind::Pcm);

    // A 2048-byte block at 16 kHz: coded bytes, data bits, samples.
    struct Row {
        CodecKind kind;
        std::uint32_t bytes, bits, samples;
    };
    for (const Row& r :
         {Row{CodecKind::Pcm, 2048, 16384, 1024}, Row{CodecKind::MuLaw, 1024, 8192, 1024},
          Row{CodecKind::Cvsd, 128, 1024, 1024}, Row{CodecKind::CecomCvsd, 128, 1024, 1024},
          Row{CodecKind::Adpcm, 512, 4096, 1024}}) {
        const std::uint32_t bytes = 2048 / GetCompressionRatio(r.kind);
        EXPECT_EQ(bytes, r.bytes);
        EXPECT_EQ(bytes * 8, r.bits);
        EXPECT_EQ(bytes * 8 / GetBitsPerSample(r.kind), r.samples);
    }
}

// Round trips of a 1 kHz tone through every coder, with the floor each
// must keep [dB], at the best lag (the CVSD output filter delays).
TEST(CodecSet, SineRoundTripsKeepTheirSnr) {
    struct Row {
        CodecKind kind;
        double floorDb;
    };
    const auto input = codectest::Sine(8192, 1000.0, 12000.0);
    for (const Row& r :
         {Row{CodecKind::Pcm, 1e8}, Row{CodecKind::MuLaw, 32.0}, Row{CodecKind::Adpcm, 25.0},
          Row{CodecKind::Cvsd, 7.0}, Row{CodecKind::CecomCvsd, 7.0}}) {
        CodecSet codecs;
        std::vector<std::uint8_t> coded(input.size() * 2 / GetCompressionRatio(r.kind));
        ASSERT_EQ(codecs.Encode(r.kind, input, coded), coded.size());
        CodecStreamState stream;
        std::vector<std::int16_t> decoded(input.size());
        ASSERT_EQ(codecs.Decode(r.kind, stream, coded, decoded), input.size());
        double best = -100.0;
        for (std::size_t lag = 0; lag < 8; ++lag)
            best = std::max(best, codectest::SnrDb(input, decoded, 256, lag));
        EXPECT_GT(best, r.floorDb) << static_cast<int>(r.kind);
    }
}

TEST(ComputeRmsLevel, MatchesTheFormula) {
    std::vector<std::int16_t> samples(1024, 100);
    EXPECT_NEAR(ComputeRmsLevel(samples.data(), 2048, 1), 70.7107f, 1e-3f);
    EXPECT_NEAR(ComputeRmsLevel(samples.data(), 2048, 16000), 70.7107f / std::sqrt(16000.0f),
                1e-4f);
    EXPECT_TRUE(std::isnan(ComputeRmsLevel(samples.data(), 0, 1)));
}
