// The receiving half: records, the pipeline's outcome on the receive paths,
// the time-out sweep, Signal decoding per record, host notices, setters.
#include <atomic>
#include <cmath>
#include <cstddef>
#include <limits>
#include <thread>

#include "codecs/codec.h"
#include "radio_fixture.h"
#include "support/library_fixture.h"

namespace {

using hcytest::Deliver;
using hcytest::MakeSignalPdu;
using hcytest::MakeTransmitterPdu;
using hcytest::TransmitterSpec;

class Receive : public hcytest::RadioTest {};

TEST_F(Receive, RecordsAreMadeRefreshedAndTimedOut) {
    TransmitterSpec a, b;
    a.id = {12, 3, 4, 5};
    b.id = {1, 23, 4, 5};  // same digits: must stay two transmitters
    Hear(a);
    Hear(b);
    EXPECT_EQ(radio->GetReceiveCount(), 2u);
    EXPECT_EQ(Path().gains.size(), 2u);  // both heard: paths started

    radio->SweepReceiveTimeouts();  // heard since the last sweep: kept
    EXPECT_EQ(radio->GetReceiveCount(), 2u);
    Hear(a);  // only a refreshes
    radio->SweepReceiveTimeouts();
    EXPECT_EQ(radio->GetReceiveCount(), 1u);
    EXPECT_EQ(Path().forgotten.size(), 1u);
    radio->SweepReceiveTimeouts();  // a silent for a whole period
    EXPECT_EQ(radio->GetReceiveCount(), 0u);

    // Adjacent silent records go in one sweep.
    for (std::uint16_t n = 1; n <= 3; ++n) Hear({.id = {10, 20, 30, n}});
    radio->SweepReceiveTimeouts();
    Hear({.id = {10, 20, 30, 3}});
    radio->SweepReceiveTimeouts();
    EXPECT_EQ(radio->GetReceiveCount(), 1u);
}

// Through the library: the update tick sweeps every 36 ticks (9 s).
TEST_F(RunningLibraryTest, RadioSweepsRunOnTheUpdateTick) {
    hcy::radio::SetNetMgrHookForTest([](hcy::radio::NetMgrMessage&&) {});
    struct HookOff {
        ~HookOff() { hcy::radio::SetNetMgrHookForTest({}); }
    } hookOff;
    const int handle = hcyCreateComRadio(0, 1, 2, 3, 4);
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

TEST_F(Receive, ExercisesEarlySignalsAndOwnEntity) {
    TransmitterSpec s{.exercise = 2};
    Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32, 16000, 2));
    EXPECT_EQ(radio->GetReceiveCount(), 0u);  // a Signal PDU never makes a record
    Hear(s);
    EXPECT_EQ(radio->GetReceiveCount(), 1u);
    EXPECT_TRUE(Path().gains.empty());  // made, but not evaluated
    std::uint32_t extra[] = {2, 2, 0};  // count, then ids (0 is dropped)
    radio->SetRadioData(242, extra);
    Hear(s);
    EXPECT_EQ(Path().gains.size(), 1u);

    // The radio's own entity only tells the host.
    Activity();
    TransmitterSpec own{.id = {1, 2, 3, 4}};
    Hear(own);
    own.state = 1;
    Hear(own);
    using Notice = std::pair<plat::WPARAM, plat::LPARAM>;
    EXPECT_EQ(Activity(), (std::vector<Notice>{{7, 1}, {7, 0}}));
    EXPECT_EQ(Path().gains.size(), 1u);
}

TEST_F(Receive, RetuningHearsOnlyTheExercisesTheRadioAccepts) {
    hcy::Library().m_nEnablePDUs = 1;  // Receiver PDUs name what is heard
    TransmitterSpec foreign{.id = {10, 20, 30, 1}, .exercise = 2}, own{.id = {10, 20, 30, 2}};
    Hear(foreign);
    Hear(own);
    auto audible = [&] {
        std::uint32_t count = 0;
        radio->GetRadioData(RD_AUDIBLE_COUNT, &count);
        return count;
    };
    auto foreignNamed = [&] {
        for (auto& bytes : Pdus(hcy::net::PDU_TYPE_RECEIVER))
            if (As<hcy::net::ReceiverPdu>(bytes).transmitterRadioId == foreign.id) return true;
        return false;
    };
    ASSERT_EQ(audible(), 1u);
    Clear();
    radio->SetFrequency(31e6, 31e6);
    radio->SetFrequency(30e6, 30e6);
    radio->SetNet(0);
    radio->SetSquelchLevel(0.1f);
    EXPECT_EQ(audible(), 1u);
    EXPECT_FALSE(foreignNamed());
    for (const CReceive* r : Path().gains) EXPECT_EQ(r->id, own.id);
    // Accepted as an extra exercise, the same record is heard at the next retune.
    std::uint32_t extra[] = {1, 2};
    radio->SetRadioData(242, extra);
    radio->SetNet(0);
    EXPECT_EQ(audible(), 2u);
}

TEST_F(Receive, EndOfTransmissionPlaysTheTailAndTellsTheDevices) {
    TransmitterSpec s;
    Hear(s);
    Speak(s.id);
    ASSERT_EQ(Path().writes.size(), 1u);
    s.state = 1;
    Hear(s);
    ASSERT_FALSE(Path().stops.empty());
    EXPECT_TRUE(Path().stops.back().second);  // input source 2 < 128: tail
    EXPECT_EQ(device->receiveEnds, 1);
    // Source 128 and above: no tail.
    s.state = 2;
    s.inputSource = 200;
    Hear(s);
    Speak(s.id);
    s.state = 1;
    Hear(s);
    EXPECT_FALSE(Path().stops.back().second);
}

TEST_F(Receive, CaptureRuleAndRetuning) {
    TransmitterSpec near{.id = {10, 20, 30, 1}, .y = 1000.0},
        far{.id = {10, 20, 30, 2}, .y = 1500.0};
    Hear(near);
    Hear(far);
    Speak(far.id);  // weaker: not heard
    EXPECT_TRUE(Path().writes.empty());
    Speak(near.id);
    EXPECT_EQ(Path().writes.size(), 1u);
    // Without positions the rule does not apply.
    radio->SetDoPropLossModel(0);
    Hear(far);
    Speak(far.id);
    EXPECT_EQ(Path().writes.size(), 2u);

    // Retuning onto a transmitter evaluates its record afresh.
    TransmitterSpec other{.id = {10, 20, 30, 3}, .frequency = 40e6};
    Hear(other);
    Speak(other.id);
    EXPECT_EQ(Path().writes.size(), 2u);
    radio->SetFrequency(40e6, 40e6);
    Speak(other.id);
    EXPECT_EQ(Path().writes.size(), 3u);
}

TEST_F(Receive, TwoTransmittersEachDecodedWithTheirOwnState) {
    const TransmitterSpec adpcm{.id = {10, 20, 30, 1}}, cvsd{.id = {10, 20, 30, 2}};
    radio->SetDoPropLossModel(0);  // both audible: no capture
    Hear(adpcm);
    Hear(cvsd);
    hcy::CodecSet senderA, senderB, reference;
    hcy::CodecStreamState refA, refB;
    std::vector<std::int16_t> expectA, expectB;
    for (int block = 0; block < 4; ++block) {
        std::vector<std::int16_t> a(512), b(512), outA(512), outB(512);
        for (std::size_t i = 0; i < 512; ++i) {
            a[i] = static_cast<std::int16_t>(8000 *
                                             std::sin(2 * M_PI * (440 + block * 10) * i / 16000.0));
            b[i] = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 1200 * i / 16000.0));
        }
        std::vector<std::uint8_t> codedA(256), codedB(64);
        senderA.Encode(hcy::CodecKind::Adpcm, a, codedA);
        senderB.Encode(hcy::CodecKind::Cvsd, b, codedB);
        Deliver(*radio, MakeSignalPdu(adpcm.id, 3, codedA, 512));
        Deliver(*radio, MakeSignalPdu(cvsd.id, 2, codedB, 512));
        reference.Decode(hcy::CodecKind::Adpcm, refA, codedA, outA);
        reference.Decode(hcy::CodecKind::Cvsd, refB, codedB, outB);
        expectA.insert(expectA.end(), outA.begin(), outA.end());
        expectB.insert(expectB.end(), outB.begin(), outB.end());
    }
    std::vector<std::int16_t> gotA, gotB;
    for (auto& w : Path().writes) {
        auto& got = w.record == Path().writes.at(0).record ? gotA : gotB;
        got.insert(got.end(), w.samples.begin(), w.samples.end());
    }
    EXPECT_EQ(gotA, expectA);
    EXPECT_EQ(gotB, expectB);
}

TEST_F(Receive, DataLengthBeyondTheDatagramDecodesOnlyWhatArrived) {
    TransmitterSpec s;
    Hear(s);
    auto pdu = MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(100, 0x11), 1024);
    const std::uint16_t claimed = 16384;  // [bits]: 2048 bytes
    std::memcpy(pdu.data() + offsetof(hcy::net::SignalPdu, dataLengthBits), &claimed, 2);
    Deliver(*radio, pdu);
    ASSERT_EQ(Path().writes.size(), 1u);
    const auto& samples = Path().writes[0].samples;
    ASSERT_EQ(samples.size(), 1024u);
    EXPECT_EQ(samples[49], 0x1111);
    EXPECT_EQ(std::count(samples.begin() + 50, samples.end(), 0), 1024 - 50);
    // No samples: nothing to write.
    Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(100), 0));
    EXPECT_EQ(Path().writes.size(), 1u);
}

TEST_F(Receive, StoppedPathsAreFoundAgainAndAClosedDevicesPathsGo) {
    for (int i = 0; i < 1000; ++i) {
        radio->StopRecvPath(device.get(), 0);
        radio->AttachRecvPath(device.get(), 0);
    }
    EXPECT_EQ(paths_.size(), 1u);
    EXPECT_EQ(Path(0).device, device.get());

    // Channel 0 stops every path of the radio on the device.
    radio->AttachRecvPath(device.get(), 8);
    ASSERT_EQ(radio->GetRecvPathCount(), 2u);
    radio->StopRecvPath(device.get(), 0);
    EXPECT_EQ(Path(0).stopAlls, 1001);
    EXPECT_EQ(Path(1).stopAlls, 1);
    // Any stopped path serves another device.
    hcytest::StandInDevice other;
    radio->AttachRecvPath(&other, 9);
    radio->AttachRecvPath(device.get(), 8);
    EXPECT_EQ(paths_.size(), 2u);
    const std::size_t kept = Path(0).device == &other ? 1 : 0;
    radio->DetachDevice(&other);  // deletes the other path
    EXPECT_EQ(radio->GetRecvPathCount(), 1u);
    EXPECT_EQ(Path(kept).device, device.get());
    EXPECT_EQ(Path(kept).detachAlls, 0);
}

TEST_F(Receive, DataDevicesGetTheAudioThemselves) {
    auto data = std::make_shared<hcytest::StandInDevice>(CDevice::Kind::Data);
    data->SetHandle(9);
    radio->AttachRecvPath(data.get(), 0);
    TransmitterSpec s;
    Hear(s);
    Speak(s.id);
    EXPECT_EQ(data->receivedBlocks, 1);
    EXPECT_EQ(data->receivedBytes, 64);
    EXPECT_EQ(Path(0).writes.size(), 1u);  // the sound path as well
    EXPECT_TRUE(Path(1).writes.empty());
    radio->DetachDevice(data.get());
    Speak(s.id);
    EXPECT_EQ(data->receivedBlocks, 1);
}

TEST_F(Receive, SingleSidebandShiftFollowsTheOscillator) {
    radio->SetModulation(1, 6);
    radio->SetDoPropLossModel(0);
    TransmitterSpec s{.frequency = 30e6 + 800.0, .bandwidth = 4000.0f};
    Hear(s);
    Deliver(*radio, MakeSignalPdu(s.id, 4, {0x10, 0x27, 0x10, 0x27, 0x10, 0x27, 0x10, 0x27},
                                  4));  // 10000 x 4
    ASSERT_EQ(Path().writes.size(), 1u);
    EXPECT_EQ(Path().writes[0].samples, (std::vector<std::int16_t>{3141, 5973, 8215, 9646}));
}

TEST_F(Receive, HlaObjectsAreHeardByTheirNameUntilRemoved) {
    radio->SetNetworkMode(NET_HLA);
    Clear();
    const std::string name = "hcyRadio.10-20-30-1";
    HlaTransmitterRecord v;
    v.instanceName = name;
    radio->OnHlaTransmitterUpdate(5, &v, 0);  // discovered: asks for everything
    auto notices = Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].message, hcy::WM_NETMGR_HLA_REQUEST_UPDATE);
    EXPECT_EQ(notices[0].wParam, 5u);
    EXPECT_EQ(notices[0].lParam, static_cast<plat::LPARAM>(HLA_ATTR_ALL));
    v.site = 10, v.application = 20, v.entity = 30, v.radioIndex = 1;
    v.frequencyLow = 30000000;
    v.bandwidth = 100.0f;
    v.power = 19.68f;
    v.worldX = 6378137.0, v.worldY = 1000.0;
    v.operationalStatus = 2;
    radio->OnHlaTransmitterUpdate(5, &v, HLA_ATTR_ALL);
    EXPECT_EQ(Path().gains.size(), 1u);  // audible: the path started

    // The data length claims 100 bytes; 64 arrived: only those are decoded.
    const HlaSignalRecord signal{4, 16000, 800, 40};
    const std::vector<std::uint8_t> pcm(64, 0x11);
    const std::string other = "someone";
    radio->OnHlaSignal(&signal, pcm.data(), 64, &other);
    EXPECT_TRUE(Path().writes.empty());
    radio->OnHlaSignal(&signal, pcm.data(), 64, &name);
    ASSERT_EQ(Path().writes.size(), 1u);
    const auto& samples = Path().writes[0].samples;
    ASSERT_EQ(samples.size(), 40u);
    EXPECT_EQ(samples[31], 0x1111);
    EXPECT_EQ(samples[32], 0);

    radio->RemoveHlaRecord(5);
    EXPECT_EQ(Path().forgotten.size(), 1u);
    radio->OnHlaSignal(&signal, pcm.data(), 64, &name);
    EXPECT_EQ(Path().writes.size(), 1u);
}

TEST_F(Receive, RefusedSettersKeepTheirValues) {
    const std::string volume = "HCY ERROR: Master volume must be between 0.0 and 1.0.";
    for (float v : {1.01f, std::nanf("")}) {
        theApp.ClearError();
        EXPECT_EQ(radio->SetMasterVolume(v), 0);
        EXPECT_EQ(theApp.LastError(), volume);
    }
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

    // Non-finite values are refused.
    EXPECT_EQ(radio->SetFrequency(std::numeric_limits<double>::infinity(), 1.0), 0);
    EXPECT_EQ(radio->GetRxFrequency(), 30e6);
    EXPECT_EQ(radio->SetNoiseLevel(std::nan("")), 0);
    EXPECT_EQ(radio->SetSquelchLevel(std::nanf("")), 0);
    float nan = std::nanf("");
    EXPECT_EQ(radio->SetRadioData(224, &nan), 0);
    EXPECT_EQ(radio->SetRadioData(999, &nan), 0);  // unknown id: 0
}

TEST_F(Receive, RadioDataQueries) {
    float dbm = -80.0f;  // 1e-11 W
    radio->SetRadioData(225, &dbm);
    radio->SetDoPropLossModel(0);
    radio->SetDoTunerModel(0);
    radio->SetDoSquelchModel(0);
    radio->SetDoRoundEarthModel(0);
    for (std::uint16_t n = 1; n <= 3; ++n) Hear({.id = {10, 20, 30, n}});
    std::uint16_t ids[4] = {0};  // in: index; out: the transmitter there
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

// Reception, sweeps, retuning and transmission on four threads at once: the
// radio's lock keeps records alive while they are used (run under TSan).
TEST_F(Receive, ThreadsShareTheRadioSafely) {
    radio->SetDoPropLossModel(0);
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (int i = 0; i < 2000; ++i) {
            const TransmitterSpec s{.id = {10, 20, 30, static_cast<std::uint16_t>(1 + i % 8)}};
            Hear(s);
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
    for (std::thread* t : {&worker, &tick, &host, &capture}) t->join();
    EXPECT_LE(radio->GetReceiveCount(), 8u);
}

}  // namespace
