// Wave input and DirectSound 8 capture on the manual clock: a ramp source
// makes every captured frame identifiable, AdvanceClock drives the capture.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "hcyplat/clock.h"
#include "hcyplat/dsound.h"
#include "hcyplat/mmsystem.h"
#include "hcyplat/virtual_sound.h"

namespace {

using namespace plat;
using vsnd::Fault;

constexpr DWORD kRate = 16000;       // [Hz]
constexpr DWORD kBlockBytes = 2048;  // one capture block: 1024 mono frames, 64 ms

WAVEFORMATEX Pcm(unsigned channels, DWORD rate = kRate) {
    const auto align = static_cast<unsigned short>(2 * channels);
    return {
        WAVE_FORMAT_PCM, static_cast<unsigned short>(channels), rate, rate * align, align, 16, 0};
}

// What a wave-input callback saw.
struct CallbackLog {
    std::mutex mu;
    std::vector<UINT> messages;
    std::vector<WAVEHDR*> returned;
    std::vector<DWORD> counts;  // dwBytesRecorded at WIM_DATA
    HWAVEIN requeueOn = 0;      // re-queue each returned header on this input
};

void CALLBACK_Record(HWAVEIN hwi, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
    auto* log = reinterpret_cast<CallbackLog*>(instance);
    HWAVEIN requeue = 0;
    {
        std::lock_guard lock(log->mu);
        log->messages.push_back(message);
        if (message == WIM_DATA) {
            auto* h = reinterpret_cast<WAVEHDR*>(p1);
            log->returned.push_back(h);
            log->counts.push_back(h->dwBytesRecorded);
        }
        requeue = log->requeueOn;
    }
    // A callback may queue buffers again.
    if (message == WIM_DATA && requeue == hwi) {
        EXPECT_EQ(waveInAddBuffer(hwi, reinterpret_cast<WAVEHDR*>(p1), sizeof(WAVEHDR)),
                  MMSYSERR_NOERROR);
    }
}

struct Block {
    std::vector<char> data = std::vector<char>(kBlockBytes);
    WAVEHDR header;
    Block() {
        header.lpData = data.data();
        header.dwBufferLength = kBlockBytes;
    }
    std::int16_t Sample(std::size_t i) const {
        std::int16_t s;
        std::memcpy(&s, data.data() + 2 * i, 2);
        return s;
    }
};

class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        UseManualClock();
        vsnd::RemoveAllEndpoints();
        ramp = std::make_shared<vsnd::RampSource>();
        vsnd::InputEndpointConfig c;
        c.description = "Microphone";
        c.source = ramp;
        const auto id = vsnd::CreateInputEndpoint(c);
        mic = id.guid;
        micId = id.waveInId;
        c.description = "Line In";
        c.source = nullptr;
        line = vsnd::CreateInputEndpoint(c).guid;
    }
    void TearDown() override {
        vsnd::RemoveAllEndpoints();
        UseRealClock();
    }

    MMRESULT Open(HWAVEIN* hwi, UINT id = 0, unsigned channels = 1) {
        WAVEFORMATEX f = Pcm(channels);
        return waveInOpen(hwi, id, &f, reinterpret_cast<DWORD_PTR>(&CALLBACK_Record),
                          reinterpret_cast<DWORD_PTR>(&log), CALLBACK_FUNCTION);
    }
    void Queue(HWAVEIN hwi, Block& b) {
        ASSERT_EQ(waveInPrepareHeader(hwi, &b.header, sizeof b.header), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(hwi, &b.header, sizeof b.header), MMSYSERR_NOERROR);
    }

    std::shared_ptr<vsnd::RampSource> ramp;
    GUID mic{}, line{};
    UINT micId = 0;
    CallbackLog log;
};

TEST_F(Capture, RampArrivesInContiguousFullBlocksInQueueOrder) {
    HWAVEIN hwi = 0;
    ASSERT_EQ(Open(&hwi), MMSYSERR_NOERROR);
    ASSERT_EQ(log.messages, std::vector<UINT>{WIM_OPEN});
    Block a, b;
    Queue(hwi, a);
    Queue(hwi, b);
    log.requeueOn = hwi;
    ASSERT_EQ(waveInStart(hwi), MMSYSERR_NOERROR);
    AdvanceClock(63);
    EXPECT_EQ(log.returned.size(), 0u) << "a header returns only when full";
    AdvanceClock(1);
    ASSERT_EQ(log.returned.size(), 1u);
    EXPECT_EQ(log.returned[0], &a.header);
    EXPECT_EQ(log.counts[0], kBlockBytes);
    EXPECT_TRUE(a.header.dwFlags & WHDR_INQUEUE) << "queued again from its callback";
    for (std::size_t i = 0; i < 1024; ++i) ASSERT_EQ(a.Sample(i), static_cast<std::int16_t>(i));

    AdvanceClock(64 * 3);
    ASSERT_EQ(log.returned.size(), 4u);
    const WAVEHDR* order[] = {&a.header, &b.header, &a.header, &b.header};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(log.returned[i], order[i]) << i;
    // The last two blocks carry frames 2048..4095 of the ramp.
    for (std::size_t i = 0; i < 1024; ++i) {
        ASSERT_EQ(a.Sample(i), static_cast<std::int16_t>(2048 + i));
        ASSERT_EQ(b.Sample(i), static_cast<std::int16_t>(3072 + i));
    }

    log.requeueOn = 0;
    ASSERT_EQ(waveInReset(hwi), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
    EXPECT_EQ(log.messages.back(), WIM_CLOSE);
}

TEST_F(Capture, ResetReturnsTheHeadWithItsPartialCountAndTheRestEmpty) {
    HWAVEIN hwi = 0;
    ASSERT_EQ(Open(&hwi), MMSYSERR_NOERROR);
    Block a, b;
    Queue(hwi, a);
    Queue(hwi, b);
    waveInStart(hwi);
    AdvanceClock(10);  // 160 frames
    EXPECT_EQ(waveInClose(hwi), WAVERR_STILLPLAYING) << "headers still queued";
    EXPECT_EQ(waveInUnprepareHeader(hwi, &a.header, sizeof a.header), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveInReset(hwi), MMSYSERR_NOERROR);
    ASSERT_EQ(log.returned.size(), 2u) << "returned before waveInReset returns";
    EXPECT_EQ(log.returned[0], &a.header);
    EXPECT_EQ(log.counts[0], 320u);
    EXPECT_EQ(log.counts[1], 0u);
    EXPECT_EQ(a.header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);

    // Stopped: nothing is recorded and the source does not move.
    AdvanceClock(500);
    EXPECT_EQ(ramp->FramesRead(), 160u);
    EXPECT_EQ(waveInUnprepareHeader(hwi, &a.header, sizeof a.header), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(hwi, &a.header, sizeof a.header), WAVERR_UNPREPARED);
    Queue(hwi, a);
    waveInStart(hwi);
    AdvanceClock(64);
    ASSERT_EQ(log.returned.size(), 3u);
    EXPECT_EQ(a.Sample(0), 160) << "the ramp goes on where it stopped";

    Queue(hwi, b);
    AdvanceClock(5);
    ASSERT_EQ(waveInStop(hwi), MMSYSERR_NOERROR);
    ASSERT_EQ(log.returned.size(), 4u) << "stop returns the partly filled head";
    EXPECT_EQ(log.counts[3], 160u);
    ASSERT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(hwi), MMSYSERR_INVALHANDLE);
}

TEST_F(Capture, StereoHeadersHoldWholeFramesOnly) {
    HWAVEIN hwi = 0;
    ASSERT_EQ(Open(&hwi, 0, 2), MMSYSERR_NOERROR);
    std::vector<char> data(4 * 10 + 2);  // ten frames and half of one
    WAVEHDR h;
    h.lpData = data.data();
    h.dwBufferLength = static_cast<DWORD>(data.size());
    waveInPrepareHeader(hwi, &h, sizeof h);
    waveInAddBuffer(hwi, &h, sizeof h);
    waveInStart(hwi);
    AdvanceClock(1);  // 16 frames
    ASSERT_EQ(log.counts.size(), 1u);
    EXPECT_EQ(log.counts[0], 40u);
    std::int16_t right;
    std::memcpy(&right, data.data() + 4 * 9 + 2, 2);
    EXPECT_EQ(right, 0x1000 + 9) << "channel 1 is offset by the ramp's step";
    waveInReset(hwi);
    waveInClose(hwi);
}

TEST_F(Capture, AnInputHasOneUserAndOpenErrorsCarryTheirCodes) {
    HWAVEIN first = 0, second = 0;
    ASSERT_EQ(Open(&first, micId), MMSYSERR_NOERROR);
    EXPECT_EQ(Open(&second, micId), MMSYSERR_ALLOCATED);
    EXPECT_EQ(second, 0u);
    LPDIRECTSOUNDCAPTURE8 cap;
    EXPECT_EQ(DirectSoundCaptureCreate8(&mic, &cap, nullptr), DSERR_ALLOCATED);
    ASSERT_EQ(Open(&second, WAVE_MAPPER), MMSYSERR_NOERROR) << "the mapper takes the free input";
    HWAVEIN third = 0;
    EXPECT_EQ(Open(&third, WAVE_MAPPER), MMSYSERR_ALLOCATED);
    EXPECT_EQ(Open(&third, 2), MMSYSERR_BADDEVICEID);
    WAVEFORMATEX f = Pcm(1);
    f.wBitsPerSample = 8;
    EXPECT_EQ(waveInOpen(&third, 0, &f, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    EXPECT_EQ(waveInOpen(nullptr, 0, &f, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    ASSERT_EQ(waveInClose(first), MMSYSERR_NOERROR);
    ASSERT_EQ(DirectSoundCaptureCreate8(&mic, &cap, nullptr), DS_OK);
    EXPECT_EQ(Open(&first, micId), MMSYSERR_ALLOCATED);
    cap->Release();
    ASSERT_EQ(Open(&first, micId), MMSYSERR_NOERROR) << "a released capture object frees the input";
    waveInClose(first);
    waveInClose(second);

    vsnd::RemoveAllEndpoints();
    EXPECT_EQ(Open(&first, WAVE_MAPPER), MMSYSERR_NODRIVER);
    EXPECT_EQ(DirectSoundCaptureCreate8(nullptr, &cap, nullptr), DSERR_NODRIVER);
}

// The device behind an input fails: what is queued comes back, as after a
// reset, and nothing more is taken until the input is opened again.
TEST_F(Capture, AFailedDeviceReturnsTheQueuedBlocksAndRefusesMore) {
    HWAVEIN hwi = 0;
    ASSERT_EQ(Open(&hwi), MMSYSERR_NOERROR);
    Block a, b;
    Queue(hwi, a);
    Queue(hwi, b);
    ASSERT_EQ(waveInStart(hwi), MMSYSERR_NOERROR);
    AdvanceClock(10);
    ASSERT_TRUE(vsnd::FailEndpoint(mic));
    EXPECT_EQ(log.counts, (std::vector<DWORD>{320, 0}));
    EXPECT_EQ(waveInAddBuffer(hwi, &a.header, sizeof a.header), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInStart(hwi), MMSYSERR_NODRIVER);
    ASSERT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
    ASSERT_EQ(Open(&hwi), MMSYSERR_NOERROR);
    Queue(hwi, a);
    EXPECT_EQ(waveInStart(hwi), MMSYSERR_NOERROR);
    waveInReset(hwi);
    EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
}

TEST_F(Capture, EveryInjectedWaveInFaultReturnsItsCode) {
    HWAVEIN hwi = 0;
    vsnd::InjectFault(mic, Fault::WaveInOpen, 9);
    EXPECT_EQ(Open(&hwi, micId), 9u);
    vsnd::InjectFault(mic, Fault::WaveInOpen, MMSYSERR_NODRIVER);
    EXPECT_EQ(Open(&hwi, micId), MMSYSERR_NODRIVER);
    ASSERT_EQ(Open(&hwi, micId), MMSYSERR_NOERROR);
    Block a;
    waveInPrepareHeader(hwi, &a.header, sizeof a.header);
    vsnd::InjectFault(mic, Fault::WaveInAddBuffer, MMSYSERR_NOMEM);
    EXPECT_EQ(waveInAddBuffer(hwi, &a.header, sizeof a.header), MMSYSERR_NOMEM);
    EXPECT_FALSE(a.header.dwFlags & WHDR_INQUEUE);
    vsnd::InjectFault(mic, Fault::WaveInStart, MMSYSERR_ERROR);
    EXPECT_EQ(waveInStart(hwi), MMSYSERR_ERROR);
    vsnd::InjectFault(mic, Fault::WaveInReset, MMSYSERR_ERROR);
    EXPECT_EQ(waveInReset(hwi), MMSYSERR_ERROR);
    vsnd::InjectFault(mic, Fault::WaveInClose, MMSYSERR_ERROR);
    EXPECT_EQ(waveInClose(hwi), MMSYSERR_ERROR);
    EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
    EXPECT_EQ(log.messages.back(), WIM_CLOSE);

    HMIXER mixer = 0;
    vsnd::InjectFault(mic, Fault::MixerOpen, MMSYSERR_NODRIVER);
    EXPECT_EQ(mixerOpen(&mixer, micId, 0, 0, MIXER_OBJECTF_WAVEIN), MMSYSERR_NODRIVER);
    ASSERT_EQ(mixerOpen(&mixer, micId, 0, 0, MIXER_OBJECTF_WAVEIN), MMSYSERR_NOERROR);
    EXPECT_NE(mixer, 0u);
    EXPECT_EQ(mixerClose(mixer), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerOpen(&mixer, 7, 0, 0, MIXER_OBJECTF_WAVEIN), MMSYSERR_BADDEVICEID);
}

// The capture device's layout: 8 blocks, a notification at the last byte of
// each, a stop notification, and a quit event of its own.
class Ds8Capture : public Capture {
protected:
    void SetUp() override {
        Capture::SetUp();
        ASSERT_EQ(DirectSoundCaptureCreate8(&mic, &cap, nullptr), DS_OK);
        WAVEFORMATEX f = Pcm(1);
        DSCBUFFERDESC d;
        d.dwFlags = DSCBCAPS_WAVEMAPPED;
        d.dwBufferBytes = 8 * kBlockBytes;
        d.lpwfxFormat = &f;
        ASSERT_EQ(cap->CreateCaptureBuffer(&d, &buffer, nullptr), DS_OK);
        for (auto& e : events) e = CreateEvent(nullptr, 0, 0, nullptr);
        for (DWORD k = 0; k < 8; ++k) positions[k] = {kBlockBytes * (k + 1) - 1, events[k]};
        positions[8] = {DSBPN_OFFSETSTOP, events[8]};
        LPDIRECTSOUNDNOTIFY notify;
        ASSERT_EQ(buffer->QueryInterface(IID_IDirectSoundNotify, &notify), DS_OK);
        ASSERT_EQ(notify->SetNotificationPositions(9, positions), DS_OK);
        notify->Release();
    }
    void TearDown() override {
        if (cap) cap->Release();
        for (auto e : events) CloseHandle(e);
        Capture::TearDown();
    }
    // The lowest set event, or -1 when none is set (takes it).
    int Signalled() {
        const DWORD r = WaitForMultipleObjects(10, events, 0, 0);
        return r == WAIT_TIMEOUT ? -1 : static_cast<int>(r - WAIT_OBJECT_0);
    }
    std::vector<std::int16_t> Read(DWORD offset, DWORD bytes) {
        void *p1 = nullptr, *p2 = nullptr;
        DWORD n1 = 0, n2 = 0;
        EXPECT_EQ(buffer->Lock(offset, bytes, &p1, &n1, &p2, &n2, 0), DS_OK);
        std::vector<std::int16_t> out((n1 + n2) / 2);
        std::memcpy(out.data(), p1, n1);
        if (n2) std::memcpy(reinterpret_cast<char*>(out.data()) + n1, p2, n2);
        EXPECT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);
        return out;
    }

    LPDIRECTSOUNDCAPTURE8 cap;
    LPDIRECTSOUNDCAPTUREBUFFER buffer;
    HANDLE events[10]{};
    DSBPOSITIONNOTIFY positions[9];
};

TEST_F(Ds8Capture, EachBlockEndSetsItsEventAndTheRingWraps) {
    ASSERT_EQ(buffer->Start(DSCBSTART_LOOPING), DS_OK);
    LPDIRECTSOUNDNOTIFY notify;
    buffer->QueryInterface(IID_IDirectSoundNotify, &notify);
    EXPECT_EQ(notify->SetNotificationPositions(9, positions), DSERR_INVALIDCALL) << "while running";
    AdvanceClock(63);
    EXPECT_EQ(Signalled(), -1);
    AdvanceClock(1);
    EXPECT_EQ(Signalled(), 0);
    EXPECT_EQ(Signalled(), -1) << "auto-reset";
    DWORD capture = 0, read = 0;
    buffer->GetCurrentPosition(&capture, &read);
    EXPECT_EQ(capture, kBlockBytes);
    EXPECT_EQ(read, kBlockBytes);
    EXPECT_EQ(Read(0, kBlockBytes)[1023], 1023);

    AdvanceClock(64 * 8);  // once round the ring: every offset passed once
    for (int k = 0; k < 8; ++k) EXPECT_EQ(Signalled(), k);
    EXPECT_EQ(Signalled(), -1);
    buffer->GetCurrentPosition(&capture, nullptr);
    EXPECT_EQ(capture, kBlockBytes);
    const auto wrapped = Read(7 * kBlockBytes, 2 * kBlockBytes);
    EXPECT_EQ(wrapped.front(), 8 * 1024 - 1024);
    EXPECT_EQ(wrapped.back(), 9 * 1024 - 1);
}

TEST_F(Ds8Capture, StopSetsTheStopEventOnlyWhenRunningAndPositionsPersist) {
    buffer->Start(DSCBSTART_LOOPING);
    AdvanceClock(100);  // 1600 frames: one block and 576 frames more
    EXPECT_EQ(Signalled(), 0);
    ASSERT_EQ(buffer->Stop(), DS_OK);
    EXPECT_EQ(Signalled(), 8);
    DWORD capture = 0, read = 0;
    buffer->GetCurrentPosition(&capture, &read);
    EXPECT_EQ(capture, 3200u);
    EXPECT_EQ(read, capture);
    const auto rest = Read(kBlockBytes, capture - kBlockBytes);
    EXPECT_EQ(rest.size(), 576u);
    EXPECT_EQ(rest.back(), 1599);
    buffer->Stop();
    EXPECT_EQ(Signalled(), -1) << "a stopped buffer sets no stop event";

    void *p1, *p2;
    DWORD n1, n2;
    EXPECT_EQ(buffer->Lock(capture, 0, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    AdvanceClock(1000);
    buffer->Start(DSCBSTART_LOOPING);
    AdvanceClock(1);
    const auto next = Read(capture, 32);
    EXPECT_EQ(next.front(), 1600) << "no gap and no repeat across stop and start";
}

TEST_F(Ds8Capture, EveryInjectedCaptureFaultReturnsItsCode) {
    cap->Release();
    cap.reset();
    vsnd::InjectFault(mic, Fault::CaptureCreate, DSERR_OUTOFMEMORY);
    LPDIRECTSOUNDCAPTURE8 c;
    EXPECT_EQ(DirectSoundCaptureCreate8(&mic, &c, nullptr), DSERR_OUTOFMEMORY);
    ASSERT_EQ(DirectSoundCaptureCreate8(&mic, &c, nullptr), DS_OK);
    WAVEFORMATEX f = Pcm(1);
    DSCBUFFERDESC d;
    d.dwBufferBytes = 8 * kBlockBytes;
    d.lpwfxFormat = &f;
    LPDIRECTSOUNDCAPTUREBUFFER b;
    vsnd::InjectFault(mic, Fault::CreateCaptureBuffer, DSERR_BADFORMAT);
    EXPECT_EQ(c->CreateCaptureBuffer(&d, &b, nullptr), DSERR_BADFORMAT);
    ASSERT_EQ(c->CreateCaptureBuffer(&d, &b, nullptr), DS_OK);
    LPDIRECTSOUNDCAPTUREBUFFER second;
    EXPECT_EQ(c->CreateCaptureBuffer(&d, &second, nullptr), DSERR_INVALIDCALL)
        << "one buffer per object";
    LPDIRECTSOUNDNOTIFY notify;
    EXPECT_EQ(b->QueryInterface(GUID{}, &notify), E_NOINTERFACE);
    ASSERT_EQ(b->QueryInterface(IID_IDirectSoundNotify, &notify), DS_OK);
    vsnd::InjectFault(mic, Fault::SetNotificationPositions, DSERR_INVALIDPARAM);
    EXPECT_EQ(notify->SetNotificationPositions(9, positions), DSERR_INVALIDPARAM);
    DSBPOSITIONNOTIFY beyond{8 * kBlockBytes, events[0]};
    EXPECT_EQ(notify->SetNotificationPositions(1, &beyond), DSERR_INVALIDPARAM);
    vsnd::InjectFault(mic, Fault::CaptureStart, DSERR_NODRIVER);
    EXPECT_EQ(b->Start(DSCBSTART_LOOPING), DSERR_NODRIVER);
    DWORD status = 1;
    b->GetStatus(&status);
    EXPECT_EQ(status, 0u);
    c->Release();
    EXPECT_EQ(b->Start(DSCBSTART_LOOPING), DSERR_INVALIDCALL) << "released object";
}

}  // namespace
