// The C face of the virtual sound system for hosts: thin wrappers over
// hcyplat/virtual_sound.h that check their pointers.
#include <cstring>

#include "hcyplat/dsound.h"
#include "hcyplat/hcyplatform.h"
#include "hcyplat/virtual_sound.h"

namespace {

using namespace plat::vsnd;

static_assert(sizeof(hcyplat_guid) == sizeof(plat::GUID));

plat::GUID ToGuid(const hcyplat_guid* g) {
    plat::GUID out;
    std::memcpy(&out, g, sizeof out);
    return out;
}

void FromGuid(const plat::GUID& g, hcyplat_guid* out) {
    if (out) std::memcpy(out, &g, sizeof g);
}

int Result(bool ok) { return ok ? 1 : 0; }

}  // namespace

extern "C" {

int hcyplatCreateOutputEndpoint(const char* description, uint32_t rate, int channels,
                                hcyplat_guid* guid) {
    OutputEndpointConfig c;
    if (description) c.description = description;
    c.format.rate = rate == 0 ? 16000 : rate;
    if (channels < 0) return -1;
    c.format.channels = channels == 0 ? 2 : static_cast<unsigned>(channels);
    const EndpointId id = CreateOutputEndpoint(c);
    if (id.index >= 0) FromGuid(id.guid, guid);
    return id.index;
}

int hcyplatCreateInputEndpoint(const char* description, hcyplat_guid* guid, uint32_t* waveInId) {
    InputEndpointConfig c;
    if (description) c.description = description;
    const EndpointId id = CreateInputEndpoint(c);
    FromGuid(id.guid, guid);
    if (waveInId) *waveInId = id.waveInId;
    return id.index;
}

void hcyplatRemoveSoundEndpoints(void) { RemoveAllEndpoints(); }

int hcyplatUseSoundBackend(const char* name) { return Result(name && UseBackend(name)); }

int hcyplatSetOutputWavFile(const hcyplat_guid* output, const char* path) {
    if (!output || !path) return 0;
    const plat::GUID g = ToGuid(output);
    MixFormat f;
    if (!GetMixFormat(g, &f)) return 0;
    auto sink = WavFileSink::Create(path);
    return Result(sink && SetSink(g, sink));
}

int hcyplatSetOutputMemory(const hcyplat_guid* output) {
    return Result(output && SetSink(ToGuid(output), std::make_shared<MemorySink>()));
}

int hcyplatSetOutputNull(const hcyplat_guid* output) {
    return Result(output && SetSink(ToGuid(output), std::make_shared<NullSink>()));
}

int hcyplatReadOutputMemory(const hcyplat_guid* output, int16_t* samples, int maxFrames) {
    if (!output || maxFrames < 0 || (!samples && maxFrames > 0)) return -1;
    auto memory = std::dynamic_pointer_cast<MemorySink>(GetSink(ToGuid(output)));
    if (!memory) return -1;
    const auto taken = memory->Take(static_cast<std::size_t>(maxFrames));
    if (!taken.empty()) std::memcpy(samples, taken.data(), taken.size() * sizeof(int16_t));
    const unsigned channels = memory->Format().channels;
    return static_cast<int>(taken.size() / channels);
}

int hcyplatSetInputWavFile(const hcyplat_guid* input, const char* path, int loop) {
    if (!input || !path) return 0;
    auto source = WavFileSource::Open(path, loop != 0);
    return Result(source && SetSource(ToGuid(input), source));
}

int hcyplatSetInputSilence(const hcyplat_guid* input) {
    return Result(input && SetSource(ToGuid(input), std::make_shared<SilenceSource>()));
}

int hcyplatSetInputTone(const hcyplat_guid* input, double hz, double amplitude) {
    if (!input || !(hz >= 0.0 && hz <= 100000.0) || !(amplitude >= 0.0 && amplitude <= 32767.0))
        return 0;
    return Result(SetSource(ToGuid(input), std::make_shared<ToneSource>(hz, amplitude)));
}

int hcyplatGetStreamStart(const hcyplat_guid* endpoint, double* seconds) {
    std::uint64_t us = 0;
    if (!endpoint || !seconds || !StreamStart(ToGuid(endpoint), &us)) return 0;
    *seconds = static_cast<double>(us) / 1e6;
    return 1;
}

int hcyplatPumpOutput(const hcyplat_guid* output, uint32_t frames) {
    return Result(output && PumpOutput(ToGuid(output), frames));
}

int hcyplatPumpInput(const hcyplat_guid* input, uint32_t frames) {
    return Result(input && PumpInput(ToGuid(input), frames));
}

void* hcyplatCreateDirectSound(const hcyplat_guid* output) {
    const plat::GUID g = output ? ToGuid(output) : plat::GUID{};
    plat::LPDIRECTSOUND ds;
    if (plat::DirectSoundCreate(output ? &g : nullptr, &ds, nullptr) != plat::DS_OK) return nullptr;
    return plat::GiveHostHandle(ds);
}

void* hcyplatCreatePrimaryBuffer(void* directSound, uint32_t rate, int channels) {
    const plat::LPDIRECTSOUND ds = plat::DirectSoundOfHostHandle(directSound);
    if (!ds || channels < 1 || channels > 32) return nullptr;
    plat::DSBUFFERDESC desc;
    desc.dwFlags = plat::DSBCAPS_PRIMARYBUFFER;
    plat::LPDIRECTSOUNDBUFFER primary;
    if (ds->CreateSoundBuffer(&desc, &primary, nullptr) != plat::DS_OK || !primary) return nullptr;
    plat::WAVEFORMATEX format{};
    format.wFormatTag = plat::WAVE_FORMAT_PCM;
    format.nChannels = static_cast<unsigned short>(channels);
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<unsigned short>(2 * channels);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    if (primary->SetFormat(&format) != plat::DS_OK) return nullptr;
    return plat::GiveHostHandle(primary);
}

void hcyplatReleaseSoundHandle(void* handle) { plat::TakeBackHostHandle(handle); }

}  // extern "C"
