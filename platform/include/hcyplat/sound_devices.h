#pragma once
// The sound endpoints this machine offers, as the enumeration calls see
// them: output devices (DirectSoundEnumerate), capture devices
// (DirectSoundCaptureEnumerate) and wave-input devices (waveInGetNumDevs,
// waveInGetDevCaps). They are the virtual sound system's endpoints
// (hcyplat/virtual_sound.h); headless the lists are empty until a host or a
// test makes some.
#include <string>

#include "hcyplat/types.h"

namespace plat {

// Called once per endpoint; guid is null for the primary driver entry.
// Enumeration goes on while the callback returns non-zero.
using LPDSENUMCALLBACK = BOOL (*)(GUID* guid, const char* description, const char* module,
                                  void* context);

HRESULT DirectSoundEnumerate(LPDSENUMCALLBACK callback, void* context);
HRESULT DirectSoundCaptureEnumerate(LPDSENUMCALLBACK callback, void* context);

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr UINT MAXPNAMELEN = 32;

struct WAVEINCAPS {
    unsigned short wMid = 0;
    unsigned short wPid = 0;
    UINT vDriverVersion = 0;
    char szPname[MAXPNAMELEN] = {};  // at most 31 characters and a NUL
    DWORD dwFormats = 0;
    unsigned short wChannels = 0;
};

UINT waveInGetNumDevs();
MMRESULT waveInGetDevCaps(UINT deviceId, WAVEINCAPS* caps, UINT size);

enum class EndpointKind { Output, Capture, WaveIn };

// Makes a virtual endpoint (description, GUID) listed for one kind only: an
// output with a null sink, or an input fed by silence (a wave-input endpoint
// gets the next device id). Returns its index in its list.
int RegisterSoundEndpoint(EndpointKind kind, const std::string& description, const GUID& guid);
// Unlists every endpoint (vsnd::RemoveAllEndpoints).
void ClearSoundEndpoints();

}  // namespace plat
