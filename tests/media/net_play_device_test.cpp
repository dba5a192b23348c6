// The playback device on the manual clock: chunks, periods and decimation by
// file format, the channel of a stereo file, the header scan, keying and the
// end notices, positions, malformed files, and the exports.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "core/app.h"
#include "halcyra/halcyra.h"
#include "media/net_play_device.h"
#include "media_fixture.h"
#include "radio/radio_model.h"
#include "support/library_fixture.h"

namespace {

using namespace hcytest;

constexpr int kHandle = 5;
constexpr std::uint32_t kWord = 2 * kHandle;

class PlaybackTest : public MediaTest {
protected:
    void SetUp() override {
        MediaTest::SetUp();
        device.SetHandle(kHandle);
        ASSERT_EQ(device.AddTransmitPath(&radio), 1);
    }
    void TearDown() override {
        device.Close();
        MediaTest::TearDown();
    }
    int Start(const std::string& bytes, int seconds = 0) {
        return device.StartPlayback(Write("in.wav", bytes).c_str(), seconds);
    }
    Samples Sent() const {
        Samples all;
        for (const auto& b : radio.Blocks()) all.insert(all.end(), b.begin(), b.end());
        return all;
    }

    NoticedRadio radio;
    CNetPlayDevice device;
};

TEST_F(PlaybackTest, ChunksPeriodsAndDecimationFollowTheFilesFormat) {
    struct Case {
        const char* name;
        Fmt fmt;
        std::uint32_t chunk, period, decimation, deviceRate, sentBytes;
    };
    const std::vector<Case> cases = {
        {"16 kHz PCM", {}, 2048, 64, 1, 16000, 2048},
        {"48 kHz PCM", {.rate = 48000}, 6144, 64, 3, 16000, 2048},
        {"44 kHz PCM: 2.75 x", {.rate = 44000}, 4096, 47, 2, 22000, 2048},
        {"24 kHz PCM: 1.5 x", {.rate = 24000}, 2048, 43, 1, 24000, 2048},
        // Coded files: chunks of one capture block once decoded.
        {"8 kHz mu-law", {.tag = 7, .rate = 8000, .byteRate = 8000}, 1024, 128, 1, 8000, 2048},
        {"8 kHz ADPCM", {.tag = 2, .rate = 8000, .byteRate = 4000}, 512, 128, 1, 8000, 2048},
        {"16 kHz CVSD", {.tag = 5, .rate = 16000, .byteRate = 2000}, 128, 64, 1, 16000, 2048},
        {"48 kHz mu-law: no decimation",
         {.tag = 7, .rate = 48000, .byteRate = 48000},
         1024,
         22,
         1,
         48000,
         2048},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string data(c.chunk * 2, '\x40');
        const int before = radio.blockCount;
        ASSERT_EQ(Start(Wav(data, c.fmt)), 1) << LastErrorText();
        EXPECT_EQ(device.GetChunkSize(), c.chunk);
        EXPECT_EQ(device.GetPeriodMs(), c.period);
        EXPECT_EQ(device.GetDecimation(), c.decimation);
        EXPECT_EQ(device.GetSampleRate(), c.deviceRate);
        Advance(c.period - 1);
        EXPECT_EQ(radio.blockCount, before);
        Advance(1);
        ASSERT_EQ(radio.blockCount, before + 1);
        EXPECT_EQ(radio.Blocks().back().size() * 2, c.sentBytes);
        EXPECT_EQ(radio.Sources().back(), kWord);
        device.StopPlayback();
    }
    // 48 kHz to 16 kHz: the cut-off is 0.4375 of 16 kHz, 7000 Hz of 48000.
    ASSERT_EQ(Start(Wav(std::string(100, '\0'), {.rate = 48000})), 1);
    EXPECT_NEAR(device.GetDecimationTap(32), 2 * 0.145833, 1e-6);
}

// Guards against a file going out faster (a listener then gives up speech)
// or slower (it runs dry) than real time when a chunk lasts no whole number
// of milliseconds: at 24 kHz a chunk lasts 42.67 ms, so 6 s send 140 chunks.
TEST_F(PlaybackTest, AFilePlaysAtItsOwnRateWhateverTheTimerPeriod) {
    ASSERT_EQ(Start(Wav(std::string(10 * 48000, '\x01'), {.rate = 24000})), 1);
    Advance(6000);
    EXPECT_EQ(radio.blockCount, 140);
}

TEST_F(PlaybackTest, DecimationKeepsTheVoiceBandAndStopsWhatLiesAboveIt) {
    auto level = [&](double hz) {
        Samples tone(48000);
        for (std::size_t i = 0; i < tone.size(); ++i)
            tone[i] = std::int16_t(std::lround(10000 * std::sin(2 * M_PI * hz * i / 48000.0)));
        radio.Blocks();
        const int before = radio.blockCount;
        EXPECT_EQ(Start(Wav(SampleBytes(tone), {.rate = 48000})), 1);
        Advance(64);
        device.StopPlayback();
        EXPECT_EQ(radio.blockCount, before + 1);
        const Samples out = radio.Blocks().back();
        double sum = 0;  // away from the chunk's edges, where taps are left out
        for (std::size_t i = 64; i < out.size() - 64; ++i) sum += double(out[i]) * out[i];
        return std::sqrt(sum / double(out.size() - 128));
    };
    EXPECT_NEAR(level(1000), 7071, 400);
    EXPECT_LT(level(15000), 1000);
}

TEST_F(PlaybackTest, StereoSendsTheChosenChannelAndTheScanSkipsUpToElevenChunks) {
    Samples stereo;
    for (int i = 0; i < 1024; ++i) stereo.insert(stereo.end(), {std::int16_t(i), std::int16_t(-i)});
    for (int channel : {8, 9}) {
        EXPECT_EQ(device.SetPlaybackChan(channel), channel);
        ASSERT_EQ(Start(Wav(SampleBytes(stereo), {.channels = 2})), 1);
        Advance(64);
        const Samples sent = radio.Blocks().back();
        ASSERT_EQ(sent.size(), 1024u);
        for (int i = 0; i < 1024; ++i) ASSERT_EQ(sent[i], channel == 8 ? i : -i) << i;
        device.StopPlayback();
    }

    // Chunks between "fmt " and "data": the samples start after "data".
    const Samples data = Ramp(1024, 1);
    auto withChunks = [&](int n) {
        std::string chunks;
        for (int i = 0; i < n; ++i) chunks += Chunk("LIST", "INFO");
        return Riff(FmtChunk({}) + chunks + Chunk("data", SampleBytes(data)));
    };
    ASSERT_EQ(Start(withChunks(11)), 1);
    Advance(64);
    EXPECT_EQ(radio.Blocks().back(), data);
    device.StopPlayback();
    theApp.SetError("earlier");
    EXPECT_EQ(Start(withChunks(12)), 0);
    EXPECT_EQ(LastErrorText(), "Could not play " + dir_.file("in.wav") +
                                   ": it has no data chunk within its first chunks.");
    EXPECT_FALSE(device.IsPlaying());
}

TEST_F(PlaybackTest, KeysAtStartUnkeysAtTheEndAndThenNotifiesEachRadioOnce) {
    NoticedRadio other;
    ASSERT_EQ(device.AddTransmitPath(&other), 1);
    EXPECT_EQ(device.AddTransmitPath(&other), 0);
    EXPECT_EQ(LastErrorText(), "Transmit path already established for this device");
    device.SetNotifyRadios(true);
    const Samples data = Ramp(1500, 1);  // 3000 bytes: 2048 and 952
    ASSERT_EQ(Start(Wav(SampleBytes(data))), 1);
    EXPECT_EQ(radio.Ptt(), (std::vector<PttCall>{{1, kWord}}));
    Advance(2 * 64);
    EXPECT_EQ(Sent(), data);
    EXPECT_TRUE(radio.notices.empty());
    Advance(64);
    EXPECT_FALSE(device.IsPlaying());
    EXPECT_EQ(radio.Ptt(), (std::vector<PttCall>{{1, kWord}, {0, kWord}}));
    for (const NoticedRadio* r : {&radio, &other}) {
        ASSERT_EQ(r->notices.size(), 1u);
        EXPECT_EQ(r->notices[0].source, kWord);
        EXPECT_EQ(r->notices[0].afterPtt, 2u);  // after the unkey
    }
    EXPECT_EQ(device.RemoveTransmitPath(&other), 1);
    EXPECT_EQ(other.Ptt().back(), (PttCall{0, kWord}));

    // Without key paths nothing is keyed; a start stops what plays first.
    device.SetKeyPaths(false);
    device.SetNotifyRadios(false);
    ASSERT_EQ(Start(Wav(SampleBytes(data))), 1);
    ASSERT_EQ(Start(Wav(SampleBytes(data))), 1);
    Advance(5 * 64);
    EXPECT_EQ(radio.Ptt().size(), 2u);
    EXPECT_EQ(radio.notices.size(), 1u);
}

TEST_F(PlaybackTest, PositionsCountWholeSecondsOfTheFileAndStayInsideTheData) {
    EXPECT_EQ(device.GetCurrentPosn(), 0);
    EXPECT_EQ(device.SetNewPlayPosn(2), 1);
    const std::string fourSeconds(4 * 32000, '\x01');
    ASSERT_EQ(Start(Wav(fourSeconds)), 1);
    Advance(3100);
    EXPECT_EQ(device.GetCurrentPosn(), 3);
    EXPECT_EQ(device.SetNewPlayPosn(1), 1);
    EXPECT_EQ(device.GetCurrentPosn(), 1);
    EXPECT_EQ(device.SetNewPlayPosn(-5), 1);
    EXPECT_EQ(device.GetCurrentPosn(), 0);
    EXPECT_EQ(device.SetNewPlayPosn(100), 1);
    Advance(64);
    EXPECT_FALSE(device.IsPlaying());

    // Looping wraps to the first sample, also when it does not lie at 44;
    // data shorter than a chunk repeats within it.
    device.SetLoop(true);
    const Samples data = Ramp(600, 1);
    ASSERT_EQ(
        Start(Riff(FmtChunk({}) + Chunk("LIST", "INFOab") + Chunk("data", SampleBytes(data))), 0),
        1);
    Advance(64);
    const Samples sent = radio.Blocks().back();
    ASSERT_EQ(sent.size(), 1024u);
    for (std::size_t i = 0; i < sent.size(); ++i) ASSERT_EQ(sent[i], data[i % 600]) << i;
}

TEST_F(PlaybackTest, MalformedFilesAreRefusedWithAMessageOrPlayOnlyWhatTheyHold) {
    const std::string d = SampleBytes(Ramp(1024, 1));
    const std::string fmt14 = Chunk("fmt ", FmtChunk({}).substr(8, 14));
    const std::vector<std::pair<const char*, std::string>> refused = {
        {"shorter than a header", Wav(d).substr(0, 30)},
        {"fmt of 14", Riff(fmt14 + Chunk("data", d))},
        {"no channels", Wav(d, {.channels = 0, .byteRate = 32000})},
        {"three channels", Wav(d, {.channels = 3})},
        {"65535 channels", Wav(d, {.channels = 65535, .byteRate = 32000})},
        {"4 GHz", Wav(d, {.rate = 4000000000u, .byteRate = 32000})},
        {"8-bit PCM", Wav(d, {.bits = 8})},
        {"byte rate 0", Wav(d, {.byteRate = 0})},
        {"no timer period", Wav(d, {.byteRate = 0x7FFFFFFF})},
        // Codings it cannot decode were keyed and sent as loud noise.
        {"a-law", Wav(d, {.tag = 6, .byteRate = 16000, .bits = 8})},
        {"float", Wav(d, {.tag = 3, .bits = 32})},
        {"IMA ADPCM", Wav(d, {.tag = 0x11, .bits = 4})},
        {"block ADPCM", Wav(d, {.tag = 2, .bits = 4})},
        {"24-bit extensible", Wav(d, {.tag = 0xFFFE, .bits = 24, .extra = Extensible(24, 1)})},
        {"extensible float", Wav(d, {.tag = 0xFFFE, .bits = 32, .extra = Extensible(32, 3)})},
    };
    for (const auto& [name, bytes] : refused) {
        theApp.ClearError();
        EXPECT_EQ(Start(bytes), 0) << name;
        EXPECT_FALSE(device.IsPlaying()) << name;
        EXPECT_EQ(LastErrorText().rfind("Could not play " + dir_.file("in.wav") + ": ", 0), 0u)
            << name << ": " << LastErrorText();
    }
    EXPECT_TRUE(radio.Ptt().empty());  // nothing keyed
    EXPECT_EQ(device.StartPlayback(dir_.file("missing.wav").c_str(), 0), 0);
    EXPECT_EQ(LastErrorText(),
              "Error 2: Could not open file " + dir_.file("missing.wav") + " for playback.");

    // A data size past the end of the file plays what the file holds.
    ASSERT_EQ(Start(Riff(FmtChunk({}) + Chunk("data", d, 0xFFFFFFFF))), 1);
    Advance(3 * 64);
    EXPECT_EQ(Sent(), FromBytes(d));
    EXPECT_FALSE(device.IsPlaying());

    // 16-bit PCM in an extensible header plays.
    ASSERT_EQ(Start(Wav(d, {.tag = 0xFFFE, .extra = Extensible(16, 1)})), 1) << LastErrorText();
    Advance(64);
    EXPECT_EQ(radio.Blocks().back(), FromBytes(d));
}

// The exports: a playback device in the table, playing into a radio that the
// host wired to it.
class PlaybackExports : public RunningLibraryTest {};

TEST_F(PlaybackExports, OpenStartPositionStopAndClose) {
    const int device = hcyOpenPlaybackDevice();
    ASSERT_GT(device, 0) << Error();
    const int radio = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 1);
    ASSERT_GT(radio, 0) << Error();
    ASSERT_EQ(hcySetRadioFrequency(radio, 30e6, 30e6), 1);
    ASSERT_EQ(hcySetComRadioXmit(radio, device, 1), 1) << Error();
    const std::string path = dir_.file("in.wav");
    WriteFile(path, Wav(std::string(3 * 32000, '\x01')));
    EXPECT_EQ(hcySetPlaybackChan(device, 9), 1);
    ASSERT_EQ(hcyStartPlayback(device, reinterpret_cast<intptr_t>(path.c_str()), 1), 1) << Error();
    EXPECT_TRUE(theApp.FindRadio(radio)->IsKeyed());
    std::uint32_t keyed = 0;
    ASSERT_EQ(hcyGetDeviceData(device, DEVDATA_KEYED, reinterpret_cast<intptr_t>(&keyed)), 1);
    EXPECT_EQ(keyed, 1u);
    EXPECT_EQ(hcyGetCurrentPlayPosn(device), 1);
    EXPECT_EQ(hcySetNewPlayPosn(device, 2), 1);
    EXPECT_EQ(hcyGetCurrentPlayPosn(device), 2);
    EXPECT_EQ(hcyStopPlayback(device), 1);
    EXPECT_FALSE(theApp.FindRadio(radio)->IsKeyed());
    EXPECT_EQ(hcyStartPlayback(device, 0, 0), 0);

    // Closing while it plays unkeys the radio.
    ASSERT_EQ(hcyStartPlayback(device, reinterpret_cast<intptr_t>(path.c_str()), 0), 1);
    EXPECT_EQ(hcyClosePlaybackDevice(device), 1);
    EXPECT_FALSE(theApp.FindRadio(radio)->IsKeyed());
    EXPECT_EQ(hcyClosePlaybackDevice(device), 0);

    EXPECT_EQ(hcyStartPlayback(device, reinterpret_cast<intptr_t>(path.c_str()), 0), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Invalid record/playback device.");
    EXPECT_EQ(hcySetNewPlayPosn(device, 0), 0);
    EXPECT_EQ(Error(), "HCY ERROR: SetNewPlayPos - Invalid playback device.");
    EXPECT_EQ(hcyPlayWavFile(device, path.c_str(), 1.0f, 0, 0), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Invalid audio device handle sent to PlayWavFile.");
}

}  // namespace

// On the real clock, with the timer on its own thread: starts, stops and
// position calls of the host race the timer's chunks and its own stop at the
// end of the file (run under ThreadSanitizer in CI).
TEST(PlaybackThreads, HostCallsRaceTheTimerAndItsOwnStop) {
    TempDir dir;
    const std::uint32_t captureSize = hcy::Library().m_nCaptureSize;
    hcy::Library().m_nCaptureSize = 64;  // chunks of 64 bytes: a period of 1 ms
    const std::string path = dir.file("in.wav");
    WriteFile(path, Wav(SampleBytes(Ramp(320, 1))));  // 10 chunks
    NoticedRadio radio;
    {
        CNetPlayDevice device;
        device.SetHandle(kHandle);
        device.AddTransmitPath(&radio);
        device.SetNotifyRadios(true);
        std::atomic<bool> done{false};
        std::thread positions([&] {
            while (!done) {
                device.GetCurrentPosn();
                device.SetPlaybackChan(8);
            }
        });
        for (int i = 0; i < 40; ++i) {
            const int before = radio.blockCount;
            ASSERT_EQ(device.StartPlayback(path.c_str(), 0), 1) << LastErrorText();
            ASSERT_TRUE(WaitFor([&] { return radio.blockCount > before; }));
            if (i % 2)
                device.StopPlayback();
            else
                ASSERT_TRUE(WaitFor([&] { return !device.IsPlaying(); }));
        }
        done = true;
        positions.join();
    }  // the destructor stops a playback under way
    hcy::Library().m_nCaptureSize = captureSize;
    EXPECT_EQ(radio.Ptt().size(), 80u);
    EXPECT_FALSE(radio.Keyed());
}
