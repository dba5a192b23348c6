// The DirectSound 8 capture device on the virtual card, a ramp microphone
// and the manual clock: blocks of the capture size, the rest at a stop,
// reading on where it stopped, and what a failed open leaves behind.
#include <gtest/gtest.h>

#include "audio/audio_device_ds8.h"
#include "audio_fixture.h"

namespace {

using hcytest::LastErrorText;
using hcytest::PttCall;
using hcytest::RecordingRadio;
using hcytest::Samples;
using plat::vsnd::Fault;

class Ds8Device : public ::testing::Test, public hcytest::Card {
protected:
    void SetUp() override {
        plat::UseManualClock();
        theApp.ClearError();
        device = std::make_unique<CAudioDeviceDS8>();
        device->SetHandle(3);
    }
    void TearDown() override {
        device.reset();
        plat::UseRealClock();
    }
    void Open() {
        ASSERT_EQ(device->CreateDirectSoundOutput(&speakers), 1) << LastErrorText();
        ASSERT_EQ(device->OpenCapture(&mic), 1) << LastErrorText();
        device->AddRadioXmitPath(&radio);
    }
    // Every sample the radio got, in order.
    Samples Heard() const {
        Samples all;
        for (const auto& b : radio.Blocks()) all.insert(all.end(), b.begin(), b.end());
        return all;
    }
    bool Blocks(int n) {
        return hcytest::WaitFor([&] { return radio.blockCount.load() >= n; },
                                std::chrono::seconds(5));
    }

    RecordingRadio radio;
    std::unique_ptr<CAudioDeviceDS8> device;
};

TEST_F(Ds8Device, BlocksOfTheOpenSizeThenTheRestAtUnkeyAndReadingGoesOnWhereItStopped) {
    Open();
    device->SetPTT(1, 0);
    plat::AdvanceClock(100);  // 1600 frames: one block of 1024 and 576 more
    ASSERT_TRUE(Blocks(1));
    device->SetPTT(0, 0);
    ASSERT_TRUE(Blocks(2));
    auto blocks = radio.Blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].size(), 1024u);
    EXPECT_EQ(blocks[1].size(), 576u);  // delivered after the release
    EXPECT_FALSE(radio.Keyed());

    // A new capture size does not move the notifications of an open device;
    // a restart reads on from the flush, round the end of the ring.
    device->SetCaptureSize(4096);
    device->SetPTT(1, 0);
    for (int i = 0; i < 12; ++i) {
        plat::AdvanceClock(64);
        ASSERT_TRUE(Blocks(2 + i)) << i;  // the first block end comes too soon to read
    }
    device->SetPTT(0, 0);
    ASSERT_TRUE(Blocks(14));
    blocks = radio.Blocks();
    ASSERT_EQ(blocks.size(), 14u);
    for (std::size_t b = 2; b + 1 < blocks.size(); ++b) EXPECT_EQ(blocks[b].size(), 1024u) << b;
    const Samples all = Heard();
    ASSERT_EQ(all.size(), 1600u + 12u * 1024u);
    for (std::size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(all[i], static_cast<std::int16_t>(i % 32768)) << i;
    for (auto word : radio.Sources()) EXPECT_EQ(word, 6u);
}

TEST_F(Ds8Device, AFailedOpenLeavesNoThreadAndGivesTheInputBack) {
    const struct {
        Fault fault;
        std::uint32_t code;
        const char* message;
    } cases[] = {
        {Fault::CaptureCreate, 0x8878000A,
         "Failed to create DirectSoundCapture object.  Input device already allocated."},
        {Fault::CaptureCreate, 0x80070057,
         "Failed to create DirectSoundCapture object.  Invalid parameter passed to function."},
        {Fault::CaptureCreate, 0x80040110,
         "Failed to create DirectSoundCapture object.  No aggregation error."},
        {Fault::CaptureCreate, 0x8007000E,
         "Failed to create DirectSoundCapture object.  Out of Memory."},
        {Fault::CaptureCreate, 0x80004005,
         "DirectSoundCapture object create failed with code 80004005."},
        {Fault::CreateCaptureBuffer, 0x88780064, "CreateCaptureBuffer failed with code 88780064h"},
        {Fault::SetNotificationPositions, 0x80070057,
         "SetCaptureNotifications failed with code 80070057h"},
    };
    for (const auto& c : cases) {
        plat::vsnd::InjectFault(mic, c.fault, static_cast<std::int32_t>(c.code));
        EXPECT_EQ(device->OpenCapture(&mic), 0) << c.message;
        EXPECT_EQ(LastErrorText(), c.message);
        EXPECT_FALSE(device->IsInputOpen());
        EXPECT_FALSE(device->IsCaptureThreadRunning());
        EXPECT_FALSE(plat::vsnd::IsEndpointOpen(mic));
    }
    ASSERT_EQ(device->OpenCapture(&mic), 1) << LastErrorText();
    CAudioDeviceDS8 second;
    EXPECT_EQ(second.OpenCapture(&mic), 0);
    EXPECT_EQ(LastErrorText(),
              "Failed to create DirectSoundCapture object.  Input device already allocated.");
}

TEST_F(Ds8Device, VoxKeysOnALoudBlockAndCloseUnkeysAndGivesTheInputBack) {
    Open();
    device->SetVoxEnable(1);
    EXPECT_TRUE(device->IsCapturing());
    plat::AdvanceClock(64);
    ASSERT_TRUE(Blocks(1));
    EXPECT_EQ(radio.Ptt().front(), (PttCall{1, 6}));
    device->Close();
    EXPECT_FALSE(radio.Keyed());
    EXPECT_FALSE(device->IsCaptureThreadRunning());
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(mic));
    CAudioDeviceDS8 again;
    EXPECT_EQ(again.OpenCapture(&mic), 1);
}

}  // namespace
