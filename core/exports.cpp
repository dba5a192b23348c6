// The 120 exported functions. Each validates what the host passed, calls one
// member of the application object or one operation of the object a handle
// names, and maps failure to its result: no exception leaves the library,
// null host pointers and negative sizes are refused without writing.
#include <cmath>
#include <exception>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string>
#include <string_view>

#include "audio/audio_device.h"
#include "audio/audio_device_ds8.h"
#include "audio/device.h"
#include "audio/multi_device.h"
#include "audio/split_device.h"
#include "base/messages.h"
#include "core/app.h"
#include "halcyra/halcyra.h"
#include "hcyplat/dsound.h"
#include "hcyplat/virtual_sound.h"
#include "interphone/ics_model.h"
#include "media/data_device.h"
#include "media/mmi_rec_device.h"
#include "media/net_play_device.h"
#include "media/speech_device.h"
#include "net/net_mgr.h"
#include "radio/radio_model.h"

static_assert(sizeof(HCYGUID) == sizeof(plat::GUID));

namespace {

constexpr const char* kNotInitialized = "Tervale has not been initialized";
constexpr std::string_view kErrorPrefix = "HCY ERROR: ";

// The error boundary of every export: whatever the body throws becomes the
// last error and the export's failure value. (Thread bodies have theirs in
// plat::ThreadBoundary.)
template <class R, class F>
R ExportBoundary(R failure, F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        theApp.SetError("Out of memory.");
    } catch (const std::exception& e) {
        theApp.SetError(e.what());
    } catch (...) {
        theApp.SetError("Unexpected internal error.");
    }
    return failure;
}

template <class F>
void ExportBoundaryVoid(F&& body) noexcept {
    ExportBoundary(0, [&] {
        body();
        return 0;
    });
}

bool RequireInitialized() {
    if (theApp.IsInitialized()) return true;
    theApp.SetError(kNotInitialized);
    return false;
}

// Non-finite numbers from the host never reach a model.
bool Finite(const char* name, std::initializer_list<double> values) {
    for (double v : values) {
        if (!std::isfinite(v)) {
            theApp.SetErrorf("Non-finite value sent to %s.", name);
            return false;
        }
    }
    return true;
}

using Tables = std::shared_lock<hcy::WriterPreferringLock>;

// A radio setter: the radio with the handle, or the message and 0.
template <class F>
int WithRadio(int handle, const char* message, F&& call) {
    return ExportBoundary(0, [&] {
        auto radio = theApp.FindRadio(handle);
        if (!radio) {
            if (message) theApp.SetError(message);
            return 0;
        }
        return call(*radio);
    });
}

template <class F>
int WithDevice(int handle, const char* message, F&& call) {
    return ExportBoundary(0, [&] {
        auto device = theApp.FindDevice(handle);
        if (!device) {
            if (message) theApp.SetError(message);
            return 0;
        }
        return call(*device);
    });
}

std::shared_ptr<CNetMgr> RunningNetMgr() {
    auto netMgr = theApp.NetMgr();
    if (!netMgr || !theApp.IsInitialized()) {
        theApp.SetError(kNotInitialized);
        return nullptr;
    }
    return netMgr;
}

// A sound card opens as every device does: the handle first, then
// construct, SetHandle, output, input. A failing step has stored its message;
// the device is then dropped (its destructor shuts what it opened).
template <class Make, class F>
int OpenNewDevice(Make&& make, F&& open) {
    return ExportBoundary(-1, [&] {
        if (!RequireInitialized()) return -1;
        const CHalcyraApp::HandleTicket ticket = theApp.TakeTableHandle();
        if (ticket.session == 0) {
            theApp.SetError(kNotInitialized);
            return -1;
        }
        auto device = make();
        device->SetHandle(ticket.handle);
        plat::vsnd::SetOpenFailure({});
        if (!open(*device)) {
            // The sound system's own reason follows the message, when it gave one.
            const std::string reason = plat::vsnd::LastOpenFailure();
            const std::string text = theApp.LastError();
            if (!reason.empty() && text.starts_with(kErrorPrefix))
                theApp.SetErrorf("%s %s.", text.c_str() + kErrorPrefix.size(), reason.c_str());
            return -1;
        }
        return theApp.AddDevice(std::move(device), ticket.session);
    });
}

template <class Device, class F>
int OpenSoundCard(F&& open) {
    return OpenNewDevice([] { return std::make_shared<Device>(); }, std::forward<F>(open));
}

const plat::GUID* AsGuid(const HCYGUID* guid) { return reinterpret_cast<const plat::GUID*>(guid); }

// A host's DirectSound object and primary buffer arrive as the platform's
// opaque handles (hcyplatCreateDirectSound, hcyplatCreatePrimaryBuffer);
// the host stays their owner. Anything else is refused with a message,
// never read.
bool HostDirectSound(void* handle, const char* name, plat::LPDIRECTSOUND* out) {
    *out = plat::DirectSoundOfHostHandle(handle);
    if (*out) return true;
    theApp.SetErrorf("Invalid DirectSound object sent to %s.", name);
    return false;
}

// The same for a primary buffer; none given is none used.
bool HostPrimaryBuffer(void* handle, const char* name, plat::LPDIRECTSOUNDBUFFER* out) {
    out->reset();
    if (!handle) return true;
    *out = plat::SoundBufferOfHostHandle(handle);
    if (*out) return true;
    theApp.SetErrorf("Invalid primary buffer sent to %s.", name);
    return false;
}

}  // namespace

#define HCY_EXPORT extern "C" HCY_API

// ---------------------------------------------------------------------------
// Library

HCY_EXPORT int hcyInit(HCYHWND window, const char* destinationAddress) {
    return ExportBoundary(0, [&] { return theApp.Init(window, destinationAddress); });
}

HCY_EXPORT int hcyHLAInit(int tickMode, int fomType, const char* federation) {
    return ExportBoundary(0, [&] {
        return theApp.HLAInit(tickMode, static_cast<std::uint32_t>(fomType), federation, 1, nullptr,
                              10);
    });
}

HCY_EXPORT int hcyHLAInitEx(int tickMode, int fomType, const char* federation, int createFederation,
                            const char* fedFilePath, int maxJoinTries) {
    return ExportBoundary(0, [&] {
        return theApp.HLAInit(tickMode, static_cast<std::uint32_t>(fomType), federation,
                              static_cast<std::uint32_t>(createFederation), fedFilePath,
                              static_cast<std::uint32_t>(maxJoinTries));
    });
}

HCY_EXPORT int hcyExit(void) {
    ExportBoundary(0, [] { return theApp.Exit(); });
    return 1;
}

HCY_EXPORT const char* hcyGetHCYVersion(uint32_t* version) {
    static const char empty[] = "";
    return ExportBoundary<const char*>(empty, [&] { return theApp.GetLibraryVersion(version); });
}

HCY_EXPORT const char* hcyGetHCYCopyright(void) {
    static const char empty[] = "";
    return ExportBoundary<const char*>(empty, [] { return theApp.GetLibraryCopyright(); });
}

HCY_EXPORT const char* hcyGetLastError(void) {
    static const char empty[] = "";
    return ExportBoundary<const char*>(empty, [] { return theApp.GetLastErrorText(); });
}

HCY_EXPORT int hcySetHeartbeat(float seconds) {
    return ExportBoundary(0, [&] { return theApp.SetHeartbeat(seconds); });
}

HCY_EXPORT void hcySetRecvTimeout(float seconds) {
    ExportBoundaryVoid([&] { theApp.SetRecvTimeout(seconds); });
}

HCY_EXPORT int hcySetHLAHeartbeat(int flag) {
    hcy::Library().m_bHlaHeartbeat = flag != 0;
    return 1;
}

HCY_EXPORT int hcySetDefaultNetwork(uint32_t networkFlags) {
    hcy::Library().m_nDefaultNetwork = networkFlags;
    return 1;
}

HCY_EXPORT int hcyEnablePDUs(int flags) {
    hcy::Library().m_nEnablePDUs = static_cast<std::uint32_t>(flags) & 1u;
    return 1;
}

HCY_EXPORT int hcySetProtocolVersion(uint32_t version) {
    hcy::Library().m_nProtocolVersion = version;
    return 1;
}

HCY_EXPORT int hcySetMsgWnd(int handle, HCYHWND window) {
    return ExportBoundary(0, [&] { return theApp.SetMsgWnd(handle, window); });
}

// ---------------------------------------------------------------------------
// Network and identifiers

namespace {

// A UDP port past 65535 would close the socket and open nothing: it is
// refused here, and the socket stays as it is.
int SetPort(plat::UINT message, std::uint32_t port, const char* name) {
    return ExportBoundary(0, [&] {
        auto netMgr = RunningNetMgr();
        if (!netMgr) return 0;
        if (port > 0xFFFF) {
            theApp.SetErrorf("Invalid port %u sent to %s.", port, name);
            return 0;
        }
        netMgr->Post(message, port, 0);
        return 1;
    });
}

}  // namespace

HCY_EXPORT int hcySetNetworkPort(uint32_t port) {
    return SetPort(hcy::WM_NETMGR_SET_PRIMARY_PORT, port, "SetNetworkPort");
}

HCY_EXPORT int hcySetSecondaryPort(uint32_t port) {
    return SetPort(hcy::WM_NETMGR_SET_SECONDARY_PORT, port, "SetSecondaryPort");
}

HCY_EXPORT int hcySetMulticastTTL(int networkMask, int timeToLive) {
    return ExportBoundary(0, [&] {
        auto netMgr = RunningNetMgr();
        if (!netMgr) return 0;
        for (plat::WPARAM network : {1u, 2u})
            if (networkMask & static_cast<int>(network))
                netMgr->Post(hcy::WM_NETMGR_SET_MULTICAST_TTL, network, timeToLive);
        return 1;
    });
}

HCY_EXPORT int hcySetSubNet(int networkMask, const char* address) {
    return ExportBoundary(0, [&] {
        auto netMgr = RunningNetMgr();
        if (!netMgr) return 0;
        // The text travels as an owned copy; an empty text clears the
        // network's own destination.
        for (plat::WPARAM network : {1u, 2u})
            if (networkMask & static_cast<int>(network))
                netMgr->Post(hcy::WM_NETMGR_SET_BROADCAST_ADDRESS, network, 0,
                             plat::MakePayload<std::string>(address ? address : ""));
        return 1;
    });
}

HCY_EXPORT int hcySetNetwork(int handle, uint32_t networkFlags) {
    return ExportBoundary(0, [&] {
        if (auto radio = theApp.FindRadio(handle)) return radio->SetNetworkMode(networkFlags);
        if (auto interphone = theApp.FindIntercom(handle))
            return interphone->SetNetwork(networkFlags);
        theApp.SetError("Invalid handle sent to SetNetwork.");
        return 0;
    });
}

HCY_EXPORT int hcySetExerciseID(int handle, uint32_t exerciseId) {
    return ExportBoundary(0, [&] {
        if (auto radio = theApp.FindRadio(handle)) {
            radio->SetExerciseId(exerciseId);
            return 1;
        }
        if (auto interphone = theApp.FindIntercom(handle)) {
            interphone->SetExerciseID(exerciseId);
            return 1;
        }
        theApp.SetError("Invalid handle sent to SetExerciseID.");
        return 0;
    });
}

HCY_EXPORT int hcySetEntityID(int radioHandle, uint16_t site, uint16_t application, uint16_t entity,
                              uint16_t radioNumber) {
    return WithRadio(radioHandle, "Invalid radio handle sent to SetEntityID.", [&](CRadioModel& r) {
        const hcy::net::EntityId id = theApp.DefaultEntityIdFields({site, application, entity});
        const auto number =
            radioNumber != 0 ? radioNumber : static_cast<std::uint16_t>(r.GetUserId());
        return r.SetRadioId(id.site, id.application, id.entity, number);
    });
}

// ---------------------------------------------------------------------------
// Device lists

namespace {

template <class F>
int ListDevices(int nameSize, const void* name, const void* out, F&& next) {
    return ExportBoundary(0, [&] {
        if (!name || !out || nameSize < 0) {
            theApp.SetError("Invalid buffer sent to a device list.");
            return 0;
        }
        return next();
    });
}

}  // namespace

HCY_EXPORT int hcyGetOutputDevices(int first, char* name, int nameSize, HCYGUID* guid) {
    return ListDevices(nameSize, name, guid, [&] {
        return theApp.GetOutputDevices(first, name, nameSize, reinterpret_cast<plat::GUID*>(guid));
    });
}

HCY_EXPORT int hcyGetCaptureDevices(int first, char* name, int nameSize, HCYGUID* guid) {
    return ListDevices(nameSize, name, guid, [&] {
        return theApp.GetCaptureDevices(first, name, nameSize, reinterpret_cast<plat::GUID*>(guid));
    });
}

HCY_EXPORT int hcyGetInputDevices(int first, char* name, int nameSize, uint32_t* waveInId) {
    return ListDevices(nameSize, name, waveInId,
                       [&] { return theApp.GetInputDevices(first, name, nameSize, waveInId); });
}

// ---------------------------------------------------------------------------
// Opening and closing devices

HCY_EXPORT int hcyOpenAudioDevice(uint32_t waveInId, const HCYGUID* output, void* directSound) {
    return OpenSoundCard<CAudioDevice>([&](CAudioDevice& d) {
        plat::LPDIRECTSOUND ds;
        if (directSound && !HostDirectSound(directSound, "OpenAudioDevice", &ds)) return false;
        const int opened =
            directSound ? d.UseDirectSound(ds) : d.CreateDirectSoundOutput(AsGuid(output));
        return opened && d.OpenInput(waveInId);
    });
}
HCY_EXPORT int hcyOpenAudioDeviceEx(uint32_t waveInId, const HCYGUID* output, void* directSound,
                                    void* primaryBuffer) {
    return OpenSoundCard<CAudioDevice>([&](CAudioDevice& d) {
        if (directSound) {
            plat::LPDIRECTSOUND ds;
            plat::LPDIRECTSOUNDBUFFER primary;
            if (!HostDirectSound(directSound, "OpenAudioDeviceEx", &ds) ||
                !HostPrimaryBuffer(primaryBuffer, "OpenAudioDeviceEx", &primary))
                return false;
            d.UseDirectSoundEx(ds, primary);
        } else if (!d.CreateDirectSoundOutput(AsGuid(output))) {
            theApp.SetError("Error creating DirectSound object.");
            return false;
        }
        return d.OpenInput(waveInId) != 0;
    });
}
HCY_EXPORT int hcyOpenAudioDeviceSimple(uint32_t waveInId, const HCYGUID* output) {
    return hcyOpenAudioDeviceEx(waveInId, output, nullptr, nullptr);
}
HCY_EXPORT int hcyOpenAudioDeviceDefault(void) {
    return hcyOpenAudioDeviceEx(plat::WAVE_MAPPER, nullptr, nullptr, nullptr);
}
HCY_EXPORT int hcyOpenAudioDeviceSR(uint32_t waveInId, uint32_t inputRate, const HCYGUID* output,
                                    uint32_t outputRate) {
    return OpenSoundCard<CAudioDevice>([&](CAudioDevice& d) {
        if (!d.OpenOutputWithRate(AsGuid(output), outputRate)) {
            theApp.SetError("Error creating DirectSound object.");
            return false;
        }
        return d.OpenInputWithRate(waveInId, inputRate) != 0;
    });
}
HCY_EXPORT int hcyOpenAudioDeviceDS(const HCYGUID* capture, const HCYGUID* output) {
    return OpenSoundCard<CAudioDeviceDS8>([&](CAudioDeviceDS8& d) {
        return d.CreateDirectSoundOutput(AsGuid(output)) && d.OpenCapture(AsGuid(capture));
    });
}
HCY_EXPORT int hcyOpenSplitDevice(uint32_t waveInId, const HCYGUID* output, void* directSound,
                                  void* primaryBuffer) {
    return OpenSoundCard<CSplitDevice>([&](CSplitDevice& d) {
        plat::LPDIRECTSOUND ds;
        plat::LPDIRECTSOUNDBUFFER primary;
        if (directSound && (!HostDirectSound(directSound, "OpenSplitDevice", &ds) ||
                            !HostPrimaryBuffer(primaryBuffer, "OpenSplitDevice", &primary)))
            return false;
        const int opened = directSound ? d.UseDirectSoundEx(ds, primary)
                                       : d.CreateDirectSoundOutput(AsGuid(output));
        return opened && d.OpenInput(waveInId);
    });
}
HCY_EXPORT int hcyOpenSplitDeviceSimple(uint32_t waveInId, const HCYGUID* output) {
    return hcyOpenSplitDevice(waveInId, output, nullptr, nullptr);
}
HCY_EXPORT int hcyOpenSplitDeviceDefault(void) {
    return hcyOpenSplitDevice(plat::WAVE_MAPPER, nullptr, nullptr, nullptr);
}
HCY_EXPORT int hcyOpenSplitDeviceSR(uint32_t waveInId, uint32_t inputRate, const HCYGUID* output,
                                    uint32_t outputRate) {
    return OpenSoundCard<CSplitDevice>([&](CSplitDevice& d) {
        return d.OpenOutputWithRate(AsGuid(output), outputRate) &&
               d.OpenInputWithRate(waveInId, inputRate);
    });
}
HCY_EXPORT int hcyOpenSplitDeviceDS(const HCYGUID* capture, const HCYGUID* output) {
    return OpenSoundCard<CSplitDeviceDS8>([&](CSplitDeviceDS8& d) {
        return d.CreateDirectSoundOutput(AsGuid(output)) && d.OpenCapture(AsGuid(capture));
    });
}
// The input and output arguments are the channel counts (1 to 32).
HCY_EXPORT int hcyOpenMultiDevice(uint32_t waveInId, const HCYGUID* output, int inputArgument,
                                  int outputArgument) {
    return OpenSoundCard<CMultiDevice>([&](CMultiDevice& d) {
        d.SetChannelMask(hcy::Library().m_nMultiDeviceChannelMask.load());
        return d.OpenOutput(AsGuid(output), outputArgument) &&
               d.OpenInput(waveInId, inputArgument, hcy::Library().m_nDefaultSampleRate.load());
    });
}
HCY_EXPORT int hcyOpenMultiDeviceDefault(int inputArgument, int outputArgument) {
    return hcyOpenMultiDevice(plat::WAVE_MAPPER, nullptr, inputArgument, outputArgument);
}
HCY_EXPORT int hcyOpenMultiDeviceDS(int, int) { return -1; }
HCY_EXPORT int hcyOpenRecordDevice(uint32_t waveInId) {
    return OpenSoundCard<CMmiRecDevice>([&](CMmiRecDevice& d) {
        if (d.Open(waveInId)) return true;
        theApp.SetErrorf("OpenRecordDevice could not open input device ID %d.",
                         static_cast<int>(waveInId));
        return false;
    });
}
HCY_EXPORT int hcyOpenRecordDeviceEx(uint32_t waveInId, int codec, void* formatSource) {
    return OpenSoundCard<CMmiRecDevice>([&](CMmiRecDevice& d) {
        plat::LPDIRECTSOUNDBUFFER source;
        if (!HostPrimaryBuffer(formatSource, "OpenRecordDeviceEx", &source)) return false;
        return d.OpenWithCodec(waveInId, codec, source) != 0;
    });
}
// A playback device has no hardware to open: it joins the table at once.
HCY_EXPORT int hcyOpenPlaybackDevice(void) {
    return ExportBoundary(-1, [&] {
        if (!RequireInitialized()) return -1;
        const int handle = theApp.TakeHandle();
        auto device = std::make_shared<CNetPlayDevice>();
        device->SetHandle(handle);
        return theApp.AddDevice(std::move(device));
    });
}
// Data devices open as sound cards do; their worker is what they start.
// Type 500 is the speech device (of device type 0).
HCY_EXPORT int hcyOpenDataDevice(int type, DataDeviceAudioProc audio, DataDeviceNotifyProc notify) {
    auto make = [&]() -> std::shared_ptr<CDataDevice> {
        if (type == DATADEV_TYPE_SPEECH) return std::make_shared<CSapiDevice>(0, audio, notify);
        return std::make_shared<CDataDevice>(type, audio, notify);
    };
    return OpenNewDevice(make, [](CDataDevice& d) { return d.Start() != 0; });
}
HCY_EXPORT int hcyOpenDataDeviceSimple(int type) {
    return hcyOpenDataDevice(type, nullptr, nullptr);
}

// A close of any kind reaches the device's own Close after every radio and
// interphone has let go of it; the radios' receive paths to it are removed.
HCY_EXPORT int hcyCloseAudioDevice(int device) {
    return ExportBoundary(0, [&] { return theApp.CloseDevice(device); });
}
HCY_EXPORT int hcyCloseSplitDevice(int device) {
    return ExportBoundary(0, [&] { return theApp.CloseDevice(device); });
}
HCY_EXPORT int hcyCloseMultiDevice(int device) {
    return ExportBoundary(0, [&] { return theApp.CloseDevice(device); });
}
HCY_EXPORT int hcyCloseDataDevice(int device) {
    return ExportBoundary(0, [&] { return theApp.CloseDevice(device); });
}
HCY_EXPORT int hcyCloseRecordDevice(int device) {
    return ExportBoundary(0, [&] { return theApp.CloseDevice(device); });
}
HCY_EXPORT int hcyClosePlaybackDevice(int device) {
    return ExportBoundary(0, [&] { return theApp.CloseDevice(device); });
}

// ---------------------------------------------------------------------------
// Device settings, keying, data and WAV files

HCY_EXPORT int hcySetCaptureSize(int device, uint32_t bytes) {
    return ExportBoundary(0, [&] {
        if (device < 0) return hcy::Library().SetCaptureSize(bytes) ? 1 : 0;
        if (!hcy::Library().CaptureSizeInRange(bytes)) return 0;
        if (!RequireInitialized()) return 0;
        return WithDevice(device, "Invalid device handle sent to SetCaptureSize.", [&](CDevice& d) {
            d.SetCaptureSize(bytes);
            return 1;
        });
    });
}

HCY_EXPORT int hcySetDefaultSampleRate(uint32_t samplesPerSecond) {
    return hcy::Library().SetDefaultSampleRate(samplesPerSecond) ? 1 : 0;
}

HCY_EXPORT int hcySetMultiDeviceChannelMask(uint32_t channelMask) {
    hcy::Library().m_nMultiDeviceChannelMask = channelMask;
    return 1;
}

HCY_EXPORT int hcySetSidetoneVolume(int device, float volume) {
    return WithDevice(device, nullptr, [&](CDevice& d) {
        if (!Finite("SetSidetoneVolume", {volume})) return 0;
        d.SetSidetoneVolume(volume);
        return 1;
    });
}

HCY_EXPORT int hcySetVoxEnable(int device, int on) {
    return WithDevice(device, "SetVoxEnable error. Invalid device handle.\n", [&](CDevice& d) {
        d.SetVoxEnable(on);
        return 1;
    });
}

HCY_EXPORT int hcySetVoxLevel(int device, float level) {
    return WithDevice(device, "SetVoxLevel error. Invalid device handle.\n", [&](CDevice& d) {
        if (!Finite("SetVoxLevel", {level})) return 0;
        d.SetVoxLevel(level);
        return 1;
    });
}

HCY_EXPORT int hcySetSplitVoxEnable(int device, int leftOn, int rightOn) {
    return WithDevice(device, "SetSplitVoxEnable error. Invalid device handle.\n", [&](CDevice& d) {
        d.SetChannelVoxEnable(leftOn, rightOn);
        return 1;
    });
}

HCY_EXPORT int hcySetSplitVoxLevel(int device, float leftLevel, float rightLevel) {
    return WithDevice(device, "SetSplitVoxLevel error. Invalid device handle.\n", [&](CDevice& d) {
        if (!Finite("SetSplitVoxLevel", {leftLevel, rightLevel})) return 0;
        d.SetSplitVoxLevel(leftLevel, rightLevel);
        return 1;
    });
}

HCY_EXPORT int hcySetSplitVoxOffDelay(int device, int leftDelay, int rightDelay) {
    return WithDevice(device, "SetSplitVoxOffDelay error. Invalid device handle.\n",
                      [&](CDevice& d) {
                          d.SetChannelVoxOffDelay(leftDelay, rightDelay);
                          return 1;
                      });
}

HCY_EXPORT int hcySetMultiVoxEnable(int device, int channel, int on) {
    return WithDevice(device, "SetMultiVoxEnable error. Invalid device handle.\n", [&](CDevice& d) {
        d.SetChannelVoxEnable(on, channel);
        return 1;
    });
}

HCY_EXPORT int hcySetMutliVoxLevel(int device, int channel, float level) {
    return WithDevice(device, "SetMultiVoxLevel error. Invalid device handle.\n", [&](CDevice& d) {
        if (!Finite("SetMultiVoxLevel", {level})) return 0;
        d.SetChannelVoxLevel(level, channel);
        return 1;
    });
}

HCY_EXPORT int hcySetMultiVoxOffDelay(int device, int channel, int delay) {
    return WithDevice(device, "SetMultiVoxOffDelay error. Invalid device handle.\n",
                      [&](CDevice& d) {
                          d.SetChannelVoxOffDelay(delay, channel);
                          return 1;
                      });
}

HCY_EXPORT int hcySetDeviceData(int device, int code, intptr_t value) {
    return WithDevice(device, nullptr, [&](CDevice& d) {
        return d.SetDeviceData(code, reinterpret_cast<void*>(value));
    });
}

HCY_EXPORT int hcyGetDeviceData(int device, int code, intptr_t out) {
    return WithDevice(device, "Invalid radio handle in call to GetDeviceData.", [&](CDevice& d) {
        return d.GetDeviceData(code, reinterpret_cast<void*>(out));
    });
}

HCY_EXPORT int hcyPostDataDevice(int device, intptr_t data, int byteCount) {
    return WithDevice(device, nullptr, [&](CDevice& d) {
        if (d.GetKind() != CDevice::Kind::Data || data == 0 || byteCount <= 0) return 0;
        return d.PostData(reinterpret_cast<void*>(data), byteCount);
    });
}

HCY_EXPORT int hcyPlayWavFile(int device, const char* path, float volume, int channel, int loop) {
    return ExportBoundary(0, [&] {
        if (!RequireInitialized()) return 0;
        return WithDevice(device, "Invalid audio device handle sent to PlayWavFile.",
                          [&](CDevice& d) {
                              if (!path) {
                                  theApp.SetError("No WAV file name sent to PlayWavFile.");
                                  return 0;
                              }
                              if (!Finite("PlayWavFile", {volume})) return 0;
                              return d.PlayWavFile(path, volume, channel, loop);
                          });
    });
}

HCY_EXPORT int hcyStopWavFile(int device, int player) {
    return ExportBoundary(0, [&] {
        if (!RequireInitialized()) return 0;
        return WithDevice(device, "Invalid audio device handle sent to StopWavFile.",
                          [&](CDevice& d) {
                              d.StopWavFile(player);
                              return 1;
                          });
    });
}

// ---------------------------------------------------------------------------
// Recording and playback devices

HCY_EXPORT int hcyStartRecord(int device, intptr_t path, int append) {
    return WithDevice(device, "Invalid record/playback device.", [&](CDevice& d) {
        // The path is the host's until the call returns: copied before use.
        if (path == 0) return d.StartRecord(nullptr, append);
        const std::string file = reinterpret_cast<const char*>(path);
        return d.StartRecord(file.c_str(), append);
    });
}

HCY_EXPORT int hcySetRecordMode(int device, int mode) {
    return WithDevice(device, "Invalid record device.", [&](CDevice& d) {
        d.SetRecordMode(mode);
        return 1;
    });
}

HCY_EXPORT int hcyGetCurrentRecPosn(int device) {
    return WithDevice(device, "hcyGetCurrentRecPosn error; invalid record device.",
                      [&](CDevice& d) { return d.GetCurrentPosn(); });
}

HCY_EXPORT int hcyStopRecord(int device) {
    return WithDevice(device, "Invalid record device.", [&](CDevice& d) { return d.StopRecord(); });
}

HCY_EXPORT int hcySetPlaybackChan(int device, int channel) {
    return WithDevice(device, "Invalid record device.", [&](CDevice& d) {
        d.SetPlaybackChan(channel);
        return 1;
    });
}

HCY_EXPORT int hcyStartPlayback(int device, intptr_t path, int startSeconds) {
    return WithDevice(device, "Invalid record/playback device.", [&](CDevice& d) {
        // The path is the host's until the call returns: copied before use.
        if (path == 0) return 0;
        const std::string file = reinterpret_cast<const char*>(path);
        return d.StartPlayback(file.c_str(), startSeconds);
    });
}

HCY_EXPORT int hcySetNewPlayPosn(int device, int position) {
    return WithDevice(device, "SetNewPlayPos - Invalid playback device.", [&](CDevice& d) {
        d.SetNewPlayPosn(position);
        return 1;
    });
}

HCY_EXPORT int hcyGetCurrentPlayPosn(int device) {
    return WithDevice(device, nullptr, [&](CDevice& d) { return d.GetCurrentPosn(); });
}

HCY_EXPORT int hcyStopPlayback(int device) {
    return WithDevice(device, "Invalid record/playback device.",
                      [&](CDevice& d) { return d.StopPlayback(); });
}

// ---------------------------------------------------------------------------
// Radios and interphones

HCY_EXPORT int hcyCreateComRadio(uint16_t model, uint16_t site, uint16_t application,
                                 uint16_t entity, uint16_t radioNumber) {
    return ExportBoundary(-1, [&] {
        if (!RequireInitialized()) return -1;
        return theApp.CreateRadio(model, {site, application, entity}, radioNumber);
    });
}

HCY_EXPORT int hcyDestroyComRadio(int radio) {
    return ExportBoundary(0, [&] { return theApp.DestroyComRadio(radio); });
}

HCY_EXPORT int hcyCreateInterphone(int station, uint16_t site, uint16_t application,
                                   uint16_t entity, int) {
    return ExportBoundary(-1, [&] {
        if (!RequireInitialized()) return -1;
        return theApp.CreateInterphone(station, {site, application, entity});
    });
}

HCY_EXPORT int hcyDestroyInterphone(int interphone) {
    return ExportBoundary(0, [&] { return theApp.DestroyInterphone(interphone); });
}

namespace {
template <class F>
int WithInterphone(int handle, F&& call) {
    return ExportBoundary(0, [&] {
        auto interphone = theApp.FindIntercom(handle);
        if (!interphone) return 0;
        call(*interphone);
        return 1;
    });
}
}  // namespace

HCY_EXPORT int hcyInterphoneDial(int interphone, int station) {
    return WithInterphone(interphone,
                          [&](CICSModel& i) { i.Dial(static_cast<std::uint16_t>(station)); });
}

HCY_EXPORT int hcyInterphoneSetHook(int interphone, int hookState) {
    return WithInterphone(interphone,
                          [&](CICSModel& i) { i.SetHook(static_cast<std::uint32_t>(hookState)); });
}

HCY_EXPORT int hcyInterphoneSetStationID(int interphone, int station) {
    return WithInterphone(
        interphone, [&](CICSModel& i) { i.SetStationID(static_cast<std::uint16_t>(station)); });
}

// ---------------------------------------------------------------------------
// Radio parameters

HCY_EXPORT int hcySetRadioFrequency(int radio, double receiveHz, double transmitHz) {
    return WithRadio(radio, nullptr, [&](CRadioModel& r) {
        if (!Finite("SetRadioFrequency", {receiveHz, transmitHz})) return 0;
        r.SetFrequency(receiveHz, transmitHz);
        return 1;
    });
}

HCY_EXPORT int hcySetRadioNet(int radio, int net) {
    return WithRadio(radio, nullptr, [&](CRadioModel& r) {
        r.SetNet(static_cast<std::uint16_t>(net));
        return 1;
    });
}

HCY_EXPORT int hcySetMasterVolume(int handle, float volume) {
    return ExportBoundary(0, [&] {
        if (auto radio = theApp.FindRadio(handle)) {
            if (!Finite("SetMasterVolume", {volume})) return 0;
            return radio->SetMasterVolume(volume);
        }
        if (auto interphone = theApp.FindIntercom(handle)) {
            if (!Finite("SetMasterVolume", {volume})) return 0;
            return interphone->SetMasterVolume(volume);
        }
        return 0;
    });
}

HCY_EXPORT int hcySetSquelchLevel(int radio, float level) {
    return WithRadio(radio, "SetSquelchLevel error. Invalid radio handle.\n", [&](CRadioModel& r) {
        if (!Finite("SetSquelchLevel", {level})) return 0;
        return r.SetSquelchLevel(level);
    });
}

HCY_EXPORT int hcySetEncoding(int handle, int encoding) {
    return ExportBoundary(0, [&] {
        if (auto radio = theApp.FindRadio(handle)) return radio->SetEncoding(encoding);
        if (auto interphone = theApp.FindIntercom(handle)) return interphone->SetEncoding(encoding);
        theApp.SetError("SetEncoding error. Invalid radio handle.\n");
        return 0;
    });
}

HCY_EXPORT int hcySetAntWorldPosn(int radio, double latitude, double longitude, double altitude) {
    return WithRadio(radio, "Invalid radio handle sent to SetAntWorldPosn.", [&](CRadioModel& r) {
        if (!Finite("SetAntWorldPosn", {latitude, longitude, altitude})) return 0;
        return r.SetWorldPosition(latitude, longitude, altitude);
    });
}

HCY_EXPORT int hcySetAntXYZPosn(int radio, double x, double y, double z) {
    return WithRadio(radio, "Invalid radio handle sent to SetAntXYZPosn.", [&](CRadioModel& r) {
        if (!Finite("SetAntXYZPosn", {x, y, z})) return 0;
        return r.SetXYZPosition(x, y, z);
    });
}

HCY_EXPORT int hcySetAntRelPosn(int radio, float x, float y, float z) {
    return WithRadio(radio, "Invalid radio handle sent to SetAntRelPosn.", [&](CRadioModel& r) {
        if (!Finite("SetAntRelPosn", {x, y, z})) return 0;
        return r.SetRelPosition(x, y, z);
    });
}

HCY_EXPORT int hcySetRadioNoiseLevel(int radio, double noiseLevel) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioNoiseLevel.",
                     [&](CRadioModel& r) {
                         if (!Finite("SetRadioNoiseLevel", {noiseLevel})) return 0;
                         return r.SetNoiseLevel(noiseLevel);
                     });
}

HCY_EXPORT int hcySetRadioXmitPower(int radio, double power) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioXmitPower.", [&](CRadioModel& r) {
        if (!Finite("SetRadioXmitPower", {power})) return 0;
        return r.SetXmitPower(power);
    });
}

HCY_EXPORT int hcySetRadioRecvGain(int radio, double gain) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioRecvGain.", [&](CRadioModel& r) {
        if (!Finite("SetRadioRecvGain", {gain})) return 0;
        return r.SetRecvGain(gain);
    });
}

HCY_EXPORT int hcySetRadioCryptoSystem(int radio, int system) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioCryptoSystem.",
                     [&](CRadioModel& r) { return r.SetCryptoSystem(system); });
}

HCY_EXPORT int hcySetRadioCryptoKey(int radio, int key) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioCryptoKey.",
                     [&](CRadioModel& r) { return r.SetCryptoKey(key); });
}

HCY_EXPORT int hcySetRadioSpreadSpectrum(int radio, int spreadSpectrum) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioSpreadSpectrum.",
                     [&](CRadioModel& r) { return r.SetSpreadSpectrum(spreadSpectrum); });
}

HCY_EXPORT int hcySetRadioFreqHopKey(int radio, int key) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioFreqHopKey.",
                     [&](CRadioModel& r) { return r.SetFreqHopKey(key); });
}

HCY_EXPORT int hcySetRadioModulation(int radio, int major, int detail) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioModulation.",
                     [&](CRadioModel& r) {
                         return r.SetModulation(static_cast<std::uint16_t>(major),
                                                static_cast<std::uint16_t>(detail));
                     });
}

HCY_EXPORT int hcySetRadioBandwidth(int radio, float bandwidth) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioBandwidth.", [&](CRadioModel& r) {
        if (!Finite("SetRadioBandwidth", {bandwidth})) return 0;
        return r.SetBandwidth(bandwidth);
    });
}

HCY_EXPORT int hcySetRadioSystem(int radio, int system) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioSystem.", [&](CRadioModel& r) {
        return r.SetSystem(static_cast<std::uint16_t>(system));
    });
}

HCY_EXPORT int hcySetRadioOnOff(int radio, int on) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioOnOff.",
                     [&](CRadioModel& r) { return r.SetOnOff(on); });
}

HCY_EXPORT int hcySetRadioTransmitDelay(int radio, int delayMs) {
    return WithRadio(
        radio, "Invalid radio handle sent to SetRadioTransmitDelay.",
        [&](CRadioModel& r) { return r.SetTransmitDelay(static_cast<std::uint32_t>(delayMs)); });
}

HCY_EXPORT int hcySetRadioSignalAtten(int radio, int site, int application, int entity,
                                      float attenuation) {
    return WithRadio(radio, "Invalid radio handle sent to SetRadioSignalAtten.",
                     [&](CRadioModel& r) {
                         if (!Finite("SetRadioSignalAtten", {attenuation})) return 0;
                         return r.SetSignalAtten(static_cast<std::uint16_t>(site),
                                                 static_cast<std::uint16_t>(application),
                                                 static_cast<std::uint16_t>(entity), attenuation);
                     });
}

HCY_EXPORT int hcySetSNR(int radio, int a, int b, int c, int d, float value) {
    return WithRadio(radio, "Invalid radio handle sent to SetSNR.", [&](CRadioModel& r) {
        if (!Finite("SetSNR", {value})) return 0;
        return r.SetSNR(a, b, c, d, value);
    });
}

HCY_EXPORT int hcySetEntityAttach(int radio, int on) {
    return WithRadio(radio, "Invalid radio handle sent to SetEntityAttach.", [&](CRadioModel& r) {
        r.SetEntityAttach(static_cast<std::uint32_t>(on));
        return 1;
    });
}

HCY_EXPORT int hcySetDoPropLossModel(int radio, int on) {
    return WithRadio(
        radio, "Invalid radio handle sent to SetDoPropLossModel.",
        [&](CRadioModel& r) { return r.SetDoPropLossModel(static_cast<std::uint32_t>(on)); });
}

HCY_EXPORT int hcySetDoRoundEarthModel(int radio, int on) {
    return WithRadio(
        radio, "Invalid radio handle sent to SetDoRoundEarthModel.",
        [&](CRadioModel& r) { return r.SetDoRoundEarthModel(static_cast<std::uint32_t>(on)); });
}

HCY_EXPORT int hcySetDoTerrainModel(int radio, int on) {
    return WithRadio(radio, "Invalid radio handle sent to SetDoTerrainModel.", [&](CRadioModel& r) {
        return r.SetDoTerrainModel(static_cast<std::uint32_t>(on));
    });
}

HCY_EXPORT int hcySetDoTunerModel(int radio, int on) {
    return WithRadio(radio, "Invalid radio handle sent to SetDoTunerModel.", [&](CRadioModel& r) {
        return r.SetDoTunerModel(static_cast<std::uint32_t>(on));
    });
}

HCY_EXPORT int hcySetDoSquelchModel(int radio, int on) {
    return WithRadio(radio, "Invalid radio handle sent to SetDoSquelchModel.", [&](CRadioModel& r) {
        return r.SetDoSquelchModel(static_cast<std::uint32_t>(on));
    });
}

HCY_EXPORT int hcySetRadioSharingMode(int radio, int mode) {
    return WithRadio(
        radio, "Invalid radio handle in call to SetRadioSharingMode.",
        [&](CRadioModel& r) { return r.SetSharingMode(static_cast<std::uint32_t>(mode)); });
}

HCY_EXPORT int hcySetRadioData(int handle, int id, intptr_t value) {
    return ExportBoundary(
        0, [&] { return theApp.SetRadioData(handle, id, reinterpret_cast<void*>(value)); });
}

HCY_EXPORT int hcyGetRadioData(int handle, int id, void* out) {
    return ExportBoundary(0, [&] {
        if (!out) {
            theApp.SetError("Null pointer sent to GetRadioData.");
            return 0;
        }
        return theApp.GetRadioData(handle, id, out);
    });
}

HCY_EXPORT int hcyShowRadioData(int radio) {
    return ExportBoundary(0, [&] {
        if (!RequireInitialized()) return 0;
        return WithRadio(radio, "Invalid radio handle in call to ShowRadioData.",
                         [&](CRadioModel& r) { return r.ShowRadioData(); });
    });
}

// ---------------------------------------------------------------------------
// Wiring. The tables stay read-locked from the lookups to the end of the
// operation, so that neither the radio nor the device can be destroyed or
// closed in between (a device's lists never keep a radio that is gone).

namespace {

struct Wiring {
    Tables tables{theApp.TablesLock()};
    std::shared_ptr<CRadioModel> radio;
    std::shared_ptr<CICSModel> interphone;
    std::shared_ptr<CDevice> device;
};

// The checks shared by the wiring exports, in their order.
bool FindWiring(Wiring& w, int handle, int device, const char* name) {
    if (!RequireInitialized()) return false;
    w.radio = theApp.FindRadioLocked(handle);
    if (!w.radio) w.interphone = theApp.FindIntercomLocked(handle);
    if (!w.radio && !w.interphone) {
        theApp.SetErrorf("A radio must be created before calling %s.", name);
        return false;
    }
    w.device = theApp.FindDeviceLocked(device);
    if (!w.device) {
        theApp.SetErrorf("An audio device must be opened before calling %s.", name);
        return false;
    }
    return true;
}

}  // namespace

HCY_EXPORT int hcySetComRadioRecv(int handle, int device, int channel, int on) {
    return ExportBoundary(0, [&] {
        Wiring w;
        if (!FindWiring(w, handle, device, "SetComRadioRecv")) return 0;
        if (w.interphone) {
            if (on)
                w.interphone->AddRecvPath(w.device.get(), channel);
            else
                w.interphone->RemoveRecvPath(w.device.get(), channel);
        } else if (on) {
            w.radio->AttachRecvPath(w.device.get(), channel);
        } else {
            w.radio->StopRecvPath(w.device.get(), channel);
        }
        return 1;
    });
}

HCY_EXPORT int hcySetComMultiRecv(int handle, int device, int on, float* channelGains, int count) {
    return ExportBoundary(0, [&] {
        Wiring w;
        if (!FindWiring(w, handle, device, "SetComRadioRecv")) return 0;
        if (w.interphone) return 1;
        if (on) {
            if (!channelGains || count < 0) {
                theApp.SetError("Invalid channel gains sent to SetComMultiRecv.");
                return 0;
            }
            for (int i = 0; i < count; ++i)
                if (!Finite("SetComMultiRecv", {channelGains[i]})) return 0;
            w.radio->AddMultiRecvPath(w.device.get(), channelGains, count);
        } else {
            w.radio->StopRecvPath(w.device.get(), 0);
        }
        return 1;
    });
}

HCY_EXPORT int hcySetComRadioXmit(int handle, int device, int on) {
    return ExportBoundary(0, [&] {
        Wiring w;
        if (!FindWiring(w, handle, device, "SetComRadioXmit")) return 0;
        // The device's own refusal (a path already there) is not passed on.
        if (w.interphone) {
            if (on)
                w.device->AddIntercomXmitPath(w.interphone.get());
            else
                w.device->RemoveIntercomXmitPath(w.interphone.get());
        } else if (on) {
            w.device->AddRadioXmitPath(w.radio.get());
        } else {
            w.device->RemoveRadioXmitPath(w.radio.get());
        }
        return 1;
    });
}

HCY_EXPORT int hcySetComStereoXmit(int handle, int device, int channel, int on) {
    return ExportBoundary(0, [&] {
        Wiring w;
        if (!FindWiring(w, handle, device, "SetComRadioXmit")) return 0;
        // A device that refuses (no such channel, a path already there) has
        // stored why.
        if (w.interphone)
            return on ? w.device->AddIntercomXmitPathOnChannel(w.interphone.get(), channel)
                      : w.device->RemoveIntercomXmitPathOnChannel(w.interphone.get(), channel);
        return on ? w.device->AddRadioXmitPathOnChannel(w.radio.get(), channel)
                  : w.device->RemoveRadioXmitPathOnChannel(w.radio.get(), channel);
    });
}

HCY_EXPORT int hcySetComMultiXmit(int handle, int device, const int* channelFlags, int count) {
    return ExportBoundary(0, [&] {
        Wiring w;
        if (!FindWiring(w, handle, device, "SetComRadioXmit")) return 0;
        if (w.device->GetKind() != CDevice::Kind::Multi) {
            theApp.SetError("A multi-channel audio device must be created.");
            return 0;
        }
        if (w.radio && (!channelFlags || count < 0)) {
            theApp.SetError("Invalid channel flags sent to SetComMultiXmit.");
            return 0;
        }
        if (w.radio) w.device->SetTransmitPathChannels(w.radio.get(), channelFlags, count);
        return 1;
    });
}

HCY_EXPORT int hcySetRadioPTT(int device, int on, int channel) {
    return WithDevice(device, "Invalid audio device handle sent to SetRadioPTT.", [&](CDevice& d) {
        d.SetPTT(on, channel);
        return 1;
    });
}
