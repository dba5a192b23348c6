// Output buffers on a virtual speaker: volume and pan, what is heard and
// what is cleared, re-synchronisation, idle stop, errors and buffer loss,
// the legacy stereo variant, and garbling.
#include <cmath>
#include <ctime>
#include <limits>

#include "audio/output_buffer.h"
#include "hcyplat/crt.h"
#include "output_buffer_sound.h"
#include "radio/receive.h"

namespace {

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

    int WriteBlock(const std::vector<std::int16_t>& b) {
        return buffer.Write(b.data(), static_cast<std::uint32_t>(b.size() * 2));
    }

    COutputBuffer buffer;
    plat::LPDIRECTSOUNDBUFFER sb;
};

TEST_F(OutputBuffer, VolumeFromGainTruncatedAndClampedPanFromChannel) {
    const std::pair<float, long> volumes[] = {
        {1.0f, 0},        {0.5f, -5000},   {0.25f, -7500}, {0.0f, -10000}, {0.3f, -6999},
        {1.5f, 0},        {-0.5f, -10000}, {std::numeric_limits<float>::quiet_NaN(), -10000}};
    for (auto [gain, expected] : volumes) {
        EXPECT_EQ(buffer.SetVolume(gain), 1);
        EXPECT_EQ(Volume(sb), expected) << gain;
    }
    const std::pair<int, long> pans[] = {{8, -10000}, {9, 10000}, {10, 0}, {0, 0}, {8, -10000}, {3, 0}};
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
    ASSERT_EQ(WriteBlock(block), 1);
    const auto heard = Hear(64);  // 1024 frames
    ASSERT_EQ(heard.size(), 2048u);
    for (std::size_t i = 0; i < block.size(); ++i) {
        ASSERT_EQ(heard[2 * i], block[i]) << i;
        ASSERT_EQ(heard[2 * i + 1], block[i]) << i;
    }
    const auto rest = Hear(2048 - 64);
    for (std::size_t i = 0; i < rest.size(); ++i) ASSERT_EQ(rest[i], 0) << i;
}

// The stretch ahead of a block is cleared: 3 x rate bytes, but at rates
// where that exceeds the buffer, all of it but the block (else the clear is
// refused and stale audio replays).
TEST_F(OutputBuffer, StretchAheadIsClearedAndWrapsToTheStart) {
    for (std::uint32_t rate : {16000u, 22050u}) {
        theApp.m_nDefaultSampleRate = rate;
        COutputBuffer b;
        ASSERT_EQ(b.Create(speaker->ds), 1);
        const auto s = b.GetSoundBuffer();
        // 31 blocks: the write offset ends 2048 bytes before the end.
        for (int i = 0; i < 31; ++i) ASSERT_EQ(b.Write(Block(1024).data(), 2048), 1);
        ASSERT_EQ(b.GetWriteOffset(), 63488u);
        Fill(s, 0x55);
        ASSERT_EQ(b.Write(Block(1024).data(), 2048), 1);
        EXPECT_EQ(b.GetWriteOffset(), 0u);
        const auto bytes = Contents(s);
        const std::uint32_t cleared = std::min(3 * rate, 65536u - 2048u);
        for (std::uint32_t i = 0; i < cleared; ++i) ASSERT_EQ(bytes[i], 0) << rate << " at " << i;
        for (std::uint32_t i = cleared; i < 63488; ++i) ASSERT_EQ(bytes[i], 0x55) << rate << " at " << i;
    }
}

TEST_F(OutputBuffer, WriteOffsetFollowsTheCursorOnlyWhenItMovedOnByMoreThanABlock) {
    ASSERT_EQ(WriteBlock(Block(1024)), 1);
    EXPECT_EQ(buffer.GetWriteOffset(), 2048u);
    Advance(32);  // cursor at 1024 bytes: less than a block since the last write
    ASSERT_EQ(WriteBlock(Block(1024)), 1);
    EXPECT_EQ(buffer.GetWriteOffset(), 4096u);
    Advance(200);  // cursor 1024 + 6400 bytes: past the write offset
    plat::DWORD play = 0, write = 0;
    sb->GetCurrentPosition(&play, &write);
    ASSERT_EQ(write, 7424u);
    ASSERT_EQ(WriteBlock(Block(1024)), 1);
    EXPECT_EQ(buffer.GetWriteOffset(), 7424u + 2048u);
    // Moved on by more than a block but still behind the offset, which is
    // at most two blocks ahead: kept.
    ASSERT_EQ(WriteBlock(Block(1024)), 1);
    ASSERT_EQ(WriteBlock(Block(1024)), 1);  // offset 13568, cursor unmoved
    Advance(65);                            // cursor 9504
    ASSERT_EQ(WriteBlock(Block(1024)), 1);
    EXPECT_EQ(buffer.GetWriteOffset(), 13568u + 2048u);
    // Run far ahead of the cursor: pulled back to it.
    ASSERT_EQ(WriteBlock(Block(1024)), 1);
    ASSERT_EQ(WriteBlock(Block(1024)), 1);  // offset 19712
    Advance(65);                            // cursor 11584
    ASSERT_EQ(WriteBlock(Block(1024)), 1);
    EXPECT_EQ(buffer.GetWriteOffset(), 11584u + 2048u);
}

TEST_F(OutputBuffer, IdleCheckStopsOnTheSecondCallWithoutAWriteAndTheNextWriteRestarts) {
    ASSERT_EQ(WriteBlock(Block(256)), 1);
    buffer.StopIfIdle();
    EXPECT_TRUE(buffer.IsPlaying());
    buffer.StopIfIdle();
    EXPECT_FALSE(buffer.IsPlaying());
    EXPECT_FALSE(Playing(sb));
    EXPECT_EQ(buffer.Stop(), 0);
    const auto block = Block(512, 3);
    ASSERT_EQ(WriteBlock(block), 1);
    EXPECT_TRUE(Playing(sb));
    buffer.StopIfIdle();
    EXPECT_TRUE(buffer.IsPlaying());
}

TEST_F(OutputBuffer, StopSilencesTheWholeBuffer) {
    ASSERT_EQ(WriteBlock(Block(1024)), 1);
    EXPECT_EQ(buffer.Stop(), 1);
    for (auto b : Contents(sb)) ASSERT_EQ(b, 0);
    EXPECT_FALSE(Playing(sb));
}

TEST_F(OutputBuffer, RecordBelowTheLargestReceiveValueStopsAndDropsTheBlock) {
    CReceive record;
    record.SetRecvValue(3);
    buffer.SetReceive(&record);
    theApp.m_nMaxRecvValue = 5;
    EXPECT_EQ(WriteBlock(Block(1024)), 1);
    EXPECT_FALSE(buffer.IsPlaying());
    EXPECT_FALSE(Playing(sb));
    EXPECT_EQ(buffer.GetWriteOffset(), 0u);
    theApp.m_nMaxRecvValue = 3;
    EXPECT_EQ(WriteBlock(Block(1024)), 1);
    EXPECT_TRUE(buffer.IsPlaying());
    EXPECT_EQ(buffer.GetWriteOffset(), 2048u);
}

TEST_F(OutputBuffer, RefusedLocksCountAsErrorsAndLeaveTheOffset) {
    ASSERT_EQ(WriteBlock(Block(256)), 1);
    const auto offset = buffer.GetWriteOffset();
    plat::vsnd::InjectFault(speaker->guid, Fault::Lock, plat::DSERR_INVALIDPARAM, 1);
    EXPECT_EQ(WriteBlock(Block(256)), 0);
    EXPECT_EQ(buffer.GetErrorCount(), 1u);
    // Lost twice in a row: restored once, then given up.
    plat::vsnd::InjectFault(speaker->guid, Fault::Lock, plat::DSERR_BUFFERLOST, 2);
    EXPECT_EQ(WriteBlock(Block(256)), 0);
    EXPECT_EQ(buffer.GetErrorCount(), 2u);
    EXPECT_EQ(buffer.GetWriteOffset(), offset);
    plat::vsnd::InjectFault(speaker->guid, Fault::Unlock, plat::DSERR_INVALIDPARAM, 1);
    EXPECT_EQ(WriteBlock(Block(256)), 0);
    EXPECT_EQ(buffer.GetErrorCount(), 3u);
    EXPECT_EQ(WriteBlock(Block(256)), 1);
    EXPECT_EQ(buffer.GetErrorCount(), 0u);
}

TEST_F(OutputBuffer, LostBufferIsRestoredAndGoesOnPlaying) {
    ASSERT_TRUE(plat::vsnd::LoseBuffers(speaker->guid));
    const auto block = Block(1024, 5);
    ASSERT_EQ(WriteBlock(block), 1);
    EXPECT_EQ(buffer.GetErrorCount(), 0u);
    EXPECT_TRUE(Playing(sb));
    const auto heard = Hear(64);
    ASSERT_EQ(heard.size(), 2048u);
    for (std::size_t i = 0; i < block.size(); ++i) ASSERT_EQ(heard[2 * i], block[i]) << i;
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

// ---------------------------------------------------------------------------

using OutputBufferStereo = SoundTest;

TEST_F(OutputBufferStereo, PlaysOnlyFromTheThirdWrite) {
    COutputBufferDX3 b;
    ASSERT_EQ(b.Create(speaker->ds), 1);
    const auto s = b.GetSoundBuffer();
    EXPECT_FALSE(Playing(s));
    const auto block = Block(1024, 9);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(b.Write(block.data(), 2048), 1);
        EXPECT_FALSE(Playing(s)) << i;
        for (auto v : Hear(10)) ASSERT_EQ(v, 0);
    }
    ASSERT_EQ(b.Write(block.data(), 2048), 1);
    EXPECT_TRUE(Playing(s));
    EXPECT_EQ(b.GetBlocksWritten(), 3u);
    // The third block went two block lengths ahead of the cursor (4096
    // bytes, 1024 stereo frames); each pair of samples is one frame, and
    // the stretch after it was cleared.
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

TEST_F(OutputBufferStereo, WriteWindowAndLockErrors) {
    EXPECT_TRUE(COutputBufferDX3::IsInWriteWindow(0, 2048, 2048));
    EXPECT_TRUE(COutputBufferDX3::IsInWriteWindow(0, 6144, 2048));
    EXPECT_FALSE(COutputBufferDX3::IsInWriteWindow(0, 1024, 2048));
    EXPECT_FALSE(COutputBufferDX3::IsInWriteWindow(0, 6146, 2048));
    // The window wraps: lower 64512, upper 3072.
    EXPECT_TRUE(COutputBufferDX3::IsInWriteWindow(62464, 65000, 2048));
    EXPECT_TRUE(COutputBufferDX3::IsInWriteWindow(62464, 1000, 2048));
    EXPECT_FALSE(COutputBufferDX3::IsInWriteWindow(62464, 5000, 2048));

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

// ---------------------------------------------------------------------------

TEST(Garble, ZerosStayAndAnOddByteIsLeftAlone) {
    std::vector<std::int16_t> zeros(64, 0);
    GarbleSamples(zeros.data(), 128);
    for (auto v : zeros) EXPECT_EQ(v, 0);
    std::int16_t three[2] = {1000, 1000};
    GarbleSamples(three, 3);
    EXPECT_EQ(three[1], 1000);
}

TEST(Garble, FollowsTheFifteenBitGeneratorSeededWithTheTime) {
    const auto input = std::vector<std::int16_t>{1, -1, 1000, -1000, 32767, -32768, 12345, 7};
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        auto got = input;
        GarbleSamples(got.data(), static_cast<std::uint32_t>(got.size() * 2));
        if (std::time(nullptr) != before) continue;  // the second turned: seeds may differ
        plat::srand(static_cast<unsigned>(before));
        for (std::size_t i = 0; i < input.size(); ++i) {
            const int product = 2 * plat::rand() * input[i];
            const auto expected = static_cast<std::int16_t>(static_cast<std::int16_t>(product & 0xFFFF) >> 2);
            EXPECT_EQ(got[i], expected) << i;
        }
        return;
    }
    GTEST_SKIP() << "the clock's second kept turning";
}

}  // namespace
