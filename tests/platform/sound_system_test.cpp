// The virtual sound system as a whole: enumeration, clock-driven pumping
// (manual and real), WAV sinks and sources, the C face for hosts, events.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "hcyplat/clock.h"
#include "hcyplat/dsound.h"
#include "hcyplat/hcyplatform.h"
#include "hcyplat/mmsystem.h"
#include "hcyplat/sound_devices.h"
#include "hcyplat/virtual_sound.h"
#include "support/test_support.h"

namespace {

using namespace plat;

WAVEFORMATEX Pcm(unsigned channels, DWORD rate) {
    const auto align = static_cast<unsigned short>(2 * channels);
    return {
        WAVE_FORMAT_PCM, static_cast<unsigned short>(channels), rate, rate * align, align, 16, 0};
}

// A looping mono buffer holding a count 0, 1, 2, ... on the device.
LPDIRECTSOUNDBUFFER PlayCount(const LPDIRECTSOUND& ds, DWORD rate) {
    WAVEFORMATEX f = Pcm(1, rate);
    DSBUFFERDESC d;
    d.dwFlags = 0x80E2;
    d.dwBufferBytes = 65536;
    d.lpwfxFormat = &f;
    LPDIRECTSOUNDBUFFER b;
    EXPECT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), DS_OK);
    void *p1, *p2;
    DWORD n1, n2;
    EXPECT_EQ(b->Lock(0, 65536, &p1, &n1, &p2, &n2, 0), DS_OK);
    auto* s = static_cast<std::int16_t*>(p1);
    for (DWORD i = 0; i < n1 / 2; ++i) s[i] = static_cast<std::int16_t>(i);
    b->Unlock(p1, n1, p2, n2);
    b->Play(0, 0, DSBPLAY_LOOPING);
    return b;
}

struct Seen {
    std::vector<std::string> names;
    std::vector<bool> nullGuid;
};

BOOL Collect(GUID* guid, const char* description, const char*, void* context) {
    auto* seen = static_cast<Seen*>(context);
    seen->names.emplace_back(description);
    seen->nullGuid.push_back(guid == nullptr);
    return 1;
}

class SoundSystem : public ::testing::Test {
protected:
    void SetUp() override { vsnd::RemoveAllEndpoints(); }
    void TearDown() override {
        vsnd::RemoveAllEndpoints();
        UseRealClock();
    }
};

TEST_F(SoundSystem, EnumerationListsThePrimaryEntryFirstThenEndpointsInOrder) {
    vsnd::OutputEndpointConfig out;
    out.description = "Speakers";
    vsnd::CreateOutputEndpoint(out);
    out.description = "Headset";
    vsnd::CreateOutputEndpoint(out);
    vsnd::InputEndpointConfig in;
    in.description = "Microphone";
    EXPECT_EQ(vsnd::CreateInputEndpoint(in).waveInId, 0u);
    in.description = "Capture only";
    in.listWaveIn = false;
    vsnd::CreateInputEndpoint(in);
    EXPECT_EQ(RegisterSoundEndpoint(EndpointKind::WaveIn,
                                    "A very long wave-input name of forty chars", GUID{}),
              1);

    Seen outputs, captures;
    DirectSoundEnumerate(&Collect, &outputs);
    DirectSoundCaptureEnumerate(&Collect, &captures);
    EXPECT_EQ(outputs.names,
              (std::vector<std::string>{"Primary Sound Driver", "Speakers", "Headset"}));
    EXPECT_EQ(outputs.nullGuid, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(captures.names, (std::vector<std::string>{"Primary Sound Capture Driver",
                                                        "Microphone", "Capture only"}));
    ASSERT_EQ(waveInGetNumDevs(), 2u);
    WAVEINCAPS caps;
    ASSERT_EQ(waveInGetDevCaps(1, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::strlen(caps.szPname), 31u);
    EXPECT_EQ(waveInGetDevCaps(2, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
}

// Runs the same scenario on the manual clock and returns what the sink got.
std::vector<std::int16_t> ManualRun(DWORD rate) {
    UseManualClock();
    auto sink = std::make_shared<vsnd::MemorySink>();
    vsnd::OutputEndpointConfig c;
    c.format = {rate, 1};
    c.sink = sink;
    const GUID g = vsnd::CreateOutputEndpoint(c).guid;
    LPDIRECTSOUND ds;
    EXPECT_EQ(DirectSoundCreate(&g, &ds, nullptr), DS_OK);
    auto b = PlayCount(ds, 16000);
    for (int i = 0; i < 100; ++i) AdvanceClock(1);
    AdvanceClock(250);
    DWORD play = 0, write = 1;
    b->GetCurrentPosition(&play, &write);
    EXPECT_EQ(write, play) << "no write lead on the manual clock";
    ds->Release();
    AdvanceClock(100);  // a closed endpoint does not run
    UseRealClock();
    return sink->Samples();
}

TEST_F(SoundSystem, ManualClockMixesExactlyTheFramesDueAndRepeatsBitForBit) {
    const auto first = ManualRun(22050);
    EXPECT_EQ(first.size(), 350u * 22050 / 1000) << "frames due from elapsed time, no drift";
    const auto second = ManualRun(22050);
    EXPECT_EQ(first, second);
    const auto same = ManualRun(16000);
    ASSERT_EQ(same.size(), 5600u);
    for (std::size_t i = 0; i < same.size(); ++i) ASSERT_EQ(same[i], static_cast<std::int16_t>(i));
}

TEST_F(SoundSystem, RealClockPumpsOpenEndpointsOnThreadsOfTheirOwn) {
    UseRealClock();
    auto sink = std::make_shared<vsnd::MemorySink>();
    vsnd::OutputEndpointConfig c;
    c.sink = sink;
    const GUID speaker = vsnd::CreateOutputEndpoint(c).guid;
    vsnd::InputEndpointConfig in;
    in.source = std::make_shared<vsnd::RampSource>();
    vsnd::CreateInputEndpoint(in);

    LPDIRECTSOUND ds;
    ASSERT_EQ(DirectSoundCreate(&speaker, &ds, nullptr), DS_OK);
    auto b = PlayCount(ds, 16000);
    DWORD play = 0, write = 0;
    ASSERT_TRUE(hcytest::WaitFor([&] {
        b->GetCurrentPosition(&play, &write);
        return sink->Frames() >= 1600 && play > 0;
    }));
    EXPECT_EQ(write, (play + 1920) % 65536) << "60 ms lead on the real clock";

    struct Got {
        std::atomic<int> blocks{0};
    } got;
    auto cb = [](HWAVEIN hwi, UINT msg, DWORD_PTR inst, DWORD_PTR p1, DWORD_PTR) {
        if (msg != WIM_DATA) return;
        auto* h = reinterpret_cast<WAVEHDR*>(p1);
        if (h->dwBytesRecorded == h->dwBufferLength) {
            ++reinterpret_cast<Got*>(inst)->blocks;
            waveInAddBuffer(hwi, h, sizeof *h);
        }
    };
    WAVEFORMATEX f = Pcm(1, 16000);
    HWAVEIN hwi = 0;
    ASSERT_EQ(waveInOpen(&hwi, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(+cb),
                         reinterpret_cast<DWORD_PTR>(&got), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<char> data[2] = {std::vector<char>(640), std::vector<char>(640)};
    WAVEHDR h[2];
    for (int i = 0; i < 2; ++i) {
        h[i].lpData = data[i].data();
        h[i].dwBufferLength = 640;
        waveInPrepareHeader(hwi, &h[i], sizeof h[i]);
        waveInAddBuffer(hwi, &h[i], sizeof h[i]);
    }
    waveInStart(hwi);
    EXPECT_TRUE(hcytest::WaitFor([&] { return got.blocks >= 5; }));
    ASSERT_EQ(waveInReset(hwi), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
    ds->Release();
    EXPECT_FALSE(vsnd::IsEndpointOpen(speaker));
}

// With a 10 ms regular step on the manual clock: an output's cursors move
// with the clock between steps, a buffer started between steps is heard
// from its start, Stop keeps the position of its moment; capture blocks and
// notifications fall due at their last sample, not at the next step.
TEST_F(SoundSystem, CursorsAndCaptureBlocksKeepTheClocksTimeBetweenSteps) {
    UseManualClock();
    auto sink = std::make_shared<vsnd::MemorySink>();
    vsnd::OutputEndpointConfig c;
    c.sink = sink;
    c.pumpMs = 10;
    const GUID speaker = vsnd::CreateOutputEndpoint(c).guid;
    LPDIRECTSOUND ds;
    const std::uint64_t opened = ClockMicroseconds();
    ASSERT_EQ(DirectSoundCreate(&speaker, &ds, nullptr), DS_OK);
    std::uint64_t us = 0;
    EXPECT_FALSE(vsnd::StreamStart(speaker, &us)) << "nothing played yet";
    AdvanceClock(3);
    auto b = PlayCount(ds, 16000);  // from 3 ms on: frame 48 of the endpoint
    AdvanceClock(4);
    DWORD play = 0, write = 0;
    b->GetCurrentPosition(&play, &write);
    EXPECT_EQ(play, 4u * 16 * 2) << "4 ms played, no step yet";
    EXPECT_EQ(sink->Frames(), 0u);
    AdvanceClock(3);
    const auto heard = sink->Samples();
    ASSERT_EQ(heard.size(), 2u * 160);
    for (std::size_t f = 0; f < 160; ++f)
        ASSERT_EQ(heard[2 * f], f < 48 ? 0 : static_cast<std::int16_t>(f - 48)) << f;
    ASSERT_TRUE(vsnd::StreamStart(speaker, &us));
    EXPECT_EQ(us, opened);
    AdvanceClock(2);
    b->Stop();
    AdvanceClock(20);
    b->GetCurrentPosition(&play, &write);
    EXPECT_EQ(play, 9u * 16 * 2);
    ds->Release();

    vsnd::InputEndpointConfig in;
    in.source = std::make_shared<vsnd::RampSource>();
    in.pumpMs = 10;
    const GUID mic = vsnd::CreateInputEndpoint(in).guid;
    struct Got {
        std::vector<DWORD> at;
    } got;
    auto cb = [](HWAVEIN hwi, UINT msg, DWORD_PTR inst, DWORD_PTR p1, DWORD_PTR) {
        auto* h = reinterpret_cast<WAVEHDR*>(p1);
        if (msg != WIM_DATA || h->dwBytesRecorded != h->dwBufferLength) return;
        reinterpret_cast<Got*>(inst)->at.push_back(timeGetTime());
        waveInAddBuffer(hwi, h, sizeof *h);
    };
    WAVEFORMATEX f = Pcm(1, 16000);
    HWAVEIN hwi = 0;
    const DWORD t0 = timeGetTime();
    ASSERT_EQ(waveInOpen(&hwi, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(+cb),
                         reinterpret_cast<DWORD_PTR>(&got), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<char> data(2048);  // 1024 frames: 64 ms
    WAVEHDR h;
    h.lpData = data.data();
    h.dwBufferLength = 2048;
    waveInPrepareHeader(hwi, &h, sizeof h);
    waveInAddBuffer(hwi, &h, sizeof h);
    waveInStart(hwi);
    AdvanceClock(200);
    EXPECT_EQ(got.at, (std::vector<DWORD>{t0 + 64, t0 + 128, t0 + 192}));
    ASSERT_TRUE(vsnd::StreamStart(mic, &us));
    EXPECT_EQ(us, 1000ull * t0) << "the ramp's first frame";
    waveInReset(hwi);
    EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);

    LPDIRECTSOUNDCAPTURE8 cap;
    ASSERT_EQ(DirectSoundCaptureCreate8(&mic, &cap, nullptr), DS_OK);
    DSCBUFFERDESC d;
    d.dwBufferBytes = 4096;
    d.lpwfxFormat = &f;
    LPDIRECTSOUNDCAPTUREBUFFER cb8;
    ASSERT_EQ(cap->CreateCaptureBuffer(&d, &cb8, nullptr), DS_OK);
    HANDLE event = CreateEvent(nullptr, 0, 0, nullptr);
    const DSBPOSITIONNOTIFY at[] = {{2047, event}};  // the last byte of frame 1023
    LPDIRECTSOUNDNOTIFY notify;
    ASSERT_EQ(cb8->QueryInterface(IID_IDirectSoundNotify, &notify), DS_OK);
    ASSERT_EQ(notify->SetNotificationPositions(1, at), DS_OK);
    ASSERT_EQ(cb8->Start(DSCBSTART_LOOPING), DS_OK);
    AdvanceClock(63);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    AdvanceClock(1);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    cap->Release();
    CloseHandle(event);
}

TEST_F(SoundSystem, WavSinkWritesAFileThatTheWavSourceReadsBack) {
    hcytest::TempDir dir;
    const std::string path = dir.file("out.wav");
    auto sink = vsnd::WavFileSink::Create(path);
    ASSERT_TRUE(sink);
    std::vector<std::int16_t> frames;
    for (int i = 0; i < 200; ++i) {
        frames.push_back(static_cast<std::int16_t>(i * 100));
        frames.push_back(static_cast<std::int16_t>(-i * 100));
    }
    sink->Write(frames.data(), 100, {8000, 2});
    sink->Write(frames.data() + 200, 100, {8000, 2});
    sink->Write(frames.data(), 10, {16000, 2});  // another format: dropped
    EXPECT_EQ(sink->DataBytes(), 800u);

    auto same = vsnd::WavFileSource::Open(path, false);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->FileFrames(), 200u);
    std::vector<std::int16_t> back(2 * 201);
    same->Read(back.data(), 201, {8000, 2});
    EXPECT_TRUE(std::equal(frames.begin(), frames.end(), back.begin()));
    EXPECT_EQ(back[400], 0) << "silence after the end";

    auto doubled = vsnd::WavFileSource::Open(path, true);
    std::vector<std::int16_t> mono(4);
    doubled->Read(mono.data(), 4, {16000, 1});
    EXPECT_EQ(mono, (std::vector<std::int16_t>{0, 50, 100, 150})) << "left channel, interpolated";
}

TEST_F(SoundSystem, WavSourceRefusesFilesWhoseLengthsDoNotHold) {
    std::vector<std::uint8_t> good = {'R',  'I',  'F', 'F', 0,    0,    0, 0, 'W', 'A', 'V', 'E',
                                      'f',  'm',  't', ' ', 16,   0,    0, 0, 1,   0,   1,   0,
                                      0x80, 0x3E, 0,   0,   0,    0x7D, 0, 0, 2,   0,   16,  0,
                                      'd',  'a',  't', 'a', 0xFF, 0xFF, 0, 0, 1,   0,   2,   0};
    auto s = vsnd::WavFileSource::FromBytes(good, false);
    ASSERT_TRUE(s) << "a data chunk longer than the file is cut to what is there";
    EXPECT_EQ(s->FileFrames(), 2u);
    auto truncated = good;
    truncated.resize(30);
    EXPECT_FALSE(vsnd::WavFileSource::FromBytes(truncated, false)) << "format chunk cut short";
    auto eightBit = good;
    eightBit[34] = 8;
    EXPECT_FALSE(vsnd::WavFileSource::FromBytes(eightBit, false));
    auto hugeFmt = good;
    hugeFmt[16] = 0xFF;
    hugeFmt[19] = 0x7F;
    EXPECT_FALSE(vsnd::WavFileSource::FromBytes(hugeFmt, false)) << "no data chunk inside the file";
    EXPECT_FALSE(vsnd::WavFileSource::FromBytes({}, false));
}

TEST_F(SoundSystem, HostsMakeEndpointsAndReadWhatWasPlayedThroughTheCFace) {
    // Only the explicit pumps below may mix: no clock drives the endpoint.
    hcyplatUseManualClock();
    hcyplat_guid speaker{}, mic{};
    ASSERT_EQ(hcyplatCreateOutputEndpoint("Speaker", 0, 0, &speaker), 0);
    EXPECT_EQ(hcyplatCreateOutputEndpoint("Bad", 0, 33, nullptr), -1);
    uint32_t id = 99;
    ASSERT_EQ(hcyplatCreateInputEndpoint("Mic", &mic, &id), 0);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(hcyplatReadOutputMemory(&speaker, nullptr, 0), -1) << "no memory sink yet";
    ASSERT_EQ(hcyplatSetOutputMemory(&speaker), 1);

    GUID g;
    std::memcpy(&g, &speaker, sizeof g);
    LPDIRECTSOUND ds;
    ASSERT_EQ(DirectSoundCreate(&g, &ds, nullptr), DS_OK);
    auto b = PlayCount(ds, 16000);
    ASSERT_EQ(hcyplatPumpOutput(&speaker, 8), 1);
    std::int16_t samples[2 * 8];
    ASSERT_EQ(hcyplatReadOutputMemory(&speaker, samples, 8), 8);
    EXPECT_EQ(samples[2 * 7], 7);
    EXPECT_EQ(samples[2 * 7 + 1], 7);
    EXPECT_EQ(hcyplatReadOutputMemory(&speaker, samples, 8), 0);

    hcytest::TempDir dir;
    ASSERT_EQ(hcyplatSetOutputWavFile(&speaker, dir.file("speaker.wav").c_str()), 1);
    hcyplatPumpOutput(&speaker, 100);
    EXPECT_EQ(hcytest::ReadFile(dir.file("speaker.wav")).size(), 44u + 400u);
    EXPECT_EQ(hcyplatSetOutputWavFile(&speaker, dir.file("no/such/folder.wav").c_str()), 0);
    ASSERT_EQ(hcyplatSetInputWavFile(&mic, dir.file("speaker.wav").c_str(), 1), 1);
    EXPECT_EQ(hcyplatSetInputWavFile(&mic, dir.file("missing.wav").c_str(), 1), 0);
    EXPECT_EQ(hcyplatSetInputTone(&mic, 1000.0, 40000.0), 0);
    EXPECT_EQ(hcyplatSetInputTone(&mic, 1000.0, 8000.0), 1);
    EXPECT_EQ(hcyplatPumpInput(&mic, 16), 1);
    ds->Release();
    hcyplatRemoveSoundEndpoints();
    EXPECT_EQ(hcyplatPumpOutput(&speaker, 8), 0);
}

TEST_F(SoundSystem, EventWaitsTakeTheLowestSetEventAndResetOnlyIt) {
    HANDLE e[3];
    for (auto& h : e) h = CreateEvent(nullptr, 0, 0, nullptr);
    HANDLE manual = CreateEvent(nullptr, 1, 1, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(3, e, 0, 0), WAIT_TIMEOUT);
    SetEvent(e[2]);
    SetEvent(e[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, e, 0, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, e, 0, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0) << "manual reset stays set";
    ResetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    std::thread setter([&] { SetEvent(e[0]); });
    EXPECT_EQ(WaitForMultipleObjects(3, e, 0, INFINITE), WAIT_OBJECT_0);
    setter.join();
    EXPECT_EQ(WaitForMultipleObjects(3, e, 1, 0), WAIT_FAILED) << "wait-all is not offered";
    CloseHandle(e[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, e, 0, 0), WAIT_FAILED);
    EXPECT_EQ(SetEvent(e[1]), 0);
    CloseHandle(e[0]);
    CloseHandle(e[2]);
    CloseHandle(manual);
}

}  // namespace
