// The RPR FOM 1.0 byte codec: every transmitter attribute and every signal
// parameter against hand-written wire bytes, the length rules of reflected
// values, and what makes a received signal usable.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hla/rpr_codec.h"
#include "net/pdu.h"

namespace {

using namespace hcy::hla;

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s.push_back(static_cast<char>(v));
    return s;
}

HlaTransmitterRecord Sample() {
    HlaTransmitterRecord r;
    r.site = 1, r.application = 2, r.entity = 3;
    r.hostObjectId = "ab";
    r.relativeX = 1.0f, r.relativeY = -2.0f, r.relativeZ = 0.5f;
    r.antennaPatternData = 0x01020304;
    r.cryptographicMode = 5;
    r.cryptoSystem = 0x0102;
    r.cryptoKey = 0x0A0B;
    r.frequencyHigh = 0, r.frequencyLow = 30000000;
    r.bandwidth = 25000.0f;
    r.frequencyHop = 1;
    r.modulationParameters = {1, 2, 3};
    r.radioIndex = 4;
    r.inputSource = 7;
    r.systemKind = 7, r.systemDomain = 2, r.systemCountry = 225;
    r.systemCategory = 5, r.systemNomenclatureVersion = 1, r.systemNomenclature = 0x0123;
    r.modulationSystem = 1;
    r.majorModulation = 3, r.detailModulation = 1;
    r.timeHop = 1;
    r.power = 40.0f;
    r.operationalStatus = 2;
    r.worldX = 1.0, r.worldY = 2.0, r.worldZ = -3.0;
    return r;
}

// The sample's attributes on the wire, in bit order.
const std::vector<std::string> kWire = {
    Bytes({0, 1, 0, 2, 0, 3}),
    Bytes({'a', 'b', 0}),
    Bytes({0x3F, 0x80, 0, 0, 0xC0, 0, 0, 0, 0x3F, 0, 0, 0}),
    Bytes({1, 2, 3, 4}),
    Bytes({0, 0, 0, 5}),
    Bytes({1, 2}),
    Bytes({0x0A, 0x0B}),
    Bytes({0, 0, 0, 0, 0x01, 0xC9, 0xC3, 0x80}),
    Bytes({0x46, 0xC3, 0x50, 0}),
    Bytes({1}),
    Bytes({1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
    Bytes({0}),
    Bytes({0, 4}),
    Bytes({7}),
    Bytes({7, 2, 0, 0xE1, 5, 1, 0x01, 0x23}),
    Bytes({0, 1}),
    Bytes({0, 3, 0, 1}),
    Bytes({1}),
    Bytes({0x42, 0x20, 0, 0}),
    Bytes({2}),
    Bytes({0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x08, 0, 0, 0, 0, 0, 0})};

TEST(RprCodec, EveryAttributeEncodesToItsWireBytesAndDecodesBack) {
    ASSERT_EQ(kWire.size(), kHlaAttributeCount);
    const HlaTransmitterRecord sample = Sample();
    HlaTransmitterRecord back;
    std::string out;
    for (unsigned bit = 0; bit < kHlaAttributeCount; ++bit) {
        EncodeAttribute(bit, sample, out);
        EXPECT_EQ(out, kWire[bit]) << kTransmitterAttributeNames[bit];
        EXPECT_TRUE(DecodeAttribute(bit, kWire[bit].data(), kWire[bit].size(), back))
            << kTransmitterAttributeNames[bit];
    }
    // Everything but the modulation parameters (never kept) comes back.
    HlaTransmitterRecord expected = sample;
    expected.modulationParameters.clear();
    for (unsigned bit = 0; bit < kHlaAttributeCount; ++bit) {
        EncodeAttribute(bit, back, out);
        std::string want;
        EncodeAttribute(bit, expected, want);
        EXPECT_EQ(out, want) << kTransmitterAttributeNames[bit];
    }
    // An empty host object identifier is the single byte 0; a value
    // without its 0 is taken whole.
    HlaTransmitterRecord empty;
    EncodeAttribute(1, empty, out);
    EXPECT_EQ(out, Bytes({0}));
    ASSERT_TRUE(DecodeAttribute(1, "xyz", 3, back));
    EXPECT_EQ(back.hostObjectId, "xyz");
}

TEST(RprCodec, ReflectedValuesOfTheWrongLengthAreDropped) {
    // Each attribute's accepted length, and whether longer ones pass too.
    const struct {
        std::size_t size;
        bool longer;
    } rules[kHlaAttributeCount] = {
        {6, false}, {1, true},  {12, false}, {4, true}, {4, false}, {2, false}, {2, false},
        {8, false}, {4, false}, {1, true},   {1, true}, {1, true},  {2, false}, {1, false},
        {8, false}, {2, false}, {4, false},  {1, true}, {4, false}, {1, false}, {24, false}};
    const std::string room(32, '\x01');
    for (unsigned bit = 0; bit < kHlaAttributeCount; ++bit) {
        HlaTransmitterRecord r;
        const std::size_t n = rules[bit].size;
        EXPECT_FALSE(DecodeAttribute(bit, room.data(), n - 1, r)) << "short " << bit;
        EXPECT_EQ(DecodeAttribute(bit, room.data(), n + 2, r), rules[bit].longer) << "long " << bit;
        EXPECT_TRUE(DecodeAttribute(bit, room.data(), n, r)) << bit;
    }
    HlaTransmitterRecord r;
    EXPECT_FALSE(DecodeAttribute(21, room.data(), 4, r));
}

TEST(RprCodec, TransmitterPduGivesItsFieldsAndTheSameFrequencyBytes) {
    hcy::net::TransmitterPdu pdu{};
    pdu.radioId = {{1, 2, 3}, 4};
    pdu.transmitState = 2;
    pdu.inputSource = 9;
    pdu.setFrequency(0x0000000501C9C380ull);
    pdu.modulation = {0x5, 3, 1, 1};
    pdu.power = 40.0f;
    const HlaTransmitterRecord r = RecordFromTransmitterPdu(pdu);
    std::string out;
    EncodeAttribute(7, r, out);
    EXPECT_EQ(out, Bytes({0, 0, 0, 5, 0x01, 0xC9, 0xC3, 0x80}));
    EncodeAttribute(0, r, out);
    EXPECT_EQ(out, Bytes({0, 1, 0, 2, 0, 3}));
    EncodeAttribute(1, r, out);
    EXPECT_EQ(out, Bytes({0}));
    EXPECT_EQ(r.radioIndex, 4);
    EXPECT_EQ(r.operationalStatus, 2);
    EXPECT_EQ(r.inputSource, 9);
    EXPECT_EQ(r.frequencyHop, 1);
    EXPECT_EQ(r.pseudoNoise, 0);
    EXPECT_EQ(r.timeHop, 1);
}

TEST(RprCodec, SignalParametersFromANetworkOrderPduAndBack) {
    // A Signal PDU's fixed part in network order: encoding 4, TDL 0, rate
    // 16000, 64 bits, 4 samples; the entity and radio ids are not sent.
    std::string pdu(32, '\x55');
    const std::string tail = Bytes({0, 4, 0, 0, 0, 0, 0x3E, 0x80, 0, 0x40, 0, 4});
    pdu.replace(20, 12, tail);
    HlaSignalRecord s;
    ASSERT_TRUE(ReadNetSignalFields(reinterpret_cast<const unsigned char*>(pdu.data()), 32, s));
    EXPECT_FALSE(ReadNetSignalFields(reinterpret_cast<const unsigned char*>(pdu.data()), 31, s));
    std::string out;
    EncodeSignalParameter(kHostRadioIndex, s, "r1", out);
    EXPECT_EQ(out, Bytes({'r', '1', 0}));
    EncodeSignalParameter(kTransmitterSignalEncodingType, s, "", out);
    EXPECT_EQ(out, Bytes({0, 0, 0, 4}));
    EncodeSignalParameter(kSignalSampleRate, s, "", out);
    EXPECT_EQ(out, Bytes({0, 0, 0x3E, 0x80}));
    EncodeSignalParameter(kSampleCount, s, "", out);
    EXPECT_EQ(out, Bytes({0, 4}));
    EncodeSignalParameter(kSignalDataLength, s, "", out);
    EXPECT_EQ(out, Bytes({0, 0x40}));

    ReceivedSignal got;
    const std::string encoding = Bytes({0, 1, 0, 4});
    got.Take(kTransmitterSignalEncodingType, encoding.data(), 4);
    got.Take(kSignalSampleRate, "\0\0\x3E\x80", 4);
    got.Take(kSampleCount, "\x01", 1);  // too short: ignored
    EXPECT_FALSE(got.Usable());         // no audio
    got.Take(kSampleCount, "\0\x04", 2);
    got.Take(kSignalDataLength, "\0\x40", 2);
    got.Take(kHostRadioIndex, "r1\0junk", 7);
    got.Take(kSignalData, "12345678", 8);
    EXPECT_EQ(got.record.encodingScheme, 4);
    EXPECT_EQ(got.record.sampleRate, 16000u);
    EXPECT_EQ(got.record.sampleCount, 4);
    EXPECT_EQ(got.senderName, "r1");
    EXPECT_TRUE(got.Usable());
    // A data length beyond the audio received, or no rate, is not.
    got.Take(kSignalDataLength, "\0\x48", 2);
    EXPECT_FALSE(got.Usable());
    got.Take(kSignalDataLength, "\0\x40", 2);
    got.Take(kSignalSampleRate, "\0\0\0\0", 4);
    EXPECT_FALSE(got.Usable());
    // Audio is kept up to what a 16-bit data length can describe.
    const std::string huge(20000, 'a');
    got.Take(kSignalData, huge.data(), huge.size());
    EXPECT_EQ(got.audio.size(), kMaxSignalDataBytes);
}

}  // namespace
