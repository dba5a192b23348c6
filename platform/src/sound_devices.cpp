// Enumeration of the virtual sound system's endpoints (hcyplat/virtual_sound.h).
#include "hcyplat/sound_devices.h"

#include <cstring>

#include "hcyplat/timer.h"
#include "hcyplat/virtual_sound.h"
#include "sound/vsnd_internal.h"

namespace plat {
namespace {

HRESULT enumerate(EndpointKind kind, LPDSENUMCALLBACK callback, void* context) {
    if (!callback) return E_FAIL;
    const auto copy = vsnd::detail::ListEndpoints(kind);
    // The primary driver entry comes first and has no GUID.
    const char* primary =
        kind == EndpointKind::Output ? "Primary Sound Driver" : "Primary Sound Capture Driver";
    if (!callback(nullptr, primary, "", context)) return S_OK;
    for (auto& e : copy) {
        GUID g = e.guid;
        if (!callback(&g, e.description.c_str(), "", context)) break;
    }
    return S_OK;
}

}  // namespace

HRESULT DirectSoundEnumerate(LPDSENUMCALLBACK callback, void* context) {
    return enumerate(EndpointKind::Output, callback, context);
}

HRESULT DirectSoundCaptureEnumerate(LPDSENUMCALLBACK callback, void* context) {
    return enumerate(EndpointKind::Capture, callback, context);
}

UINT waveInGetNumDevs() {
    return static_cast<UINT>(vsnd::detail::ListEndpoints(EndpointKind::WaveIn).size());
}

MMRESULT waveInGetDevCaps(UINT deviceId, WAVEINCAPS* caps, UINT size) {
    if (!caps || size < sizeof(WAVEINCAPS)) return MMSYSERR_INVALPARAM;
    const auto list = vsnd::detail::ListEndpoints(EndpointKind::WaveIn);
    if (deviceId >= list.size()) return MMSYSERR_BADDEVICEID;
    *caps = WAVEINCAPS{};
    std::strncpy(caps->szPname, list[deviceId].description.c_str(), MAXPNAMELEN - 1);
    caps->wChannels = 2;
    return MMSYSERR_NOERROR;
}

int RegisterSoundEndpoint(EndpointKind kind, const std::string& description, const GUID& guid) {
    if (kind == EndpointKind::Output) {
        vsnd::OutputEndpointConfig c;
        c.description = description;
        c.guid = &guid;
        return vsnd::CreateOutputEndpoint(c).index;
    }
    vsnd::InputEndpointConfig c;
    c.description = description;
    c.guid = &guid;
    c.listCapture = kind == EndpointKind::Capture;
    c.listWaveIn = kind == EndpointKind::WaveIn;
    const auto id = vsnd::CreateInputEndpoint(c);
    return kind == EndpointKind::Capture ? id.index : static_cast<int>(id.waveInId);
}

void ClearSoundEndpoints() { vsnd::RemoveAllEndpoints(); }

}  // namespace plat
