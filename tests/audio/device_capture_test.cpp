// The sound-card device on the virtual sound system, manual clock: a ramp
// microphone shows every captured block in order and without gaps; faults
// injected into the layer give the open messages.
#include <gtest/gtest.h>

#include <memory>

#include "audio/audio_device.h"
#include "device_fixture.h"
#include "hcyplat/clock.h"
#include "hcyplat/virtual_sound.h"
#include "support/test_support.h"

namespace {

using devtest::LastErrorText;
using devtest::PttCall;
using devtest::RecordingInterphone;
using devtest::RecordingRadio;
using plat::vsnd::Fault;

constexpr int kHandle = 3;
constexpr std::uint16_t kWord = 2 * kHandle;
constexpr std::uint32_t kBlockSamples = 1024;  // 2048 bytes: 64 ms at 16000 Hz
constexpr plat::DWORD kBlockMs = 64;

class SoundCard : public ::testing::Test {
protected:
    void SetUp() override {
        plat::UseManualClock();
        plat::vsnd::RemoveAllEndpoints();
        theApp.ClearError();
        plat::vsnd::OutputEndpointConfig out;
        out.description = "Speakers";
        out.sink = std::make_shared<plat::vsnd::MemorySink>();
        speakers = plat::vsnd::CreateOutputEndpoint(out).guid;
        ramp = std::make_shared<plat::vsnd::RampSource>();
        plat::vsnd::InputEndpointConfig in;
        in.description = "Microphone";
        in.source = ramp;
        const auto id = plat::vsnd::CreateInputEndpoint(in);
        mic = id.guid;
        micId = id.waveInId;
        device = std::make_unique<CAudioDevice>();
        device->SetHandle(kHandle);
    }
    void TearDown() override {
        device.reset();
        plat::vsnd::RemoveAllEndpoints();
        plat::UseRealClock();
    }

    void Open() {
        ASSERT_EQ(device->CreateDirectSoundOutput(&speakers), 1) << LastErrorText();
        ASSERT_EQ(device->OpenInput(micId), 1) << LastErrorText();
        ASSERT_TRUE(hcytest::WaitFor([&] { return device->IsCaptureThreadRunning(); }));
    }
    // One block of capture, then waits until the radio has `expected` blocks.
    bool Step(RecordingRadio& r, int expected) {
        plat::AdvanceClock(kBlockMs);
        return hcytest::WaitFor([&] { return r.blockCount.load() >= expected; },
                                std::chrono::seconds(5));
    }

    plat::GUID speakers{}, mic{};
    plat::UINT micId = 0;
    std::shared_ptr<plat::vsnd::RampSource> ramp;
    std::unique_ptr<CAudioDevice> device;
    RecordingRadio radio;
    RecordingInterphone interphone;
};

TEST_F(SoundCard, PushToTalkDeliversContiguousRampBlocksInOrder) {
    Open();
    device->AddRadioXmitPath(&radio);
    device->SetPTT(1, 0);
    EXPECT_TRUE(device->IsCapturing());
    for (int b = 1; b <= 6; ++b) ASSERT_TRUE(Step(radio, b)) << b;
    const auto blocks = radio.Blocks();
    ASSERT_EQ(blocks.size(), 6u);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        ASSERT_EQ(blocks[b].size(), kBlockSamples);
        for (std::uint32_t i = 0; i < kBlockSamples; ++i)
            ASSERT_EQ(blocks[b][i], static_cast<std::int16_t>((b * kBlockSamples + i) % 32768))
                << "block " << b << " sample " << i;
    }
    for (auto word : radio.Sources()) EXPECT_EQ(word, kWord);
}

TEST_F(SoundCard, UnkeyingStopsCaptureAndThePartialBlockIsNotDelivered) {
    Open();
    device->AddRadioXmitPath(&radio);
    device->SetPTT(1, 0);
    ASSERT_TRUE(Step(radio, 1));
    plat::AdvanceClock(kBlockMs / 2);  // half a block in the buffer
    device->SetPTT(0, 0);
    EXPECT_FALSE(device->IsCapturing());
    EXPECT_FALSE(radio.Keyed());
    for (int i = 0; i < 4; ++i) plat::AdvanceClock(kBlockMs);
    // The close joins the capture thread: whatever it had is handled.
    device->CloseInput();
    EXPECT_EQ(radio.blockCount, 1);
}

TEST_F(SoundCard, WithVoxOnPushToTalkNeitherStartsNorStopsCapture) {
    Open();
    device->SetVoxEnable(1);
    EXPECT_TRUE(device->IsCapturing());
    device->SetPTT(1, 0);
    device->SetPTT(0, 0);
    EXPECT_TRUE(device->IsCapturing());
    device->SetVoxEnable(0);
    EXPECT_FALSE(device->IsCapturing());
}

TEST_F(SoundCard, VoxOffWhileKeyedStopsCaptureButTheRadiosStayKeyed) {
    Open();
    device->AddRadioXmitPath(&radio);
    device->SetVoxEnable(1);
    device->SetPTT(1, 0);
    device->SetVoxEnable(0);
    EXPECT_FALSE(device->IsCapturing());
    EXPECT_TRUE(radio.Keyed());
}

TEST_F(SoundCard, VoxKeysOnTheRampAndDeliversFromTheCaptureThread) {
    Open();
    device->AddRadioXmitPath(&radio);
    device->SetVoxEnable(1);  // the ramp is loud from its first block
    ASSERT_TRUE(Step(radio, 1));
    EXPECT_TRUE(device->IsKeyed());
    EXPECT_EQ(radio.Ptt().front(), (PttCall{1, kWord}));
}

TEST_F(SoundCard, CloseOfAKeyedDeviceUnkeysEverythingAndReleasesBothEndpoints) {
    Open();
    device->AddRadioXmitPath(&radio);
    device->AddIntercomXmitPath(&interphone);
    device->SetPTT(1, 0);
    ASSERT_TRUE(Step(radio, 1));
    device->Close();
    EXPECT_FALSE(radio.Keyed());
    EXPECT_EQ(interphone.Talk().back(), (PttCall{0, kWord}));
    EXPECT_TRUE(device->GetRadioXmitList().empty());
    EXPECT_FALSE(device->IsCaptureThreadRunning());
    EXPECT_FALSE(device->IsInputOpen());
    EXPECT_EQ(device->GetDirectSound(), nullptr);
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(mic));
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(speakers));
    // Both can be opened again.
    CAudioDevice again;
    EXPECT_EQ(again.CreateDirectSoundOutput(&speakers), 1);
    EXPECT_EQ(again.OpenInput(micId), 1);
}

TEST_F(SoundCard, AFailedInputCloseReportsAndStillEndsTheCaptureThread) {
    Open();
    device->SetPTT(1, 0);
    plat::vsnd::InjectFault(mic, Fault::WaveInClose, 5 /* MMSYSERR_INVALHANDLE */);
    EXPECT_EQ(device->CloseInput(), 0);
    EXPECT_EQ(LastErrorText(), "waveInClose failed.");
    EXPECT_FALSE(device->IsCaptureThreadRunning());
    device.reset();  // retries the close
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(mic));
}

TEST_F(SoundCard, ARefusedBufferIsNotRetriedAndCaptureGoesOnWithTheOther) {
    Open();
    device->AddRadioXmitPath(&radio);
    plat::vsnd::InjectFault(mic, Fault::WaveInAddBuffer, 11, 1);
    device->SetPTT(1, 0);
    ASSERT_TRUE(Step(radio, 1));
    // One buffer in flight: frames that come while it is being queued again
    // are lost, so the clock moves on until the next one fills.
    bool second = false;
    for (int i = 0; i < 20 && !second; ++i) {
        plat::AdvanceClock(kBlockMs);
        second = hcytest::WaitFor([&] { return radio.blockCount.load() >= 2; },
                                  std::chrono::milliseconds(250));
    }
    ASSERT_TRUE(second);
    const auto blocks = radio.Blocks();
    EXPECT_EQ(blocks[0][0], 0);
    for (std::uint32_t i = 1; i < kBlockSamples; ++i)
        ASSERT_EQ(blocks[1][i], static_cast<std::int16_t>(blocks[1][0] + i));
}

TEST_F(SoundCard, ANewCaptureSizeTakesEffectOnTheNextBuffersAndTheFilterFollows) {
    Open();
    radio.SetXmitFilterSwitch(true);
    device->AddRadioXmitPath(&radio);
    const double band[2] = {300.0, 3000.0};
    ASSERT_EQ(device->SetDeviceData(401 /* DEVDATA_FILTER_BAND */, const_cast<double*>(band)), 1);
    device->SetPTT(1, 0);
    ASSERT_TRUE(Step(radio, 1));
    device->SetCaptureSize(4096);  // buffers already queued keep 2048
    bool larger = false;
    for (int i = 0; i < 20 && !larger; ++i) {
        plat::AdvanceClock(kBlockMs);
        larger = hcytest::WaitFor(
            [&] {
                const auto blocks = radio.Blocks();
                return !blocks.empty() && blocks.back().size() == 2048;
            },
            std::chrono::milliseconds(250));
    }
    ASSERT_TRUE(larger);
    EXPECT_EQ(radio.Blocks().front().size(), kBlockSamples);
}

// ---------------------------------------------------------------------------
// Open failures: headline and reason

struct OpenCase {
    Fault fault;
    std::int32_t code;
    bool output;
    const char* message;
};

class OpenFailure : public SoundCard, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenFailure, StoresItsMessage) {
    const auto& c = GetParam();
    plat::vsnd::InjectFault(c.output ? speakers : mic, c.fault, c.code);
    const int result = c.output ? device->CreateDirectSoundOutput(&speakers) : device->OpenInput(micId);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(LastErrorText(), c.message);
    EXPECT_FALSE(device->IsCaptureThreadRunning());
}

INSTANTIATE_TEST_SUITE_P(
    Messages, OpenFailure,
    ::testing::Values(
        OpenCase{Fault::WaveInOpen, 4, false, "Could not open input device.  Device already allocated."},
        OpenCase{Fault::WaveInOpen, 2, false, "Could not open input device.  Device ID out of range."},
        OpenCase{Fault::WaveInOpen, 6, false, "Could not open input device.  No valid input driver present."},
        OpenCase{Fault::WaveInOpen, 32, false, "Could not open input device.  WAV format not supported."},
        OpenCase{Fault::WaveInOpen, 7, false, "Input device open failed with code 7."},
        OpenCase{Fault::DirectSoundCreate, static_cast<std::int32_t>(0x8878000Au), true,
                 "Failed to create DirectSound object.  Output device already allocated."},
        OpenCase{Fault::DirectSoundCreate, static_cast<std::int32_t>(0x80070057u), true,
                 "Failed to create DirectSound object.  Invalid parameter passed to function."},
        OpenCase{Fault::DirectSoundCreate, static_cast<std::int32_t>(0x88780078u), true,
                 "Failed to create DirectSound object.  No compatible output driver available."},
        OpenCase{Fault::DirectSoundCreate, static_cast<std::int32_t>(0x80004005u), true,
                 "DirectSound object create failed with code 80004005."},
        OpenCase{Fault::CreateSoundBuffer, static_cast<std::int32_t>(0x88780064u), true,
                 "CreateSoundBuffer failed with code 88780064h"},
        OpenCase{Fault::SetFormat, static_cast<std::int32_t>(0x88780064u), true,
                 "Primary buffer SetFormat failed with code 88780064h"}));

TEST_F(SoundCard, AFailingCooperativeLevelIsReportedAndTheOpenGoesOn) {
    plat::vsnd::InjectFault(speakers, Fault::SetCooperativeLevel, static_cast<std::int32_t>(0x88780046u));
    EXPECT_EQ(device->CreateDirectSoundOutput(&speakers), 1);
    EXPECT_EQ(LastErrorText(), "SetCooperativeLevel failed with code 88780046.");
}

}  // namespace
