// PDU records and byte-order converters: hand-written wire bytes for every
// type, and the length contract (short input refused, nothing read or
// written past the spans, the rest zero-filled).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "net/pdu.h"
#include "net/pdu_samples.h"

namespace hcy::net {
namespace {

using test::Bytes;
using test::BytesOf;
using test::Concat;
using test::Hex;

using Converter = std::size_t (*)(std::span<const std::byte>, std::span<std::byte>);

Bytes Converted(Converter convert, const Bytes& source, std::size_t expectedCount) {
    Bytes destination(source.size(), std::byte{0xAA});
    EXPECT_EQ(convert(source, destination), expectedCount);
    return destination;
}

// ---------------------------------------------------------------------------
// Golden bytes: a record with distinct field values gives exactly these
// big-endian bytes, and the bytes give back the record.

class PduGoldenTest : public ::testing::Test {};

TEST_F(PduGoldenTest, TransmitterBothWaysWithParametersUntouched) {
    const Bytes host =
        Concat(BytesOf(test::SampleTransmitter()), test::SampleModulationParameters());
    const Bytes wire = Concat(test::SampleTransmitterWire(), test::SampleModulationParameters());
    EXPECT_EQ(Converted(TransmitterPduToNet, host, 120), wire);
    EXPECT_EQ(Converted(TransmitterPduToHost, wire, 120), host);
}

TEST_F(PduGoldenTest, TransmitterFrequencyHalves) {
    TransmitterPdu pdu = test::SampleTransmitter();
    pdu.frequencyHigh = 1;
    pdu.frequencyLow = 258;
    EXPECT_EQ(pdu.frequency(), 4294967554u);
    Bytes wire(TRANSMITTER_PDU_SIZE);
    ASSERT_EQ(TransmitterPduToNet(RecordBytes(pdu), wire), TRANSMITTER_PDU_SIZE);
    EXPECT_EQ(Bytes(wire.begin() + 72, wire.begin() + 80), Hex("00 00 00 01 00 00 01 02"));

    // 30 MHz: the high half is 0.
    pdu.setFrequency(30'000'000);
    EXPECT_EQ(pdu.frequencyHigh, 0u);
    ASSERT_EQ(TransmitterPduToNet(RecordBytes(pdu), wire), TRANSMITTER_PDU_SIZE);
    EXPECT_EQ(Bytes(wire.begin() + 72, wire.begin() + 80), Hex("00 00 00 00 01 C9 C3 80"));

    Bytes host(TRANSMITTER_PDU_SIZE);
    ASSERT_EQ(TransmitterPduToHost(wire, host), TRANSMITTER_PDU_SIZE);
    EXPECT_EQ(ReadRecord<TransmitterPdu>(host)->frequency(), 30'000'000u);
}

TEST_F(PduGoldenTest, SignalBothWaysWithAudioUntouched) {
    // 16-bit PCM keeps the codec's little-endian order on the wire.
    const Bytes host = Concat(BytesOf(test::SampleSignal()), test::SampleSignalAudio());
    const Bytes wire = Concat(test::SampleSignalWire(), test::SampleSignalAudio());
    EXPECT_EQ(Converted(SignalPduToNet, host, 40), wire);
    EXPECT_EQ(Converted(SignalPduToHost, wire, 40), host);
}

TEST_F(PduGoldenTest, ReceiverToNet) {
    EXPECT_EQ(Converted(ReceiverPduToNet, BytesOf(test::SampleReceiver()), RECEIVER_PDU_SIZE),
              test::SampleReceiverWire());
}

TEST_F(PduGoldenTest, EntityStateToHostCarriesTheListedFields) {
    // 16 bytes of articulation parameters follow; they are not carried.
    const Bytes wire = Concat(test::SampleEntityStateWire(), Bytes(16, std::byte{0x99}));
    const Bytes host = Converted(EntityStatePduToHost, wire, ENTITY_STATE_PDU_SIZE);
    const Bytes expected = Concat(BytesOf(test::SampleEntityState()), Bytes(16, std::byte{0}));
    EXPECT_EQ(host, expected);

    const EntityStatePdu pdu = *ReadRecord<EntityStatePdu>(host);
    EXPECT_EQ(pdu.location.x, 100.0);
    EXPECT_EQ(pdu.location.y, -4500.0);
    EXPECT_EQ(pdu.location.z, 0.125);
    EXPECT_EQ(pdu.entityType.country, 0x00E1);
    EXPECT_EQ(pdu.alternativeEntityType.country, 0x0102);
    for (std::uint8_t b : pdu.deadReckoningOther) EXPECT_EQ(b, 0);
}

TEST_F(PduGoldenTest, IcsTransmitterBothWays) {
    const Bytes host = BytesOf(test::SampleIcsTransmitter());
    EXPECT_EQ(Converted(IcsTransmitterPduToNet, host, ICS_TRANSMITTER_PDU_SIZE),
              test::SampleIcsTransmitterWire());
    EXPECT_EQ(Converted(IcsTransmitterPduToHost, test::SampleIcsTransmitterWire(),
                  ICS_TRANSMITTER_PDU_SIZE),
              host);
}

TEST_F(PduGoldenTest, IcsSignalBothWaysWithUnalignedSampleRate) {
    const Bytes host = Concat(BytesOf(test::SampleIcsSignal()), test::SampleIcsSignalAudio());
    const Bytes wire = Concat(test::SampleIcsSignalWire(), test::SampleIcsSignalAudio());
    EXPECT_EQ(Converted(IcsSignalPduToNet, host, 42), wire);
    const Bytes back = Converted(IcsSignalPduToHost, wire, 42);
    EXPECT_EQ(back, host);
    EXPECT_EQ(ReadRecord<IcsSignalPdu>(back)->sampleRate, 0x0102A3B4u);
}

// ---------------------------------------------------------------------------
// The length contract, for each of the ten converters.

struct ConverterCase {
    const char* name;
    Converter convert;
    std::size_t fixedSize;  // [bytes]
    bool carriesPayload;
};

const ConverterCase kConverters[] = {
    {"TransmitterPduToNet", TransmitterPduToNet, 104, true},
    {"TransmitterPduToHost", TransmitterPduToHost, 104, true},
    {"SignalPduToNet", SignalPduToNet, 32, true},
    {"SignalPduToHost", SignalPduToHost, 32, true},
    {"ReceiverPduToNet", ReceiverPduToNet, 36, false},
    {"EntityStatePduToHost", EntityStatePduToHost, 144, false},
    {"IcsTransmitterPduToNet", IcsTransmitterPduToNet, 40, false},
    {"IcsTransmitterPduToHost", IcsTransmitterPduToHost, 40, false},
    {"IcsSignalPduToNet", IcsSignalPduToNet, 38, true},
    {"IcsSignalPduToHost", IcsSignalPduToHost, 38, true},
};

class PduLengthTest : public ::testing::TestWithParam<ConverterCase> {
protected:
    static Bytes Pattern(std::size_t n) {
        Bytes bytes(n);
        for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::byte>(i * 7 + 3);
        return bytes;
    }
    static bool AllEqual(std::span<const std::byte> bytes, std::byte value) {
        return std::all_of(bytes.begin(), bytes.end(), [value](std::byte b) { return b == value; });
    }
};

TEST_P(PduLengthTest, RefusesASourceShorterThanTheFixedPart) {
    const ConverterCase& c = GetParam();
    // Sized exactly, so that AddressSanitizer sees any read past the end.
    const Bytes source = Pattern(c.fixedSize - 1);
    Bytes destination(c.fixedSize + 8, std::byte{0xAA});
    EXPECT_EQ(c.convert(source, destination), 0u);
    EXPECT_TRUE(AllEqual(destination, std::byte{0}));
    EXPECT_EQ(c.convert({}, destination), 0u);
}

TEST_P(PduLengthTest, RefusesADestinationShorterThanTheFixedPart) {
    const ConverterCase& c = GetParam();
    const Bytes source = Pattern(c.fixedSize + 8);
    Bytes buffer(c.fixedSize + 4, std::byte{0x5A});
    std::span<std::byte> destination(buffer.data(), c.fixedSize - 1);
    EXPECT_EQ(c.convert(source, destination), 0u);
    EXPECT_TRUE(AllEqual(destination, std::byte{0}));
    EXPECT_TRUE(AllEqual(std::span(buffer).subspan(c.fixedSize - 1), std::byte{0x5A}));
    EXPECT_EQ(c.convert(source, {}), 0u);
}

TEST_P(PduLengthTest, AcceptsExactlyTheFixedPart) {
    const ConverterCase& c = GetParam();
    const Bytes source = Pattern(c.fixedSize);
    Bytes destination(c.fixedSize);
    EXPECT_EQ(c.convert(source, destination), c.fixedSize);
}

TEST_P(PduLengthTest, CopiesThePayloadOrZeroFillsWhatItDoesNotCarry) {
    const ConverterCase& c = GetParam();
    Bytes source = Pattern(c.fixedSize + 8);
    std::fill(source.begin() + c.fixedSize, source.end(), std::byte{0x77});
    Bytes destination(c.fixedSize + 20, std::byte{0xAA});
    const std::size_t written = c.convert(source, destination);
    std::span<const std::byte> tail = std::span(destination).subspan(c.fixedSize);
    if (c.carriesPayload) {
        EXPECT_EQ(written, c.fixedSize + 8);
        EXPECT_TRUE(AllEqual(tail.first(8), std::byte{0x77}));
        EXPECT_TRUE(AllEqual(tail.subspan(8), std::byte{0}));
    } else {
        EXPECT_EQ(written, c.fixedSize);
        EXPECT_TRUE(AllEqual(tail, std::byte{0}));
    }
}

TEST_P(PduLengthTest, WritesNothingPastADestinationShorterThanTheSource) {
    const ConverterCase& c = GetParam();
    const Bytes source = Pattern(c.fixedSize + 30);
    Bytes buffer(c.fixedSize + 40, std::byte{0x5A});
    std::span<std::byte> destination(buffer.data(), c.fixedSize + 10);
    const std::size_t written = c.convert(source, destination);
    EXPECT_EQ(written, c.carriesPayload ? c.fixedSize + 10 : c.fixedSize);
    if (c.carriesPayload) {
        EXPECT_TRUE(std::equal(source.begin() + c.fixedSize, source.begin() + c.fixedSize + 10,
                               buffer.begin() + c.fixedSize));
    }
    EXPECT_TRUE(AllEqual(std::span(buffer).subspan(c.fixedSize + 10), std::byte{0x5A}));
}

TEST_P(PduLengthTest, ConvertsInPlaceAsIntoASeparateBuffer) {
    const ConverterCase& c = GetParam();
    const Bytes source = Pattern(c.fixedSize + 12);
    Bytes separate(source.size());
    const std::size_t expected = c.convert(source, separate);
    Bytes inPlace = source;
    EXPECT_EQ(c.convert(inPlace, inPlace), expected);
    EXPECT_EQ(inPlace, separate);
}

INSTANTIATE_TEST_SUITE_P(AllConverters, PduLengthTest, ::testing::ValuesIn(kConverters),
                         [](const auto& info) { return std::string(info.param.name); });

// Arbitrary bytes survive a trip to the other order and back (the
// directions convert the same fields).
TEST(PduRoundTrip, BothDirectionsConvertTheSameFields) {
    const std::pair<Converter, Converter> pairs[] = {
        {TransmitterPduToNet, TransmitterPduToHost},
        {SignalPduToNet, SignalPduToHost},
        {IcsTransmitterPduToNet, IcsTransmitterPduToHost},
        {IcsSignalPduToNet, IcsSignalPduToHost},
    };
    std::uint32_t seed = 12345;
    for (const auto& [toNet, toHost] : pairs) {
        for (int round = 0; round < 50; ++round) {
            Bytes host(104 + 16);
            for (std::byte& b : host) {
                seed = seed * 1664525u + 1013904223u;
                b = static_cast<std::byte>(seed >> 24);
            }
            Bytes wire(host.size());
            Bytes back(host.size());
            ASSERT_NE(toNet(host, wire), 0u);
            ASSERT_NE(toHost(wire, back), 0u);
            // The interphone control PDU carries 40 bytes only.
            const std::size_t carried = toNet == IcsTransmitterPduToNet ? 40 : host.size();
            EXPECT_TRUE(std::equal(host.begin(), host.begin() + carried, back.begin()));
        }
    }
}

// ---------------------------------------------------------------------------
// Scalar converters: pure byte reversal, bit patterns kept.

TEST(PduScalar, FloatIsBigEndianAndKeepsEveryBitPattern) {
    const float big = HostToNetFloat(1.0f);
    std::array<std::byte, 4> bytes;
    std::memcpy(bytes.data(), &big, 4);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), Hex("3F 80 00 00"));

    const std::uint32_t special[] = {0x7F800001u, 0x7FBFFFFFu, 0xFFC00001u, 0x7F800000u,
                                     0x00000001u, 0x807FFFFFu, 0x80000000u, 0x0000807Fu};
    auto check = [](std::uint32_t bits) {
        const float value = std::bit_cast<float>(bits);
        const std::uint32_t net = std::bit_cast<std::uint32_t>(HostToNetFloat(value));
        const std::uint32_t back =
            std::bit_cast<std::uint32_t>(NetToHostFloat(std::bit_cast<float>(net)));
        if (back != bits) ADD_FAILURE() << std::hex << bits << " came back as " << back;
        if (std::endian::native == std::endian::little && net != detail::ReverseBytes(bits))
            ADD_FAILURE() << std::hex << bits << " became " << net;
    };
    for (std::uint32_t bits : special) check(bits);
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 65521)
        check(static_cast<std::uint32_t>(bits));
}

TEST(PduScalar, DoubleIsBigEndianAndKeepsEveryBitPattern) {
    const double big = HostToNetDouble(1.5);
    std::array<std::byte, 8> bytes;
    std::memcpy(bytes.data(), &big, 8);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), Hex("3F F8 00 00 00 00 00 00"));

    std::uint64_t bits = 0x7FF0000000000001u;  // a signalling NaN first
    for (int i = 0; i < 100000; ++i) {
        const std::uint64_t back = std::bit_cast<std::uint64_t>(
            NetToHostDouble(HostToNetDouble(std::bit_cast<double>(bits))));
        ASSERT_EQ(back, bits);
        bits = bits * 6364136223846793005u + 1442695040888963407u;
    }
}

// ---------------------------------------------------------------------------
// Types, sizes and network flags.

TEST(PduConstants, FixedPartsByType) {
    EXPECT_EQ(FixedPartSize(PDU_TYPE_ENTITY_STATE), 144u);
    EXPECT_EQ(FixedPartSize(PDU_TYPE_TRANSMITTER), 104u);
    EXPECT_EQ(FixedPartSize(PDU_TYPE_SIGNAL), 32u);
    EXPECT_EQ(FixedPartSize(PDU_TYPE_RECEIVER), 36u);
    EXPECT_EQ(FixedPartSize(PDU_TYPE_ICS_TRANSMITTER), 40u);
    EXPECT_EQ(FixedPartSize(PDU_TYPE_ICS_SIGNAL), 38u);
    EXPECT_EQ(FixedPartSize(0), 0u);
    EXPECT_EQ(FixedPartSize(2), 0u);
    EXPECT_EQ(FixedPartSize(255), 0u);
}

TEST(PduConstants, AudioUsesTheHighHalfWhenAnyOfBits16To23IsSet) {
    constexpr std::uint32_t both = kNetPrimary | kNetSecondary;
    EXPECT_EQ(NetworkBits(0x3, PDU_TYPE_TRANSMITTER), both);
    EXPECT_EQ(NetworkBits(0x3, PDU_TYPE_SIGNAL), both);
    EXPECT_EQ(NetworkBits(0x10001, PDU_TYPE_TRANSMITTER), kNetPrimary);
    EXPECT_EQ(NetworkBits(0x10001, PDU_TYPE_SIGNAL), kNetPrimary);
    EXPECT_EQ(NetworkBits(0x20001, PDU_TYPE_SIGNAL), kNetSecondary);
    EXPECT_EQ(NetworkBits(0x20001, PDU_TYPE_ICS_SIGNAL), kNetSecondary);
    EXPECT_EQ(NetworkBits(0x20001, PDU_TYPE_ICS_TRANSMITTER), kNetPrimary);
    EXPECT_EQ(NetworkBits(0x10000, PDU_TYPE_TRANSMITTER), 0u);
    // Bit 23 alone selects the high half, which names no network.
    EXPECT_EQ(NetworkBits(0x800003, PDU_TYPE_SIGNAL), 0u);
    EXPECT_EQ(NetworkBits(0x1000003, PDU_TYPE_SIGNAL), both);
    EXPECT_EQ(NetworkBits(kNetLoopback | kNetHla, PDU_TYPE_SIGNAL), 0u);
}

TEST(PduConstants, ReadRecordNeedsTheWholeRecord) {
    const Bytes host = BytesOf(test::SampleReceiver());
    EXPECT_FALSE(ReadRecord<ReceiverPdu>(std::span(host).first(35)).has_value());
    const std::optional<ReceiverPdu> pdu = ReadRecord<ReceiverPdu>(host);
    ASSERT_TRUE(pdu.has_value());
    EXPECT_EQ(pdu->transmitterRadioId.radioNumber, 0x3637);
    EXPECT_EQ(pdu->receivedPower, 8.6e-8f);
}

}  // namespace
}  // namespace hcy::net
