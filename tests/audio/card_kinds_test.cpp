// Every capture kind through the exports (DirectSound 8, the two split
// cards, the multi-channel card): a device closed while keyed leaves no radio
// or station keyed, and its capture thread ends whatever fails on the way.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <string>

#include "audio/multi_device.h"
#include "audio/sound_card.h"
#include "audio_fixture.h"
#include "base/thread_kinds.h"
#include "halcyra/halcyra.h"
#include "hcyplat/thread_boundary.h"
#include "support/library_fixture.h"

namespace {

using hcytest::PttCall;
using hcytest::RecordingInterphone;
using hcytest::RecordingRadio;
using plat::vsnd::Fault;

const HCYGUID* Guid(const plat::GUID& g) { return reinterpret_cast<const HCYGUID*>(&g); }

struct CardKind {
    const char* name;
    std::function<int(const hcytest::Card&)> open;
    int channel;  // keyed and wired
    int (*close)(int);
};

const CardKind kKinds[] = {
    {"DirectSound 8",
     [](const hcytest::Card& c) { return hcyOpenAudioDeviceDS(Guid(c.mic), Guid(c.speakers)); }, 0,
     hcyCloseAudioDevice},
    {"split",
     [](const hcytest::Card& c) { return hcyOpenSplitDeviceSimple(c.micId, Guid(c.speakers)); }, 9,
     hcyCloseSplitDevice},
    {"split DirectSound 8",
     [](const hcytest::Card& c) { return hcyOpenSplitDeviceDS(Guid(c.mic), Guid(c.speakers)); }, 8,
     hcyCloseSplitDevice},
    {"multi-channel",
     [](const hcytest::Card& c) { return hcyOpenMultiDevice(c.micId, Guid(c.speakers), 2, 2); }, 1,
     hcyCloseMultiDevice},
};

class CardKinds : public RunningLibraryTest {
protected:
    void SetUp() override {
        RunningLibraryTest::SetUp();
        card = std::make_unique<hcytest::Card>();
        radio = std::make_shared<RecordingRadio>();
        radioHandle =
            theApp.AddRadio(radio, [&](int h) { radio->SetUserId(static_cast<std::uint32_t>(h)); });
        station = std::make_shared<RecordingInterphone>();
        stationHandle = theApp.AddInterphone(station);
    }
    void TearDown() override {
        plat::InjectThreadFaultForTest(nullptr);
        RunningLibraryTest::TearDown();
        card.reset();
    }
    // Opens, wires the radio and the station to the kind's channel, keys.
    int OpenKeyed(const CardKind& kind) {
        const int device = kind.open(*card);
        EXPECT_GT(device, 0) << Error();
        if (kind.channel == 0) {
            EXPECT_EQ(hcySetComRadioXmit(radioHandle, device, 1), 1) << Error();
            EXPECT_EQ(hcySetComRadioXmit(stationHandle, device, 1), 1) << Error();
        } else {
            EXPECT_EQ(hcySetComStereoXmit(radioHandle, device, kind.channel, 1), 1) << Error();
            EXPECT_EQ(hcySetComStereoXmit(stationHandle, device, kind.channel, 1), 1) << Error();
        }
        EXPECT_EQ(hcySetRadioPTT(device, 1, kind.channel), 1);
        return device;
    }

    std::unique_ptr<hcytest::Card> card;
    std::shared_ptr<RecordingRadio> radio;
    std::shared_ptr<RecordingInterphone> station;
    int radioHandle = 0, stationHandle = 0;
};

TEST_F(CardKinds, ADeviceClosedWhileKeyedLeavesNothingKeyedAndItsEndpointsFree) {
    for (const auto& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const int device = OpenKeyed(kind);
        ASSERT_TRUE(radio->Keyed());
        ASSERT_EQ(station->Talk().back().on, 1);
        for (int i = 0; i < 3; ++i) plat::AdvanceClock(64);
        ASSERT_TRUE(hcytest::WaitFor([&] { return radio->blockCount.load() > 0; }));
        ASSERT_EQ(kind.close(device), 1);
        EXPECT_FALSE(radio->Keyed());
        EXPECT_EQ(station->Talk().back().on, 0);
        EXPECT_EQ(radio->Ptt().back().source, station->Talk().back().source);
        EXPECT_FALSE(plat::vsnd::IsEndpointOpen(card->mic));
        EXPECT_FALSE(plat::vsnd::IsEndpointOpen(card->speakers));
        radio->blockCount = 0;
    }
}

// Whatever the input refuses, and a capture thread whose deliveries throw,
// the close ends the capture thread and the device goes.
TEST_F(CardKinds, CaptureThreadsEndWhateverFails) {
    const struct {
        const char* name;
        std::function<void(const plat::GUID&)> inject;
    } faults[] = {
        {"every block refused",
         [](const plat::GUID& m) { plat::vsnd::InjectFault(m, Fault::WaveInAddBuffer, 11, -1); }},
        {"start refused",
         [](const plat::GUID& m) {
             plat::vsnd::InjectFault(m, Fault::WaveInStart, 1);
             plat::vsnd::InjectFault(m, Fault::CaptureStart,
                                     static_cast<std::int32_t>(0x80004005u));
         }},
        {"reset refused",
         [](const plat::GUID& m) { plat::vsnd::InjectFault(m, Fault::WaveInReset, 5, -1); }},
        {"close refused",
         [](const plat::GUID& m) { plat::vsnd::InjectFault(m, Fault::WaveInClose, 5); }},
        {"device lost", [](const plat::GUID& m) { plat::vsnd::FailEndpoint(m); }},
        {"deliveries throw",
         [](const plat::GUID&) { plat::InjectThreadFaultForTest(hcy::boundary::kCapture, 1000); }},
    };
    for (const auto& kind : kKinds) {
        for (const auto& fault : faults) {
            SCOPED_TRACE(std::string(kind.name) + ", " + fault.name);
            const int device = OpenKeyed(kind);
            auto opened = std::dynamic_pointer_cast<CSoundCard>(theApp.FindDevice(device));
            ASSERT_NE(opened, nullptr);
            EXPECT_TRUE(hcytest::WaitFor([&] { return opened->IsCaptureThreadRunning(); }));
            hcySetRadioPTT(device, 0, kind.channel);
            fault.inject(card->mic);
            hcySetRadioPTT(device, 1, kind.channel);
            for (int i = 0; i < 4; ++i) plat::AdvanceClock(64);
            kind.close(device);
            EXPECT_FALSE(opened->IsCaptureThreadRunning());
            EXPECT_FALSE(radio->Keyed());
            opened.reset();  // the device goes with its last owner
            plat::InjectThreadFaultForTest(nullptr);
            plat::vsnd::ClearFaults(card->mic);
            card.reset();  // a failed device stays failed: a new card
            card = std::make_unique<hcytest::Card>();
        }
    }
}

TEST_F(CardKinds, OpenFormsWiringAndVoxThroughTheExports) {
    const int split = hcyOpenSplitDeviceSR(card->micId, 8000, Guid(card->speakers), 22050);
    ASSERT_GT(split, 0) << Error();
    plat::vsnd::MixFormat format;
    ASSERT_TRUE(plat::vsnd::InputFormat(card->mic, &format));
    EXPECT_EQ(format.rate, 8000u);
    EXPECT_EQ(format.channels, 2u);
    auto device = theApp.FindDevice(split);
    EXPECT_EQ(device->GetOutputRate(), 22050u);
    EXPECT_EQ(hcySetSplitVoxEnable(split, 1, 0), 1);
    EXPECT_TRUE(device->IsCapturing());
    EXPECT_EQ(hcySetSplitVoxLevel(split, 0.5f, 0.5f), 1);
    EXPECT_EQ(hcySetSplitVoxOffDelay(split, 3, 4), 1);
    const int flags[] = {0, 1};
    EXPECT_EQ(hcySetComMultiXmit(radioHandle, split, flags, 2), 0);
    EXPECT_EQ(hcytest::LastErrorText(), "A multi-channel audio device must be created.");
    // Calls that did nothing say so: a second path to a half, a negative
    // delay, a channel that keys no half (the keying export keeps its 1).
    const std::string splitName = " for device " + std::to_string(split) + ".";
    ASSERT_EQ(hcySetComStereoXmit(radioHandle, split, 9, 1), 1);
    EXPECT_EQ(hcySetComStereoXmit(radioHandle, split, 9, 1), 0);
    EXPECT_EQ(hcytest::LastErrorText(), "Transmit path already established for this device");
    EXPECT_EQ(hcySetSplitVoxOffDelay(split, 3, -1), 1);
    EXPECT_EQ(hcytest::LastErrorText(), "Invalid VOX off delay -1" + splitName);
    EXPECT_EQ(hcySetRadioPTT(split, 1, 4), 1);
    EXPECT_EQ(hcytest::LastErrorText(), "Invalid channel 4" + splitName);
    // A keyed half keys the device: its receive paths' noise is muted.
    std::uint32_t keyed = 7;
    ASSERT_EQ(hcySetRadioPTT(split, 1, 9), 1);
    ASSERT_EQ(hcyGetDeviceData(split, DEVDATA_KEYED, reinterpret_cast<intptr_t>(&keyed)), 1);
    EXPECT_EQ(keyed, 1u);
    ASSERT_EQ(hcyCloseSplitDevice(split), 1);

    // A mono card has no channels to wire.
    const int mono = hcyOpenAudioDeviceSimple(card->micId, Guid(card->speakers));
    ASSERT_GT(mono, 0) << Error();
    EXPECT_EQ(hcySetComStereoXmit(radioHandle, mono, 8, 1), 0);
    EXPECT_EQ(hcytest::LastErrorText(),
              "Invalid channel 8 for device " + std::to_string(mono) + ".");
    ASSERT_EQ(hcyCloseAudioDevice(mono), 1);
    for (std::uint32_t rate : {0u, 99u, 200001u, 4000000000u}) {
        EXPECT_EQ(hcySetDefaultSampleRate(rate), 0) << rate;
        EXPECT_EQ(hcytest::LastErrorText(), "Sample rate must be between 100 and 200000");
    }

    EXPECT_EQ(hcyOpenMultiDeviceDefault(0, 2), -1);
    EXPECT_EQ(hcytest::LastErrorText(), "Channel count must be between 1 and 32");
    theApp.ClearError();
    EXPECT_EQ(hcyOpenMultiDeviceDS(2, 2), -1);
    EXPECT_EQ(Error(), "");
    EXPECT_EQ(hcySetMultiDeviceChannelMask(0x3), 1);
    const int multi = hcyOpenMultiDeviceDefault(2, 2);
    ASSERT_GT(multi, 0) << Error();
    auto opened = std::dynamic_pointer_cast<CMultiDevice>(theApp.FindDevice(multi));
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->GetChannelMask(), 0x3u);
    EXPECT_EQ(hcySetComMultiXmit(radioHandle, multi, flags, 2), 1);
    EXPECT_EQ(opened->GetChannelRadios(1), std::vector<CRadioModel*>{radio.get()});
    EXPECT_EQ(hcySetMultiVoxEnable(multi, 1, 1), 1);
    EXPECT_TRUE(opened->IsCapturing());
    EXPECT_EQ(hcySetMutliVoxLevel(multi, 1, 0.2f), 1);
    EXPECT_EQ(hcySetMultiVoxOffDelay(multi, 1, 3), 1);
    const std::string multiName = " for device " + std::to_string(multi) + ".";
    for (int channel : {-1, 2, 99, INT_MAX}) {
        theApp.ClearError();
        EXPECT_EQ(hcySetRadioPTT(multi, 1, channel), 1);
        EXPECT_EQ(hcytest::LastErrorText(),
                  "Invalid channel " + std::to_string(channel) + multiName);
        theApp.ClearError();
        EXPECT_EQ(hcySetMultiVoxEnable(multi, channel, 1), 1);
        EXPECT_EQ(hcytest::LastErrorText(),
                  "Invalid channel " + std::to_string(channel) + multiName);
    }
    EXPECT_FALSE(opened->IsKeyed());
    EXPECT_EQ(hcySetMultiVoxOffDelay(multi, 1, -2), 1);
    EXPECT_EQ(hcytest::LastErrorText(), "Invalid VOX off delay -2" + multiName);
    float gains[] = {1.0f, std::nanf("")};
    EXPECT_EQ(hcySetComMultiRecv(radioHandle, multi, 1, gains, 2), 0);
    EXPECT_EQ(hcytest::LastErrorText(), "Non-finite value sent to SetComMultiRecv.");
    ASSERT_EQ(hcyCloseMultiDevice(multi), 1);
    EXPECT_FALSE(opened->IsCaptureThreadRunning());
    hcySetMultiDeviceChannelMask(0);
}

}  // namespace
