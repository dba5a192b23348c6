#pragma once
// The interphone station: what the application object, the devices and the
// receive paths ask of it. The station itself is interphone/ics_station.h.
//
// Threads: the host's (setters, Dial, SetHook, wiring), the control and
// audio PDU workers (OnControlPdu, OnAudioPdu), the update tick (Heartbeat,
// Sweep), capture threads with their device's mutex held (SetTalk,
// SendAudio). Receive paths read GetMasterVolume and GetHandle from under
// their own lock: both are atomic and take no lock.
#include <cstdint>
#include <memory>

namespace hcy::net {
struct IcsTransmitterPdu;
struct IcsSignalPdu;
}  // namespace hcy::net

class CDevice;

// Reply codes of the control PDU.
inline constexpr std::uint8_t ICS_REPLY_RINGING = 12;   // was on hook, now rings
inline constexpr std::uint8_t ICS_REPLY_ANSWERED = 13;  // off hook and rung by the caller
inline constexpr std::uint8_t ICS_REPLY_BUSY = 14;
// Line states of the control PDU.
inline constexpr std::uint8_t ICS_LINE_ON_HOOK = 0;
inline constexpr std::uint8_t ICS_LINE_OFF_HOOK = 1;
inline constexpr std::uint8_t ICS_LINE_TALKING = 2;

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
    // 0.0 to 1.0: the gain of every heard station on the receive paths.
    virtual float GetMasterVolume() const = 0;
    // Ids 301 to 304 (ICS_DATA_*) write the word and return 1; others 0.
    virtual int GetData(int id, std::uint32_t* out) = 0;

    virtual int Dial(std::uint16_t number) = 0;
    virtual int SetHook(std::uint32_t onHook) = 0;
    virtual int SetTalk(int on, std::uint32_t source) = 0;
    virtual void SendAudio(const std::int16_t* samples, std::uint32_t byteCount,
                           std::uint32_t sampleRate) = 0;

    virtual int Heartbeat() = 0;
    virtual void Sweep() = 0;
    // Host-order PDUs with the number of bytes received.
    virtual void OnControlPdu(const IcsTransmitterPdu* pdu, std::uint32_t length) = 0;
    virtual void OnAudioPdu(const IcsSignalPdu* pdu, std::uint32_t length) = 0;

    virtual int AddRecvPath(CDevice* device, int channel) = 0;
    virtual int RemoveRecvPath(CDevice* device, int channel) = 0;
    // A device is closing: every receive path to it is removed.
    virtual void DetachDevice(CDevice* device) = 0;
    // Before deletion: a station off hook hangs up, then every receive path
    // and station record goes; the station does nothing more.
    virtual void RemoveAll() = 0;
};

// A new station with the library defaults.
std::shared_ptr<CICSModel> CreateInterphoneModel();
