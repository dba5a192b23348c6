// The device base on its own: transmit lists and their keying, mono
// voice-operated keying, the band-pass filter, device data, WAV-player slots
// and CFloatArray. A sound-card device with nothing opened stands for any
// mono device; blocks are handed to DeliverCapture directly.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/audio_device.h"
#include "audio/band_pass.h"
#include "device_fixture.h"
#include "halcyra/halcyra.h"

namespace {

using devtest::LastErrorText;
using devtest::PttCall;
using devtest::RecordingInterphone;
using devtest::RecordingRadio;

constexpr int kHandle = 7;
constexpr std::uint16_t kWord = 2 * kHandle;
constexpr std::uint32_t kBlockSamples = 1024;

std::vector<std::int16_t> Constant(std::int16_t value, std::uint32_t n = kBlockSamples) {
    return std::vector<std::int16_t>(n, value);
}

std::vector<std::int16_t> Sine(double hz, double amplitude, std::uint32_t first, std::uint32_t n,
                               double rate = 16000.0) {
    std::vector<std::int16_t> out(n);
    for (std::uint32_t i = 0; i < n; ++i)
        out[i] = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2.0 * M_PI * hz * (first + i) / rate)));
    return out;
}

class DeviceBase : public ::testing::Test {
protected:
    void SetUp() override {
        theApp.ClearError();
        device.SetHandle(kHandle);
    }
    void Deliver(const std::vector<std::int16_t>& block) {
        device.DeliverCapture(block.data(), static_cast<std::uint32_t>(block.size() * 2));
    }

    CAudioDevice device;
    RecordingRadio radio, other;
    RecordingInterphone interphone;
};

// ---------------------------------------------------------------------------
// Transmit lists

TEST_F(DeviceBase, SecondAddOfARadioFailsWithItsMessageAndLeavesTheList) {
    EXPECT_EQ(device.AddRadioXmitPath(&radio), 1);
    EXPECT_EQ(device.AddRadioXmitPath(&radio), 0);
    EXPECT_EQ(LastErrorText(), "Transmit path already established for this device");
    EXPECT_EQ(device.GetRadioXmitList(), std::vector<CRadioModel*>{&radio});
    EXPECT_EQ(radio.Attached(), std::vector<int>{1});
    EXPECT_TRUE(radio.Ptt().empty());  // not keyed: the radio is not keyed either
}

TEST_F(DeviceBase, AddingToAKeyedDeviceKeysTheRadioWithTwiceTheHandle) {
    device.SetPTT(1, 0);
    ASSERT_TRUE(device.IsKeyed());
    device.AddRadioXmitPath(&radio);
    EXPECT_EQ(radio.Ptt(), (std::vector<PttCall>{{1, kWord}}));
}

TEST_F(DeviceBase, RemovingARadioNotOnTheListStillDetachesItsTransmitter) {
    EXPECT_EQ(device.RemoveRadioXmitPath(&radio), 1);
    EXPECT_EQ(radio.Attached(), std::vector<int>{0});
    EXPECT_TRUE(radio.Ptt().empty());
}

TEST_F(DeviceBase, RemovingARadioUnkeysItWithTheDevicesWord) {
    device.AddRadioXmitPath(&radio);
    device.AddRadioXmitPath(&other);
    device.SetPTT(1, 0);
    device.RemoveRadioXmitPath(&radio);
    EXPECT_FALSE(radio.Keyed());
    EXPECT_TRUE(other.Keyed());
    EXPECT_EQ(device.GetRadioXmitList(), std::vector<CRadioModel*>{&other});
}

TEST_F(DeviceBase, InterphonesJoinUnkeyedRefuseDuplicatesSilentlyAndStopTalkingOnRemoval) {
    EXPECT_EQ(device.AddIntercomXmitPath(&interphone), 1);
    EXPECT_EQ(device.AddIntercomXmitPath(&interphone), 0);
    EXPECT_EQ(theApp.LastError(), "");
    EXPECT_TRUE(interphone.Talk().empty());
    device.SetPTT(1, 3);
    EXPECT_EQ(device.RemoveIntercomXmitPath(&interphone), 1);
    EXPECT_EQ(interphone.Talk(), (std::vector<PttCall>{{1, kWord}, {0, kWord}}));
    EXPECT_TRUE(device.GetIntercomXmitList().empty());
}

// ---------------------------------------------------------------------------
// Voice-operated keying (level 0.008, off delay 10)

class Vox : public DeviceBase {
protected:
    void SetUp() override {
        DeviceBase::SetUp();
        device.AddRadioXmitPath(&radio);
        device.SetVoxEnable(1);
    }
};

TEST_F(Vox, OneLoudThenElevenQuietBlocksAreSentAndTheTwelfthUnkeys) {
    Deliver(Constant(1000));
    EXPECT_TRUE(device.IsKeyed());
    EXPECT_EQ(radio.Ptt(), (std::vector<PttCall>{{1, kWord}}));
    for (int i = 0; i < 11; ++i) Deliver(Constant(0));
    EXPECT_EQ(radio.blockCount, 12);
    EXPECT_TRUE(device.IsKeyed());
    Deliver(Constant(0));  // the twelfth quiet block
    EXPECT_FALSE(device.IsKeyed());
    EXPECT_EQ(radio.blockCount, 12);
    EXPECT_EQ(radio.Ptt().back(), (PttCall{0, kWord}));
    for (int i = 0; i < 5; ++i) Deliver(Constant(0));
    EXPECT_EQ(radio.blockCount, 12);
    Deliver(Constant(1000));
    EXPECT_TRUE(device.IsKeyed());
    EXPECT_EQ(radio.blockCount, 13);
}

TEST_F(Vox, ThresholdSitsBetween143And144) {
    Deliver(Constant(143));  // level 0.00799
    EXPECT_FALSE(device.IsKeyed());
    EXPECT_EQ(radio.blockCount, 0);
    Deliver(Constant(144));  // level 0.00805
    EXPECT_TRUE(device.IsKeyed());
    EXPECT_EQ(radio.blockCount, 1);
}

TEST_F(Vox, ALevelEqualToTheThresholdIsLoud) {
    const auto block = Constant(500);
    const float level = ComputeRmsLevel(block.data(), 2048, 16000) / 100.0f;
    device.SetVoxLevel(level);
    Deliver(block);
    EXPECT_TRUE(device.IsKeyed());
}

TEST_F(Vox, AnEmptyBlockIsQuiet) {
    const std::int16_t none[1] = {0};
    device.DeliverCapture(none, 0);
    EXPECT_FALSE(device.IsKeyed());
    EXPECT_EQ(radio.blockCount, 0);
}

TEST_F(Vox, QuietBlocksAlsoEndAPushToTalkKeying) {
    device.SetPTT(1, 4);
    for (int i = 0; i < 11; ++i) Deliver(Constant(0));
    EXPECT_TRUE(device.IsKeyed());
    Deliver(Constant(0));
    EXPECT_FALSE(device.IsKeyed());
    EXPECT_EQ(radio.blockCount, 11);
}

// ---------------------------------------------------------------------------
// Band-pass filter (300 to 3000 Hz at 16000 Hz)

TEST(BandPass, CentreTapIsTwiceTheBandwidthOverTheRate) {
    CBandPassFilter filter;
    ASSERT_TRUE(filter.Design(16000, 300.0, 3000.0));
    EXPECT_NEAR(filter.Coefficient(32), 0.3375, 1e-12);
    EXPECT_FALSE(filter.Design(0, 300.0, 3000.0));
    EXPECT_FALSE(filter.Design(16000, NAN, 3000.0));
}

TEST(BandPass, AnImpulseComesOutThirtyOneSamplesBeforeTheBlockEnd) {
    CBandPassFilter filter;
    filter.Design(16000, 300.0, 3000.0);
    std::vector<std::int16_t> block(kBlockSamples, 0), out(kBlockSamples);
    filter.Filter(block.data(), out.data(), kBlockSamples);
    block[0] = 10000;
    filter.Filter(block.data(), out.data(), kBlockSamples);
    EXPECT_EQ(out[993], 3375);
    for (std::uint32_t i = 0; i < kBlockSamples; ++i)
        if (i < 961) {
            EXPECT_EQ(out[i], 0) << i;
        }
}

TEST(BandPass, PassesTheBandAndDampsBelowIt) {
    auto peak = [](double hz) {
        CBandPassFilter filter;
        filter.Design(16000, 300.0, 3000.0);
        std::vector<std::int16_t> out(kBlockSamples);
        int largest = 0;
        for (std::uint32_t b = 0; b < 3; ++b) {
            const auto in = Sine(hz, 10000.0, b * kBlockSamples, kBlockSamples);
            filter.Filter(in.data(), out.data(), kBlockSamples);
            if (b > 0)
                for (auto s : out) largest = std::max(largest, std::abs(static_cast<int>(s)));
        }
        return largest;
    };
    EXPECT_NEAR(peak(1000.0), 9930, 80);
    EXPECT_NEAR(peak(100.0), 640, 60);
}

TEST(BandPass, AFullScaleInBandToneSaturatesInsteadOfWrapping) {
    CBandPassFilter filter;
    filter.Design(16000, 300.0, 3000.0);
    const std::uint32_t n = kBlockSamples;
    const auto first = Sine(1650.0, 32767.0, 0, n);
    const auto second = Sine(1650.0, 32767.0, n, n);
    std::vector<std::int16_t> out(n);
    filter.Filter(first.data(), out.data(), n);
    filter.Filter(second.data(), out.data(), n);
    int clipped = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        // Output i is centred on input i + 31 of the first block.
        const std::uint32_t centre = i + 31;
        const int input = centre < n ? first[centre] : second[centre - n];
        if (std::abs(input) > 4000) {
            EXPECT_GT(input * static_cast<int>(out[i]), 0) << i;
        }
        if (out[i] == 32767 || out[i] == -32768) ++clipped;
    }
    EXPECT_GT(clipped, 0);
}

TEST_F(DeviceBase, FilterRunsOnlyOnceABandIsSetAndOnlyForRadiosThatAskForIt) {
    radio.SetXmitFilterSwitch(true);
    device.AddRadioXmitPath(&radio);
    device.AddRadioXmitPath(&other);  // no filter, after one with it
    const auto block = Sine(1000.0, 10000.0, 0, kBlockSamples);
    Deliver(block);
    ASSERT_EQ(radio.blockCount, 1);
    EXPECT_EQ(radio.Blocks()[0], block);  // no band yet: unfiltered

    const double band[2] = {300.0, 3000.0};
    ASSERT_EQ(device.SetDeviceData(DEVDATA_FILTER_BAND, const_cast<double*>(band)), 1);
    EXPECT_NEAR(device.GetFilterCoefficient(32), 0.3375, 1e-12);
    Deliver(block);
    ASSERT_EQ(radio.blockCount, 2);
    EXPECT_NE(radio.Blocks()[1], block);
    EXPECT_EQ(other.Blocks()[1], block);  // the raw samples
}

// ---------------------------------------------------------------------------
// Device data, WAV players, CFloatArray

TEST_F(DeviceBase, KeyedReadsOneWhileKeyedAndOtherCodesAnswerZero) {
    std::uint32_t keyed = 9;
    EXPECT_EQ(device.GetDeviceData(DEVDATA_KEYED, &keyed), 1);
    EXPECT_EQ(keyed, 0u);
    device.SetPTT(1, 0);
    device.GetDeviceData(DEVDATA_KEYED, &keyed);
    EXPECT_EQ(keyed, 1u);
    device.SetPTT(0, 0);
    device.GetDeviceData(DEVDATA_KEYED, &keyed);
    EXPECT_EQ(keyed, 0u);
    EXPECT_EQ(device.GetDeviceData(DEVDATA_FILTER_BAND, &keyed), 0);
    EXPECT_EQ(device.SetDeviceData(DEVDATA_KEYED, &keyed), 0);
    EXPECT_EQ(device.SetDeviceData(DEVDATA_FILTER_BAND, nullptr), 0);
    int shared = 3;
    EXPECT_EQ(device.SetDeviceData(DEVDATA_SHARED_SOURCE, &shared), 1);
    EXPECT_TRUE(device.IsSharedSource());
}

TEST_F(DeviceBase, NonFiniteBandEdgesAreRefused) {
    const double band[2] = {300.0, INFINITY};
    EXPECT_EQ(device.SetDeviceData(DEVDATA_FILTER_BAND, const_cast<double*>(band)), 0);
    EXPECT_EQ(LastErrorText(), "Non-finite value sent to SetDeviceData.");
    EXPECT_EQ(device.GetFilterCoefficient(32), 0.0);
}

TEST_F(DeviceBase, WavFilesFailCleanlyUntilPlayersExist) {
    EXPECT_EQ(device.PlayWavFile("tone.wav", 1.0f, 0, 0), -1);
    EXPECT_FALSE(theApp.LastError().empty());
    EXPECT_EQ(device.StopWavFile(5), 1);
    EXPECT_EQ(device.StopWavFile(-1), 1);
}

TEST(FloatArray, GrowsWithZerosAndReadsZeroOutsideIt) {
    CFloatArray values;
    EXPECT_EQ(values.GetAt(0), 0.0f);
    values.SetAt(5, 2.5f);
    EXPECT_EQ(values.GetSize(), 6);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(values.GetAt(i), 0.0f);
    EXPECT_EQ(values.GetAt(5), 2.5f);
    EXPECT_EQ(values.GetAt(6), 0.0f);
    EXPECT_EQ(values.GetAt(-1), 0.0f);
    values.SetAt(-2, 1.0f);
    EXPECT_EQ(values.GetSize(), 6);
    values.RemoveAll();
    EXPECT_EQ(values.GetSize(), 0);
}

}  // namespace
