// The WAV player on the manual clock: chunks and periods by file format, the
// end of the data, looping, the mono mix, malformed files, and device
// players heard on the virtual speaker.
#include <gtest/gtest.h>

#include "audio/device.h"
#include "audio/timer_wav_player.h"
#include "hcyplat/timer.h"
#include "media_fixture.h"

namespace {

using namespace hcytest;

// A device with the base's WAV-player slots, counting its players' notices.
class Owner : public StandInDevice {
public:
    int PlayWavFile(const char* path, float volume, int channel, int loop) override {
        return CDevice::PlayWavFile(path, volume, channel, loop);
    }
    int StopWavFile(int index) override { return CDevice::StopWavFile(index); }
    int OnWavPlayerDone(CWavPlayer*) override { return ++done; }
    std::atomic<int> done{0};
};

class WavPlayerTest : public MediaTest {
protected:
    void Prompt(bool loop) {
        player.SetSink(&sink);
        player.SetLoop(loop);
    }

    RecordingSink sink;
    CTimerWavPlayer player;
};

TEST_F(WavPlayerTest, ReadsOneCaptureBlockPerPeriodAndMixesStereoToMono) {
    struct Case {
        std::uint16_t channels;
        std::uint32_t rate, chunk, period;
    };
    for (const Case c :
         {Case{1, 16000, 2048, 64}, Case{2, 16000, 4096, 64}, Case{1, 8000, 2048, 128}}) {
        SCOPED_TRACE(c.rate * 10 + c.channels);
        RecordingSink out;
        CTimerWavPlayer p;
        p.SetSink(&out);
        const Samples data = Ramp(c.chunk, 100);  // two chunks of a mono file, one of a stereo
        const std::string path =
            Write("in.wav", Wav(SampleBytes(data), {.channels = c.channels, .rate = c.rate}));
        const plat::DWORD start = plat::timeGetTime();
        ASSERT_EQ(p.Play(path.c_str(), 0), 1) << LastErrorText();
        EXPECT_EQ(p.GetChunkSize(), c.chunk);
        EXPECT_EQ(p.GetPeriodMs(), c.period);
        Advance(c.period - 1);
        EXPECT_TRUE(out.blocks.empty());
        Advance(1);
        ASSERT_EQ(out.Sizes(), std::vector<std::size_t>{2048});
        EXPECT_EQ(out.times[0], start + c.period);
        EXPECT_EQ(out.rates[0], c.rate);
        if (c.channels == 2) {
            for (std::size_t i = 0; i < 1024; ++i)
                ASSERT_EQ(out.blocks[0][i], data[2 * i] / 2 + data[2 * i + 1] / 2) << i;
        } else {
            EXPECT_EQ(out.blocks[0], Samples(data.begin(), data.begin() + 1024));
        }
        p.Stop();
    }

    // Mixing halves each sample before the sum: no overflow, truncated halves.
    const Samples frames = {3, -3, -32768, -32768, 32767, 32767, -1, -1, 5, 0};
    Samples mono(5);
    CTimerWavPlayer::MixToMono(frames.data(), 5, mono.data());
    EXPECT_EQ(mono, (Samples{0, -32768, 32766, 0, 2}));
}

TEST_F(WavPlayerTest, WithoutLoopTheLastChunkIsShortThenTheNextPeriodStopsAndNotifies) {
    Owner owner;
    player.SetOwner(&owner);
    player.SetNotify(true);
    Prompt(false);
    const Samples data = Ramp(2500, 1);  // 5000 bytes
    ASSERT_EQ(player.Play(Write("in.wav", Wav(SampleBytes(data))).c_str(), 0), 1);
    Advance(3 * 64);
    EXPECT_EQ(sink.Sizes(), (std::vector<std::size_t>{2048, 2048, 904}));
    EXPECT_EQ(sink.All(), data);
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(owner.done, 0);
    Advance(64);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(owner.done, 1);
    EXPECT_EQ(sink.stops, 1);
    Advance(640);
    EXPECT_EQ(sink.blocks.size(), 3u);
    EXPECT_EQ(owner.done, 1);
    // Stopping an idle player calls nothing.
    EXPECT_EQ(player.Stop(), 1);
    EXPECT_EQ(owner.done, 1);
}

TEST_F(WavPlayerTest, LoopingWrapsToTheFirstSampleAsOftenAsAChunkNeeds) {
    Prompt(true);
    const Samples data = Ramp(2500, 1);
    ASSERT_EQ(player.Play(Write("in.wav", Wav(SampleBytes(data))).c_str(), 0), 1);
    Advance(3 * 64);
    ASSERT_EQ(sink.blocks.size(), 3u);
    // The chunk across the end: the last 452 samples, then the first 572.
    Samples expected(data.end() - 452, data.end());
    expected.insert(expected.end(), data.begin(), data.begin() + 572);
    EXPECT_EQ(sink.blocks[2], expected);
    player.Stop();
    EXPECT_EQ(sink.stops, 0);  // a prompt without notify leaves its source to the radio

    // Data shorter than a chunk repeats within the chunk.
    const Samples tiny = Ramp(50, 1);
    ASSERT_EQ(player.Play(Write("tiny.wav", Wav(SampleBytes(tiny))).c_str(), 0), 1);
    Advance(64);
    ASSERT_EQ(sink.blocks.size(), 4u);
    for (std::size_t i = 0; i < 1024; ++i) ASSERT_EQ(sink.blocks[3][i], tiny[i % 50]) << i;
    player.Stop();
}

TEST_F(WavPlayerTest, MalformedFilesAreRefusedOrPlayOnlyWhatTheyHold) {
    const std::string d = SampleBytes(Ramp(200, 1));
    struct Refused {
        const char* name;
        std::string bytes;
    };
    const std::vector<Refused> refused = {
        {"shorter than a header", Wav(d).substr(0, 40)},
        {"no channels", Wav(d, {.channels = 0, .byteRate = 32000})},
        {"three channels", Wav(d, {.channels = 3})},
        {"byte rate 0", Wav(d, {.byteRate = 0})},
        {"no timer period", Wav(d, {.byteRate = 0x7FFFFFFF})},
        {"rate 0", Wav(d, {.rate = 0, .byteRate = 32000})},
        // Played as 16-bit PCM, these were noise.
        {"mu-law", Wav(d, {.tag = 7, .byteRate = 16000, .bits = 8})},
        {"8-bit PCM", Wav(d, {.byteRate = 16000, .bits = 8})},
        {"float", Wav(d, {.tag = 3, .bits = 32})},
    };
    for (const auto& c : refused) {
        theApp.ClearError();
        EXPECT_EQ(player.Play(Write("bad.wav", c.bytes).c_str(), 0), 0) << c.name;
        EXPECT_FALSE(player.IsPlaying()) << c.name;
        EXPECT_EQ(LastErrorText().rfind("Could not play " + dir_.file("bad.wav") + ": ", 0), 0u)
            << c.name << ": " << LastErrorText();
    }
    EXPECT_EQ(player.Play(dir_.file("missing.wav").c_str(), 0), 0);
    EXPECT_EQ(
        LastErrorText().rfind("Error 2: Could not open " + dir_.file("missing.wav") + ": ", 0), 0u)
        << LastErrorText();
    plat::FailNextTimerCreations(1);
    EXPECT_EQ(player.Play(Write("good.wav", Wav(d)).c_str(), 0), 0);
    EXPECT_FALSE(player.IsPlaying());

    // A chunk before the data, or an extensible header, was played from
    // byte 44 on: header bytes, then the samples shifted.
    Prompt(false);
    for (const std::string& bytes :
         {Riff(FmtChunk({}) + Chunk("LIST", "INFOab") + Chunk("data", d)),
          Wav(d, {.tag = 0xFFFE, .extra = Extensible(16, 1)})}) {
        sink.blocks.clear();
        ASSERT_EQ(player.Play(Write("other.wav", bytes).c_str(), 0), 1) << LastErrorText();
        Advance(64);
        EXPECT_EQ(sink.All(), FromBytes(d));
        player.Stop();
    }
    sink.blocks.clear();

    // Sizes larger than the file: only what is there plays, looping or not;
    // a stereo file cut mid-frame drops the half frame.
    Prompt(false);
    ASSERT_EQ(player.Play(
                  Write("long.wav", Riff(FmtChunk({}) + Chunk("data", d, 0xFFFFFFF0))).c_str(), 0),
              1);
    Advance(2 * 64);
    EXPECT_EQ(sink.All(), FromBytes(d));
    EXPECT_FALSE(player.IsPlaying());
    Prompt(true);
    ASSERT_EQ(player.Play(dir_.file("long.wav").c_str(), 0), 1);
    Advance(64);
    ASSERT_EQ(sink.blocks.size(), 2u);
    for (std::size_t i = 0; i < 1024; ++i) ASSERT_EQ(sink.blocks[1][i], 1 + int(i % 200)) << i;
    player.Stop();
    Prompt(false);
    ASSERT_EQ(player.Play(Write("cut.wav", Riff(FmtChunk({.channels = 2}) +
                                                Chunk("data", d.substr(0, 398), 4000)))
                              .c_str(),
                          0),
              1);
    Advance(2 * 64);
    ASSERT_EQ(sink.blocks.size(), 3u);
    EXPECT_EQ(sink.blocks[2].size(), 99u);  // 99 whole frames of 398 bytes
}

// Device players: the device's DirectSound object, reuse of idle players, and
// what the speaker hears.
class DevicePlayers : public MediaTest {
protected:
    void SetUp() override {
        MediaTest::SetUp();
        device.directSound = speaker->ds;
    }
    // The speaker's left channel from the first sample that is not silence.
    Samples Heard() const {
        const Samples all = speaker->sink->Samples();
        Samples left;
        for (std::size_t i = 0; i < all.size(); i += 2) left.push_back(all[i]);
        const auto first =
            std::find_if(left.begin(), left.end(), [](std::int16_t s) { return s != 0; });
        return Samples(first, left.end());
    }
    Owner device;
};

TEST_F(DevicePlayers, PlayAtTheFilesRateOnTheSpeakerAndIdlePlayersAreReused) {
    const Samples data = Ramp(8000, 1);  // 0.5 s at 16 kHz
    const std::string at16 = Write("a.wav", Wav(SampleBytes(data)));
    // Player 0 and a failure both return 0: a stale message made the first
    // look like the second.
    theApp.SetError("earlier");
    EXPECT_EQ(device.PlayWavFile(at16.c_str(), 1.0f, 0, 0), 0);
    EXPECT_EQ(theApp.LastError(), "");
    EXPECT_EQ(device.PlayWavFile(at16.c_str(), 1.0f, 0, 1), 1);  // the first still plays
    EXPECT_EQ(device.StopWavFile(1), 1);
    speaker->sink->Clear();
    Advance(1000);
    EXPECT_EQ(device.done, 2);
    // Every sample, in order, at 16000 per second: 0.5 s of the file then
    // silence.
    Samples heard = Heard();
    ASSERT_GE(heard.size(), data.size());
    EXPECT_EQ(Samples(heard.begin(), heard.begin() + 8000), data);
    EXPECT_TRUE(AllZero(Samples(heard.begin() + 8000, heard.end())));

    // Both idle: the first is reused. An 8 kHz file lasts twice as long.
    const Samples half = Ramp(4000, 1);
    speaker->sink->Clear();
    EXPECT_EQ(device.PlayWavFile(Write("b.wav", Wav(SampleBytes(half), {.rate = 8000})).c_str(),
                                 1.0f, 0, 0),
              0);
    Advance(1000);
    heard = Heard();
    const auto last =
        std::find_if(heard.rbegin(), heard.rend(), [](std::int16_t s) { return s != 0; });
    const auto span = static_cast<long>(heard.rend() - last);
    EXPECT_NEAR(span, 8000, 16);
    EXPECT_EQ(device.done, 3);
    // The device closes its players.
    EXPECT_EQ(device.PlayWavFile(at16.c_str(), 1.0f, 0, 1), 0);
    device.CDevice::Close();
    EXPECT_EQ(device.done, 4);
}

}  // namespace

namespace {

// On the real clock: Play and Stop of the host race the timer's chunks and
// its own stop at the end of the file.
TEST(WavPlayerThreads, HostCallsRaceTheTimerAndItsOwnStop) {
    TempDir dir;
    const std::uint32_t captureSize = hcy::Library().m_nCaptureSize;
    hcy::Library().m_nCaptureSize = 64;  // chunks of 64 bytes: a period of 2 ms
    const std::string path = dir.file("in.wav");
    WriteFile(path, Wav(SampleBytes(Ramp(320, 1))));
    RecordingSink sink;
    Owner owner;
    {
        CTimerWavPlayer player;
        player.SetSink(&sink);
        player.SetOwner(&owner);
        player.SetNotify(true);
        for (int i = 0; i < 40; ++i) {
            const std::size_t before = sink.Sizes().size();
            ASSERT_EQ(player.Play(path.c_str(), 0), 1) << LastErrorText();
            ASSERT_TRUE(WaitFor([&] { return sink.Sizes().size() > before; }));
            if (i % 2)
                player.Stop();
            else
                ASSERT_TRUE(WaitFor([&] { return !player.IsPlaying(); }));
        }
    }
    hcy::Library().m_nCaptureSize = captureSize;
    EXPECT_EQ(owner.done, 40);
    EXPECT_EQ(sink.stops, 40);
}

}  // namespace
