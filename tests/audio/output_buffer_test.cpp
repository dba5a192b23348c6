// Output buffers on a virtual speaker: volume and pan, what is heard and what
// is cleared, re-synchronisation, idle stop, errors and buffer loss, the
// legacy stereo variant, and garbling.
#include <algorithm>
#include <ctime>
#include <limits>

#include "audio/output_buffer.h"
#include "audio_fixture.h"
#include "hcyplat/crt.h"
#include "radio/receive.h"

namespace {

using hcytest::AllZero;
using hcytest::Block;
using hcytest::Samples;
using hcytest::SoundTest;
using plat::vsnd::Fault;

class OutputBuffer : public SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        ASSERT_EQ(buffer.Create(speaker->ds), 1);
        sb = buffer.GetSoundBuffer();
        ASSERT_TRUE(sb);
    }
    int Write(const Samples& b) {
        return buffer.Write(b.data(), static_cast<std::uint32_t>(b.size() * 2));
    }

    COutputBuffer buffer;
    plat::LPDIRECTSOUNDBUFFER sb;
};

TEST_F(OutputBuffer, VolumeFromGainTruncatedAndClampedPanFromChannel) {
    const std::pair<float, long> volumes[] = {
        {1.0f, 0},       {0.5f, -5000},
        {0.25f, -7500},  {0.0f, -10000},
        {0.3f, -6999},   {1.5f, 0},
        {-0.5f, -10000}, {std::numeric_limits<float>::quiet_NaN(), -10000}};
    for (auto [gain, expected] : volumes) {
        EXPECT_EQ(buffer.SetVolume(gain), 1);
        EXPECT_EQ(Volume(sb), expected) << gain;
    }
    const std::pair<int, long> pans[] = {{8, -10000}, {9, 10000},  {10, 0},
                                         {0, 0},      {8, -10000}, {3, 0}};
    for (auto [channel, expected] : pans) {
        EXPECT_EQ(buffer.SetChannel(channel), 1);
        EXPECT_EQ(Pan(sb), expected) << channel;
    }
}

TEST_F(OutputBuffer, CreateNeedsAnObjectAndReportsARefusedBuffer) {
    COutputBuffer other;
    EXPECT_EQ(other.Create(nullptr), 0);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: A Direct Sound object must first be created");
    plat::vsnd::InjectFault(speaker->guid, Fault::CreateSoundBuffer, plat::DSERR_OUTOFMEMORY);
    EXPECT_EQ(other.Create(speaker->ds), 0);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Failed to create a DirectSound sound buffer");
    EXPECT_FALSE(other.GetSoundBuffer());
    EXPECT_EQ(other.Write(Block(16).data(), 32), 0);
}

TEST_F(OutputBuffer, WrittenBlockIsHeardBitExactThenSilenceForTheRestOfTheLoop) {
    EXPECT_TRUE(buffer.IsPlaying());
    const auto block = Block(1024);
    ASSERT_EQ(Write(block), 1);
    const auto heard = Hear(64);  // 1024 frames
    ASSERT_EQ(heard.size(), 2048u);
    hcytest::ExpectHeard(heard, block);
    EXPECT_TRUE(AllZero(Hear(2048 - 64)));
}

// The stretch ahead of a block is cleared: 3 x rate bytes, but at rates
// where that exceeds the buffer, all of it but the block (else the clear is
// refused and stale audio replays).
TEST_F(OutputBuffer, StretchAheadIsClearedAndWrapsToTheStart) {
    for (std::uint32_t rate : {16000u, 22050u}) {
        hcy::Library().m_nDefaultSampleRate = rate;
        COutputBuffer b;
        ASSERT_EQ(b.Create(speaker->ds), 1);
        b.SetFrequency(16000);  // the cursor keeps pace with one block per 64 ms
        // 31 blocks: the write offset ends 2048 bytes before the end.
        for (int i = 0; i < 31; ++i) {
            ASSERT_EQ(b.Write(Block(1024).data(), 2048), 1);
            Advance(64);
        }
        ASSERT_EQ(b.GetWriteOffset(), 63488u);
        Contents(b.GetSoundBuffer(), 0x55);
        ASSERT_EQ(b.Write(Block(1024).data(), 2048), 1);
        EXPECT_EQ(b.GetWriteOffset(), 0u);
        const auto bytes = Contents(b.GetSoundBuffer());
        plat::DWORD play = 0, write = 0;
        b.GetSoundBuffer()->GetCurrentPosition(&play, &write);
        // Never what is still to be played from the play cursor on.
        const std::uint32_t cleared = std::min(3 * rate, play);
        for (std::uint32_t i = 0; i < 63488; ++i)
            ASSERT_EQ(bytes[i], i < cleared ? 0 : 0x55) << rate << " at " << i;
    }
}

// Guards against dropping a whole queue when a block comes early or late:
// the offset follows the cursor only when the stream ran dry, and a queue
// past the bound (250 ms, 8000 bytes) costs a block one step of 4 ms.
TEST_F(OutputBuffer, WriteOffsetFollowsTheCursorOnlyWhenTheStreamRanDry) {
    // Each row: ms to advance, blocks to write, the write offset after them.
    const struct {
        plat::DWORD ms;
        int blocks;
        std::uint32_t offset;
    } steps[] = {
        {0, 1, 2048},
        {32, 1, 4096},                // cursor 1024: behind the offset
        {200, 1, 7424 + 2048},        // cursor 7424: past the write offset, followed
        {0, 2, 13568},                // cursor unmoved: a burst queues
        {65, 1, 13568 + 2048},        // cursor 9504: late, behind, kept
        {0, 2, 19712 - 2 * 128},      // past 8000 bytes queued: a step each
        {65, 1, 19456 + 2048 - 128},  // cursor 11584: late, 9920 bytes queued, a step
    };
    for (const auto& s : steps) {
        Advance(s.ms);
        for (int i = 0; i < s.blocks; ++i) ASSERT_EQ(Write(Block(1024)), 1);
        EXPECT_EQ(buffer.GetWriteOffset(), s.offset) << s.ms;
    }
}

// A sender whose blocks carry a count (1 .. 30000, then 1 again), and what
// the speaker played of them, silence left out.
class CountingSender : public OutputBuffer {
protected:
    void Send(std::size_t frames) {
        Samples block(frames);
        for (auto& v : block) v = next_, next_ = static_cast<std::int16_t>(next_ % 30000 + 1);
        ASSERT_EQ(Write(block), 1);
    }
    void Play(plat::DWORD ms) {
        for (std::size_t i = 0; const auto v : Hear(ms)) {
            if (i++ % 2 != 0) continue;
            if (v != 0) heard_.push_back(v);
            // Silence between counts: a gap in the stream.
            if (v == 0 && !heard_.empty()) ++silence_;
            if (v != 0) gaps_ += silence_, silence_ = 0;
        }
    }
    // The counts skipped between heard samples (0 where none is missing).
    std::vector<int> Skips() const {
        std::vector<int> skips;
        for (std::size_t i = 1; i < heard_.size(); ++i)
            skips.push_back((heard_[i] - heard_[i - 1] + 30000) % 30000 - 1);
        return skips;
    }
    std::int16_t next_ = 1;
    Samples heard_;
    std::size_t gaps_ = 0, silence_ = 0;  // silent frames within the stream, so far
};

// Guards against a block early or late by more than a block dropping the
// queue: with +-15 ms of jitter on 10 ms blocks and every fifth block sent
// with the next, every sample plays, in order.
TEST_F(CountingSender, JitterAndBurstsPlayEverySampleInOrder) {
    std::uint32_t random = 7, now = 0;
    for (std::uint32_t k = 0; k < 400; ++k) {
        random = random * 1103515245u + 12345u;
        const std::uint32_t due = 10 * k + 15 + (random >> 16) % 31 - 15;  // [ms]
        if (k % 5 != 4 && due > now) Play(due - now), now = due;
        Send(160);
    }
    Play(500);
    ASSERT_EQ(heard_.size(), 400u * 160u);
    for (int skip : Skips()) ASSERT_EQ(skip, 0);
}

// Guards against a slip of silence for every block that comes later than
// any before (between two hosts: 1-2 samples every few seconds): on a
// speaker whose write cursor leads by 20 ms, blocks up to 15 ms later than
// the first play on in place, without a gap or a lost sample.
class LeadingSpeaker : public CountingSender {
protected:
    LeadingSpeaker() { leadMs_ = 20; }
};

TEST_F(LeadingSpeaker, BlocksLaterThanTheFirstPlayOnWithoutAGap) {
    std::uint32_t now = 0;
    for (std::uint32_t k = 0; k < 200; ++k) {
        const std::uint32_t due = 10 * k + (k == 0 ? 0 : 1 + k * 7 % 15);  // [ms]
        if (due > now) Play(due - now), now = due;
        Send(160);
    }
    Play(500);
    EXPECT_EQ(heard_.size(), 200u * 160u);
    EXPECT_EQ(gaps_, 0u);
    for (int skip : Skips()) ASSERT_EQ(skip, 0);
}

// Guards against a sender 2.5 % fast losing quarter seconds: its listener
// keeps up by giving up steps of at most 4 ms, and never queues more than
// the bound.
TEST_F(CountingSender, AFastSenderCostsStepsOfAFewMillisecondsAndNoMoreDelay) {
    for (int k = 0; k < 1000; ++k) {  // 20 s of 20 ms blocks in 19.5 s
        Send(320);
        Play(k % 2 ? 20 : 19);
    }
    const std::size_t before = heard_.size();
    Play(500);
    const std::size_t queued = heard_.size() - before;  // [samples]
    EXPECT_LE(queued, (COutputBuffer::kMaxQueuedMs + 20) * 16);
    const auto skips = Skips();
    EXPECT_LE(*std::max_element(skips.begin(), skips.end()), 64);
    // Nothing but the 500 ms of excess past the bound (less a block) was given up.
    EXPECT_GE(heard_.size() + (500 - COutputBuffer::kMaxQueuedMs + 20) * 16, 1000u * 320u);
}

// The rule reads "beyond" on the circle: right after the write offset wraps
// past the end, a cursor near the end lies behind it. The multi-channel
// variant shares the rule on its larger buffer (offsets scale with channels).
TEST_F(SoundTest, ResyncReadsCursorAndOffsetOnTheCircleAcrossTheWrap) {
    // Each row: ms to advance, frames to write, the write offset after it
    // [bytes of one channel]; the cursor moves 32 such bytes per ms.
    const struct {
        plat::DWORD ms;
        std::uint32_t frames;
        std::uint32_t offset;
    } steps[] = {
        {1976, 1024, 65280},                    // cursor 63232, followed
        {0, 192, 128},                          // the offset wraps; the cursor stays at 63232
        {64, 1024, 2176},                       // cursor 65280: 384 bytes behind the offset, kept
        {0, 1024, 4224},     {66, 1024, 6272},  // cursor 1856 (wrapped): behind, kept
        {200, 1024, 10304},                     // cursor 8256: beyond the offset, followed
    };
    for (unsigned channels : {1u, 2u}) {
        std::unique_ptr<COutputBuffer> b;
        if (channels == 1) {
            b = std::make_unique<COutputBuffer>();
            ASSERT_EQ(b->Create(speaker->ds), 1);
        } else {
            auto multi = std::make_unique<COutputBufferMulti>();
            ASSERT_TRUE(multi->SetChannelCount(channels));
            ASSERT_EQ(multi->CreateMulti(speaker->ds, 0x3), 1);
            b = std::move(multi);
        }
        for (const auto& s : steps) {
            Advance(s.ms);
            const auto block = Block(s.frames * channels);
            ASSERT_EQ(b->Write(block.data(), static_cast<std::uint32_t>(block.size() * 2)), 1);
            EXPECT_EQ(b->GetWriteOffset(), s.offset * channels) << channels << " at " << s.ms;
        }
    }
}

TEST_F(OutputBuffer, IdleStopStopSilencesAndAReceiveValueBelowTheLargestStops) {
    ASSERT_EQ(Write(Block(256)), 1);
    buffer.StopIfIdle();
    EXPECT_TRUE(buffer.IsPlaying());
    buffer.StopIfIdle();  // no write since the last check
    EXPECT_FALSE(buffer.IsPlaying());
    EXPECT_FALSE(Playing(sb));
    EXPECT_EQ(buffer.Stop(), 0);
    ASSERT_EQ(Write(Block(512, 3)), 1);
    EXPECT_TRUE(Playing(sb));
    EXPECT_EQ(buffer.Stop(), 1);
    for (auto b : Contents(sb)) ASSERT_EQ(b, 0);

    CReceive record;
    record.SetRecvValue(3);
    buffer.SetReceive(&record);
    hcy::Library().m_nMaxRecvValue = 5;
    const auto offset = buffer.GetWriteOffset();
    EXPECT_EQ(Write(Block(1024)), 1);
    EXPECT_FALSE(Playing(sb));
    EXPECT_EQ(buffer.GetWriteOffset(), offset);  // dropped
    hcy::Library().m_nMaxRecvValue = 3;
    EXPECT_EQ(Write(Block(1024)), 1);
    EXPECT_TRUE(buffer.IsPlaying());
    EXPECT_EQ(buffer.GetWriteOffset(), offset + 2048);
}

TEST_F(OutputBuffer, ALostBufferIsRestoredAndRefusedLocksCountAsErrors) {
    ASSERT_TRUE(plat::vsnd::LoseBuffers(speaker->guid));
    const auto block = Block(1024, 5);
    ASSERT_EQ(Write(block), 1);
    EXPECT_EQ(buffer.GetErrorCount(), 0u);
    EXPECT_TRUE(Playing(sb));
    hcytest::ExpectHeard(Hear(64), block);

    const auto offset = buffer.GetWriteOffset();
    const struct {
        Fault fault;
        plat::HRESULT code;
        int times;  // lost twice in a row: restored once, then given up
    } refusals[] = {{Fault::Lock, plat::DSERR_INVALIDPARAM, 1},
                    {Fault::Lock, plat::DSERR_BUFFERLOST, 2},
                    {Fault::Unlock, plat::DSERR_INVALIDPARAM, 1}};
    std::uint32_t errors = 0;
    for (const auto& r : refusals) {
        plat::vsnd::InjectFault(speaker->guid, r.fault, r.code, r.times);
        EXPECT_EQ(Write(Block(256)), 0);
        EXPECT_EQ(buffer.GetErrorCount(), ++errors);
        if (r.fault == Fault::Lock) {
            EXPECT_EQ(buffer.GetWriteOffset(), offset) << errors;
        }
    }
    EXPECT_EQ(Write(Block(256)), 1);
    EXPECT_EQ(buffer.GetErrorCount(), 0u);
}

// A device that failed for good: no restore helps, every write fails, so
// the receive path gives up on the buffer after 64 ("Too many buffer errors").
TEST_F(OutputBuffer, AFailedDeviceFailsEveryWrite) {
    ASSERT_TRUE(plat::vsnd::FailEndpoint(speaker->guid));
    for (int i = 0; i < 65; ++i) ASSERT_EQ(Write(Block(256)), 0) << i;
    EXPECT_EQ(buffer.GetErrorCount(), 65u);
}

TEST_F(OutputBuffer, UndecodableStreamIsGarbledOnACopy) {
    CReceive record;
    record.decodeOk = false;
    buffer.SetReceive(&record);
    const auto block = Block(1024, 7);
    auto sent = block;
    ASSERT_EQ(buffer.Write(sent.data(), 2048), 1);
    EXPECT_EQ(sent, block);  // the caller's block is untouched
    const auto heard = Hear(64);
    std::size_t same = 0;
    for (std::size_t i = 0; i < block.size(); ++i) same += heard[2 * i] == block[i];
    EXPECT_LT(same, block.size() / 4);
}

// The legacy stereo variant, with the flag forced (never selected on Linux).
TEST_F(SoundTest, StereoVariantPlaysOnlyFromTheThirdWriteTwoBlocksAhead) {
    COutputBufferDX3 b;
    ASSERT_EQ(b.Create(speaker->ds), 1);
    const auto s = b.GetSoundBuffer();
    const auto block = Block(1024, 9);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(b.Write(block.data(), 2048), 1);
        EXPECT_FALSE(Playing(s)) << i;
        EXPECT_TRUE(AllZero(Hear(10)));
    }
    ASSERT_EQ(b.Write(block.data(), 2048), 1);
    EXPECT_TRUE(Playing(s));
    EXPECT_EQ(b.GetBlocksWritten(), 3u);
    // Two block lengths ahead of the cursor (4096 bytes, 1024 stereo
    // frames); each pair of samples is one frame; the stretch after is clear.
    const auto heard = Hear(250);
    ASSERT_EQ(heard.size(), 8000u);
    for (std::size_t i = 0; i < heard.size(); ++i) {
        const bool inBlock = i >= 2048 && i < 2048 + block.size();
        ASSERT_EQ(heard[i], inBlock ? block[i - 2048] : 0) << i;
    }
    EXPECT_EQ(b.Stop(), 1);
    EXPECT_EQ(b.GetBlocksWritten(), 0u);
    EXPECT_EQ(b.Stop(), 1);  // needs only the sound buffer
}

TEST_F(SoundTest, StereoVariantWriteWindowAndLockErrors) {
    // Lower edge, cursor, block: the window wraps at 64512 .. 3072.
    const struct {
        plat::DWORD lower, cursor;
        bool in;
    } window[] = {{0, 2048, true},      {0, 6144, true},     {0, 1024, false},    {0, 6146, false},
                  {62464, 65000, true}, {62464, 1000, true}, {62464, 5000, false}};
    for (const auto& w : window)
        EXPECT_EQ(COutputBufferDX3::IsInWriteWindow(w.lower, w.cursor, 2048), w.in)
            << w.lower << " " << w.cursor;

    COutputBufferDX3 b;
    ASSERT_EQ(b.Create(speaker->ds), 1);
    plat::vsnd::InjectFault(speaker->guid, Fault::Lock, plat::DSERR_INVALIDPARAM, 1);
    EXPECT_EQ(b.Write(Block(256).data(), 512), 0);
    EXPECT_EQ(b.GetErrorCount(), 1u);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Too many buffer errors");
    EXPECT_EQ(b.Write(Block(256).data(), 512), 1);
    EXPECT_EQ(b.GetErrorCount(), 0u);
    EXPECT_EQ(b.GetWriteOffset(), 1024u + 512u);  // two blocks ahead of cursor 0
}

TEST(Garble, ZerosStayAnOddByteIsLeftAloneAndTheRestFollowsTheGenerator) {
    Samples zeros(64, 0);
    GarbleSamples(zeros.data(), 128);
    EXPECT_TRUE(AllZero(zeros));
    std::int16_t three[2] = {1000, 1000};
    GarbleSamples(three, 3);
    EXPECT_EQ(three[1], 1000);

    // Seeded with the time: retried if the second turns meanwhile.
    const Samples input{1, -1, 1000, -1000, 32767, -32768, 12345, 7};
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        auto got = input;
        GarbleSamples(got.data(), static_cast<std::uint32_t>(got.size() * 2));
        if (std::time(nullptr) != before) continue;
        plat::srand(static_cast<unsigned>(before));
        for (std::size_t i = 0; i < input.size(); ++i) {
            const int product = 2 * plat::rand() * input[i];
            EXPECT_EQ(got[i],
                      static_cast<std::int16_t>(static_cast<std::int16_t>(product & 0xFFFF) >> 2))
                << i;
        }
        return;
    }
    GTEST_SKIP() << "the clock's second kept turning";
}

}  // namespace
