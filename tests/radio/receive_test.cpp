// The receiving half: records, the pipeline's outcome on the receive paths,
// the time-out sweep, Signal decoding per record, host notices, setters.
#include <cmath>
#include <atomic>
#include <limits>
#include <thread>

#include "codecs/codec.h"
#include "radio/radio_factory.h"
#include "radio_fixture.h"
// Last: the public header's macros would shadow the constants above.
#include "core/library_fixture.h"

namespace {

using hcytest::Deliver;
using hcytest::MakeSignalPdu;
using hcytest::MakeTransmitterPdu;
using hcytest::RadioTest;
using hcytest::TransmitterSpec;

std::vector<std::int16_t> Tone(std::size_t n, double hz, double amplitude) {
    std::vector<std::int16_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::int16_t>(amplitude * std::sin(2 * 3.14159265 * hz * i / 16000.0));
    return v;
}

class Receive : public RadioTest {};

TEST_F(Receive, RecordsAreMadeRefreshedAndTimedOut) {
    TransmitterSpec a, b;
    b.id = {1, 23, 4, 5};
    a.id = {12, 3, 4, 5};  // same digits: must stay two transmitters
    Deliver(*radio, MakeTransmitterPdu(a));
    Deliver(*radio, MakeTransmitterPdu(b));
    EXPECT_EQ(radio->GetReceiveCount(), 2u);
    EXPECT_EQ(Path().gains.size(), 2u);  // both heard: paths started

    radio->SweepReceiveTimeouts();  // heard since the last sweep: kept
    EXPECT_EQ(radio->GetReceiveCount(), 2u);
    Deliver(*radio, MakeTransmitterPdu(a));  // only a refreshes
    radio->SweepReceiveTimeouts();
    EXPECT_EQ(radio->GetReceiveCount(), 1u);
    EXPECT_EQ(Path().forgotten.size(), 1u);
    radio->SweepReceiveTimeouts();  // a silent for a whole period
    EXPECT_EQ(radio->GetReceiveCount(), 0u);
}

TEST_F(Receive, AdjacentSilentRecordsGoInOneSweep) {
    for (std::uint16_t n = 1; n <= 3; ++n) {
        TransmitterSpec s;
        s.id.radio = n;
        Deliver(*radio, MakeTransmitterPdu(s));
    }
    radio->SweepReceiveTimeouts();
    TransmitterSpec third;
    third.id.radio = 3;
    Deliver(*radio, MakeTransmitterPdu(third));
    radio->SweepReceiveTimeouts();
    EXPECT_EQ(radio->GetReceiveCount(), 1u);
}

// Through the library: the update tick sweeps every 36 ticks (9 s).
class LibraryRadio : public RunningLibraryTest {
protected:
    void SetUp() override {
        RunningLibraryTest::SetUp();
        hcy::radio::SetNetMgrHookForTest([](hcy::radio::NetMgrMessage&&) {});
    }
    void TearDown() override {
        hcy::radio::SetNetMgrHookForTest({});
        RunningLibraryTest::TearDown();
    }
};

TEST_F(LibraryRadio, SweepsRunOnTheUpdateTick) {
    const int handle = hcyCreateComRadio(0, 1, 2, 3, 4);
    ASSERT_GT(handle, 0);
    auto made = theApp.FindRadio(handle);
    ASSERT_TRUE(made);
    ASSERT_EQ(hcySetRadioFrequency(handle, 30e6, 30e6), 1);
    Ticks(1);  // tick 0 sweeps
    Deliver(*made, MakeTransmitterPdu(TransmitterSpec{}));
    Ticks(36);  // the next sweep finds it heard since tick 0 and keeps it
    EXPECT_EQ(made->GetReceiveCount(), 1u);
    Ticks(35);
    EXPECT_EQ(made->GetReceiveCount(), 1u);
    Ticks(1);  // silent for a whole period
    EXPECT_EQ(made->GetReceiveCount(), 0u);
}

TEST_F(Receive, ExercisesAndEarlySignals) {
    TransmitterSpec s;
    s.exercise = 2;
    Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32, 16000, 2));
    EXPECT_EQ(radio->GetReceiveCount(), 0u);  // a Signal PDU never makes a record
    Deliver(*radio, MakeTransmitterPdu(s));
    EXPECT_EQ(radio->GetReceiveCount(), 1u);
    EXPECT_TRUE(Path().gains.empty());  // made, but not evaluated
    std::uint32_t extra[] = {2, 2, 0};  // count, then ids (0 is dropped)
    radio->SetRadioData(242, extra);
    Deliver(*radio, MakeTransmitterPdu(s));
    EXPECT_EQ(Path().gains.size(), 1u);
}

TEST_F(Receive, OwnEntityOnlyTellsTheHost) {
    TransmitterSpec own;
    own.id = {1, 2, 3, 4};
    Deliver(*radio, MakeTransmitterPdu(own));
    own.state = 1;
    Deliver(*radio, MakeTransmitterPdu(own));
    const auto activity = Activity();
    ASSERT_EQ(activity.size(), 2u);
    EXPECT_EQ(activity[0], (std::pair<plat::WPARAM, plat::LPARAM>{7, 1}));
    EXPECT_EQ(activity[1], (std::pair<plat::WPARAM, plat::LPARAM>{7, 0}));
    EXPECT_TRUE(Path().gains.empty());
}

TEST_F(Receive, EndOfTransmissionPlaysTheTailAndTellsTheDevices) {
    TransmitterSpec s;
    Deliver(*radio, MakeTransmitterPdu(s));
    Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32));
    ASSERT_EQ(Path().writes.size(), 1u);
    s.state = 1;
    Deliver(*radio, MakeTransmitterPdu(s));
    ASSERT_FALSE(Path().stops.empty());
    EXPECT_TRUE(Path().stops.back().second);  // input source 2 < 128: tail
    EXPECT_EQ(device->receiveEnds, 1);
    // Source 128 and above: no tail.
    s.state = 2;
    s.inputSource = 200;
    Deliver(*radio, MakeTransmitterPdu(s));
    Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32));
    s.state = 1;
    Deliver(*radio, MakeTransmitterPdu(s));
    EXPECT_FALSE(Path().stops.back().second);
}

TEST_F(Receive, CaptureRuleHearsOnlyTheStrongest) {
    TransmitterSpec near, far;
    near.id.radio = 1;
    far.id.radio = 2;
    near.y = 1000.0;
    far.y = 1500.0;  // weaker
    Deliver(*radio, MakeTransmitterPdu(near));
    Deliver(*radio, MakeTransmitterPdu(far));
    Deliver(*radio, MakeSignalPdu(far.id, 4, std::vector<std::uint8_t>(64), 32));
    EXPECT_TRUE(Path().writes.empty());
    Deliver(*radio, MakeSignalPdu(near.id, 4, std::vector<std::uint8_t>(64), 32));
    EXPECT_EQ(Path().writes.size(), 1u);
    // Without positions the rule does not apply.
    radio->SetDoPropLossModel(0);
    Deliver(*radio, MakeTransmitterPdu(far));
    Deliver(*radio, MakeSignalPdu(far.id, 4, std::vector<std::uint8_t>(64), 32));
    EXPECT_EQ(Path().writes.size(), 2u);
}

TEST_F(Receive, TwoTransmittersEachDecodedWithTheirOwnState) {
    TransmitterSpec adpcm, cvsd;
    adpcm.id.radio = 1;
    cvsd.id.radio = 2;
    radio->SetDoPropLossModel(0);  // both audible: no capture
    Deliver(*radio, MakeTransmitterPdu(adpcm));
    Deliver(*radio, MakeTransmitterPdu(cvsd));

    hcy::CodecSet senderA, senderB, reference;
    hcy::CodecStreamState refA, refB;
    std::vector<std::int16_t> expectA, expectB;
    for (int block = 0; block < 4; ++block) {
        const auto a = Tone(512, 440 + block * 10, 8000);
        const auto b = Tone(512, 1200, 12000);
        std::vector<std::uint8_t> codedA(256), codedB(64);
        senderA.Encode(hcy::CodecKind::Adpcm, a, codedA);
        senderB.Encode(hcy::CodecKind::Cvsd, b, codedB);
        Deliver(*radio, MakeSignalPdu(adpcm.id, 3, codedA, 512));
        Deliver(*radio, MakeSignalPdu(cvsd.id, 2, codedB, 512));
        std::vector<std::int16_t> outA(512), outB(512);
        reference.Decode(hcy::CodecKind::Adpcm, refA, codedA, outA);
        reference.Decode(hcy::CodecKind::Cvsd, refB, codedB, outB);
        expectA.insert(expectA.end(), outA.begin(), outA.end());
        expectB.insert(expectB.end(), outB.begin(), outB.end());
    }
    std::vector<std::int16_t> gotA, gotB;
    const CReceive* first = Path().writes.at(0).record;
    for (auto& w : Path().writes)
        (w.record == first ? gotA : gotB).insert((w.record == first ? gotA : gotB).end(),
                                                 w.samples.begin(), w.samples.end());
    EXPECT_EQ(gotA, expectA);
    EXPECT_EQ(gotB, expectB);
}

TEST_F(Receive, DataLengthBeyondTheDatagramDecodesOnlyWhatArrived) {
    TransmitterSpec s;
    Deliver(*radio, MakeTransmitterPdu(s));
    std::vector<std::uint8_t> data(100, 0x11);
    auto pdu = MakeSignalPdu(s.id, 4, data, 1024);
    hcy::net::SignalPdu header;
    std::memcpy(&header, pdu.data(), sizeof header);
    header.dataLengthBits = 16384;  // claims 2048 bytes
    std::memcpy(pdu.data(), &header, sizeof header);
    Deliver(*radio, pdu);
    ASSERT_EQ(Path().writes.size(), 1u);
    const auto& samples = Path().writes[0].samples;
    ASSERT_EQ(samples.size(), 1024u);
    EXPECT_EQ(samples[49], 0x1111);
    for (std::size_t i = 50; i < samples.size(); ++i) ASSERT_EQ(samples[i], 0) << i;
    // No samples: nothing to write.
    Deliver(*radio, MakeSignalPdu(s.id, 4, data, 0));
    EXPECT_EQ(Path().writes.size(), 1u);
}

TEST_F(Receive, DataDevicesGetTheAudioThemselves) {
    auto data = std::make_shared<hcytest::StandInDevice>(CDevice::Kind::Data);
    data->SetHandle(9);
    radio->AttachRecvPath(data.get(), 0);
    TransmitterSpec s;
    Deliver(*radio, MakeTransmitterPdu(s));
    Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32));
    EXPECT_EQ(data->receivedBlocks, 1);
    EXPECT_EQ(data->receivedBytes, 64);
    EXPECT_EQ(Path(0).writes.size(), 1u);  // the sound path as well
    EXPECT_TRUE(Path(1).writes.empty());
    radio->DetachDevice(data.get(), true);
    Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32));
    EXPECT_EQ(data->receivedBlocks, 1);
}

TEST_F(Receive, HalfDuplexKeyingBlocksWhatIsHeard) {
    TransmitterSpec s;
    Deliver(*radio, MakeTransmitterPdu(s));
    radio->SetPTT(1, 10);
    EXPECT_TRUE(Path().noiseMuted);
    // A second source's release leaves the radio keyed: still blocked.
    radio->SetPTT(0, 12);
    EXPECT_TRUE(Path().noiseMuted);
    radio->SetPTT(0, 10);
    EXPECT_FALSE(Path().noiseMuted);
    // A refused key blocks nothing.
    radio->SetOnOff(0);
    radio->SetPTT(1, 10);
    EXPECT_FALSE(Path().noiseMuted);
    radio->SetOnOff(1);
    // Full duplex: keying mutes nothing.
    std::uint32_t full = 1;
    radio->SetRadioData(229, &full);
    radio->SetPTT(1, 10);
    EXPECT_FALSE(Path().noiseMuted);
}

TEST_F(Receive, RetuningEvaluatesAfresh) {
    TransmitterSpec s;
    s.frequency = 40e6;
    Deliver(*radio, MakeTransmitterPdu(s));
    Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32));
    EXPECT_TRUE(Path().writes.empty());
    radio->SetFrequency(40e6, 40e6);  // now on the transmitter's frequency
    Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32));
    EXPECT_EQ(Path().writes.size(), 1u);
}

TEST_F(Receive, SingleSidebandShiftFollowsTheOscillator) {
    radio->SetModulation(1, 6);
    radio->SetDoPropLossModel(0);
    TransmitterSpec s;
    s.frequency = 30e6 + 800.0;
    s.bandwidth = 4000.0f;
    Deliver(*radio, MakeTransmitterPdu(s));
    std::vector<std::uint8_t> data(8);
    for (std::size_t i = 0; i < 8; i += 2) {
        data[i] = 10000 & 0xFF;
        data[i + 1] = 10000 >> 8;
    }
    Deliver(*radio, MakeSignalPdu(s.id, 4, data, 4));
    ASSERT_EQ(Path().writes.size(), 1u);
    EXPECT_EQ(Path().writes[0].samples, (std::vector<std::int16_t>{3141, 5973, 8215, 9646}));
}

TEST_F(Receive, RefusedSettersKeepTheirValues) {
    EXPECT_EQ(radio->SetMasterVolume(1.01f), 0);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Master volume must be between 0.0 and 1.0.");
    theApp.ClearError();
    EXPECT_EQ(radio->SetMasterVolume(std::nanf("")), 0);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Master volume must be between 0.0 and 1.0.");
    EXPECT_EQ(radio->SetMasterVolume(0.0f), 1);
    EXPECT_EQ(radio->GetMasterVolume(), 0.0);

    EXPECT_EQ(radio->SetEncoding(5), 0);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Invalid encoding scheme");

    radio->SetEntityAttach(1);
    EXPECT_EQ(radio->SetXYZPosition(1, 2, 3), 0);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Cannot call SetXYZPosition in Entity-Attach mode");
    EXPECT_EQ(radio->SetWorldPosition(1, 2, 3), 0);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Cannot call SetWorldPosition in Entity-Attach mode");
    EXPECT_EQ(radio->GetAntennaX(), 6378137.0);

    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(radio->SetFrequency(inf, 1.0), 0);
    EXPECT_EQ(radio->GetRxFrequency(), 30e6);
    EXPECT_EQ(radio->SetNoiseLevel(std::nan("")), 0);
    EXPECT_EQ(radio->SetSquelchLevel(std::nanf("")), 0);
    float nan = std::nanf("");
    EXPECT_EQ(radio->SetRadioData(224, &nan), 0);
    EXPECT_EQ(radio->SetRadioData(999, &nan), 0);  // unknown id: 0
}

TEST_F(Receive, RadioDataQueries) {
    float dbm = -80.0f;
    radio->SetRadioData(225, &dbm);  // 1e-11 W
    radio->SetDoPropLossModel(0);
    radio->SetDoTunerModel(0);
    radio->SetDoSquelchModel(0);
    radio->SetDoRoundEarthModel(0);
    for (std::uint16_t n = 1; n <= 3; ++n) {
        TransmitterSpec s;
        s.id.radio = n;
        Deliver(*radio, MakeTransmitterPdu(s));
    }
    std::uint16_t ids[4] = {0};
    EXPECT_EQ(radio->GetRadioData(106, ids), 0);
    EXPECT_EQ(ids[3], 1);  // equal signals keep arrival order
    ids[0] = 2;
    EXPECT_EQ(radio->GetRadioData(106, ids), 0);
    EXPECT_EQ(ids[3], 3);
    ids[0] = 3;
    EXPECT_EQ(radio->GetRadioData(106, ids), 1);  // past the end
    EXPECT_EQ(ids[0] + ids[1] + ids[2] + ids[3], 0);
    // Squelch level 1.0 hears nothing even at signal 1.0.
    radio->SetSquelchLevel(1.0f);
    std::uint32_t count = 9;
    radio->GetRadioData(226, &count);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(radio->GetRadioData(227, ids), 0);
}

TEST(RadioFactory, EveryCodeMakesAGenericRadioForNow) {
    for (std::uint16_t model : {0, 1, 6, 1101, 65535})
        EXPECT_NE(dynamic_cast<CGenericRadioModel*>(CreateRadioModel(model).get()), nullptr);
}

}  // namespace

namespace {

// Reception, sweeps, retuning and transmission on four threads at once: the
// radio's lock keeps records alive while they are used (run under TSan).
TEST_F(Receive, ThreadsShareTheRadioSafely) {
    radio->SetDoPropLossModel(0);
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        TransmitterSpec s;
        for (int i = 0; i < 2000; ++i) {
            s.id.radio = static_cast<std::uint16_t>(1 + i % 8);
            Deliver(*radio, MakeTransmitterPdu(s));
            Deliver(*radio, MakeSignalPdu(s.id, 3, std::vector<std::uint8_t>(64, 0x5A), 128));
        }
        stop = true;
    });
    std::thread tick([&] {
        while (!stop) {
            radio->SweepReceiveTimeouts();
            radio->UpdateRecvPaths();
            radio->GetMaxRecvValue();
        }
    });
    std::thread host([&] {
        for (int i = 0; !stop; ++i) {
            radio->SetSquelchLevel(i % 2 ? 0.1f : 0.3f);
            radio->SetMasterVolume(0.5f);
            radio->SetFrequency(30e6 + (i % 3), 30e6);
            std::uint32_t count = 0;
            radio->GetRadioData(226, &count);
        }
    });
    std::thread capture([&] {
        const std::vector<std::int16_t> block(512, 1000);
        while (!stop) {
            radio->SetPTT(1, 10);
            radio->TransmitAudio(block.data(), 1024, 16000, 10);
            radio->SetPTT(0, 10);
        }
    });
    worker.join();
    tick.join();
    host.join();
    capture.join();
    EXPECT_LE(radio->GetReceiveCount(), 8u);
}

}  // namespace
