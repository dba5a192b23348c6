// Mixing on one virtual output endpoint: N streaming secondary buffers (the
// receive road's per-transmitter buffers, mono 65536 B, looping, each with
// its own volume and pan) mixed into a null sink, one second of audio per
// iteration. "x_realtime" is seconds of audio mixed per second of wall
// time; "streams_x_realtime" multiplies it by N (stream-seconds per second).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "hcyplat/dsound.h"
#include "hcyplat/virtual_sound.h"

namespace {

using namespace plat;

constexpr DWORD kMixRate = 16000;  // [Hz], the library's rate

void MixStreams(benchmark::State& state, DWORD bufferRate) {
    const int streams = static_cast<int>(state.range(0));
    vsnd::RemoveAllEndpoints();
    vsnd::OutputEndpointConfig c;
    c.format = {kMixRate, 2};
    c.driver = vsnd::Driver::External;
    const GUID g = vsnd::CreateOutputEndpoint(c).guid;
    LPDIRECTSOUND ds;
    if (DirectSoundCreate(&g, &ds, nullptr) != DS_OK) {
        state.SkipWithError("DirectSoundCreate failed");
        return;
    }
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, bufferRate, 2 * bufferRate, 2, 16, 0};
    DSBUFFERDESC d;
    d.dwFlags = 0x80E2;
    d.dwBufferBytes = 65536;
    d.lpwfxFormat = &f;
    std::vector<LPDIRECTSOUNDBUFFER> buffers(static_cast<std::size_t>(streams));
    std::uint32_t x = 1;
    for (int i = 0; i < streams; ++i) {
        auto& b = buffers[static_cast<std::size_t>(i)];
        ds->CreateSoundBuffer(&d, &b, nullptr);
        void *p1, *p2;
        DWORD n1, n2;
        b->Lock(0, 65536, &p1, &n1, &p2, &n2, 0);
        auto* s = static_cast<std::int16_t*>(p1);
        for (DWORD k = 0; k < n1 / 2; ++k) {
            x = x * 214013u + 2531011u;
            s[k] = static_cast<std::int16_t>((x >> 16) & 0x1FFF) - 4096;
        }
        b->Unlock(p1, n1, p2, n2);
        b->SetVolume(-(i % 10) * 300);
        b->SetPan((i % 3 - 1) * 2000);
        b->Play(0, 0, DSBPLAY_LOOPING);
    }
    std::vector<std::int16_t> out(2 * kMixRate);
    for (auto _ : state) {
        vsnd::RenderOutput(g, out.data(), kMixRate);  // one second [frames]
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["streams_x_realtime"] = benchmark::Counter(
        static_cast<double>(streams), benchmark::Counter::kIsIterationInvariantRate);
    ds->Release();
    vsnd::RemoveAllEndpoints();
}

// Buffers at the mix rate: the bit-exact copy path.
void BM_MixStreamsSameRate(benchmark::State& state) { MixStreams(state, kMixRate); }
// Buffers at 11025 Hz: the interpolating path (a transmitter's own rate).
void BM_MixStreamsResampled(benchmark::State& state) { MixStreams(state, 11025); }

BENCHMARK(BM_MixStreamsSameRate)->Arg(1)->Arg(8)->Arg(32)->Arg(128)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixStreamsResampled)->Arg(1)->Arg(8)->Arg(32)->Arg(128)->Unit(benchmark::kMillisecond);

}  // namespace
