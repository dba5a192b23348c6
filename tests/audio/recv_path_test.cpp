// Receive paths on a virtual speaker: the noise base and noise volumes,
// source gains and pans, what is written and heard, the squelch tail, buffer
// errors, buffer reuse and re-attaching to another device; multi-channel
// paths spreading mono blocks over their channels.
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "audio/output_buffer.h"
#include "audio/recv_path_mono.h"
#include "audio/recv_path_multi.h"
#include "audio_fixture.h"
#include "radio/generic_radio.h"
#include "radio/receive.h"

namespace {

using hcytest::AllZero;
using hcytest::Block;
using hcytest::ExpectHeard;
using hcytest::Samples;
using hcytest::SoundTest;
using hcytest::Speaker;
using hcytest::StandInDevice;
using plat::vsnd::Fault;

class RecvPath : public SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        device.directSound = speaker->ds;
        device.SetHandle(3);
        radio = std::make_unique<CGenericRadioModel>();
        radio->SetUserId(11);
    }
    void TearDown() override {
        path.reset();
        radio.reset();
        SoundTest::TearDown();
    }

    // A path attached to the device and the radio on `channel`.
    CRecvPathMono& Attach(int channel = 0) {
        path = std::make_unique<CRecvPathMono>();
        path->AttachDevice(&device);
        path->SetRadio(radio.get());
        path->SetChannel(channel);
        return *path;
    }
    void Write(const CReceive* record, const Samples& b) {
        path->WriteAudio(record, b.data(), static_cast<std::uint32_t>(b.size() * 2), 16000);
    }
    COutputBuffer* BufferOf(const CReceive* record) {
        for (std::size_t i = 0; i < path->GetOutputBufferCount(); ++i) {
            COutputBuffer* b = path->GetOutputBuffer(i);
            if (b != path->GetLocalSource() && b->GetReceive() == record) return b;
        }
        return nullptr;
    }
    plat::LPDIRECTSOUNDBUFFER SoundOf(const CReceive* record) {
        COutputBuffer* b = BufferOf(record);
        return b ? b->GetSoundBuffer() : nullptr;
    }

    StandInDevice device;
    std::unique_ptr<CGenericRadioModel> radio;
    std::unique_ptr<CRecvPathMono> path;
};

TEST_F(RecvPath, NoiseBaseComesFromSquelchLevel) {
    EXPECT_EQ(CRecvPathMono().GetNoiseBase(), -3000);  // default 7
    for (auto [text, base] : {std::pair{"10", 0}, {"3", -7000}, {"7", -3000}, {"5000", 990000}}) {
        WriteConfig(std::string("[Radio]\nSquelchLevel=") + text + "\n");
        EXPECT_EQ(CRecvPathMono().GetNoiseBase(), base) << text;
    }
}

TEST_F(RecvPath, DataDeviceGetsNoBuffersButGainNotices) {
    struct NoticedDevice : StandInDevice {
        NoticedDevice() : StandInDevice(Kind::Data) {}
        bool NotifyHost(int user, const CReceive* r, int code, double* value) override {
            return userId = user, record = r, lastCode = code, gain = *value, true;
        }
        int userId = 0, lastCode = 0;
        const CReceive* record = nullptr;
        double gain = -1.0;
    } data;
    CRecvPathMono p;
    p.AttachDevice(&data);
    p.SetRadio(radio.get());
    EXPECT_FALSE(p.GetSquelchNoise());
    radio->SetMasterVolume(0.5f);
    CReceive record;
    record.SetSignal(0.5);
    EXPECT_TRUE(p.UpdateSourceGain(&record));
    EXPECT_EQ(data.lastCode, 403);
    EXPECT_EQ(data.userId, 11);
    EXPECT_EQ(data.record, &record);
    EXPECT_DOUBLE_EQ(data.gain, 0.25);
    EXPECT_EQ(p.GetOutputBufferCount(), 0u);
    EXPECT_TRUE(p.UpdateNoiseVolume());
}

TEST_F(RecvPath, NoiseVolumeFollowsMasterVolumeBelowTheBaseAndIsSilentWhileKeyed) {
    auto& p = Attach(8);
    auto all = [&](long expected) {
        for (const auto& b : {p.GetSquelchNoise(), p.GetSquelchTail(), p.GetBackgroundNoise()})
            EXPECT_EQ(Volume(b), expected);
    };
    const struct {
        float master;
        bool keyed;
        long volume;
    } cases[] = {{1.0f, false, -3000},
                 {0.5f, false, -8000},
                 {1.0f, true, -10000} /* base - 10000, clamped */};
    for (const auto& c : cases) {
        radio->SetMasterVolume(c.master);
        device.keyed = c.keyed;
        EXPECT_TRUE(p.UpdateNoiseVolume());
        all(c.volume);
    }
    device.keyed = false;
    p.MuteNoise(true);
    all(-10000);
    p.MuteNoise(false);
    all(-3000);

    // Heard panned to its channel at the base: full scale at -30 dB, 0.0316.
    p.PlaySquelchNoise(true);
    EXPECT_EQ(Pan(p.GetSquelchNoise()), -10000);
    const auto heard = Hear(100);
    int peakLeft = 0, peakRight = 0;
    for (std::size_t i = 0; i < heard.size(); i += 2) {
        peakLeft = std::max(peakLeft, std::abs(int{heard[i]}));
        peakRight = std::max(peakRight, std::abs(int{heard[i + 1]}));
    }
    EXPECT_EQ(peakRight, 0);
    EXPECT_GT(peakLeft, 700);
    EXPECT_LE(peakLeft, 1037);
    p.PlaySquelchNoise(false);
    EXPECT_FALSE(Playing(p.GetSquelchNoise()));
    p.StopAll();
    EXPECT_FALSE(p.UpdateNoiseVolume());  // no device
}

TEST_F(RecvPath, LocalSourceAndRecordsGainsPansAndWhatIsHeard) {
    auto& p = Attach(9);
    radio->SetMasterVolume(0.5f);
    const auto block = Block(512, 2);
    Write(nullptr, block);  // the local source: master volume, on the path's channel
    const auto local = p.GetLocalSource()->GetSoundBuffer();
    EXPECT_EQ(Volume(local), -5000);
    EXPECT_EQ(Pan(local), 10000);
    const auto heard = Hear(32);
    ASSERT_EQ(heard.size(), 1024u);
    for (std::size_t i = 0; i < block.size(); ++i) {
        ASSERT_EQ(heard[2 * i], 0);
        ASSERT_NEAR(heard[2 * i + 1], block[i] * std::pow(10.0, -5000 / 2000.0), 2.0) << i;
    }
    p.StopSource(nullptr, false);
    EXPECT_TRUE(p.GetLocalSource()->IsActive());

    // A record is heard only once UpdateSourceGain gave it a buffer: signal
    // times master volume on the channel, or full and centred when preferred.
    CReceive record;
    record.SetSignal(0.5);
    Write(&record, block);
    EXPECT_TRUE(AllZero(Hear(32)));
    ASSERT_TRUE(p.UpdateSourceGain(&record));
    const auto sb = SoundOf(&record);
    ASSERT_TRUE(sb);
    EXPECT_EQ(Volume(sb), -7500);
    EXPECT_EQ(Pan(sb), 10000);
    record.SetRecvValue(2);
    p.UpdateSourceGain(&record);
    EXPECT_EQ(Volume(sb), 0);
    EXPECT_EQ(Pan(sb), 0);
    Write(&record, block);
    ExpectHeard(Hear(32), block);
    record.SetRecvValue(0);
    record.SetPttBlock(true);
    p.UpdateSourceGain(&record);
    EXPECT_EQ(Volume(sb), -10000);
    // A record being deleted gets nothing.
    CReceive removed;
    removed.Reset();
    const auto count = p.GetOutputBufferCount();
    EXPECT_TRUE(p.UpdateSourceGain(&removed));
    EXPECT_EQ(p.GetOutputBufferCount(), count);
    EXPECT_FALSE(SoundOf(&removed));
}

TEST_F(RecvPath, StopWithTailPlaysItOnceOnTheRightAtTheBaseEachTime) {
    auto& p = Attach(9);
    radio->SetMasterVolume(0.5f);  // the tail ignores it
    CReceive record;
    for (int round = 0; round < 2; ++round) {
        p.UpdateSourceGain(&record);
        p.StopSource(&record, true);
        EXPECT_EQ(Volume(p.GetSquelchTail()), -3000);
        const auto heard = Hear(64);  // 1024 frames: the 512 of the tail, then silence
        int peakRight = 0, nonZeroRight = 0;
        for (std::size_t f = 0; f < heard.size() / 2; ++f) {
            ASSERT_EQ(heard[2 * f], 0) << f;
            if (f >= 512) {
                ASSERT_EQ(heard[2 * f + 1], 0) << f;
            }
            peakRight = std::max(peakRight, std::abs(int{heard[2 * f + 1]}));
            nonZeroRight += heard[2 * f + 1] != 0;
        }
        EXPECT_GT(nonZeroRight, 400) << round;
        EXPECT_LE(peakRight, 1037) << round;
        EXPECT_GT(peakRight, 500) << round;
    }
    // No active buffer for the record: nothing, not even the tail.
    p.StopSource(&record, true);
    EXPECT_TRUE(AllZero(Hear(64)));
}

TEST_F(RecvPath, TooManyFailedWritesRestartTheBufferAndDropOneBlock) {
    auto& p = Attach();
    CReceive record;
    p.UpdateSourceGain(&record);
    theApp.ClearError();
    plat::vsnd::InjectFault(speaker->guid, Fault::Lock, plat::DSERR_INVALIDPARAM, 65);
    for (int i = 0; i < 65; ++i) Write(&record, Block(256));
    EXPECT_EQ(theApp.LastError(), "");
    Write(&record, Block(256));  // the 66th: reported and dropped
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Too many buffer errors");
    Hear(10);
    COutputBuffer* buffer = BufferOf(&record);
    ASSERT_NE(buffer, nullptr);
    EXPECT_TRUE(buffer->IsActive());
    EXPECT_EQ(buffer->GetErrorCount(), 0u);
    Write(&record, Block(1024, 4));
    std::size_t loud = 0;
    for (auto v : Hear(100)) loud += v != 0;
    EXPECT_GT(loud, 1900u);
}

TEST_F(RecvPath, StoppedSourcesBufferGoesToTheNextNewSource) {
    auto& p = Attach();
    CReceive a, b, c;
    p.UpdateSourceGain(&a);
    p.UpdateSourceGain(&b);
    EXPECT_EQ(p.GetOutputBufferCount(), 3u);  // the local source and two
    const auto soundOfA = SoundOf(&a);
    p.StopSource(&a, false);
    p.UpdateSourceGain(&c);
    EXPECT_EQ(p.GetOutputBufferCount(), 3u);
    EXPECT_EQ(SoundOf(&c), soundOfA);
    // A forgotten record's buffer is free and holds no pointer to it.
    p.ForgetSource(&b);
    EXPECT_FALSE(SoundOf(&b));
    p.UpdateSourceGain(&a);
    EXPECT_EQ(p.GetOutputBufferCount(), 3u);
    p.DetachAll();  // drops them all
    EXPECT_EQ(p.GetOutputBufferCount(), 0u);
    EXPECT_FALSE(p.IsActive());
}

TEST_F(RecvPath, AttachMakesNoiseAndTheLocalSourceStopAllDropsThemAndAnotherDeviceGetsThemAnew) {
    path = std::make_unique<CRecvPathMono>();
    auto& p = *path;
    p.AttachDevice(&device);
    EXPECT_FALSE(p.IsActive());
    ASSERT_TRUE(p.GetSquelchNoise() && p.GetSquelchTail() && p.GetBackgroundNoise() &&
                p.GetResourceSound());
    EXPECT_EQ(p.GetOutputBufferCount(), 1u);
    ASSERT_NE(p.GetLocalSource(), nullptr);
    EXPECT_TRUE(p.GetLocalSource()->IsActive());
    p.SetRadio(radio.get());
    EXPECT_TRUE(p.IsActive());
    // Noise is white, full scale: both byte halves of the samples vary.
    const auto noise = Contents(p.GetSquelchNoise());
    const auto [lo, hi] = std::minmax_element(noise.begin(), noise.end());
    EXPECT_LT(*lo, 8);
    EXPECT_GT(*hi, 247);

    CReceive record;
    p.UpdateSourceGain(&record);
    const auto oldNoise = p.GetSquelchNoise();
    p.StopAll();
    EXPECT_FALSE(p.IsActive());
    EXPECT_EQ(p.GetDevice(), nullptr);
    EXPECT_EQ(p.GetRadio(), nullptr);
    EXPECT_FALSE(p.GetSquelchNoise());

    Speaker other("Headset");
    StandInDevice second;
    second.directSound = other.ds;
    p.AttachDevice(&second);
    p.SetRadio(radio.get());
    EXPECT_TRUE(p.IsActive());
    ASSERT_TRUE(p.GetSquelchNoise());
    EXPECT_NE(p.GetSquelchNoise(), oldNoise);
    p.UpdateSourceGain(&record);
    const auto block = Block(512, 6);
    Write(&record, block);
    Write(nullptr, block);  // the local source lives on the new device too
    other.sink->Clear();
    EXPECT_TRUE(AllZero(Hear(32)));
    const auto heard = other.sink->Samples();
    ASSERT_EQ(heard.size(), 1024u);
    for (std::size_t i = 0; i < block.size(); ++i) ASSERT_EQ(heard[2 * i], 2 * block[i]) << i;

    // Reused for a data device, it keeps no buffer of a sound device.
    p.StopAll();
    StandInDevice data(CDevice::Kind::Data);
    p.AttachDevice(&data);
    EXPECT_EQ(p.GetOutputBufferCount(), 0u);
    EXPECT_EQ(p.GetLocalSource(), nullptr);
}

// A writer (PDU worker), the update tick and the mixer at once: no torn
// state, and the path still plays afterwards.
TEST_F(RecvPath, WritesIdleChecksGainsAndMixingRunTogether) {
    auto& p = Attach(8);
    CReceive record;
    p.UpdateSourceGain(&record);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        const auto block = Block(256);
        for (int i = 0; i < 2000; ++i) Write(&record, block);
        done = true;
    });
    std::thread tick([&] {
        while (!done) {
            p.StopIdleOutputBuffers();
            p.UpdateSourceGain(&record);
            p.UpdateNoiseVolume();
        }
    });
    for (int i = 0; i < 200 && !done; ++i) Advance(5);
    writer.join();
    tick.join();
    p.UpdateSourceGain(&record);
    Advance(600);  // what the writer queued ahead of the cursor plays out
    Write(&record, Samples(1024, 4000));
    std::size_t heard = 0;
    for (auto v : Hear(2048)) heard += v == 4000;
    EXPECT_EQ(heard, 1024u);
}

// ---------------------------------------------------------------------------
// Multi-channel paths: a gain per channel.

TEST(ExpandToChannels, GainPerChannelTruncatedAndSaturated) {
    const std::int16_t in[] = {1001, -1001, 30000};
    std::int16_t out[9];
    CRecvPathMulti::ExpandToChannels(in, 3, {1.0f, 0.5f, 1.5f}, 3, out);
    const std::int16_t expected[] = {1001, 500, 1501, -1001, -500, -1501, 30000, 15000, 32767};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(out[i], expected[i]) << i;
    CRecvPathMulti::ExpandToChannels(in, 1, {1.0f}, 2, out);  // no gain: silent
    EXPECT_EQ(out[1], 0);
    EXPECT_NE(dynamic_cast<CRecvPathMulti*>(CreateRecvPath(CRecvPath::Kind::Multi).get()), nullptr);
    EXPECT_EQ(CreateRecvPath(CRecvPath::Kind::Mono)->GetKind(), CRecvPath::Kind::Mono);
}

TEST_F(SoundTest, MultiPathSpreadsBlocksOverTheChannelsAndWeightsNoiseAlike) {
    struct TwoChannels : StandInDevice {
        TwoChannels() { m_nOutputChannels = 2, m_nChannelMask = 0x3; }
    } device;
    device.directSound = speaker->ds;
    CGenericRadioModel radio;
    CRecvPathMulti path;
    path.AttachDevice(&device);
    path.SetRadio(&radio);
    const auto noise = path.GetSquelchNoise();
    ASSERT_TRUE(noise);
    for (auto b : Contents(noise)) ASSERT_EQ(b, 0);  // no gains yet

    const float gains[] = {1.0f, 0.5f};
    path.SetChannelGains(gains, 2);
    EXPECT_EQ(path.GetLocalSource(), nullptr);
    EXPECT_FALSE(path.GetSquelchTail());
    CReceive record;
    ASSERT_TRUE(path.UpdateSourceGain(&record));
    ASSERT_EQ(path.GetOutputBufferCount(), 1u);
    auto* buffer = dynamic_cast<COutputBufferMulti*>(path.GetOutputBuffer(0));
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->GetChannelCount(), 2u);
    EXPECT_EQ(Volume(buffer->GetSoundBuffer()), 0);
    const auto block = Block(1024, 3);
    path.WriteAudio(&record, block.data(), 2048, 16000);
    const auto heard = Hear(64);
    ASSERT_EQ(heard.size(), 2048u);
    for (std::size_t i = 0; i < block.size(); ++i) {
        ASSERT_EQ(heard[2 * i], block[i]) << i;
        ASSERT_EQ(heard[2 * i + 1], static_cast<std::int16_t>(block[i] * 0.5)) << i;
    }

    const float leftOnly[] = {1.0f, 0.0f};
    path.SetChannelGains(leftOnly, 2);
    const auto bytes = Contents(noise);
    std::size_t loudLeft = 0;
    for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
        loudLeft += bytes[i] != 0 || bytes[i + 1] != 0;
        ASSERT_EQ(bytes[i + 2] | bytes[i + 3], 0) << i;  // whole samples of channel 1
    }
    EXPECT_GT(loudLeft, 31000u);
}

}  // namespace
