#pragma once
// The interphone station: what the application object and the devices ask
// of it.
#include <cstdint>
#include <memory>

namespace hcy::net {
struct IcsTransmitterPdu;
struct IcsSignalPdu;
}  // namespace hcy::net

class CDevice;

class CICSModel {
public:
    using IcsTransmitterPdu = hcy::net::IcsTransmitterPdu;
    using IcsSignalPdu = hcy::net::IcsSignalPdu;

    virtual ~CICSModel() = default;

    virtual int GetHandle() const = 0;
    virtual int SetHandle(std::uint32_t handle) = 0;
    virtual int SetEntityID(std::uint16_t site, std::uint16_t application,
                            std::uint16_t entity) = 0;
    virtual int SetStationID(std::uint16_t station) = 0;
    virtual int SetExerciseID(std::uint32_t exercise) = 0;
    virtual std::uint32_t GetNetwork() const = 0;
    virtual int SetNetwork(std::uint32_t flags) = 0;
    virtual int SetEncoding(int code) = 0;
    virtual int SetMasterVolume(float volume) = 0;
    virtual int GetData(int id, std::uint32_t* out) = 0;

    virtual int Dial(std::uint16_t number) = 0;
    virtual int SetHook(std::uint32_t onHook) = 0;
    virtual int SetTalk(int on, std::uint32_t source) = 0;
    virtual void SendAudio(const std::int16_t* samples, std::uint32_t byteCount,
                           std::uint32_t sampleRate) = 0;

    virtual int Heartbeat() = 0;
    virtual void Sweep() = 0;
    virtual void OnControlPdu(const IcsTransmitterPdu* pdu, std::uint32_t length) = 0;
    virtual void OnAudioPdu(const IcsSignalPdu* pdu, std::uint32_t length) = 0;

    virtual int AddRecvPath(CDevice* device, int channel) = 0;
    virtual int RemoveRecvPath(CDevice* device, int channel) = 0;
    // A device is closing: every receive path to it is removed.
    virtual void DetachDevice(CDevice* device) = 0;
    // Before deletion: every receive path and station record goes.
    virtual void RemoveAll() = 0;
};

// A new station with the library defaults, or null when this build has no
// interphone stations.
std::shared_ptr<CICSModel> CreateInterphoneModel();
