#include "hcyplat/sound_devices.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace plat {
namespace {

struct Endpoint {
    std::string description;
    GUID guid;
};

struct Registry {
    std::mutex mutex;
    std::vector<Endpoint> outputs;
    std::vector<Endpoint> captures;
    std::vector<Endpoint> waveIns;
};

Registry& registry() {
    static Registry r;
    return r;
}

std::vector<Endpoint>& list(Registry& r, EndpointKind kind) {
    switch (kind) {
    case EndpointKind::Output: return r.outputs;
    case EndpointKind::Capture: return r.captures;
    default: return r.waveIns;
    }
}

HRESULT enumerate(EndpointKind kind, LPDSENUMCALLBACK callback, void* context) {
    if (!callback) return E_FAIL;
    std::vector<Endpoint> copy;
    {
        std::lock_guard<std::mutex> lock(registry().mutex);
        copy = list(registry(), kind);
    }
    // The primary driver entry comes first and has no GUID.
    const char* primary = kind == EndpointKind::Output ? "Primary Sound Driver"
                                                        : "Primary Sound Capture Driver";
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
    std::lock_guard<std::mutex> lock(registry().mutex);
    return static_cast<UINT>(registry().waveIns.size());
}

MMRESULT waveInGetDevCaps(UINT deviceId, WAVEINCAPS* caps, UINT size) {
    if (!caps || size < sizeof(WAVEINCAPS)) return 11;  // MMSYSERR_INVALPARAM
    std::lock_guard<std::mutex> lock(registry().mutex);
    if (deviceId >= registry().waveIns.size()) return MMSYSERR_BADDEVICEID;
    *caps = WAVEINCAPS{};
    const std::string& name = registry().waveIns[deviceId].description;
    std::strncpy(caps->szPname, name.c_str(), MAXPNAMELEN - 1);
    caps->wChannels = 2;
    return MMSYSERR_NOERROR;
}

int RegisterSoundEndpoint(EndpointKind kind, const std::string& description, const GUID& guid) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    auto& l = list(registry(), kind);
    l.push_back({description, guid});
    return static_cast<int>(l.size() - 1);
}

void ClearSoundEndpoints() {
    std::lock_guard<std::mutex> lock(registry().mutex);
    registry().outputs.clear();
    registry().captures.clear();
    registry().waveIns.clear();
}

}  // namespace plat
