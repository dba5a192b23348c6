// The multi-channel device on the virtual card (2 inputs, 4 outputs, handle
// 300, so its keying words need more than 16 bits): per-channel keying and
// voice-operated keying with blocks handed to DeliverCapture, shared-source
// keying, capture, and a real radio heard on four speakers with a gain each.
#include <gtest/gtest.h>

#include <cstring>

#include "../radio/radio_fixture.h"
#include "audio/multi_device.h"
#include "audio_fixture.h"
#include "halcyra/halcyra.h"

namespace {

using hcytest::LastErrorText;
using hcytest::PttCall;
using hcytest::RecordingInterphone;
using hcytest::RecordingRadio;
using hcytest::Samples;

constexpr int kHandle = 300;
constexpr std::uint32_t Word(int channel) { return (kHandle << 8) | channel; }

// Two-channel frames.
Samples Frames(std::size_t n, std::int16_t first, std::int16_t second) {
    Samples v(2 * n);
    for (std::size_t i = 0; i < n; ++i) v[2 * i] = first, v[2 * i + 1] = second;
    return v;
}

class MultiChannels : public ::testing::Test, public hcytest::Card {
protected:
    MultiChannels() : Card(nullptr, 4) {}
    void SetUp() override {
        plat::UseManualClock();
        theApp.ClearError();
        device.SetHandle(kHandle);
        device.SetChannelMask(0x33);
        ASSERT_EQ(device.OpenOutput(&speakers, 4), 1) << LastErrorText();
        ASSERT_EQ(device.OpenInput(micId, 2, 16000), 1) << LastErrorText();
    }
    void TearDown() override {
        device.Close();
        plat::UseRealClock();
    }
    void Deliver(const Samples& frames) {
        device.DeliverCapture(frames.data(), static_cast<std::uint32_t>(frames.size() * 2));
    }
    void Shared(int on) { device.SetDeviceData(DEVDATA_SHARED_SOURCE, &on); }

    RecordingRadio a, b, c;
    RecordingInterphone station;
    CMultiDevice device;
};

TEST_F(MultiChannels, ChannelsKeyTheirRadiosAndARadioOnTwoGetsTheirSaturatedSum) {
    EXPECT_EQ(device.GetChannelCount(), 4);
    EXPECT_EQ(device.GetOutputChannels(), 4);
    EXPECT_EQ(device.GetCaptureChannels(), 2);
    const int both[] = {1, 1};
    device.SetTransmitPathChannels(&a, both, 2);
    device.AddRadioXmitPathOnChannel(&b, 3);  // past the inputs: silence
    EXPECT_EQ(device.AddRadioXmitPathOnChannel(&a, 1), 0);
    EXPECT_EQ(LastErrorText(), "Transmit path already established for this device/channel");
    EXPECT_EQ(device.AddRadioXmitPathOnChannel(&c, 7), 0);  // no such channel: nothing
    EXPECT_EQ(LastErrorText(), "Invalid channel 7 for device 300.");
    EXPECT_EQ(device.GetChannelRadios(7), std::vector<CRadioModel*>{});

    device.SetPTT(1, 0);
    EXPECT_EQ(a.Ptt(), (std::vector<PttCall>{{1, Word(0)}}));
    device.SetPTT(1, 1);
    device.SetPTT(1, 3);
    EXPECT_TRUE(device.IsCapturing());
    EXPECT_EQ(b.Ptt(), (std::vector<PttCall>{{1, Word(3)}}));
    device.AddRadioXmitPathOnChannel(&c, 1);  // a keyed channel keys it at once
    EXPECT_EQ(c.Ptt(), (std::vector<PttCall>{{1, Word(1)}}));
    Deliver(Frames(512, 30000, 30000));
    EXPECT_EQ(a.Blocks(), std::vector<Samples>{Samples(512, 32767)});
    EXPECT_EQ(b.Blocks(), std::vector<Samples>{Samples(512, 0)});
    EXPECT_EQ(c.Blocks(), std::vector<Samples>{Samples(512, 30000)});
    EXPECT_EQ(a.Sources(), std::vector<std::uint32_t>{kHandle << 4});

    // A release lets the channel go even though its radios were keyed:
    // nothing is sent after it.
    device.SetPTT(0, 0);
    device.SetPTT(0, 1);
    device.SetPTT(0, 3);
    EXPECT_FALSE(device.IsChannelKeyed(1));
    EXPECT_FALSE(device.IsCapturing());
    Deliver(Frames(512, 30000, 30000));
    EXPECT_EQ(a.blockCount, 1);
    EXPECT_EQ(c.blockCount, 1);

    const int none[] = {0, 0};
    device.SetTransmitPathChannels(&a, none, 2);
    EXPECT_TRUE(device.GetChannelRadios(0).empty());
    device.RemoveRadioXmitPath(&c);
    EXPECT_TRUE(device.GetChannelRadios(1).empty());
    EXPECT_EQ(c.Attached(), std::vector<int>{0});
}

// Voice-operated keying runs in both passes, so each block counts twice:
// after the last loud block the radios get six quiet blocks, the stations
// five, and the release comes in the stations' pass of the sixth.
TEST_F(MultiChannels, VoxCountsEachBlockInBothPasses) {
    device.AddRadioXmitPathOnChannel(&a, 1);
    device.AddIntercomXmitPathOnChannel(&station, 1);
    EXPECT_EQ(device.SetVoxEnables(nullptr, 2), 0);
    device.SetChannelVoxEnable(1, 1);
    device.SetChannelVoxLevel(0.008f, 1);
    EXPECT_TRUE(device.IsCapturing());
    Deliver(Frames(1024, 5000, 1000));
    EXPECT_EQ(a.Ptt(), (std::vector<PttCall>{{1, Word(1)}}));
    for (int i = 0; i < 5; ++i) Deliver(Frames(1024, 5000, 0));
    EXPECT_TRUE(a.Keyed());
    Deliver(Frames(1024, 5000, 0));
    EXPECT_EQ(a.Ptt().back(), (PttCall{0, Word(1)}));
    Deliver(Frames(1024, 5000, 0));
    EXPECT_EQ(a.blockCount, 7);
    EXPECT_EQ(station.Blocks().size(), 6u);
    EXPECT_EQ(station.Talk(), (std::vector<PttCall>{{1, Word(1)}, {0, Word(1)}}));
    const int off[] = {0, 0};
    EXPECT_EQ(device.SetVoxEnables(off, 2), 1);
    EXPECT_FALSE(device.IsCapturing());
}

// On a shared source the radios are keyed with handle << 8 when a channel
// they are on is keyed, and let go when the device's last channel is
// released, whichever channel keyed them.
TEST_F(MultiChannels, SharedSourceKeysOnTheFirstChannelAndReleasesOnTheLast) {
    Shared(1);
    EXPECT_EQ(device.GetSourceWord(3), static_cast<std::uint32_t>(kHandle << 8));
    device.AddRadioXmitPathOnChannel(&a, 0);
    device.AddRadioXmitPathOnChannel(&b, 1);
    device.SetPTT(1, 0);
    EXPECT_EQ(a.Ptt(), (std::vector<PttCall>{{1, kHandle << 8}}));
    device.SetPTT(1, 1);
    EXPECT_EQ(b.Ptt(), (std::vector<PttCall>{{1, kHandle << 8}}));
    device.SetPTT(0, 0);
    EXPECT_TRUE(a.Keyed());
    device.SetPTT(0, 1);
    EXPECT_FALSE(a.Keyed());
    EXPECT_FALSE(b.Keyed());
}

TEST_F(MultiChannels, CloseUnkeysEveryChannelsRadiosAndStations) {
    device.AddRadioXmitPathOnChannel(&a, 0);
    device.AddIntercomXmitPathOnChannel(&station, 1);
    device.SetPTT(1, 0);
    device.SetPTT(1, 1);
    device.Close();
    EXPECT_FALSE(a.Keyed());
    EXPECT_EQ(station.Talk().back(), (PttCall{0, Word(1)}));
    EXPECT_TRUE(device.GetChannelRadios(0).empty());
    EXPECT_FALSE(device.IsCaptureThreadRunning());
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(mic));
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(speakers));
}

TEST_F(MultiChannels, ACapturedChannelReachesItsRadiosInUnbrokenBlocks) {
    device.AddRadioXmitPathOnChannel(&a, 1);
    device.SetPTT(1, 1);
    for (int i = 1; i <= 3; ++i) {
        plat::AdvanceClock(64);
        ASSERT_TRUE(hcytest::WaitFor([&] { return a.blockCount.load() >= i; })) << i;
    }
    std::int16_t next = 0x1000;  // channel 1 of the ramp: frame n + 4096
    for (const auto& block : a.Blocks()) {
        ASSERT_EQ(block.size(), 1024u);
        for (auto s : block) ASSERT_EQ(s, next++);
    }
}

TEST(MultiDevice, ChannelCountsOutsideOneTo32AreRefused) {
    for (int channels : {0, 33, -1}) {
        CMultiDevice device;
        EXPECT_EQ(device.OpenOutput(nullptr, channels), 0) << channels;
        EXPECT_EQ(LastErrorText(), "Channel count must be between 1 and 32");
        EXPECT_EQ(device.OpenInput(0, channels, 16000), 0) << channels;
    }
}

// A real radio heard through a multi-channel receive path: each speaker at
// its own gain.
class MultiSpeakers : public hcytest::SoundTest {};

TEST_F(MultiSpeakers, ARadioIsHeardOnEveryOutputAtItsChannelGain) {
    hcytest::Card card(nullptr, 4);
    hcy::radio::SetNetMgrHookForTest([](hcy::radio::NetMgrMessage&&) {});
    CMultiDevice device;
    device.SetHandle(2);
    ASSERT_EQ(device.OpenOutput(&card.speakers, 4), 1) << LastErrorText();
    CGenericRadioModel radio;
    radio.SetRadioId(1, 2, 3, 4);
    radio.SetFrequency(30e6, 30e6);
    radio.SetXYZPosition(6378137.0, 0.0, 0.0);
    radio.SetDoPropLossModel(0);
    const float gains[] = {1.0f, 0.5f, 0.0f, 0.25f};
    ASSERT_EQ(radio.AddMultiRecvPath(&device, gains, 4), 1);
    hcytest::TransmitterSpec s;
    hcytest::Deliver(radio, hcytest::MakeTransmitterPdu(s));
    Samples block(1024);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::int16_t>(static_cast<int>(i) * 23 % 20000 - 10000);
    std::vector<std::uint8_t> pcm(2048);
    std::memcpy(pcm.data(), block.data(), pcm.size());
    hcytest::Deliver(radio, hcytest::MakeSignalPdu(s.id, 4, pcm, 1024));
    card.sink->Clear();
    plat::AdvanceClock(64);
    const auto heard = card.sink->Samples();
    ASSERT_EQ(heard.size(), 4u * 1024u);
    for (std::size_t i = 0; i < block.size(); ++i) {
        ASSERT_EQ(heard[4 * i], block[i]) << i;
        ASSERT_EQ(heard[4 * i + 1], static_cast<std::int16_t>(block[i] * 0.5)) << i;
        ASSERT_EQ(heard[4 * i + 2], 0) << i;
        ASSERT_EQ(heard[4 * i + 3], static_cast<std::int16_t>(block[i] * 0.25)) << i;
    }
    radio.Shutdown();
    device.Close();
    hcy::radio::SetNetMgrHookForTest({});
}

}  // namespace
