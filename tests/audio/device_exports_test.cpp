// Sound cards through the exports: the open sequence (a handle first, output
// then input, -1 and the message on failure) and the close that unkeys.
#include <gtest/gtest.h>

#include <memory>

#include "device_fixture.h"
#include "hcyplat/virtual_sound.h"
#include "support/library_fixture.h"

namespace {

using devtest::LastErrorText;
using devtest::RecordingRadio;
using plat::vsnd::Fault;

class SoundCardExports : public RunningLibraryTest {
protected:
    void SetUp() override {
        RunningLibraryTest::SetUp();
        plat::vsnd::RemoveAllEndpoints();
        plat::vsnd::OutputEndpointConfig out;
        out.description = "Speakers";
        speakers = plat::vsnd::CreateOutputEndpoint(out).guid;
        plat::vsnd::InputEndpointConfig in;
        in.description = "Microphone";
        in.source = std::make_shared<plat::vsnd::RampSource>();
        const auto id = plat::vsnd::CreateInputEndpoint(in);
        mic = id.guid;
        micId = id.waveInId;
    }
    void TearDown() override {
        RunningLibraryTest::TearDown();
        plat::vsnd::RemoveAllEndpoints();
    }
    const HCYGUID* Speakers() const { return reinterpret_cast<const HCYGUID*>(&speakers); }

    plat::GUID speakers{}, mic{};
    plat::UINT micId = 0;
};

TEST_F(SoundCardExports, OpensAndClosesAndGivesBothEndpointsBack) {
    const int device = hcyOpenAudioDeviceSimple(micId, Speakers());
    ASSERT_GT(device, 0) << Error();
    EXPECT_TRUE(plat::vsnd::IsEndpointOpen(mic));
    EXPECT_TRUE(plat::vsnd::IsEndpointOpen(speakers));
    EXPECT_EQ(hcyCloseAudioDevice(device), 1);
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(mic));
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(speakers));
    EXPECT_EQ(hcyCloseAudioDevice(device), 0);
}

TEST_F(SoundCardExports, DefaultOpensTheFirstInputAndOutput) {
    const int device = hcyOpenAudioDeviceDefault();
    ASSERT_GT(device, 0) << Error();
    EXPECT_TRUE(plat::vsnd::IsEndpointOpen(mic));
    EXPECT_TRUE(plat::vsnd::IsEndpointOpen(speakers));
}

TEST_F(SoundCardExports, AFailedInputUsesAHandleUpAndDropsTheDevice) {
    const int first = hcyOpenAudioDevice(micId, Speakers(), nullptr);
    ASSERT_GT(first, 0) << Error();
    ASSERT_EQ(hcyCloseAudioDevice(first), 1);
    EXPECT_EQ(hcyOpenAudioDevice(micId + 9, Speakers(), nullptr), -1);
    EXPECT_EQ(LastErrorText(), "Could not open input device.  Device ID out of range.");
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(speakers));  // the output opened first is let go
    EXPECT_EQ(hcyOpenAudioDevice(micId, Speakers(), nullptr), first + 2);
}

TEST_F(SoundCardExports, AnInputInUseIsAllocated) {
    ASSERT_GT(hcyOpenAudioDeviceSimple(micId, Speakers()), 0);
    EXPECT_EQ(hcyOpenAudioDeviceSimple(micId, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "Could not open input device.  Device already allocated.");
}

TEST_F(SoundCardExports, OutputFailureMessagesOfEachOpen) {
    plat::vsnd::InjectFault(speakers, Fault::DirectSoundCreate,
                            static_cast<std::int32_t>(0x8878000Au), 3);
    EXPECT_EQ(hcyOpenAudioDevice(micId, Speakers(), nullptr), -1);
    EXPECT_EQ(LastErrorText(), "Failed to create DirectSound object.  Output device already allocated.");
    EXPECT_EQ(hcyOpenAudioDeviceEx(micId, Speakers(), nullptr, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "Error creating DirectSound object.");
    EXPECT_EQ(hcyOpenAudioDeviceSR(micId, 16000, Speakers(), 16000), -1);
    EXPECT_EQ(LastErrorText(), "Error creating DirectSound object.");
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(mic));  // output first: the input was never touched
}

TEST_F(SoundCardExports, RatesOpenWithTheirOwnRates) {
    const int device = hcyOpenAudioDeviceSR(micId, 8000, Speakers(), 22050);
    ASSERT_GT(device, 0) << Error();
    plat::vsnd::MixFormat format;
    ASSERT_TRUE(plat::vsnd::InputFormat(mic, &format));
    EXPECT_EQ(format.rate, 8000u);
    ASSERT_EQ(hcyCloseAudioDevice(device), 1);
    EXPECT_EQ(hcyOpenAudioDeviceSR(micId, 50, Speakers(), 16000), -1);
    EXPECT_EQ(LastErrorText(), "Could not open input device.  WAV format not supported.");
}

TEST_F(SoundCardExports, AHostsDirectSoundIsPassedByItsPointer) {
    plat::LPDIRECTSOUND host;
    ASSERT_EQ(plat::DirectSoundCreate(&speakers, &host, nullptr), plat::DS_OK);
    const int device = hcyOpenAudioDevice(micId, nullptr, &host);
    ASSERT_GT(device, 0) << Error();
    ASSERT_EQ(hcyCloseAudioDevice(device), 1);
    EXPECT_TRUE(plat::vsnd::IsEndpointOpen(speakers));  // the host's to release
    host->Release();
}

TEST_F(SoundCardExports, ClosingAKeyedDeviceLeavesNoRadioKeyed) {
    auto radio = std::make_shared<RecordingRadio>();
    const int handle = theApp.AddRadio(radio, [&](int h) { radio->SetUserId(static_cast<std::uint32_t>(h)); });
    const int device = hcyOpenAudioDeviceSimple(micId, Speakers());
    ASSERT_GT(device, 0) << Error();
    ASSERT_EQ(hcySetComRadioXmit(handle, device, 1), 1) << Error();
    ASSERT_EQ(hcySetRadioPTT(device, 1, 0), 1);
    EXPECT_TRUE(radio->Keyed());
    std::uint32_t keyed = 0;
    ASSERT_EQ(hcyGetDeviceData(device, DEVDATA_KEYED, reinterpret_cast<intptr_t>(&keyed)), 1);
    EXPECT_EQ(keyed, 1u);
    ASSERT_EQ(hcyCloseAudioDevice(device), 1);
    EXPECT_FALSE(radio->Keyed());
    EXPECT_EQ(radio->Ptt().back(), (devtest::PttCall{0, static_cast<std::uint16_t>(2 * device)}));
}

}  // namespace
