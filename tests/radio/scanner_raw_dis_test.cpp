// The scanner and the raw DIS radio, fed Signal PDUs by hand: whom each
// hears, at what signal, for how long, and how it decodes.
#include "codecs/codec.h"
#include "halcyra/halcyra.h"
#include "model_fixture.h"

namespace {

using hcytest::Deliver;
using hcytest::MakeSignalPdu;
using hcytest::MakeTransmitterPdu;
using hcytest::StandInDevice;
using hcytest::TransmitterSpec;
using RadioId = hcy::net::RadioId;

class Listeners : public hcytest::ModelTest {
protected:
    void Speak(CRadioModel& model, const RadioId& id, std::uint8_t exercise = 1) {
        Deliver(model, MakeSignalPdu(id, 4, std::vector<std::uint8_t>(64, 1), 32, 16000, exercise));
    }
    // The records the path was asked to play, in order of first start.
    static std::vector<const CReceive*> Heard(const hcytest::StandInPath& path) {
        std::vector<const CReceive*> out;
        for (const auto& w : path.writes)
            if (std::find(out.begin(), out.end(), w.record) == out.end()) out.push_back(w.record);
        return out;
    }
};

const RadioId kA{{10, 20, 30}, 1}, kB{{10, 20, 31}, 1}, kC{{10, 20, 32}, 1};

TEST_F(Listeners, ScannerPlaysEverySenderOfItsExercisesForGood) {
    std::size_t p = 0;
    auto scanner = Make(RADIO_TYPE_SCANNER, &p);
    // A Transmitter PDU, on any frequency, makes nothing.
    Deliver(*scanner, MakeTransmitterPdu(TransmitterSpec{.id = kC}));
    EXPECT_EQ(scanner->GetReceiveCount(), 0u);

    Speak(*scanner, kA);
    Speak(*scanner, kB);
    Speak(*scanner, kA);
    Speak(*scanner, kC, 2);  // another exercise
    ASSERT_EQ(Heard(Path(p)).size(), 2u);
    EXPECT_EQ(Path(p).writes.size(), 3u);
    EXPECT_EQ(Path(p).gains.size(), 2u);  // started once, at its first PDU
    const CReceive* a = Heard(Path(p))[0];
    EXPECT_EQ(a->GetTransmitterId(), kA);
    EXPECT_EQ(a->GetSignal(), 1.0);
    EXPECT_FALSE(a->IsSquelchOpen());

    std::uint32_t extra[] = {1, 2};
    scanner->SetRadioData(RD_EXTRA_EXERCISES, extra);
    Speak(*scanner, kC, 2);
    EXPECT_EQ(Heard(Path(p)).size(), 3u);
    scanner->SetOnOff(0);
    Speak(*scanner, kA);
    EXPECT_EQ(Path(p).writes.size(), 4u);
    scanner->SetOnOff(1);

    // Never timed out, never re-tuned or re-squelched.
    for (int i = 0; i < 3; ++i) scanner->SweepReceiveTimeouts();
    scanner->SetFrequency(31e6, 31e6);
    scanner->SetSquelchLevel(1.0f);
    EXPECT_EQ(scanner->GetReceiveCount(), 3u);
    EXPECT_TRUE(Path(p).stops.empty());
    Speak(*scanner, kB);
    EXPECT_EQ(Path(p).writes.back().record, Heard(Path(p))[1]);
}

// The scanner's records are never squelch-open, so a new master volume and
// a path attached later must still reach every sender heard so far; a data
// device gets the audio itself.
TEST_F(Listeners, ScannerVolumeAndLaterPathsReachEverySender) {
    std::size_t p = 0;
    auto scanner = Make(RADIO_TYPE_SCANNER, &p);
    Speak(*scanner, kA);
    Speak(*scanner, kB);
    Path(p).gains.clear();
    ASSERT_EQ(scanner->SetMasterVolume(0.5f), 1);
    EXPECT_EQ(Path(p).gains.size(), 2u);
    EXPECT_EQ(scanner->GetMasterVolume(), 0.5);

    StandInDevice data(CDevice::Kind::Data);
    const std::size_t q = paths_.size();
    scanner->AttachRecvPath(&data, 0);
    EXPECT_EQ(Path(q).gains.size(), 2u);
    Speak(*scanner, kA);
    EXPECT_EQ(data.receivedBlocks, 1);
    EXPECT_EQ(data.receivedBytes, 64);
    EXPECT_TRUE(Path(q).writes.empty());
}

TEST_F(Listeners, RawDisPlaysTheChosenSenderAtItsSignal) {
    std::size_t p = 0;
    auto raw = Make(RADIO_TYPE_RAW_DIS, &p);
    Speak(*raw, kA);
    EXPECT_TRUE(Path(p).writes.empty());
    EXPECT_EQ(raw->SetSNR(10, 20, 30, 1, 0.25f), 1);

    // Transmitter PDUs count for nothing; distance and frequency neither.
    Deliver(*raw, MakeTransmitterPdu(TransmitterSpec{.id = kA, .state = 1, .frequency = 1}));
    Deliver(*raw, MakeTransmitterPdu(TransmitterSpec{.id = kB}));
    EXPECT_EQ(raw->GetReceiveCount(), 1u);
    raw->SetOnOff(0);  // not asked
    Speak(*raw, kA);
    Speak(*raw, kB);
    Speak(*raw, kA, 2);  // another exercise, extra ones included
    std::uint32_t extra[] = {1, 2};
    raw->SetRadioData(RD_EXTRA_EXERCISES, extra);
    Speak(*raw, kA, 2);
    ASSERT_EQ(Path(p).writes.size(), 1u);
    const CReceive* fixed = Path(p).writes[0].record;
    EXPECT_EQ(fixed->GetTransmitterId(), kA);
    EXPECT_EQ(fixed->GetSignal(), 0.25);  // the gain: 0.25 x the master volume
    EXPECT_EQ(Started(Path(p)), fixed);
    EXPECT_EQ(Activity(), (std::vector<std::pair<plat::WPARAM, plat::LPARAM>>{{8, 1}}));
    std::uint32_t audible = 0;
    raw->GetRadioData(RD_AUDIBLE_COUNT, &audible);
    EXPECT_EQ(audible, 1u);

    // The radio's own identifiers are never played.
    raw->SetSNR(1, 2, 3, 9, 1.0f);
    Speak(*raw, {{1, 2, 3}, 9});
    EXPECT_EQ(Path(p).writes.size(), 1u);
    raw->Shutdown();
}

// Retuning, nets and squelch keep the signal SetSNR gave; keying only
// mutes; nothing is ever sent.
TEST_F(Listeners, RawDisKeepsItsSignalAndSendsNothing) {
    std::size_t p = 0;
    auto raw = Make(RADIO_TYPE_RAW_DIS, &p);
    hcy::Library().m_nEnablePDUs = 1;  // Receiver PDUs too
    raw->SetSNR(10, 20, 30, 1, 0.5f);
    Speak(*raw, kA);
    const CReceive* fixed = Started(Path(p));
    ASSERT_NE(fixed, nullptr);
    raw->SetFrequency(31e6, 31e6);
    raw->SetNet(4);
    raw->SetSquelchLevel(0.9f);
    EXPECT_EQ(fixed->GetSignal(), 0.5);
    EXPECT_TRUE(fixed->IsSquelchOpen());
    EXPECT_TRUE(Path(p).stops.empty());

    EXPECT_EQ(raw->SetPTT(1, 2), 1);
    EXPECT_TRUE(Path(p).noiseMuted);
    EXPECT_TRUE(fixed->GetPttBlock());
    raw->Heartbeat();
    raw->SetPTT(0, 2);
    EXPECT_FALSE(fixed->GetPttBlock());
    EXPECT_TRUE(Outgoing().empty());
}

// 500 ms without audio cut the sender off on the paths (the second path
// update), a whole time-out period without it tells the host, every period.
TEST_F(Listeners, RawDisCutsOffAndReportsASilentSender) {
    std::size_t p = 0;
    auto raw = Make(RADIO_TYPE_RAW_DIS, &p);
    raw->SetSNR(10, 20, 30, 1, 1.0f);
    Speak(*raw, kA);
    Activity();
    const CReceive* fixed = Started(Path(p));
    raw->UpdateRecvPaths();
    EXPECT_TRUE(Path(p).stops.empty());
    raw->UpdateRecvPaths();
    ASSERT_EQ(Path(p).stops.size(), 1u);
    EXPECT_EQ(Path(p).stops[0], std::make_pair(fixed, false));
    raw->UpdateRecvPaths();
    EXPECT_EQ(Path(p).stops.size(), 1u);
    EXPECT_EQ(Path(p).idleStops, 0);

    raw->SweepReceiveTimeouts();  // heard in this period
    EXPECT_TRUE(Activity().empty());
    raw->SweepReceiveTimeouts();
    raw->SweepReceiveTimeouts();
    EXPECT_EQ(Activity(), (std::vector<std::pair<plat::WPARAM, plat::LPARAM>>{{8, 0}, {8, 0}}));
    EXPECT_EQ(raw->GetReceiveCount(), 1u);
    Speak(*raw, kA);
    EXPECT_EQ(Path(p).writes.size(), 2u);
}

// Choosing another sender starts its audio as a stream of its own.
TEST_F(Listeners, RawDisDecodesANewSenderAfresh) {
    std::size_t p = 0;
    auto raw = Make(RADIO_TYPE_RAW_DIS, &p);
    const std::vector<std::uint8_t> bits = {0xFF, 0xFF, 0x0F, 0x33};
    raw->SetSNR(10, 20, 30, 1, 1.0f);
    Deliver(*raw, MakeSignalPdu(kA, ENCODING_CVSD, bits, 32));
    raw->SetSNR(10, 20, 31, 1, 1.0f);
    Deliver(*raw, MakeSignalPdu(kB, ENCODING_CVSD, bits, 32));
    ASSERT_EQ(Path(p).writes.size(), 2u);
    EXPECT_EQ(Path(p).writes[1].samples, Path(p).writes[0].samples);
}

// The raw DIS radio takes the CVSD bit order from the code on the wire; the
// scanner, like every other model, from its own encoding setting.
TEST_F(Listeners, CvsdBitOrderByModel) {
    const std::vector<std::uint8_t> bits = {0x0F, 0x33, 0x5A, 0xC3};
    struct Row {
        std::uint16_t model;
        int encoding;  // SetEncoding
        std::uint16_t wire;
        hcy::CodecKind expected;
    };
    using K = hcy::CodecKind;
    const Row rows[] = {
        {RADIO_TYPE_RAW_DIS, ENCODING_CECOM_CVSD, ENCODING_CVSD, K::Cvsd},
        {RADIO_TYPE_RAW_DIS, ENCODING_CVSD, ENCODING_CECOM_CVSD, K::CecomCvsd},
        {RADIO_TYPE_SCANNER, ENCODING_CECOM_CVSD, ENCODING_CVSD, K::CecomCvsd},
        {RADIO_TYPE_SCANNER, ENCODING_CVSD, ENCODING_CECOM_CVSD, K::Cvsd},
        {RADIO_TYPE_SCANNER, ENCODING_PCM16, 5, K::Pcm},
    };
    std::uint16_t number = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.model << " " << row.wire);
        std::size_t p = 0;
        auto model = Make(row.model, &p);
        model->SetEncoding(row.encoding);
        // A sender of its own: the host decodes each sender's stream once
        // for all the radios that hear it.
        const hcy::net::RadioId sender{{10, 20, 30}, ++number};
        model->SetSNR(10, 20, 30, number, 1.0f);
        Deliver(*model, MakeSignalPdu(sender, row.wire, bits, 32));
        ASSERT_EQ(Path(p).writes.size(), 1u);
        hcy::CodecSet codecs;
        hcy::CodecStreamState fresh;
        std::vector<std::int16_t> expected(32);
        codecs.Decode(row.expected, fresh, bits, expected);
        EXPECT_EQ(Path(p).writes[0].samples, expected);
    }
}

}  // namespace
