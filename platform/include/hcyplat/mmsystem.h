#pragma once
// Wave input (waveInOpen family) and the mixer handle, over the virtual sound
// system (hcyplat/virtual_sound.h). Device ids are the wave-input endpoints in
// the order they were created; WAVE_MAPPER picks the first one that is free.
//
// Contract:
// - Formats: 16-bit PCM (tag 1) or WAVE_FORMAT_EXTENSIBLE with the PCM
//   sub-format, 1..32 channels, 100..200000 Hz, block align = 2 x channels,
//   average bytes per second = block align x rate; else WAVERR_BADFORMAT.
// - An input endpoint has one user at a time (wave input or DirectSound
//   capture): a second open gets MMSYSERR_ALLOCATED.
// - Headers are filled strictly in queue order, whole frames only; a header
//   returns (WHDR_DONE, WIM_DATA) when no further frame fits. Frames that
//   arrive while no header is queued are lost. The source is read only while
//   the input is started, so a stop and a start continue the source's stream
//   without a gap.
// - Callback threads: WIM_OPEN runs inside waveInOpen, WIM_CLOSE inside
//   waveInClose, and WIM_DATA for headers returned by waveInReset/waveInStop
//   inside those calls, all on the caller's thread. WIM_DATA for headers that
//   filled up runs on the thread that pumps the endpoint: the endpoint's pump
//   thread on the real clock, the thread in AdvanceClock on the manual clock,
//   the caller of PumpInput/CaptureInput for an external driver. Callbacks of
//   one wave input never overlap and come in order. No layer lock is held
//   during a callback: it may prepare, add and unprepare headers, but must not
//   call waveInReset, waveInStop or waveInClose (MMSYSERR_HANDLEBUSY).
// - waveInClose fails with WAVERR_STILLPLAYING while a header is queued.
// - The header's data block belongs to the layer from waveInAddBuffer until
//   its WIM_DATA; the caller reads it after the callback (or after a message
//   the callback posted).
#include "hcyplat/sound_devices.h"
#include "hcyplat/timer.h"
#include "hcyplat/types.h"

namespace plat {

using HWAVEIN = std::uintptr_t;  // 0 is "none"; never reused
using HMIXER = std::uintptr_t;

constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;

constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

// Callback messages.
constexpr UINT WIM_OPEN = 0x3BE;
constexpr UINT WIM_CLOSE = 0x3BF;
constexpr UINT WIM_DATA = 0x3C0;

// waveInOpen flags.
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
constexpr DWORD WAVE_FORMAT_QUERY = 0x0001;

constexpr unsigned short WAVE_FORMAT_PCM = 1;
constexpr unsigned short WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// {00000001-0000-0010-8000-00AA00389B71}
constexpr GUID KSDATAFORMAT_SUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

#pragma pack(push, 1)
struct WAVEFORMATEX {
    unsigned short wFormatTag = 0;
    unsigned short nChannels = 0;
    DWORD nSamplesPerSec = 0;
    DWORD nAvgBytesPerSec = 0;
    unsigned short nBlockAlign = 0;
    unsigned short wBitsPerSample = 0;
    unsigned short cbSize = 0;  // bytes of format that follow (22 for extensible)
};
struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;
    unsigned short wValidBitsPerSample = 0;
    DWORD dwChannelMask = 0;
    GUID SubFormat{};
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);

constexpr DWORD WHDR_DONE = 0x01;
constexpr DWORD WHDR_PREPARED = 0x02;
constexpr DWORD WHDR_INQUEUE = 0x10;

struct WAVEHDR {
    char* lpData = nullptr;
    DWORD dwBufferLength = 0;   // [bytes]
    DWORD dwBytesRecorded = 0;  // [bytes], whole frames
    DWORD_PTR dwUser = 0;
    DWORD dwFlags = 0;
    DWORD dwLoops = 0;
    WAVEHDR* lpNext = nullptr;
    DWORD_PTR reserved = 0;
};

// hwi, message, instance, param1 (the WAVEHDR* for WIM_DATA), param2.
using LPWAVEINPROC = void (*)(HWAVEIN hwi, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                              DWORD_PTR param2);

// `callback` is an LPWAVEINPROC cast to DWORD_PTR when flags carry
// CALLBACK_FUNCTION. WAVE_FORMAT_QUERY only checks the device and format.
MMRESULT waveInOpen(HWAVEIN* hwi, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags);
MMRESULT waveInClose(HWAVEIN hwi);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* header, UINT size);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* header, UINT size);
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* header, UINT size);
MMRESULT waveInStart(HWAVEIN hwi);
// Stops recording; the partly filled head returns with its count, the
// empty headers stay queued.
MMRESULT waveInStop(HWAVEIN hwi);
// Stops recording and returns every queued header (the head with its partial
// count, the rest with 0) through WIM_DATA before it returns.
MMRESULT waveInReset(HWAVEIN hwi);

// The mixer of a wave-input device (flags MIXER_OBJECTF_WAVEIN): only a
// handle; its failures are injected through the endpoint's faults.
constexpr DWORD MIXER_OBJECTF_WAVEIN = 0x20000000;
MMRESULT mixerOpen(HMIXER* mixer, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT mixerClose(HMIXER mixer);

}  // namespace plat
