// Split stereo devices: first the halves' wiring, keying and voice-operated
// keying with blocks handed to DeliverCapture, then both capture kinds on
// the virtual card with a stereo ramp microphone.
#include <gtest/gtest.h>

#include "audio/split_device.h"
#include "audio_fixture.h"

namespace {

using hcytest::LastErrorText;
using hcytest::PttCall;
using hcytest::RecordingInterphone;
using hcytest::RecordingRadio;
using hcytest::Samples;

constexpr int kLeft = 8, kRight = 9;

// Stereo frames with the left and right samples given.
Samples Stereo(std::size_t frames, std::int16_t left, std::int16_t right) {
    Samples v(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) v[2 * i] = left, v[2 * i + 1] = right;
    return v;
}

class SplitHalves : public ::testing::Test {
protected:
    static constexpr int kHandle = 5;
    static constexpr std::uint32_t kLeftWord = 2 * kHandle + 1, kRightWord = 2 * kHandle;

    void SetUp() override {
        theApp.ClearError();
        device.SetHandle(kHandle);
        device.AddRadioXmitPathOnChannel(&left, kLeft);
        device.AddRadioXmitPathOnChannel(&right, kRight);
    }
    void Deliver(const Samples& stereo) {
        device.DeliverCapture(stereo.data(), static_cast<std::uint32_t>(stereo.size() * 2));
    }

    RecordingRadio left, right, other;
    RecordingInterphone station;
    CSplitDevice device;
};

TEST_F(SplitHalves, EachHalfKeysItsOwnRadiosWithItsWordAndGetsItsOwnChannel) {
    EXPECT_EQ(device.AddRadioXmitPathOnChannel(&left, kLeft), 0);
    EXPECT_EQ(LastErrorText(), "Transmit path already established for this device");
    EXPECT_EQ(device.AddRadioXmitPathOnChannel(&right, kLeft), 1);  // both halves may have it
    device.RemoveRadioXmitPathOnChannel(&right, kLeft);
    EXPECT_EQ(right.Ptt(), (std::vector<PttCall>{{0, kLeftWord}}));
    EXPECT_TRUE(right.Attached().empty());  // halves never attach

    EXPECT_EQ(device.SetPTT(1, 5), 1);  // neither half: nothing, and the host is told
    EXPECT_TRUE(left.Ptt().empty() && right.Ptt().size() == 1);
    EXPECT_FALSE(device.IsCapturing());
    EXPECT_EQ(LastErrorText(),
              "Invalid channel 5 for device " + std::to_string(device.GetHandle()) + ".");
    device.SetPTT(1, kRight);
    EXPECT_EQ(right.Ptt().back(), (PttCall{1, kRightWord}));
    EXPECT_TRUE(left.Ptt().empty());
    EXPECT_TRUE(device.IsKeyed());                     // while either half is
    device.AddRadioXmitPathOnChannel(&other, kRight);  // joins a keyed half: keyed at once
    EXPECT_EQ(other.Ptt(), (std::vector<PttCall>{{1, kRightWord}}));
    device.SetPTT(1, kLeft);
    Deliver(Stereo(512, 100, -200));
    EXPECT_EQ(left.Blocks(), std::vector<Samples>{Samples(512, 100)});
    EXPECT_EQ(right.Blocks(), std::vector<Samples>{Samples(512, -200)});
    EXPECT_EQ(left.Sources(), std::vector<std::uint32_t>{kLeftWord});
    EXPECT_EQ(right.Sources(), std::vector<std::uint32_t>{kRightWord});

    // A trailing part of a frame carries nothing.
    const Samples odd = {1, 2, 3, 4, 5};
    device.DeliverCapture(odd.data(), 10);
    EXPECT_EQ(left.Blocks().back(), (Samples{1, 3}));
    EXPECT_EQ(right.Blocks().back(), (Samples{2, 4}));
}

TEST_F(SplitHalves, ARadioKeyedByAnotherDeviceHearsNothingFromItsHalf) {
    left.SetPTT(1, 99);
    device.SetPTT(1, kLeft);
    device.SetPTT(1, kRight);
    Deliver(Stereo(256, 1000, 1000));
    EXPECT_EQ(left.blockCount, 0);
    EXPECT_EQ(right.blockCount, 1);
}

TEST_F(SplitHalves, WiringWithoutAChannelIsTheLeftHalfAndRemovalLeavesBoth) {
    device.AddRadioXmitPath(&other);
    device.AddRadioXmitPathOnChannel(&other, kRight);
    EXPECT_EQ(device.GetHalfRadios(kLeft), (std::vector<CRadioModel*>{&left, &other}));
    EXPECT_EQ(device.RemoveRadioXmitPath(&other), 1);
    EXPECT_EQ(device.RemoveRadioXmitPath(&other), 1);  // on neither half: nothing
    EXPECT_EQ(device.GetHalfRadios(kLeft), std::vector<CRadioModel*>{&left});
    EXPECT_EQ(device.GetHalfRadios(kRight), std::vector<CRadioModel*>{&right});
    EXPECT_TRUE(device.GetRadioXmitList().empty());

    device.AddIntercomXmitPath(&station);
    EXPECT_EQ(device.GetHalfIntercoms(kLeft), std::vector<CICSModel*>{&station});
    device.SetPTT(1, kLeft);
    device.RemoveIntercomXmitPath(&station);
    EXPECT_EQ(station.Talk(), (std::vector<PttCall>{{1, kLeftWord}, {0, kLeftWord}}));
    EXPECT_TRUE(device.GetHalfIntercoms(kLeft).empty());
}

// A half's VOX at the default level 0.0 finds every block loud; with a level,
// 11 quiet blocks after the last loud one are sent and the 12th unkeys. The
// half's stations get its audio whatever the keying decided.
TEST_F(SplitHalves, EachHalfHasItsOwnVoiceOperatedKeying) {
    device.AddIntercomXmitPathOnChannel(&station, kRight);
    device.SetChannelVoxEnable(1, 1);
    device.SetSplitVoxLevel(0.0f, 0.008f);
    Deliver(Stereo(1024, 0, 1000));
    EXPECT_TRUE(device.IsHalfKeyed(kLeft));  // silence, yet loud at level 0
    EXPECT_EQ(left.Ptt(), (std::vector<PttCall>{{1, kLeftWord}}));
    EXPECT_EQ(right.Ptt(), (std::vector<PttCall>{{1, kRightWord}}));
    for (int i = 0; i < 11; ++i) Deliver(Stereo(1024, 0, 0));
    EXPECT_TRUE(device.IsHalfKeyed(kRight));
    Deliver(Stereo(1024, 0, 0));
    EXPECT_FALSE(device.IsHalfKeyed(kRight));
    EXPECT_EQ(right.Ptt().back(), (PttCall{0, kRightWord}));
    Deliver(Stereo(1024, 0, 0));
    EXPECT_EQ(right.blockCount, 12);
    EXPECT_EQ(left.blockCount, 14);
    EXPECT_TRUE(device.IsHalfKeyed(kLeft));
    EXPECT_EQ(station.Blocks().size(), 14u);

    device.SetChannelVoxOffDelay(0, 0);
    Deliver(Stereo(1024, 0, 1000));
    Deliver(Stereo(1024, 0, 0));  // sent: the count had not passed 0
    Deliver(Stereo(1024, 0, 0));
    EXPECT_FALSE(device.IsHalfKeyed(kRight));
    EXPECT_EQ(right.blockCount, 14);
}

TEST_F(SplitHalves, CloseUnkeysEveryRadioAndStationOfBothHalves) {
    device.AddIntercomXmitPathOnChannel(&station, kLeft);
    device.SetPTT(1, kLeft);
    device.SetPTT(1, kRight);
    device.Close();
    EXPECT_FALSE(left.Keyed());
    EXPECT_FALSE(right.Keyed());
    EXPECT_EQ(station.Talk().back(), (PttCall{0, kLeftWord}));
    EXPECT_TRUE(device.GetHalfRadios(kLeft).empty());
    EXPECT_TRUE(device.GetHalfRadios(kRight).empty());
}

// ---------------------------------------------------------------------------
// On the virtual card: left frame n = n, right n + 4096.

template <class Device>
class SplitCapture : public ::testing::Test, public hcytest::Card {
protected:
    void SetUp() override {
        plat::UseManualClock();
        theApp.ClearError();
        device.SetHandle(4);
        ASSERT_EQ(device.CreateDirectSoundOutput(&speakers), 1) << LastErrorText();
        ASSERT_TRUE(OpenInput()) << LastErrorText();
        device.AddRadioXmitPathOnChannel(&left, kLeft);
        device.AddRadioXmitPathOnChannel(&right, kRight);
    }
    void TearDown() override {
        device.Close();
        plat::UseRealClock();
    }
    bool OpenInput();

    RecordingRadio left, right;
    Device device;
};

template <>
bool SplitCapture<CSplitDevice>::OpenInput() {
    return device.OpenInput(micId) == 1;
}
template <>
bool SplitCapture<CSplitDeviceDS8>::OpenInput() {
    return device.OpenCapture(&mic) == 1;
}

using SplitKinds = ::testing::Types<CSplitDevice, CSplitDeviceDS8>;
TYPED_TEST_SUITE(SplitCapture, SplitKinds);

TYPED_TEST(SplitCapture, EachHalfTransmitsItsOwnMicrophoneInUnbrokenBlocks) {
    this->device.SetPTT(1, kLeft);
    this->device.SetPTT(1, kRight);
    EXPECT_TRUE(this->device.IsCapturing());
    for (int i = 1; i <= 4; ++i) {
        plat::AdvanceClock(64);
        ASSERT_TRUE(hcytest::WaitFor([&] { return this->right.blockCount.load() >= i; })) << i;
    }
    this->device.SetPTT(0, kLeft);
    EXPECT_TRUE(this->device.IsCapturing());  // the right half still talks
    this->device.SetPTT(0, kRight);
    EXPECT_FALSE(this->device.IsCapturing());
    this->device.Close();  // every block captured is delivered
    for (const auto* radio : {&this->left, &this->right}) {
        const int offset = radio == &this->left ? 0 : 4096;
        const auto blocks = radio->Blocks();
        ASSERT_GE(blocks.size(), 3u);
        std::int16_t next = static_cast<std::int16_t>(offset);
        for (const auto& b : blocks) {
            for (auto s : b) ASSERT_EQ(s, next++);
        }
    }
    EXPECT_EQ(this->left.Sources().front(), 9u);
    EXPECT_EQ(this->right.Sources().front(), 8u);
}

}  // namespace
