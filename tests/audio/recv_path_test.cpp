// Receive paths on a virtual speaker: the noise base and noise volumes,
// source gains and pans, what is written and heard, the squelch tail, buffer
// errors, buffer reuse and re-attaching to another device.
#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "audio/output_buffer.h"
#include "audio/recv_path_mono.h"
#include "output_buffer_sound.h"
#include "radio/generic_radio.h"
#include "radio/receive.h"
#include "support/stand_ins.h"

namespace {

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

    void Write(const CReceive* record, const std::vector<std::int16_t>& b) {
        path->WriteAudio(record, b.data(), static_cast<std::uint32_t>(b.size() * 2), 16000);
    }

    plat::LPDIRECTSOUNDBUFFER SoundOf(const CReceive* record) {
        for (std::size_t i = 0; i < path->GetOutputBufferCount(); ++i) {
            COutputBuffer* b = path->GetOutputBuffer(i);
            if (b != path->GetLocalSource() && b->GetReceive() == record) return b->GetSoundBuffer();
        }
        return nullptr;
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

TEST_F(RecvPath, AttachMakesNoiseAndTheLocalSourceAndActivatesWithARadio) {
    CRecvPathMono p;
    p.AttachDevice(&device);
    EXPECT_FALSE(p.IsActive());
    ASSERT_TRUE(p.GetSquelchNoise());
    ASSERT_TRUE(p.GetSquelchTail());
    ASSERT_TRUE(p.GetBackgroundNoise());
    ASSERT_TRUE(p.GetResourceSound());
    EXPECT_EQ(p.GetOutputBufferCount(), 1u);
    ASSERT_NE(p.GetLocalSource(), nullptr);
    EXPECT_TRUE(p.GetLocalSource()->IsActive());
    p.SetRadio(radio.get());
    EXPECT_TRUE(p.IsActive());
    // Noise is white, full scale: both byte halves of the samples vary.
    const auto noise = Contents(p.GetSquelchNoise());
    ASSERT_EQ(noise.size(), 64000u);
    EXPECT_EQ(Contents(p.GetSquelchTail()).size(), 2048u);
    const auto [lo, hi] = std::minmax_element(noise.begin(), noise.end());
    EXPECT_LT(*lo, 8);
    EXPECT_GT(*hi, 247);
    EXPECT_EQ(Contents(p.GetResourceSound()).size(), 82900u);
    p.DetachAll();
    EXPECT_EQ(p.GetOutputBufferCount(), 0u);
    EXPECT_FALSE(p.IsActive());
}

TEST_F(RecvPath, DataDeviceGetsNoBuffersButGainNotices) {
    struct NoticedDevice : StandInDevice {
        NoticedDevice() : StandInDevice(Kind::Data) {}
        bool NotifyHost(int user, const CReceive* r, int code, double* value) override {
            userId = user, record = r, lastCode = code, gain = *value;
            return true;
        }
        int userId = 0, lastCode = 0;
        const CReceive* record = nullptr;
        double gain = -1.0;
    } data;
    CRecvPathMono p;
    p.AttachDevice(&data);
    p.SetRadio(radio.get());
    EXPECT_FALSE(p.GetSquelchNoise());
    EXPECT_EQ(p.GetOutputBufferCount(), 0u);
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

class NoiseVolume : public RecvPath {};

TEST_F(NoiseVolume, FollowsMasterVolumeBelowTheBaseAndIsSilentWhileKeyed) {
    auto& p = Attach();
    auto all = [&](long expected) {
        EXPECT_EQ(Volume(p.GetSquelchNoise()), expected);
        EXPECT_EQ(Volume(p.GetSquelchTail()), expected);
        EXPECT_EQ(Volume(p.GetBackgroundNoise()), expected);
    };
    EXPECT_TRUE(p.UpdateNoiseVolume());
    all(-3000);
    radio->SetMasterVolume(0.5f);
    p.UpdateNoiseVolume();
    all(-8000);
    radio->SetMasterVolume(1.0f);
    device.keyed = true;  // base - 10000: clamped to silence
    p.UpdateNoiseVolume();
    all(-10000);
    device.keyed = false;
    p.MuteNoise(true);
    all(-10000);
    p.MuteNoise(false);
    all(-3000);
    p.StopAll();
    EXPECT_FALSE(p.UpdateNoiseVolume());  // no device
}

TEST_F(NoiseVolume, SquelchNoiseIsHeardPannedAtTheBase) {
    auto& p = Attach(8);
    p.UpdateNoiseVolume();
    p.PlaySquelchNoise(true);
    EXPECT_TRUE(Playing(p.GetSquelchNoise()));
    EXPECT_EQ(Pan(p.GetSquelchNoise()), -10000);
    const auto heard = Hear(100);
    int peakLeft = 0, peakRight = 0;
    for (std::size_t i = 0; i < heard.size(); i += 2) {
        peakLeft = std::max(peakLeft, std::abs(int{heard[i]}));
        peakRight = std::max(peakRight, std::abs(int{heard[i + 1]}));
    }
    EXPECT_EQ(peakRight, 0);
    // Full-scale noise at -30 dB: amplitude 0.0316.
    EXPECT_GT(peakLeft, 700);
    EXPECT_LE(peakLeft, 1037);
    p.PlaySquelchNoise(false);
    EXPECT_FALSE(Playing(p.GetSquelchNoise()));
}

class Sources : public RecvPath {};

TEST_F(Sources, GainFromSignalAndMasterVolumeOrFullAndCentredWhenPreferred) {
    auto& p = Attach(8);
    CReceive record;
    record.SetSignal(0.5);
    ASSERT_TRUE(p.UpdateSourceGain(&record));
    auto sb = SoundOf(&record);
    ASSERT_TRUE(sb);
    EXPECT_EQ(Volume(sb), -5000);
    EXPECT_EQ(Pan(sb), -10000);
    record.SetRecvValue(2);  // a preferred transmitter
    p.UpdateSourceGain(&record);
    EXPECT_EQ(Volume(sb), 0);
    EXPECT_EQ(Pan(sb), 0);
    record.SetRecvValue(0);
    record.SetPttBlock(true);
    p.UpdateSourceGain(&record);
    EXPECT_EQ(Volume(sb), -10000);
    EXPECT_EQ(Pan(sb), -10000);
    // A record being deleted gets nothing.
    CReceive removed;
    removed.Reset();
    const auto count = p.GetOutputBufferCount();
    EXPECT_TRUE(p.UpdateSourceGain(&removed));
    EXPECT_EQ(p.GetOutputBufferCount(), count);
    EXPECT_FALSE(SoundOf(&removed));
}

TEST_F(Sources, BlockIsHeardOnlyOnceTheRecordHasABuffer) {
    auto& p = Attach();
    CReceive record;
    const auto block = Block(1024, 3);
    Write(&record, block);
    for (auto v : Hear(64)) ASSERT_EQ(v, 0);
    p.UpdateSourceGain(&record);
    Write(&record, block);
    const auto heard = Hear(64);
    ASSERT_EQ(heard.size(), 2048u);
    for (std::size_t i = 0; i < block.size(); ++i) {
        ASSERT_EQ(heard[2 * i], block[i]) << i;
        ASSERT_EQ(heard[2 * i + 1], block[i]) << i;
    }
}

TEST_F(Sources, LocalSourcePlaysAtTheMasterVolume) {
    auto& p = Attach(9);
    radio->SetMasterVolume(0.5f);
    const auto block = Block(512, 2);
    Write(nullptr, block);
    const auto sb = p.GetLocalSource()->GetSoundBuffer();
    EXPECT_EQ(Volume(sb), -5000);
    EXPECT_EQ(Pan(sb), 10000);
    const auto heard = Hear(32);
    for (std::size_t i = 0; i < block.size(); ++i) {
        ASSERT_EQ(heard[2 * i], 0);
        ASSERT_NEAR(heard[2 * i + 1], block[i] * std::pow(10.0, -5000 / 2000.0), 2.0) << i;
    }
    p.StopSource(nullptr, false);
    EXPECT_TRUE(p.GetLocalSource()->IsActive());
}

TEST_F(Sources, StopWithTailPlaysItOnceOnTheRightAtTheBaseEachTime) {
    auto& p = Attach(9);
    radio->SetMasterVolume(0.5f);  // the tail ignores it
    CReceive record;
    p.UpdateSourceGain(&record);
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
    for (auto v : Hear(64)) ASSERT_EQ(v, 0);
}

TEST_F(Sources, TooManyFailedWritesRestartTheBufferAndDropOneBlock) {
    auto& p = Attach();
    CReceive record;
    p.UpdateSourceGain(&record);
    theApp.ClearError();
    plat::vsnd::InjectFault(speaker->guid, Fault::Lock, plat::DSERR_INVALIDPARAM, 65);
    for (int i = 0; i < 65; ++i) Write(&record, Block(256));
    EXPECT_EQ(theApp.LastError(), "");
    Write(&record, Block(256));  // the 66th: reported and dropped
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Too many buffer errors");
    const auto block = Block(1024, 4);
    Hear(10);
    COutputBuffer* buffer = nullptr;
    for (std::size_t i = 0; i < p.GetOutputBufferCount(); ++i)
        if (p.GetOutputBuffer(i)->GetReceive() == &record) buffer = p.GetOutputBuffer(i);
    ASSERT_NE(buffer, nullptr);
    EXPECT_TRUE(buffer->IsActive());
    EXPECT_EQ(buffer->GetErrorCount(), 0u);
    Write(&record, block);
    std::size_t loud = 0;
    for (auto v : Hear(100)) loud += v != 0;
    EXPECT_GT(loud, 1900u);
}

TEST_F(Sources, IdleBuffersStopOnTheSecondUpdate) {
    auto& p = Attach();
    CReceive record;
    p.UpdateSourceGain(&record);
    Write(&record, Block(256));
    const auto sb = SoundOf(&record);
    p.StopIdleOutputBuffers();
    EXPECT_TRUE(Playing(sb));
    p.StopIdleOutputBuffers();
    EXPECT_FALSE(Playing(sb));
    Write(&record, Block(256));
    EXPECT_TRUE(Playing(sb));
}

class Reuse : public RecvPath {};

TEST_F(Reuse, StoppedSourcesBufferGoesToTheNextNewSource) {
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
    // Both heard at once: two buffers mix on the speaker.
    Write(&a, std::vector<std::int16_t>(1024, 1000));
    Write(&c, std::vector<std::int16_t>(1024, 2000));
    const auto heard = Hear(64);
    for (auto v : heard) ASSERT_EQ(v, 3000);
}

TEST_F(Reuse, StopAllThenAnotherDeviceMakesEverythingAnewThere) {
    auto& p = Attach();
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
    other.sink->Clear();
    const auto first = Hear(32);
    const auto second_heard = other.sink->Samples();
    for (auto v : first) ASSERT_EQ(v, 0);
    ASSERT_EQ(second_heard.size(), 1024u);
    for (std::size_t i = 0; i < block.size(); ++i) ASSERT_EQ(second_heard[2 * i], block[i]) << i;
    // The local source lives on the new device too.
    ASSERT_NE(p.GetLocalSource(), nullptr);
    Write(nullptr, block);
    other.sink->Clear();
    Hear(32);
    const auto local = other.sink->Samples();
    ASSERT_EQ(local.size(), 1024u);
    for (std::size_t i = 0; i < block.size(); ++i) ASSERT_EQ(local[2 * i + 1], block[i]) << i;
}

TEST_F(Reuse, LegacyFlagMakesStereoBuffers) {
    theApp.m_bOldWindowsNT = true;
    auto& p = Attach();
    CReceive record;
    p.UpdateSourceGain(&record);
    for (std::size_t i = 0; i < p.GetOutputBufferCount(); ++i)
        EXPECT_NE(dynamic_cast<COutputBufferDX3*>(p.GetOutputBuffer(i)), nullptr);
}

}  // namespace

namespace {

// A writer (PDU worker), the update tick and the mixer at once: no torn
// state, and the path still plays afterwards.
TEST_F(Reuse, WritesIdleChecksGainsAndMixingRunTogether) {
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
    Write(&record, std::vector<std::int16_t>(1024, 4000));
    // The writer may have run far ahead of the cursor: one loop of the
    // buffer (2048 ms) plays every byte of it once.
    std::size_t heard = 0;
    for (auto v : Hear(2048)) heard += v == 4000;
    EXPECT_EQ(heard, 1024u);
}

}  // namespace
