// PDU records and byte-order converters: hand-written wire bytes for every
// type, and the length contract (short input refused, nothing read or
// written past the spans, the rest zero-filled).
#include <bit>

#include "net_fixture.h"

using namespace nettest;

namespace {

Bytes Converted(Converter convert, const Bytes& source, std::size_t expectedCount) {
    Bytes destination(source.size(), std::byte{0xAA});
    EXPECT_EQ(convert(source, destination), expectedCount);
    return destination;
}

bool AllEqual(std::span<const std::byte> bytes, std::byte value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](std::byte b) { return b == value; });
}

Bytes Pattern(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::byte>(i * 7 + 3);
    return bytes;
}

// A record with distinct field values gives exactly the hand-written
// big-endian bytes, and the bytes give back the record. Audio and modulation
// parameters travel untouched (16-bit PCM keeps the codec's little-endian
// order); the articulation parameters after an Entity State are not carried.
TEST(PduGolden, EveryTypeConvertsToTheHandWrittenBytesAndBack) {
    const Samples s;
    const Bytes esWire = Cat(s.esWire, Bytes(16, std::byte{0x99}));
    const Bytes esHost = Cat(s.esHost, Bytes(16));
    struct Case {
        const char* name;
        Converter toNet, toHost;
        const Bytes &host, &wire;
        std::size_t count;
    };
    const Case cases[] = {
        {"Transmitter", TransmitterPduToNet, TransmitterPduToHost, s.txHost, s.txWire, 120},
        {"Signal", SignalPduToNet, SignalPduToHost, s.sigHost, s.sigWire, 40},
        {"Receiver", ReceiverPduToNet, nullptr, s.rxHost, s.rxWire, 36},
        {"EntityState", nullptr, EntityStatePduToHost, esHost, esWire, 144},
        {"IcsTransmitter", IcsTransmitterPduToNet, IcsTransmitterPduToHost, s.icsTxHost,
         s.icsTxWire, 40},
        {"IcsSignal", IcsSignalPduToNet, IcsSignalPduToHost, s.icsSigHost, s.icsSigWire, 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.toNet) {
            EXPECT_EQ(Converted(c.toNet, c.host, c.count), c.wire);
        }
        if (c.toHost) {
            EXPECT_EQ(Converted(c.toHost, c.wire, c.count), c.host);
        }
    }
}

// Arbitrary bytes survive a trip to the other order and back: both
// directions convert the same fields, those the samples hold at 0 included.
TEST(PduGolden, BothDirectionsConvertTheSameFields) {
    const std::pair<Converter, Converter> pairs[] = {
        {TransmitterPduToNet, TransmitterPduToHost},
        {SignalPduToNet, SignalPduToHost},
        {IcsTransmitterPduToNet, IcsTransmitterPduToHost},
        {IcsSignalPduToNet, IcsSignalPduToHost}};
    std::uint32_t seed = 12345;
    for (const auto& [toNet, toHost] : pairs) {
        for (int round = 0; round < 50; ++round) {
            Bytes host(120), wire(120), back(120);
            for (std::byte& b : host)
                b = static_cast<std::byte>((seed = seed * 1664525u + 1013904223u) >> 24);
            const std::size_t carried = toNet(host, wire);
            ASSERT_GE(carried, 40u);
            ASSERT_EQ(toHost(wire, back), carried);
            EXPECT_TRUE(std::equal(host.begin(), host.begin() + carried, back.begin()));
        }
    }
}

// ---------------------------------------------------------------------------
// The length contract, for each of the ten converters.

struct ConverterCase {
    const char* name;
    Converter convert;
    std::uint8_t type;
    std::size_t fixedSize;  // [bytes]
    bool carriesPayload;
};

const ConverterCase kConverters[] = {
    {"TransmitterPduToNet", TransmitterPduToNet, PDU_TYPE_TRANSMITTER, 104, true},
    {"TransmitterPduToHost", TransmitterPduToHost, PDU_TYPE_TRANSMITTER, 104, true},
    {"SignalPduToNet", SignalPduToNet, PDU_TYPE_SIGNAL, 32, true},
    {"SignalPduToHost", SignalPduToHost, PDU_TYPE_SIGNAL, 32, true},
    {"ReceiverPduToNet", ReceiverPduToNet, PDU_TYPE_RECEIVER, 36, false},
    {"EntityStatePduToHost", EntityStatePduToHost, PDU_TYPE_ENTITY_STATE, 144, false},
    {"IcsTransmitterPduToNet", IcsTransmitterPduToNet, PDU_TYPE_ICS_TRANSMITTER, 40, false},
    {"IcsTransmitterPduToHost", IcsTransmitterPduToHost, PDU_TYPE_ICS_TRANSMITTER, 40, false},
    {"IcsSignalPduToNet", IcsSignalPduToNet, PDU_TYPE_ICS_SIGNAL, 38, true},
    {"IcsSignalPduToHost", IcsSignalPduToHost, PDU_TYPE_ICS_SIGNAL, 38, true},
};

class PduLengthTest : public ::testing::TestWithParam<ConverterCase> {};

TEST_P(PduLengthTest, RefusesASourceOrDestinationShorterThanTheFixedPart) {
    const ConverterCase& c = GetParam();
    EXPECT_EQ(FixedPartSize(c.type), c.fixedSize);
    // Sized exactly, so that AddressSanitizer sees any read past the end.
    Bytes destination(c.fixedSize + 8, std::byte{0xAA});
    EXPECT_EQ(c.convert(Pattern(c.fixedSize - 1), destination), 0u);
    EXPECT_TRUE(AllEqual(destination, std::byte{0}));
    EXPECT_EQ(c.convert({}, destination), 0u);

    Bytes buffer(c.fixedSize + 4, std::byte{0x5A});
    const std::span<std::byte> shortDestination(buffer.data(), c.fixedSize - 1);
    EXPECT_EQ(c.convert(Pattern(c.fixedSize + 8), shortDestination), 0u);
    EXPECT_TRUE(AllEqual(shortDestination, std::byte{0}));
    EXPECT_TRUE(AllEqual(std::span(buffer).subspan(c.fixedSize - 1), std::byte{0x5A}));
    EXPECT_EQ(c.convert(Pattern(c.fixedSize + 8), {}), 0u);
}

TEST_P(PduLengthTest, CopiesThePayloadAsFarAsItFitsZeroFillsTheRestAndWorksInPlace) {
    const ConverterCase& c = GetParam();
    const std::size_t payload = c.carriesPayload ? 8 : 0;
    Bytes exact(c.fixedSize);
    EXPECT_EQ(c.convert(Pattern(c.fixedSize), exact), c.fixedSize);

    Bytes source = Pattern(c.fixedSize + 8);
    std::fill(source.begin() + c.fixedSize, source.end(), std::byte{0x77});
    Bytes roomy(c.fixedSize + 20, std::byte{0xAA});
    EXPECT_EQ(c.convert(source, roomy), c.fixedSize + payload);
    EXPECT_TRUE(AllEqual(std::span(roomy).subspan(c.fixedSize, payload), std::byte{0x77}));
    EXPECT_TRUE(AllEqual(std::span(roomy).subspan(c.fixedSize + payload), std::byte{0}));

    // A destination shorter than the source: nothing written past it.
    const Bytes longSource = Pattern(c.fixedSize + 30);
    Bytes buffer(c.fixedSize + 40, std::byte{0x5A});
    EXPECT_EQ(c.convert(longSource, std::span(buffer.data(), c.fixedSize + 10)),
              c.fixedSize + (c.carriesPayload ? 10 : 0));
    EXPECT_TRUE(std::equal(longSource.begin() + c.fixedSize,
                           longSource.begin() + c.fixedSize + payload,
                           buffer.begin() + c.fixedSize));
    EXPECT_TRUE(AllEqual(std::span(buffer).subspan(c.fixedSize + 10), std::byte{0x5A}));

    // In place as into a separate buffer.
    Bytes inPlace = Pattern(c.fixedSize + 12), separate(c.fixedSize + 12);
    const std::size_t expected = c.convert(inPlace, separate);
    EXPECT_EQ(c.convert(inPlace, inPlace), expected);
    EXPECT_EQ(inPlace, separate);
}

INSTANTIATE_TEST_SUITE_P(AllConverters, PduLengthTest, ::testing::ValuesIn(kConverters),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------

// Scalars: big-endian, and pure byte reversal (NaN payloads kept, which
// arithmetic on the values would not do).
TEST(PduScalar, FloatsAndDoublesKeepEveryBitPattern) {
    const float f = HostToNetFloat(1.0f);
    const double d = HostToNetDouble(1.5);
    EXPECT_EQ(Cat(std::as_bytes(std::span(&f, 1))), Hex("3F 80 00 00"));
    EXPECT_EQ(Cat(std::as_bytes(std::span(&d, 1))), Hex("3F F8 00 00 00 00 00 00"));

    auto floatBack = [](std::uint32_t bits) {
        return std::bit_cast<std::uint32_t>(
            NetToHostFloat(HostToNetFloat(std::bit_cast<float>(bits))));
    };
    for (std::uint32_t bits : {0x7F800001u, 0x7FBFFFFFu, 0xFFC00001u, 0x7F800000u, 0x00000001u,
                               0x807FFFFFu, 0x80000000u, 0x0000807Fu})
        EXPECT_EQ(floatBack(bits), bits) << std::hex << bits;
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 65521)
        if (floatBack(static_cast<std::uint32_t>(bits)) != bits) ADD_FAILURE() << std::hex << bits;

    std::uint64_t bits = 0x7FF0000000000001u;  // a signalling NaN first
    for (int i = 0; i < 100000; ++i, bits = bits * 6364136223846793005u + 1442695040888963407u)
        ASSERT_EQ(std::bit_cast<std::uint64_t>(
                      NetToHostDouble(HostToNetDouble(std::bit_cast<double>(bits)))),
                  bits);
}

TEST(PduConstants, UnknownTypesNetworkBitsAndWholeRecords) {
    for (int type : {0, 2, 255})
        EXPECT_EQ(FixedPartSize(static_cast<std::uint8_t>(type)), 0u) << type;

    // Audio uses the high half when any of bits 16 to 23 is set; bit 23
    // alone selects the high half, which names no network.
    constexpr std::uint32_t both = NET_PRIMARY | NET_SECONDARY;
    const std::tuple<std::uint32_t, std::uint8_t, std::uint32_t> cases[] = {
        {0x3, PDU_TYPE_TRANSMITTER, both},
        {0x3, PDU_TYPE_SIGNAL, both},
        {0x10001, PDU_TYPE_TRANSMITTER, NET_PRIMARY},
        {0x10001, PDU_TYPE_SIGNAL, NET_PRIMARY},
        {0x20001, PDU_TYPE_SIGNAL, NET_SECONDARY},
        {0x20001, PDU_TYPE_ICS_SIGNAL, NET_SECONDARY},
        {0x20001, PDU_TYPE_ICS_TRANSMITTER, NET_PRIMARY},
        {0x10000, PDU_TYPE_TRANSMITTER, 0},
        {0x800003, PDU_TYPE_SIGNAL, 0},
        {0x1000003, PDU_TYPE_SIGNAL, both},
        {NET_LOOPBACK | NET_HLA, PDU_TYPE_SIGNAL, 0}};
    for (const auto& [flags, type, bits] : cases)
        EXPECT_EQ(NetworkBits(flags, type), bits) << std::hex << flags << " type " << int(type);

    const Bytes host = Samples().rxHost;
    EXPECT_FALSE(ReadRecord<ReceiverPdu>(std::span(host).first(35)).has_value());
    ASSERT_TRUE(ReadRecord<ReceiverPdu>(host).has_value());
    EXPECT_EQ(ReadRecord<ReceiverPdu>(host)->transmitterRadioId.radioNumber, 0x3637);
}

}  // namespace
