// DirectSound output over the virtual sound system: buffers mixed into a
// memory sink by an external driver (PumpOutput), so every frame is known.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "hcyplat/dsound.h"
#include "hcyplat/virtual_sound.h"

namespace {

using namespace plat;
using vsnd::Fault;

constexpr DWORD kRate = 16000;          // [Hz]
constexpr DWORD kStreamFlags = 0x80E2;  // volume, pan, frequency, global focus, static

WAVEFORMATEX Pcm(unsigned channels, DWORD rate = kRate) {
    const auto align = static_cast<unsigned short>(2 * channels);
    return {
        WAVE_FORMAT_PCM, static_cast<unsigned short>(channels), rate, rate * align, align, 16, 0};
}

class Output : public ::testing::Test {
protected:
    void SetUp() override {
        vsnd::RemoveAllEndpoints();
        sink = std::make_shared<vsnd::MemorySink>();
        vsnd::OutputEndpointConfig c;
        c.description = "Speakers";
        c.sink = sink;
        c.driver = vsnd::Driver::External;
        guid = vsnd::CreateOutputEndpoint(c).guid;
        ASSERT_EQ(DirectSoundCreate(&guid, &ds, nullptr), DS_OK);
        ASSERT_EQ(ds->SetCooperativeLevel(1, DSSCL_PRIORITY), DS_OK);
    }
    void TearDown() override {
        if (ds) ds->Release();
        vsnd::RemoveAllEndpoints();
    }

    LPDIRECTSOUNDBUFFER Make(DWORD bytes, unsigned channels = 1, DWORD flags = kStreamFlags,
                             LPDIRECTSOUND* on = nullptr) {
        WAVEFORMATEX f = Pcm(channels);
        DSBUFFERDESC d;
        d.dwFlags = flags;
        d.dwBufferBytes = bytes;
        d.lpwfxFormat = &f;
        LPDIRECTSOUNDBUFFER b;
        EXPECT_EQ((on ? *on : ds)->CreateSoundBuffer(&d, &b, nullptr), DS_OK);
        return b;
    }

    // Writes samples at a byte offset through Lock/Unlock.
    static void Write(const LPDIRECTSOUNDBUFFER& b, DWORD offset,
                      const std::vector<std::int16_t>& s) {
        void *p1 = nullptr, *p2 = nullptr;
        DWORD n1 = 0, n2 = 0;
        const auto bytes = static_cast<DWORD>(s.size() * 2);
        ASSERT_EQ(b->Lock(offset, bytes, &p1, &n1, &p2, &n2, 0), DS_OK);
        std::memcpy(p1, s.data(), n1);
        if (n2) std::memcpy(p2, reinterpret_cast<const char*>(s.data()) + n1, n2);
        ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    }

    std::vector<std::int16_t> Pump(std::size_t frames) {
        sink->Clear();
        vsnd::PumpOutput(guid, frames);
        return sink->Samples();
    }

    static std::vector<std::int16_t> Constant(std::size_t n, std::int16_t v) {
        return std::vector<std::int16_t>(n, v);
    }

    std::shared_ptr<vsnd::MemorySink> sink;
    GUID guid{};
    LPDIRECTSOUND ds;
};

TEST_F(Output, WrittenBlockIsHeardBitExactOnBothChannelsThenSilenceUntilTheLoopComesRound) {
    auto b = Make(65536);
    std::vector<std::int16_t> block(1024);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::int16_t>(i * 31 - 16000);
    Write(b, 0, block);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    const auto out = Pump(32768 + 1024);  // one loop of the buffer and the block again
    ASSERT_EQ(out.size(), 2u * (32768 + 1024));
    for (std::size_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(out[2 * i], block[i]) << i;
        ASSERT_EQ(out[2 * i + 1], block[i]) << i;
    }
    for (std::size_t i = 1024; i < 32768; ++i) ASSERT_EQ(out[2 * i] | out[2 * i + 1], 0) << i;
    EXPECT_EQ(out[2 * 32768 + 2 * 5], block[5]) << "looping replays from the start";
}

TEST_F(Output, LockAcrossTheEndGivesTwoPartsAndUnlockCommitsBoth) {
    auto b = Make(65536);
    void *p1 = nullptr, *p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    ASSERT_EQ(b->Lock(60000, 8000, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 5536u);
    EXPECT_EQ(n2, 2464u);
    ASSERT_NE(p2, nullptr);
    std::memset(p1, 0x11, n1);
    std::memset(p2, 0x22, n2);
    ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);

    ASSERT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(n1, 65536u);
    EXPECT_EQ(n2, 0u);
    EXPECT_EQ(p2, nullptr);
    const auto* bytes = static_cast<const std::uint8_t*>(p1);
    EXPECT_EQ(bytes[2463], 0x22);
    EXPECT_EQ(bytes[2464], 0x00);
    EXPECT_EQ(bytes[59999], 0x00);
    EXPECT_EQ(bytes[60000], 0x11);
    EXPECT_EQ(bytes[65535], 0x11);
    EXPECT_EQ(b->Unlock(p1, n1, nullptr, 0), DS_OK);

    EXPECT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(0, 65537, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(65536, 2, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Unlock(p1, n1, nullptr, 0), DSERR_INVALIDPARAM) << "no lock outstanding";
    ASSERT_EQ(b->Lock(0, 4, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(b->Unlock(static_cast<char*>(p1) + 2, 2, nullptr, 0), DSERR_INVALIDPARAM);
}

TEST_F(Output, CursorsMoveOnlyWhilePlayingAndStopKeepsThePosition) {
    auto b = Make(65536);
    DWORD play = 1, write = 1;
    Pump(100);
    ASSERT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, 0u) << "a new buffer is stopped";
    b->Play(0, 0, DSBPLAY_LOOPING);
    Pump(100);
    b->GetCurrentPosition(&play, &write);
    EXPECT_EQ(play, 200u);
    EXPECT_EQ(write, 200u) << "no lead under an external driver";
    b->Stop();
    Pump(100);
    b->GetCurrentPosition(&play, &write);
    EXPECT_EQ(play, 200u);
    b->Play(0, 0, DSBPLAY_LOOPING);
    Pump(32768 - 100 + 7);  // round the end of the buffer
    b->GetCurrentPosition(&play, &write);
    EXPECT_EQ(play, 14u);

    // An endpoint with a write lead: the write cursor leads, wrapped.
    vsnd::OutputEndpointConfig c;
    c.driver = vsnd::Driver::External;
    c.writeLeadMs = 20;
    const GUID other = vsnd::CreateOutputEndpoint(c).guid;
    LPDIRECTSOUND ds2;
    ASSERT_EQ(DirectSoundCreate(&other, &ds2, nullptr), DS_OK);
    auto led = Make(65536, 1, kStreamFlags, &ds2);
    led->Play(0, 0, DSBPLAY_LOOPING);
    vsnd::PumpOutput(other, 32768 - 100);
    led->GetCurrentPosition(&play, &write);
    EXPECT_EQ(play, 65536u - 200);
    EXPECT_EQ(write, (65536u - 200 + 640) % 65536) << "20 ms at 16 kHz";
    ds2->Release();
}

TEST_F(Output, OneShotPlaysOnceThenStopsAtTheStartAndPlaysWholeAgain) {
    auto b = Make(2048, 2);  // 512 stereo frames
    Write(b, 0, Constant(1024, 1234));
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    auto out = Pump(600);
    EXPECT_EQ(out[2 * 511], 1234);
    EXPECT_EQ(out[2 * 512], 0);
    DWORD status = 9, play = 9;
    b->GetStatus(&status);
    b->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(status & DSBSTATUS_PLAYING, 0u);
    EXPECT_EQ(play, 0u);
    b->Play(0, 0, 0);
    out = Pump(600);
    EXPECT_EQ(out[0], 1234);
    EXPECT_EQ(out[2 * 511 + 1], 1234);
    EXPECT_EQ(out[2 * 512 + 1], 0);
}

TEST_F(Output, VolumeAndPanFollowTheDecibelLawsAndRefuseOutOfRangeValues) {
    auto b = Make(65536);
    Write(b, 0, Constant(1000, 10000));
    b->Play(0, 0, DSBPLAY_LOOPING);
    ASSERT_EQ(b->SetVolume(-2000), DS_OK);  // -20 dB: a tenth
    auto out = Pump(10);
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(out[1], 1000);
    EXPECT_EQ(b->SetVolume(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
    long v = 0;
    b->GetVolume(&v);
    EXPECT_EQ(v, -2000) << "a refused value keeps the old one";

    b->SetVolume(0);
    ASSERT_EQ(b->SetPan(DSBPAN_LEFT), DS_OK);
    out = Pump(10);
    EXPECT_EQ(out[0], 10000);
    EXPECT_EQ(out[1], 0) << "full left silences the right";
    b->SetPan(2000);
    out = Pump(10);
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(out[1], 10000);
    EXPECT_EQ(b->SetPan(10001), DSERR_INVALIDPARAM);
    b->SetPan(0);
    b->SetVolume(DSBVOLUME_MIN);
    out = Pump(10);
    EXPECT_EQ(out[0] | out[1], 0);

    // Buffers sum and saturate.
    auto x = Make(4096), y = Make(4096);
    for (const auto& s : {x, y}) {
        Write(s, 0, {30000, -30000});
        s->Play(0, 0, 0);
    }
    out = Pump(2);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[2], -32768);

    auto plain = Make(4096, 1, DSBCAPS_CTRLVOLUME);
    EXPECT_EQ(plain->SetPan(0), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(plain->SetFrequency(8000), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(plain->SetVolume(-100), DS_OK);
}

TEST_F(Output, FrequencyResamplesLinearlyAndZeroRestoresTheOriginal) {
    auto b = Make(65536);
    Write(b, 0, {0, 1000, 2000, 3000});
    ASSERT_EQ(b->SetFrequency(8000), DS_OK);
    b->Play(0, 0, DSBPLAY_LOOPING);
    auto out = Pump(6);
    const std::int16_t want[] = {0, 500, 1000, 1500, 2000, 2500};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(out[2 * i], want[i]) << i;
    DWORD play = 0;
    b->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 6u) << "half speed: 3 frames of 2 bytes";

    EXPECT_EQ(b->SetFrequency(99), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetFrequency(200001), DSERR_INVALIDPARAM);
    ASSERT_EQ(b->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
    DWORD hz = 0;
    b->GetFrequency(&hz);
    EXPECT_EQ(hz, kRate);
}

TEST_F(Output, LostBufferRefusesLockAndPlayUntilRestoredSilentAndStopped) {
    auto b = Make(4096);
    Write(b, 0, Constant(100, 500));
    b->Play(0, 0, DSBPLAY_LOOPING);
    ASSERT_TRUE(vsnd::LoseBuffers(guid));
    DWORD status = 0;
    b->GetStatus(&status);
    EXPECT_EQ(status, DSBSTATUS_BUFFERLOST);
    void *p1, *p2;
    DWORD n1, n2;
    EXPECT_EQ(b->Lock(0, 2, &p1, &n1, &p2, &n2, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    EXPECT_EQ(Pump(10)[0], 0);

    ASSERT_EQ(b->Restore(), DS_OK);
    b->GetStatus(&status);
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    auto out = Pump(100);
    for (auto s : out) ASSERT_EQ(s, 0) << "restored contents are silence";
    Write(b, 200, Constant(2, 77));
}

TEST_F(Output, DroppedBuffersAndThoseOfAReleasedObjectLeaveTheMixAndFailCleanly) {
    auto dropped = Make(4096);
    Write(dropped, 0, Constant(100, 500));
    dropped->Play(0, 0, DSBPLAY_LOOPING);
    dropped.reset();
    EXPECT_EQ(Pump(10)[0], 0);
    auto b = Make(4096);
    Write(b, 0, Constant(100, 500));
    b->Play(0, 0, DSBPLAY_LOOPING);
    EXPECT_TRUE(vsnd::IsEndpointOpen(guid));
    ds->Release();
    EXPECT_FALSE(vsnd::IsEndpointOpen(guid));
    void *p1, *p2;
    DWORD n1, n2;
    EXPECT_EQ(b->Lock(0, 2, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDCALL);
    EXPECT_EQ(b->Play(0, 0, 0), DSERR_INVALIDCALL);
    EXPECT_EQ(b->SetVolume(0), DSERR_INVALIDCALL);
    EXPECT_EQ(b->GetCurrentPosition(&n1, &n2), DSERR_INVALIDCALL);
    EXPECT_EQ(Pump(10)[0], 0);
    LPDIRECTSOUNDBUFFER more;
    DSBUFFERDESC d;
    EXPECT_EQ(ds->CreateSoundBuffer(&d, &more, nullptr), DSERR_INVALIDCALL);
    ds.reset();
    EXPECT_EQ(b->Stop(), DSERR_INVALIDCALL) << "the buffer outlives its object";
}

TEST_F(Output, PrimaryBufferRecordsItsFormatAndItsVolumeScalesTheMix) {
    DSBUFFERDESC d;
    d.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME;
    LPDIRECTSOUNDBUFFER primary, again;
    ASSERT_EQ(ds->CreateSoundBuffer(&d, &primary, nullptr), DS_OK);
    ASSERT_EQ(ds->CreateSoundBuffer(&d, &again, nullptr), DS_OK);
    EXPECT_EQ(primary, again) << "one primary buffer per object";
    WAVEFORMATEX f = Pcm(2, 22050);
    ASSERT_EQ(primary->SetFormat(&f), DS_OK);
    WAVEFORMATEX got{};
    DWORD written = 0;
    ASSERT_EQ(primary->GetFormat(&got, sizeof got, &written), DS_OK);
    EXPECT_EQ(got.nSamplesPerSec, 22050u);
    EXPECT_EQ(got.nChannels, 2);
    f.nBlockAlign = 3;
    EXPECT_EQ(primary->SetFormat(&f), DSERR_BADFORMAT);

    auto b = Make(4096);
    Write(b, 0, Constant(10, 10000));
    b->Play(0, 0, 0);
    ASSERT_EQ(primary->SetVolume(-2000), DS_OK);
    EXPECT_EQ(Pump(1)[0], 1000);

    d.dwBufferBytes = 4;
    EXPECT_EQ(ds->CreateSoundBuffer(&d, &again, nullptr), DSERR_INVALIDPARAM);
}

TEST_F(Output, CreationRefusesWhatTheSystemRefuses) {
    LPDIRECTSOUND other;
    const GUID unknown{1, 2, 3, {4}};
    EXPECT_EQ(DirectSoundCreate(&unknown, &other, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(DirectSoundCreate(nullptr, &other, nullptr), DS_OK) << "the default endpoint";
    other->Release();
    int outer = 0;
    EXPECT_EQ(DirectSoundCreate(nullptr, &other, &outer), DSERR_NOAGGREGATION);

    WAVEFORMATEX f = Pcm(1);
    DSBUFFERDESC d;
    d.dwFlags = kStreamFlags;
    d.lpwfxFormat = &f;
    LPDIRECTSOUNDBUFFER b;
    d.dwBufferBytes = 0;
    EXPECT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), DSERR_INVALIDPARAM);
    d.dwBufferBytes = kMaxSoundBufferBytes + 2;
    EXPECT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), DSERR_INVALIDPARAM);
    d.dwBufferBytes = 4096;
    f.wBitsPerSample = 8;
    EXPECT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), DSERR_BADFORMAT);
    f = Pcm(1, 99);
    EXPECT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), DSERR_BADFORMAT);
    f = Pcm(1);
    d.dwSize = 20;
    EXPECT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), DSERR_INVALIDPARAM);

    // An extensible 6-channel buffer (the multi-channel device's) is accepted.
    WAVEFORMATEXTENSIBLE x;
    x.Format = Pcm(6);
    x.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    x.Format.cbSize = 22;
    x.wValidBitsPerSample = 16;
    x.dwChannelMask = 0x3F;
    x.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    d.dwSize = kDsBufferDescSize;
    d.dwFlags = 0x80A2;
    d.dwBufferBytes = 6 * 65536;
    d.lpwfxFormat = &x.Format;
    EXPECT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), DS_OK);
}

TEST_F(Output, EveryInjectedFaultReturnsItsCode) {
    constexpr HRESULT kOdd = static_cast<HRESULT>(0x88780099u);
    LPDIRECTSOUND other;
    vsnd::InjectFault(guid, Fault::DirectSoundCreate, DSERR_ALLOCATED);
    EXPECT_EQ(DirectSoundCreate(&guid, &other, nullptr), DSERR_ALLOCATED);
    EXPECT_EQ(DirectSoundCreate(&guid, &other, nullptr), DS_OK) << "one failure only";
    other->Release();

    vsnd::InjectFault(guid, Fault::SetCooperativeLevel, kOdd);
    EXPECT_EQ(ds->SetCooperativeLevel(0, DSSCL_PRIORITY), kOdd);

    DSBUFFERDESC primary;
    primary.dwFlags = 0x81;
    LPDIRECTSOUNDBUFFER p;
    vsnd::InjectFault(guid, Fault::CreateSoundBuffer, DSERR_OUTOFMEMORY);
    EXPECT_EQ(ds->CreateSoundBuffer(&primary, &p, nullptr), DSERR_OUTOFMEMORY);
    ASSERT_EQ(ds->CreateSoundBuffer(&primary, &p, nullptr), DS_OK);
    WAVEFORMATEX f = Pcm(2);
    vsnd::InjectFault(guid, Fault::SetFormat, DSERR_BADFORMAT);
    EXPECT_EQ(p->SetFormat(&f), DSERR_BADFORMAT);

    auto b = Make(4096);
    void *p1, *p2;
    DWORD n1, n2;
    vsnd::InjectFault(guid, Fault::Lock, DSERR_INVALIDPARAM, 2);
    EXPECT_EQ(b->Lock(0, 2, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(0, 2, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    ASSERT_EQ(b->Lock(0, 2, &p1, &n1, &p2, &n2, 0), DS_OK);
    vsnd::InjectFault(guid, Fault::Unlock, kOdd);
    std::memset(p1, 0x7F, n1);
    EXPECT_EQ(b->Unlock(p1, n1, p2, n2), kOdd);
    vsnd::InjectFault(guid, Fault::Play, DSERR_BUFFERLOST, -1);
    EXPECT_EQ(b->Play(0, 0, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Play(0, 0, 0), DSERR_BUFFERLOST) << "until cleared";
    vsnd::ClearFaults(guid);
    EXPECT_EQ(b->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(Pump(1)[0], 0) << "a failed Unlock commits nothing";
}

}  // namespace
