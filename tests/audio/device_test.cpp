// Sound-card devices. First the device base with nothing opened (blocks are
// handed to DeliverCapture): transmit lists and keying, voice-operated keying,
// the band-pass filter, device data. Then capture on the virtual card from a
// ramp microphone on the manual clock, the open messages, and the exports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audio/audio_device.h"
#include "audio/band_pass.h"
#include "audio_fixture.h"
#include "base/thread_kinds.h"
#include "codecs/level.h"
#include "halcyra/halcyra.h"
#include "hcyplat/hcyplatform.h"
#include "hcyplat/sound_devices.h"
#include "hcyplat/thread_boundary.h"
#include "support/library_fixture.h"

namespace {

using hcytest::LastErrorText;
using hcytest::PttCall;
using hcytest::RecordingInterphone;
using hcytest::RecordingRadio;
using hcytest::Samples;
using plat::vsnd::Fault;

constexpr std::uint32_t kBlockSamples = 1024;  // 2048 bytes: 64 ms at 16000 Hz
constexpr plat::DWORD kBlockMs = 64;

Samples Constant(std::int16_t value) { return Samples(kBlockSamples, value); }

Samples Sine(double hz, double amplitude, std::uint32_t first, std::uint32_t n = kBlockSamples) {
    Samples out(n);
    for (std::uint32_t i = 0; i < n; ++i)
        out[i] = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2.0 * M_PI * hz * (first + i) / 16000.0)));
    return out;
}

class DeviceBase : public ::testing::Test {
protected:
    static constexpr int kHandle = 7;
    static constexpr std::uint32_t kWord = 2 * kHandle;

    void SetUp() override {
        theApp.ClearError();
        device.SetHandle(kHandle);
    }
    void Deliver(const Samples& block) {
        device.DeliverCapture(block.data(), static_cast<std::uint32_t>(block.size() * 2));
    }

    RecordingRadio radio, other;
    RecordingInterphone interphone;
    CAudioDevice device;
};

TEST_F(DeviceBase, TransmitListsRefuseDuplicatesAndKeyWithTheDevicesWord) {
    EXPECT_EQ(device.RemoveRadioXmitPath(&other), 1);  // not listed: still detached
    EXPECT_EQ(other.Attached(), std::vector<int>{0});
    EXPECT_EQ(device.AddRadioXmitPath(&radio), 1);
    EXPECT_EQ(device.AddRadioXmitPath(&radio), 0);
    EXPECT_EQ(LastErrorText(), "Transmit path already established for this device");
    EXPECT_EQ(device.GetRadioXmitList(), std::vector<CRadioModel*>{&radio});
    EXPECT_EQ(radio.Attached(), std::vector<int>{1});
    theApp.ClearError();
    EXPECT_EQ(device.AddIntercomXmitPath(&interphone), 1);
    EXPECT_EQ(device.AddIntercomXmitPath(&interphone), 0);
    EXPECT_EQ(theApp.LastError(), "");  // interphones refuse silently
    EXPECT_TRUE(radio.Ptt().empty());
    EXPECT_TRUE(interphone.Talk().empty());

    device.SetPTT(1, 3);
    device.AddRadioXmitPath(&other);  // joins a keyed device: keyed at once
    EXPECT_EQ(other.Ptt(), (std::vector<PttCall>{{1, kWord}}));
    device.RemoveRadioXmitPath(&radio);
    EXPECT_FALSE(radio.Keyed());
    EXPECT_TRUE(other.Keyed());
    EXPECT_EQ(device.GetRadioXmitList(), std::vector<CRadioModel*>{&other});
    EXPECT_EQ(device.RemoveIntercomXmitPath(&interphone), 1);
    EXPECT_EQ(interphone.Talk(), (std::vector<PttCall>{{1, kWord}, {0, kWord}}));
    EXPECT_TRUE(device.GetIntercomXmitList().empty());
}

// Voice-operated keying: level 0.008, off delay 10 blocks.
TEST_F(DeviceBase, VoxOneLoudThenElevenQuietBlocksAreSentAndTheTwelfthUnkeys) {
    device.AddRadioXmitPath(&radio);
    device.SetVoxEnable(1);
    Deliver(Constant(1000));
    EXPECT_EQ(radio.Ptt(), (std::vector<PttCall>{{1, kWord}}));
    for (int i = 0; i < 11; ++i) Deliver(Constant(0));
    EXPECT_TRUE(device.IsKeyed());
    Deliver(Constant(0));
    EXPECT_FALSE(device.IsKeyed());
    EXPECT_EQ(radio.Ptt().back(), (PttCall{0, kWord}));
    for (int i = 0; i < 5; ++i) Deliver(Constant(0));
    EXPECT_EQ(radio.blockCount, 12);
    Deliver(Constant(1000));
    EXPECT_TRUE(device.IsKeyed());
    EXPECT_EQ(radio.blockCount, 13);

    // Quiet blocks also end a push-to-talk keying.
    device.SetPTT(0, 0);
    device.SetPTT(1, 4);
    for (int i = 0; i < 11; ++i) Deliver(Constant(0));
    EXPECT_TRUE(device.IsKeyed());
    Deliver(Constant(0));
    EXPECT_FALSE(device.IsKeyed());
}

TEST(Vox, ThresholdBoundaries) {
    const Samples at500 = Constant(500);
    const float equal = hcy::ComputeRmsLevel(at500.data(), 2048, 16000) / 100.0f;
    const struct {
        Samples block;
        float level;  // 0: the default
        bool loud;
    } cases[] = {{Constant(143), 0, false},  // 0.00799
                 {Constant(144), 0, true},   // 0.00805
                 {Samples{}, 0, false},      // a 0-byte block
                 {at500, equal, true}};      // exactly the threshold
    for (const auto& c : cases) {
        RecordingRadio radio;
        CAudioDevice device;
        device.SetHandle(1);
        device.AddRadioXmitPath(&radio);
        device.SetVoxEnable(1);
        if (c.level > 0) device.SetVoxLevel(c.level);
        const std::int16_t none = 0;
        device.DeliverCapture(c.block.empty() ? &none : c.block.data(),
                              static_cast<std::uint32_t>(c.block.size() * 2));
        EXPECT_EQ(device.IsKeyed(), c.loud)
            << c.block.size() << " " << (c.block.empty() ? 0 : c.block[0]);
        EXPECT_EQ(radio.blockCount, c.loud ? 1 : 0);
    }
}

// Band-pass filter: 300 to 3000 Hz at 16000 Hz.
TEST(BandPass, ImpulseResponseGainsAndSaturation) {
    CBandPassFilter filter;
    EXPECT_FALSE(filter.Design(0, 300.0, 3000.0));
    EXPECT_FALSE(filter.Design(16000, NAN, 3000.0));
    ASSERT_TRUE(filter.Design(16000, 300.0, 3000.0));
    EXPECT_NEAR(filter.Coefficient(32), 0.3375, 1e-12);
    Samples block(kBlockSamples, 0), out(kBlockSamples);
    filter.Filter(block.data(), out.data(), kBlockSamples);
    block[0] = 10000;
    filter.Filter(block.data(), out.data(), kBlockSamples);
    EXPECT_EQ(out[993], 3375);  // 31 samples before the block end
    for (std::uint32_t i = 0; i < 961; ++i) ASSERT_EQ(out[i], 0) << i;

    for (auto [hz, peak, tolerance] : {std::tuple{1000.0, 9930, 80}, {100.0, 640, 60}}) {
        CBandPassFilter f;
        f.Design(16000, 300.0, 3000.0);
        int largest = 0;
        for (std::uint32_t b = 0; b < 3; ++b) {
            const auto in = Sine(hz, 10000.0, b * kBlockSamples);
            f.Filter(in.data(), out.data(), kBlockSamples);
            for (auto s : out)
                if (b > 0) largest = std::max(largest, std::abs(static_cast<int>(s)));
        }
        EXPECT_NEAR(largest, peak, tolerance) << hz;
    }

    // A full-scale in-band tone saturates instead of wrapping.
    const auto first = Sine(1650.0, 32767.0, 0), second = Sine(1650.0, 32767.0, kBlockSamples);
    filter.Filter(first.data(), out.data(), kBlockSamples);
    filter.Filter(second.data(), out.data(), kBlockSamples);
    int clipped = 0;
    for (std::uint32_t i = 0; i < kBlockSamples; ++i) {
        const std::uint32_t centre =
            i + 31;  // output i is centred on this input of the first block
        const int input = centre < kBlockSamples ? first[centre] : second[centre - kBlockSamples];
        if (std::abs(input) > 4000) {
            EXPECT_GT(input * static_cast<int>(out[i]), 0) << i;
        }
        clipped += out[i] == 32767 || out[i] == -32768;
    }
    EXPECT_GT(clipped, 0);
}

TEST_F(DeviceBase, FilterRunsOnlyOnceABandIsSetAndOnlyForRadiosThatAskForIt) {
    radio.SetXmitFilterSwitch(true);
    device.AddRadioXmitPath(&radio);
    device.AddRadioXmitPath(&other);  // no filter, after one with it
    const auto block = Sine(1000.0, 10000.0, 0);
    Deliver(block);
    ASSERT_EQ(radio.blockCount, 1);
    EXPECT_EQ(radio.Blocks()[0], block);  // no band yet: unfiltered

    const double infinite[2] = {300.0, INFINITY};
    EXPECT_EQ(device.SetDeviceData(DEVDATA_FILTER_BAND, const_cast<double*>(infinite)), 0);
    EXPECT_EQ(LastErrorText(), "Non-finite value sent to SetDeviceData.");
    EXPECT_EQ(device.GetFilterCoefficient(32), 0.0);
    const double band[2] = {300.0, 3000.0};
    ASSERT_EQ(device.SetDeviceData(DEVDATA_FILTER_BAND, const_cast<double*>(band)), 1);
    EXPECT_NEAR(device.GetFilterCoefficient(32), 0.3375, 1e-12);
    Deliver(block);
    ASSERT_EQ(radio.blockCount, 2);
    EXPECT_NE(radio.Blocks()[1], block);
    EXPECT_EQ(other.Blocks()[1], block);  // the raw samples
}

TEST_F(DeviceBase, DeviceDataWavSlotsAndFloatArrays) {
    std::uint32_t keyed = 9;
    for (int on : {0, 1, 0}) {
        device.SetPTT(on, 0);
        ASSERT_EQ(device.GetDeviceData(DEVDATA_KEYED, &keyed), 1);
        EXPECT_EQ(keyed, static_cast<std::uint32_t>(on));
    }
    EXPECT_EQ(device.GetDeviceData(DEVDATA_FILTER_BAND, &keyed), 0);
    EXPECT_EQ(device.SetDeviceData(DEVDATA_KEYED, &keyed), 0);
    EXPECT_EQ(device.SetDeviceData(DEVDATA_FILTER_BAND, nullptr), 0);
    int shared = 3;
    EXPECT_EQ(device.SetDeviceData(DEVDATA_SHARED_SOURCE, &shared), 1);
    EXPECT_TRUE(device.IsSharedSource());

    // A file that is not there: a clean failure, and stopping any slot is
    // harmless.
    EXPECT_EQ(device.PlayWavFile("tone.wav", 1.0f, 0, 0), 0);
    EXPECT_FALSE(theApp.LastError().empty());
    EXPECT_EQ(device.StopWavFile(5), 1);
    EXPECT_EQ(device.StopWavFile(-1), 1);

    CFloatArray values;
    EXPECT_EQ(values.GetAt(0), 0.0f);
    values.SetAt(5, 2.5f);
    values.SetAt(-2, 1.0f);  // ignored
    ASSERT_EQ(values.GetSize(), 6);
    for (int i = -1; i <= 6; ++i) EXPECT_EQ(values.GetAt(i), i == 5 ? 2.5f : 0.0f) << i;
    values.RemoveAll();
    EXPECT_EQ(values.GetSize(), 0);
}

// ---------------------------------------------------------------------------
// On the virtual card: speakers and a ramp microphone.

// Capture driven by the manual clock, delivered by the device's capture thread.
class SoundCard : public ::testing::Test, public hcytest::Card {
protected:
    static constexpr int kHandle = 3;
    static constexpr std::uint32_t kWord = 2 * kHandle;

    void SetUp() override {
        plat::UseManualClock();
        theApp.ClearError();
        device = std::make_unique<CAudioDevice>();
        device->SetHandle(kHandle);
    }
    void TearDown() override {
        device.reset();
        plat::UseRealClock();
    }

    void Open() {
        ASSERT_EQ(device->CreateDirectSoundOutput(&speakers), 1) << LastErrorText();
        ASSERT_EQ(device->OpenInput(micId), 1) << LastErrorText();
        ASSERT_TRUE(hcytest::WaitFor([&] { return device->IsCaptureThreadRunning(); }));
        device->AddRadioXmitPath(&radio);
    }
    // One block of capture, then waits until the radio has `expected` blocks.
    bool Step(int expected) {
        plat::AdvanceClock(kBlockMs);
        return hcytest::WaitFor([&] { return radio.blockCount.load() >= expected; },
                                std::chrono::seconds(5));
    }
    // Advances block by block until `done` holds (one block in flight may
    // lose the frames that come while it is queued again).
    bool StepUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 20; ++i) {
            plat::AdvanceClock(kBlockMs);
            if (hcytest::WaitFor(done, std::chrono::milliseconds(250))) return true;
        }
        return false;
    }

    RecordingRadio radio;
    RecordingInterphone interphone;
    std::unique_ptr<CAudioDevice> device;
};

TEST_F(SoundCard, PushToTalkDeliversContiguousRampBlocksAndUnkeyDropsThePartialOne) {
    Open();
    device->SetPTT(1, 0);
    EXPECT_TRUE(device->IsCapturing());
    for (int b = 1; b <= 6; ++b) ASSERT_TRUE(Step(b)) << b;
    plat::AdvanceClock(kBlockMs / 2);  // half a block in the buffer
    device->SetPTT(0, 0);
    EXPECT_FALSE(device->IsCapturing());
    EXPECT_FALSE(radio.Keyed());
    for (int i = 0; i < 4; ++i) plat::AdvanceClock(kBlockMs);
    device->CloseInput();  // joins the capture thread: whatever it had is handled
    const auto blocks = radio.Blocks();
    ASSERT_EQ(blocks.size(), 6u);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        ASSERT_EQ(blocks[b].size(), kBlockSamples);
        for (std::uint32_t i = 0; i < kBlockSamples; ++i)
            ASSERT_EQ(blocks[b][i], static_cast<std::int16_t>((b * kBlockSamples + i) % 32768))
                << b << ":" << i;
    }
    for (auto word : radio.Sources()) EXPECT_EQ(word, kWord);
}

TEST_F(SoundCard, VoxRunsCaptureItselfAndTurningItOffWhileKeyedKeepsTheRadiosKeyed) {
    Open();
    device->SetVoxEnable(1);  // the ramp is loud from its first block
    EXPECT_TRUE(device->IsCapturing());
    ASSERT_TRUE(Step(1));
    EXPECT_TRUE(device->IsKeyed());
    EXPECT_EQ(radio.Ptt().front(), (PttCall{1, kWord}));
    device->SetPTT(0, 0);
    device->SetPTT(1, 0);
    EXPECT_TRUE(device->IsCapturing());
    device->SetVoxEnable(0);
    EXPECT_FALSE(device->IsCapturing());
    EXPECT_TRUE(radio.Keyed());
}

TEST_F(SoundCard, CloseOfAKeyedDeviceUnkeysEverythingAndReleasesBothEndpoints) {
    Open();
    device->AddIntercomXmitPath(&interphone);
    device->SetPTT(1, 0);
    ASSERT_TRUE(Step(1));
    device->Close();
    EXPECT_FALSE(radio.Keyed());
    EXPECT_EQ(interphone.Talk().back(), (PttCall{0, kWord}));
    EXPECT_TRUE(device->GetRadioXmitList().empty());
    EXPECT_FALSE(device->IsCaptureThreadRunning());
    EXPECT_FALSE(device->IsInputOpen());
    EXPECT_EQ(device->GetDirectSound(), nullptr);
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(mic));
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(speakers));
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
    plat::vsnd::InjectFault(mic, Fault::WaveInAddBuffer, 11, 1);
    device->SetPTT(1, 0);
    ASSERT_TRUE(Step(1));
    ASSERT_TRUE(StepUntil([&] { return radio.blockCount.load() >= 2; }));
    const auto blocks = radio.Blocks();
    EXPECT_EQ(blocks[0][0], 0);
    for (std::uint32_t i = 1; i < kBlockSamples; ++i)
        ASSERT_EQ(blocks[1][i], static_cast<std::int16_t>(blocks[1][0] + i));
}

// A fault while the capture thread delivers a block, or while a pump of the
// virtual card steps, loses that block or step; capture goes on.
TEST_F(SoundCard, AnExceptionInTheCaptureThreadOrASoundPumpIsReportedAndCaptureGoesOn) {
    Open();
    device->SetPTT(1, 0);
    for (const char* what : {hcy::boundary::kCapture, plat::kSoundPump}) {
        SCOPED_TRACE(what);
        theApp.ClearError();
        const int before = radio.blockCount.load();
        plat::InjectThreadFaultForTest(what);
        const std::string want = std::string("Error while ") + what + ": injected fault";
        ASSERT_TRUE(StepUntil([&] { return LastErrorText() == want; })) << LastErrorText();
        ASSERT_TRUE(StepUntil([&] { return radio.blockCount.load() > before + 1; }));
    }
    plat::InjectThreadFaultForTest(nullptr);
}

TEST_F(SoundCard, ANewCaptureSizeTakesEffectOnTheNextBuffersAndTheFilterFollows) {
    Open();
    radio.SetXmitFilterSwitch(true);
    const double band[2] = {300.0, 3000.0};
    ASSERT_EQ(device->SetDeviceData(DEVDATA_FILTER_BAND, const_cast<double*>(band)), 1);
    device->SetPTT(1, 0);
    ASSERT_TRUE(Step(1));
    device->SetCaptureSize(4096);  // buffers already queued keep 2048
    ASSERT_TRUE(StepUntil([&] {
        const auto blocks = radio.Blocks();
        return !blocks.empty() && blocks.back().size() == 2048;
    }));
    EXPECT_EQ(radio.Blocks().front().size(), kBlockSamples);
}

TEST_F(SoundCard, OpenFailuresStoreTheirMessages) {
    const struct {
        Fault fault;
        std::uint32_t code;
        const char* message;
    } cases[] = {
        {Fault::WaveInOpen, 4, "Could not open input device.  Device already allocated."},
        {Fault::WaveInOpen, 2, "Could not open input device.  Device ID out of range."},
        {Fault::WaveInOpen, 6, "Could not open input device.  No valid input driver present."},
        {Fault::WaveInOpen, 32, "Could not open input device.  WAV format not supported."},
        {Fault::WaveInOpen, 7, "Input device open failed with code 7."},
        {Fault::DirectSoundCreate, 0x8878000A,
         "Failed to create DirectSound object.  Output device already allocated."},
        {Fault::DirectSoundCreate, 0x80070057,
         "Failed to create DirectSound object.  Invalid parameter passed to function."},
        {Fault::DirectSoundCreate, 0x88780078,
         "Failed to create DirectSound object.  No compatible output driver available."},
        {Fault::DirectSoundCreate, 0x80004005,
         "DirectSound object create failed with code 80004005."},
        {Fault::CreateSoundBuffer, 0x88780064, "CreateSoundBuffer failed with code 88780064h"},
        {Fault::SetFormat, 0x88780064, "Primary buffer SetFormat failed with code 88780064h"}};
    for (const auto& c : cases) {
        const bool output = c.fault != Fault::WaveInOpen;
        plat::vsnd::InjectFault(output ? speakers : mic, c.fault,
                                static_cast<std::int32_t>(c.code));
        EXPECT_EQ(output ? device->CreateDirectSoundOutput(&speakers) : device->OpenInput(micId), 0)
            << c.message;
        EXPECT_EQ(LastErrorText(), c.message);
        EXPECT_FALSE(device->IsCaptureThreadRunning());
    }
    // A refused cooperative level is reported, and the open goes on.
    plat::vsnd::InjectFault(speakers, Fault::SetCooperativeLevel,
                            static_cast<std::int32_t>(0x88780046u));
    EXPECT_EQ(device->CreateDirectSoundOutput(&speakers), 1);
    EXPECT_EQ(LastErrorText(), "SetCooperativeLevel failed with code 88780046.");
}

// ---------------------------------------------------------------------------
// Through the exports: a handle first, output then input, -1 and the message
// on failure, and the close that unkeys.

class SoundCardExports : public RunningLibraryTest {
protected:
    void SetUp() override {
        RunningLibraryTest::SetUp();
        card = std::make_unique<hcytest::Card>();
        speakers = card->speakers, mic = card->mic, micId = card->micId;
    }
    void TearDown() override {
        RunningLibraryTest::TearDown();
        card.reset();
    }
    const HCYGUID* Speakers() const { return reinterpret_cast<const HCYGUID*>(&speakers); }
    bool BothOpen(bool open) const {
        return plat::vsnd::IsEndpointOpen(mic) == open &&
               plat::vsnd::IsEndpointOpen(speakers) == open;
    }

    std::unique_ptr<hcytest::Card> card;
    plat::GUID speakers{}, mic{};
    plat::UINT micId = 0;
};

TEST_F(SoundCardExports, OpensWithTheirRatesAndClosesGivingTheEndpointsBack) {
    int device = hcyOpenAudioDeviceDefault();
    ASSERT_GT(device, 0) << Error();
    EXPECT_TRUE(BothOpen(true));
    EXPECT_EQ(hcyCloseAudioDevice(device), 1);
    EXPECT_TRUE(BothOpen(false));
    EXPECT_EQ(hcyCloseAudioDevice(device), 0);

    device = hcyOpenAudioDeviceSR(micId, 8000, Speakers(), 22050);
    ASSERT_GT(device, 0) << Error();
    plat::vsnd::MixFormat format;
    ASSERT_TRUE(plat::vsnd::InputFormat(mic, &format));
    EXPECT_EQ(format.rate, 8000u);
    ASSERT_EQ(hcyCloseAudioDevice(device), 1);

    // A host's DirectSound object is passed by the platform's handle and
    // stays the host's.
    hcyplat_guid out;
    std::memcpy(&out, &speakers, sizeof out);
    void* host = hcyplatCreateDirectSound(&out);
    ASSERT_NE(host, nullptr);
    device = hcyOpenAudioDevice(micId, nullptr, host);
    ASSERT_GT(device, 0) << Error();
    ASSERT_EQ(hcyCloseAudioDevice(device), 1);
    EXPECT_TRUE(plat::vsnd::IsEndpointOpen(speakers));
    void* primary = hcyplatCreatePrimaryBuffer(host, 8000, 2);
    ASSERT_NE(primary, nullptr);
    device = hcyOpenAudioDeviceEx(micId, nullptr, host, primary);
    ASSERT_GT(device, 0) << Error();
    ASSERT_TRUE(plat::vsnd::InputFormat(mic, &format));
    EXPECT_EQ(format.rate, 8000u);  // the host's primary buffer's
    ASSERT_EQ(hcyCloseAudioDevice(device), 1);

    // Anything else is refused, never read: a pointer to zeros, to a real
    // object, to nothing; a handle given back.
    std::uint64_t zeros[4] = {};
    plat::LPDIRECTSOUND object = plat::DirectSoundOfHostHandle(host);
    hcyplatReleaseSoundHandle(host);
    for (void* bad : {static_cast<void*>(zeros), static_cast<void*>(&object),
                      static_cast<void*>(object.get()), reinterpret_cast<void*>(1), host}) {
        EXPECT_EQ(hcyOpenAudioDevice(micId, nullptr, bad), -1);
        EXPECT_EQ(LastErrorText(), "Invalid DirectSound object sent to OpenAudioDevice.");
        EXPECT_EQ(hcyOpenSplitDevice(micId, nullptr, bad, nullptr), -1);
    }
    EXPECT_EQ(hcyOpenRecordDeviceEx(micId, 1, zeros), -1);
    EXPECT_EQ(LastErrorText(), "Invalid primary buffer sent to OpenRecordDeviceEx.");
    hcyplatReleaseSoundHandle(primary);
    object->Release();
}

// A host that made no endpoints gets its back end's devices in the
// automatic choice: the machine's default card when it opens, else the
// virtual null device, so the default open works; a card that did not open
// is reported with its reason.
TEST_F(SoundCardExports, TheDefaultDeviceOpensOnTheBackEndsDevices) {
    while (hcyplatTakeReport(nullptr, 0) >= 0) {}
    ASSERT_TRUE(plat::vsnd::UseBackend("auto"));
    const int device = hcyOpenAudioDeviceDefault();
    ASSERT_GT(device, 0) << Error();
    EXPECT_EQ(hcyCloseAudioDevice(device), 1);
    std::string name;  // of the default output, after the primary driver's entry
    plat::DirectSoundEnumerate(
        [](plat::GUID* guid, const char* description, const char*, void* out) -> plat::BOOL {
            if (!guid) return 1;
            *static_cast<std::string*>(out) = description;
            return 0;
        },
        &name);
    const auto backends = plat::vsnd::Backends();
    const bool real = std::find(backends.begin(), backends.end(), "alsa") != backends.end();
    if (real && name == "Virtual Output") {
        char report[256] = "";
        ASSERT_GT(hcyplatTakeReport(report, sizeof report), 0);
        EXPECT_EQ(std::string(report).rfind("sound device 'default' did not open: ", 0), 0u)
            << report;
    }
}

TEST_F(SoundCardExports, FailuresGiveMinusOneAndTheirMessages) {
    const int first = hcyOpenAudioDevice(micId, Speakers(), nullptr);
    ASSERT_GT(first, 0) << Error();
    EXPECT_EQ(hcyOpenAudioDeviceSimple(micId, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "Could not open input device.  Device already allocated.");
    ASSERT_EQ(hcyCloseAudioDevice(first), 1);
    EXPECT_EQ(hcyOpenAudioDevice(micId + 9, Speakers(), nullptr), -1);
    EXPECT_EQ(LastErrorText(), "Could not open input device.  Device ID out of range.");
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(speakers));  // the output opened first is let go
    EXPECT_EQ(hcyOpenAudioDeviceSR(micId, 50, Speakers(), 16000), -1);
    EXPECT_EQ(LastErrorText(), "Could not open input device.  WAV format not supported.");

    plat::vsnd::InjectFault(speakers, Fault::DirectSoundCreate,
                            static_cast<std::int32_t>(0x8878000Au), 3);
    EXPECT_EQ(hcyOpenAudioDevice(micId, Speakers(), nullptr), -1);
    EXPECT_EQ(LastErrorText(),
              "Failed to create DirectSound object.  Output device already allocated.");
    EXPECT_EQ(hcyOpenAudioDeviceEx(micId, Speakers(), nullptr, nullptr), -1);
    EXPECT_EQ(LastErrorText(), "Error creating DirectSound object.");
    EXPECT_EQ(hcyOpenAudioDeviceSR(micId, 16000, Speakers(), 16000), -1);
    EXPECT_EQ(LastErrorText(), "Error creating DirectSound object.");
    EXPECT_FALSE(plat::vsnd::IsEndpointOpen(mic));  // output first: the input was never touched
    // Every failed open used a handle up.
    EXPECT_EQ(hcyOpenAudioDevice(micId, Speakers(), nullptr), first + 7);
}

TEST_F(SoundCardExports, ReceiveTogglesAndReopenedDevicesKeepOnePath) {
    const int first = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 0);
    const int second = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 4, 0);
    auto radio = theApp.FindRadio(first), other = theApp.FindRadio(second);
    ASSERT_TRUE(radio && other) << Error();
    int device = hcyOpenAudioDeviceSimple(micId, Speakers());
    ASSERT_GT(device, 0) << Error();
    ASSERT_EQ(hcySetComRadioRecv(second, device, 8, 1), 1);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(hcySetComRadioRecv(first, device, 9, 1), 1);
        ASSERT_EQ(hcySetComRadioRecv(first, device, 0, 0), 1);
    }
    EXPECT_EQ(radio->GetRecvPathCount(), 1u);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(hcySetComRadioRecv(first, device, 9, 1), 1);
        ASSERT_EQ(hcyCloseAudioDevice(device), 1);
        EXPECT_EQ(radio->GetRecvPathCount(), 0u);  // from every radio
        EXPECT_EQ(other->GetRecvPathCount(), 0u);
        device = hcyOpenAudioDeviceSimple(micId, Speakers());
        ASSERT_GT(device, 0) << Error();
    }
    ASSERT_EQ(hcySetComRadioRecv(first, device, 9, 1), 1);
    EXPECT_EQ(radio->GetRecvPathCount(), 1u);
}

TEST_F(SoundCardExports, ClosingAKeyedDeviceLeavesNoRadioKeyed) {
    auto radio = std::make_shared<RecordingRadio>();
    const int handle =
        theApp.AddRadio(radio, [&](int h) { radio->SetUserId(static_cast<std::uint32_t>(h)); });
    const int device = hcyOpenAudioDeviceSimple(micId, Speakers());
    ASSERT_GT(device, 0) << Error();
    ASSERT_EQ(hcySetComRadioXmit(handle, device, 1), 1) << Error();
    ASSERT_EQ(hcySetRadioPTT(device, 1, 0), 1);
    std::uint32_t keyed = 0;
    ASSERT_EQ(hcyGetDeviceData(device, DEVDATA_KEYED, reinterpret_cast<intptr_t>(&keyed)), 1);
    EXPECT_EQ(keyed, 1u);
    EXPECT_TRUE(radio->Keyed());
    ASSERT_EQ(hcyCloseAudioDevice(device), 1);
    EXPECT_FALSE(radio->Keyed());
    EXPECT_EQ(radio->Ptt().back(), (PttCall{0, 2u * static_cast<std::uint32_t>(device)}));
}

}  // namespace
