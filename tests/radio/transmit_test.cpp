// The sending half: keying, the Transmitter, Signal and Receiver PDUs field
// by field, sample processing, splitting and the transmit delay.

#include "base/thread_kinds.h"
#include "codecs/codec.h"
#include "hcyplat/crt.h"
#include "hcyplat/thread_boundary.h"
#include "radio_fixture.h"

namespace {

using hcy::net::ReceiverPdu;
using hcy::net::SignalPdu;
using hcy::net::TransmitterPdu;
using hcytest::RadioTest;

std::vector<std::int16_t> Ramp(std::size_t n) {
    std::vector<std::int16_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::int16_t>((i * 37) % 2000 - 1000);
    return v;
}

class Transmit : public RadioTest {
protected:
    // Keyed by `source` first: a radio that is not keyed sends nothing.
    void Send(const std::vector<std::int16_t>& block, std::uint16_t source = 10) {
        radio->SetPTT(1, source);
        radio->TransmitAudio(block.data(), static_cast<std::uint32_t>(block.size() * 2), 16000,
                             source);
    }
    // PCM sample `i` of Signal PDU `k` sent so far.
    std::int16_t Sample(std::size_t k, std::size_t i = 0) {
        std::int16_t v;
        std::memcpy(&v, Pdus(26).at(k).data() + 32 + 2 * i, 2);
        return v;
    }
};

TEST_F(Transmit, SignalPduPerEncoding) {
    struct Case {
        int encoding;
        std::uint16_t wire, dataBytes;
        hcy::CodecKind codec;
    };
    const auto block = Ramp(1024);  // 2048 bytes
    for (const Case& c :
         {Case{4, 4, 2048, hcy::CodecKind::Pcm}, Case{1, 1, 1024, hcy::CodecKind::MuLaw},
          Case{2, 2, 128, hcy::CodecKind::Cvsd}, Case{3, 3, 512, hcy::CodecKind::Adpcm},
          Case{7, 2, 128, hcy::CodecKind::CecomCvsd}}) {
        SCOPED_TRACE(c.encoding);
        auto fresh = std::make_shared<hcytest::TestRadio>();
        fresh->SetRadioId(1, 2, 3, 4);
        fresh->SetFrequency(30e6, 30e6);
        fresh->SetExerciseId(0x105);  // the low 8 bits travel
        ASSERT_EQ(fresh->SetEncoding(c.encoding), 1);
        plat::AdvanceClock(3);
        Clear();
        fresh->TransmitAudio(block.data(), 2048, 16000, 10);
        EXPECT_EQ(Pdus(hcy::net::PDU_TYPE_SIGNAL).size(), 0u);  // not keyed: silent
        fresh->SetPTT(1, 10);
        Clear();
        fresh->TransmitAudio(block.data(), 2048, 16000, 10);
        const auto pdus = Pdus(hcy::net::PDU_TYPE_SIGNAL);
        ASSERT_EQ(pdus.size(), 1u);
        ASSERT_EQ(pdus[0].size(), 32u + c.dataBytes);
        // Timestamp: tick count [ms] x 1192; data length in bits; one sample per input sample.
        const SignalPdu want{{6, 5, hcy::net::PDU_TYPE_SIGNAL, 4, plat::GetTickCount() * 1192u,
                              static_cast<std::uint16_t>(32 + c.dataBytes), 0},
                             {{1, 2, 3}, 4},
                             c.wire,
                             0,
                             16000,
                             static_cast<std::uint16_t>(c.dataBytes * 8),
                             1024};
        const auto wantBytes = hcy::net::RecordBytes(want);
        EXPECT_EQ(std::vector<std::byte>(pdus[0].begin(), pdus[0].begin() + 32),
                  std::vector<std::byte>(wantBytes.begin(), wantBytes.end()));
        // The payload is what a fresh coder of that kind makes of the block.
        hcy::CodecSet reference;
        std::vector<std::uint8_t> expected(c.dataBytes);
        reference.Encode(c.codec, block, expected);
        EXPECT_EQ(std::memcmp(pdus[0].data() + 32, expected.data(), c.dataBytes), 0);
        EXPECT_EQ(Outgoing().back().request.length, 32u + c.dataBytes);
        EXPECT_EQ(Outgoing().back().request.senderName, "hcyRadio.1-2-3-4");
    }
}

TEST_F(Transmit, LongBlocksAreSplitIntoPdusThatFit) {
    const auto block = Ramp(10000);
    Send(block);
    auto pdus = Pdus(hcy::net::PDU_TYPE_SIGNAL);
    ASSERT_EQ(pdus.size(), 3u);
    std::size_t at = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        const std::uint16_t n =
            k < 2 ? 4080 : 1840;  // the most 16-bit samples that fit in 8192 bytes
        EXPECT_EQ(As<SignalPdu>(pdus[k]).sampleCount, n);
        EXPECT_EQ(As<SignalPdu>(pdus[k]).dataLengthBits, n * 16);
        EXPECT_LE(pdus[k].size(), 8192u);
        EXPECT_EQ(std::memcmp(pdus[k].data() + 32, block.data() + at, n * 2u),
                  0);  // little-endian PCM
        at += n;
    }
    EXPECT_EQ(radio->GetSignalPduCount(), 3u);
}

TEST_F(Transmit, TransmitterPduFields) {
    radio->SetNet(0x1234);
    radio->SetBandwidth(25000.0f);
    radio->SetXmitPower(40.0);
    radio->SetFrequency(30e6, 4294967296.0 + 5.0);  // needs the high word
    Clear();
    ASSERT_EQ(radio->SetPTT(1, 0x101FF), 1);  // a word above 16 bits
    auto pdus = Pdus(hcy::net::PDU_TYPE_TRANSMITTER);
    ASSERT_EQ(pdus.size(), 1u);
    ASSERT_EQ(pdus[0].size(), 104u + 16u);
    const auto pdu = As<TransmitterPdu>(pdus[0]);
    EXPECT_EQ(pdu.header.pduType, 25);
    EXPECT_EQ(pdu.header.length, 120);
    EXPECT_EQ(pdu.transmitState, 2);
    EXPECT_EQ(pdu.inputSource, 0xFF);  // low 8 bits of the source word on the wire
    EXPECT_EQ(pdu.netNumber, 0x1234);
    EXPECT_EQ(pdu.frequencyHigh, 1u);
    EXPECT_EQ(pdu.frequencyLow, 5u);
    EXPECT_EQ(pdu.bandwidth, 25000.0f);
    EXPECT_EQ(pdu.power, 40.0f);
    EXPECT_EQ(pdu.radioEntityType.kind, 7);
    EXPECT_EQ(pdu.modulation.major, 3);
    EXPECT_EQ(pdu.modulation.detail, 1);
    EXPECT_EQ(pdu.modulation.system, 1);
    EXPECT_EQ(pdu.antennaLocation.x, 6378137.0);
    EXPECT_EQ(pdu.modulationParameterLength, 16);
    EXPECT_EQ(static_cast<std::uint8_t>(pdus[0][104 + 1]), 1);  // FH net id 1
    EXPECT_EQ(radio->GetXmitPduCount(), 1u);

    // Heartbeat while keyed, release, heartbeat, heartbeat when off.
    Clear();
    radio->Heartbeat();
    radio->SetPTT(0, 0x1FF);  // not the word that keyed (its low 16 bits only)
    radio->Heartbeat();
    radio->SetPTT(0, 0x101FF);
    radio->Heartbeat();
    radio->SetOnOff(0);
    radio->Heartbeat();
    std::vector<int> states;
    for (const auto& p : Pdus(25)) states.push_back(As<TransmitterPdu>(p).transmitState);
    EXPECT_EQ(states, (std::vector<int>{2, 2, 1, 1, 0}));
}

// PTT belongs to the source word that keyed; keying a half-duplex radio
// blocks what it hears.
TEST_F(Transmit, OnlyTheKeyingSourceReleases) {
    Hear({});
    ASSERT_EQ(radio->SetPTT(1, 10), 1);
    EXPECT_TRUE(Path().noiseMuted);
    EXPECT_EQ(radio->SetPTT(1, 12), 1);  // a second source: nothing
    EXPECT_EQ(radio->SetPTT(0, 12), 1);  // nor its release
    EXPECT_EQ(radio->Keyed(), 1);
    EXPECT_TRUE(Path().noiseMuted);
    EXPECT_EQ(Pdus(25).size(), 1u);
    Send(Ramp(64));
    EXPECT_EQ(radio->GetSignalPduCount(), 1u);
    radio->SetPTT(0, 10);
    EXPECT_EQ(radio->Keyed(), 0);
    EXPECT_FALSE(Path().noiseMuted);
    EXPECT_EQ(radio->GetSignalPduCount(), 0u);
    EXPECT_EQ(As<TransmitterPdu>(Pdus(25).back()).transmitState, 1);

    // Source word 0 keys and releases like any other.
    radio->SetPTT(1, 0);
    EXPECT_EQ(radio->Keyed(), 1);
    radio->SetPTT(0, 0);
    EXPECT_EQ(radio->Keyed(), 0);

    // Off or inhibited radios cannot be keyed (and block nothing); switching
    // off releases.
    radio->SetPTT(1, 10);
    radio->SetOnOff(0);
    EXPECT_EQ(radio->Keyed(), 0);
    radio->SetPTT(1, 10);
    EXPECT_EQ(radio->Keyed(), 0);
    EXPECT_FALSE(Path().noiseMuted);
    radio->SetOnOff(1);
    std::uint32_t inhibit = 2;
    radio->SetRadioData(205, &inhibit);
    radio->SetPTT(1, 10);
    EXPECT_EQ(radio->Keyed(), 0);

    // Full duplex: keying mutes nothing.
    inhibit = 0;
    radio->SetRadioData(205, &inhibit);
    std::uint32_t full = 1;
    radio->SetRadioData(229, &full);
    radio->SetPTT(1, 10);
    EXPECT_EQ(radio->Keyed(), 1);
    EXPECT_FALSE(Path().noiseMuted);
}

TEST_F(Transmit, ZeroTransmitFrequencyReleasesAndRefusesBlocks) {
    radio->SetPTT(1, 10);
    Clear();
    radio->SetFrequency(30e6, 0.0);
    auto pdus = Pdus(25);
    ASSERT_EQ(pdus.size(), 2u);
    EXPECT_EQ(As<TransmitterPdu>(pdus[0]).transmitState, 2);
    EXPECT_EQ(As<TransmitterPdu>(pdus[0]).frequencyLow, 0u);
    EXPECT_EQ(As<TransmitterPdu>(pdus[1]).transmitState, 1);
    radio->SetFrequency(30e6, 0.0);  // unchanged: no PDU
    EXPECT_EQ(Pdus(25).size(), 2u);
    Send(Ramp(256));
    EXPECT_TRUE(Pdus(26).empty());
    float level = 1;
    radio->SetPTT(1, 10);
    radio->GetRadioData(104, &level);
    EXPECT_EQ(level, 0.0f);
    // Hopping radios send on frequency 0.
    radio->Params().spreadSpectrum = 1;
    std::uint32_t never = 0;
    radio->SetRadioData(220, &never);  // no hop noise
    Send(Ramp(256));
    EXPECT_EQ(Pdus(26).size(), 1u);
    // Empty and one-byte blocks are silence, not a PDU.
    radio->TransmitAudio(Ramp(1).data(), 1, 16000, 10);
    EXPECT_EQ(Pdus(26).size(), 1u);
    // Fractions are cut to whole hertz.
    radio->SetFrequency(30e6, 30000000.7);
    EXPECT_EQ(As<TransmitterPdu>(Pdus(25).back()).frequencyLow, 30000000u);
    // Without a network manager nothing leaves, and nothing is counted.
    hcy::radio::SetNetMgrHookForTest({});
    Send(Ramp(64));
    EXPECT_EQ(radio->GetSignalPduCount(), 1u);
}

TEST_F(Transmit, GainShiftAndZeroWorkOnACopy) {
    std::vector<std::int16_t> block(32, 10000);
    block[1] = -10000;
    block[2] = -16;
    const auto original = block;
    float gain = 4.0f;
    radio->SetRadioData(224, &gain);
    Send(block);
    EXPECT_EQ(Sample(0, 0), 32767);
    EXPECT_EQ(Sample(0, 1), -32768);
    EXPECT_EQ(block, original);  // the caller's block is untouched

    gain = 0.5f;  // 1.0 and below: unchanged
    radio->SetRadioData(224, &gain);
    std::uint32_t shift = 4;
    radio->SetRadioData(205, &shift);
    Send(block);
    EXPECT_EQ(Sample(1, 0), 10000 >> 4);
    EXPECT_EQ(Sample(1, 2), -1);  // arithmetic shift
    std::uint32_t zero = 8;
    radio->SetRadioData(205, &zero);
    Send(block);
    EXPECT_EQ(Sample(2, 0), 0);
}

TEST_F(Transmit, HopNoiseStaysInsideTheBlock) {
    radio->Params().spreadSpectrum = 1;
    std::uint32_t always = 0x8000, bytes = 100000, shift = 40;
    radio->SetRadioData(220, &always);
    radio->SetRadioData(221, &bytes);
    radio->SetRadioData(222, &shift);  // kept below 32
    std::vector<std::int16_t> block(4, 0x1111);
    plat::srand(1);
    Send(block);
    auto pdus = Pdus(26);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0].size(), 32u + 8u);
    // Every byte replaced by (rand >> 31) & 0xFF = 0.
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(static_cast<int>(pdus[0][32 + i]), 0);
}

TEST_F(Transmit, DelayedPdusKeepTheirOrder) {
    radio->SetTransmitDelay(200);
    radio->SetPTT(1, 10);
    EXPECT_EQ(radio->GetXmitPduCount(), 1u);  // counted at once
    for (int i = 0; i < 5; ++i) {
        Send(std::vector<std::int16_t>(16, static_cast<std::int16_t>(i)));
        plat::AdvanceClock(20);
    }
    EXPECT_TRUE(Pdus(25).empty());
    plat::AdvanceClock(99);
    EXPECT_TRUE(Pdus(25).empty());
    plat::AdvanceClock(1);  // 200 ms after the keying and the first block
    EXPECT_EQ(Pdus(25).size(), 1u);
    EXPECT_EQ(Pdus(26).size(), 1u);
    plat::AdvanceClock(100);
    ASSERT_EQ(Pdus(26).size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(Sample(i), static_cast<std::int16_t>(i));
    // A shorter delay never lets a PDU overtake one still waiting.
    radio->SetTransmitDelay(500);
    Send(std::vector<std::int16_t>(16, 100));
    radio->SetTransmitDelay(10);
    Send(std::vector<std::int16_t>(16, 101));
    plat::AdvanceClock(499);
    EXPECT_EQ(Pdus(26).size(), 5u);
    plat::AdvanceClock(10);
    EXPECT_EQ(Pdus(26).size(), 7u);
    // Shut-down drops what is still waiting.
    Send(std::vector<std::int16_t>(16, 102));
    radio->Shutdown();
    plat::AdvanceClock(1000);
    EXPECT_EQ(Pdus(26).size(), 7u);
}

// A service of the delay queue that throws sends nothing; the PDUs wait for
// the next service (5 ms later).
TEST_F(Transmit, AnExceptionInTheDelayQueueDelaysItsPdusByOneService) {
    radio->SetTransmitDelay(20);
    radio->SetPTT(1, 10);
    Send(std::vector<std::int16_t>(16, 7));
    plat::AdvanceClock(15);
    theApp.ClearError();
    plat::InjectThreadFaultForTest(hcy::boundary::kDelayQueue);
    plat::AdvanceClock(5);
    EXPECT_EQ(theApp.LastError(), std::string("HCY ERROR: Error while ") +
                                      hcy::boundary::kDelayQueue + ": injected fault");
    EXPECT_TRUE(Pdus(26).empty());
    plat::AdvanceClock(5);
    ASSERT_EQ(Pdus(26).size(), 1u);
    EXPECT_EQ(Sample(0), 7);
}

TEST_F(Transmit, ReceiverPdusOnHeartbeatAndOnChange) {
    hcy::Library().m_nEnablePDUs = 1;
    radio->Heartbeat();
    auto receivers = Pdus(27);
    ASSERT_EQ(receivers.size(), 1u);
    EXPECT_EQ(As<ReceiverPdu>(receivers[0]).receiverState, 1);

    Hear({});  // heard: state 2
    receivers = Pdus(27);
    ASSERT_EQ(receivers.size(), 2u);
    const auto heard = As<ReceiverPdu>(receivers[1]);
    EXPECT_EQ(heard.receiverState, 2);
    EXPECT_EQ(heard.transmitterRadioId.entityId.site, 10);
    EXPECT_NEAR(heard.receivedPower, 8.58e-8, 0.01e-8);
    // The same again: no change, nothing sent; a heartbeat always sends.
    Hear({});
    EXPECT_EQ(Pdus(27).size(), 2u);
    radio->Heartbeat();
    EXPECT_EQ(Pdus(27).size(), 3u);
    // Half duplex and keyed: reported as idle.
    radio->SetPTT(1, 10);
    Hear({});
    EXPECT_EQ(As<ReceiverPdu>(Pdus(27).back()).receiverState, 1);
}

TEST_F(Transmit, HlaNoticesOnlyForHlaRadios) {
    radio->SetXmitPower(30.0);
    radio->SetPTT(1, 10);
    EXPECT_TRUE(Notices().empty());
    radio->SetHlaObjectHandle(42);
    radio->SetNetworkMode(NET_HLA);
    radio->SetXmitPower(31.0);
    radio->SetXmitPower(31.0);  // unchanged: no notice
    radio->SetPTT(0, 10);
    radio->SetRadioId(1, 2, 3, 9);
    auto notices = Notices();
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].message, hcy::WM_NETMGR_HLA_UPDATE_ATTRIBUTES);
    EXPECT_EQ(notices[0].wParam, 42u);
    EXPECT_EQ(notices[0].lParam, 0x40000);
    EXPECT_EQ(notices[1].lParam, 0x80000);
    EXPECT_EQ(notices[2].lParam, 0x1000);  // radio number only
    radio->SetHlaAttributeMask(0, 0x1000);
    radio->SetRadioId(1, 2, 3, 10);
    EXPECT_EQ(Notices().size(), 3u);
}

TEST_F(Transmit, HlaRecordOfTheRadio) {
    radio->SetFrequency(30e6, 30000000.7);
    radio->SetBandwidth(25000.0f);
    HlaTransmitterRecord r;
    radio->GetHlaTransmitterRecord(r);
    EXPECT_EQ(r.instanceName, "hcyRadio.1-2-3-4");
    EXPECT_EQ(r.site, 1);
    EXPECT_EQ(r.entity, 3);
    EXPECT_EQ(r.radioIndex, 4);
    EXPECT_EQ(r.frequencyHigh, 0u);
    EXPECT_EQ(r.frequencyLow, 30000000u);  // whole hertz
    EXPECT_EQ(r.bandwidth, 25000.0f);
    EXPECT_EQ(r.hostObjectId, "");
    EXPECT_EQ(r.operationalStatus, 1);  // on, not keyed
    radio->SetPTT(1, 0x1234);
    radio->GetHlaTransmitterRecord(r);
    EXPECT_EQ(r.operationalStatus, 2);
    EXPECT_EQ(r.inputSource, 0x34);
    radio->SetOnOff(0);
    radio->GetHlaTransmitterRecord(r);
    EXPECT_EQ(r.operationalStatus, 0);
}

}  // namespace
