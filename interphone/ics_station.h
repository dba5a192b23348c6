#pragma once
// An interphone station: an intercom telephone of the simulation with a
// station number. It goes on and off hook, dials another station's number,
// rings, answers, hangs up and talks, over the interphone control PDU (type
// 160: status, dial request, reply) and audio PDU (type 161), family 40.
//
// A call (station A dials B, which is on hook):
//   A Dial(B)           -> status: dialing, called B, line (B << 8 | A)
//   B rings             -> reply RINGING to A; B's caller word = A
//   A ringback          <- RINGING
//   B goes off hook     (nothing sent)
//   A's next heartbeat  -> the dial request again
//   B answers, connects -> reply ANSWERED; B takes A's line
//   A connects          <- ANSWERED; A takes the same line
//   either hangs up     -> status, line state on hook: the other drops it
//                          and, with no one left, returns to dial tone
//   either vanishes     -> unheard for two heartbeat periods (or the receive
//                          time-out, when longer), it is dropped the same way
//
// Receive road: control PDU (control worker) -> call words and station
// records; audio PDU (audio worker) -> the record of its sender, which holds
// the decoder state of that remote station's stream -> receive paths, or a
// data device's audio callback (ReceiveAudio, the station unlocked).
// Transmit road: SendAudio (capture thread) -> encoder -> audio PDUs of at
// most 8192 bytes -> network manager.
//
// Exclusion: one mutex per station over its words, records and receive
// paths (lock order: device, station, receive path, output buffer); the
// encoders have a mutex of their own, taken after the station's is
// released, so that no PDU worker or tick waits for an encode (a capture
// thread waits at most for one received PDU's decode). The master volume,
// handle and network flags are atomic.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "codecs/codec.h"
#include "interphone/ics_model.h"
#include "net/pdu.h"

class CReceive;
class CRecvPath;

class CIcsStation final : public CICSModel {
public:
    // Audio bytes of one PDU: a PDU of at most 8192 bytes (the largest
    // datagram a receiver reads) with its 38-byte header.
    static constexpr std::uint32_t kMaxAudioBytes = 8192 - 38;
    // Sample rates a received audio PDU may carry [Hz].
    static constexpr std::uint32_t kMinSampleRate = 100;
    static constexpr std::uint32_t kMaxSampleRate = 200000;
    // Remote stations one station keeps at once: a flood of statuses from
    // made-up stations on its line joins no more.
    static constexpr std::size_t kMaxStations = 64;

    CIcsStation();
    ~CIcsStation() override;

    int GetHandle() const override { return m_nHandle.load(); }
    int SetHandle(std::uint32_t handle) override;
    int SetEntityID(std::uint16_t site, std::uint16_t application, std::uint16_t entity) override;
    int SetStationID(std::uint16_t station) override;
    int SetExerciseID(std::uint32_t exercise) override;
    std::uint32_t GetNetwork() const override { return m_nNetwork.load(); }
    int SetNetwork(std::uint32_t flags) override;
    int SetEncoding(int code) override;
    int SetMasterVolume(float volume) override;
    float GetMasterVolume() const override { return m_fMasterVolume.load(); }
    int GetData(int id, std::uint32_t* out) override;

    int Dial(std::uint16_t number) override;
    int SetHook(std::uint32_t onHook) override;
    int SetTalk(int on, std::uint32_t source) override;
    void SendAudio(const std::int16_t* samples, std::uint32_t byteCount,
                   std::uint32_t sampleRate) override;

    int Heartbeat() override;
    void Sweep() override;
    void OnControlPdu(const IcsTransmitterPdu* pdu, std::uint32_t length) override;
    void OnAudioPdu(const IcsSignalPdu* pdu, std::uint32_t length) override;

    int AddRecvPath(CDevice* device, int channel) override;
    int RemoveRecvPath(CDevice* device, int channel) override;
    void DetachDevice(CDevice* device) override;
    void RemoveAll() override;

    // Inspection (tests, status).
    bool IsConnected() const;
    bool IsDialing() const;
    std::uint16_t GetLine() const;
    std::size_t GetStationCount() const;
    std::size_t GetRecvPathCount() const;

private:
    // Everything below runs with m_mutex held.
    std::uint8_t LineState() const;
    void BuildHeader(hcy::net::PduHeader& header, std::uint8_t type, std::uint16_t length) const;
    void Post(std::vector<std::byte>&& bytes) const;
    void SendStatus();
    void SendReply(const IcsTransmitterPdu& request, std::uint8_t code);
    void SetHookLocked(std::uint32_t onHook);
    void OnDialRequest(const IcsTransmitterPdu& request);
    void OnReply(const IcsTransmitterPdu& reply);
    void OnBroadcast(const IcsTransmitterPdu& pdu);
    // A connected remote station: its record, and the decoder state of its
    // audio stream, fresh for each new record.
    struct RemoteStation;
    // The record of a remote station, and its index; null when none.
    RemoteStation* FindStation(const hcy::net::EntityId& entity, std::uint16_t station,
                               std::size_t* index = nullptr) const;
    bool IsSelf(const CReceive& record) const;
    // The record of a station that joins the call (null when the call is
    // full); the call takes its line when it has none.
    RemoteStation* ConnectStation(const hcy::net::EntityId& entity, std::uint16_t station,
                                  std::uint16_t line);
    void DisconnectStation(const IcsTransmitterPdu& pdu);
    // With no remote station left, the call ends: line 0, dial tone when off
    // hook and neither rung nor ringing back.
    void EndCallWhenAlone();
    void DisconnectAll();
    void RemoveStationAt(std::size_t index);
    // Record null: the local source (the station's sidetone buffer).
    void UpdateStationGain(const CReceive* record);
    void StopStation(const CReceive* record);

    mutable std::mutex m_mutex;
    std::uint32_t m_nEncoding = ENCODING_PCM16;  // 1 to 4
    std::uint32_t m_nExerciseId = 1;             // its low byte goes on the wire
    std::uint32_t m_nTalking = 0;
    std::atomic<float> m_fMasterVolume{0.0f};
    std::uint16_t m_nStation = 0;
    std::uint16_t m_nLine = 0;  // of the current call; 0: none
    std::atomic<std::uint32_t> m_nNetwork;
    std::vector<std::unique_ptr<RemoteStation>> m_stations;
    std::vector<std::unique_ptr<CRecvPath>> m_paths;
    hcy::net::EntityId m_entity{0, 0, 0};
    std::atomic<int> m_nHandle{0};
    std::uint32_t m_nOnHook = 1;
    std::uint32_t m_nDialTone = 0;
    std::uint32_t m_nCaller = 0;  // the station ringing this one
    std::uint32_t m_nBusy = 0;
    std::uint32_t m_nRingback = 0;
    std::uint32_t m_nDialing = 0;
    std::uint32_t m_nConnected = 0;
    std::uint16_t m_nDialedNumber = 0;  // dialed, or the caller's once answered
    bool m_bRemoved = false;            // RemoveAll ran: the station is inert
    hcy::CodecSet m_decoders;           // stateless: each stream's state is its record's

    // A new call starts the encoders afresh, so that the far end's fresh
    // decoder state is in step from the first block.
    std::atomic<bool> m_bFreshEncoders{false};
    std::mutex m_xmitMutex;
    hcy::CodecSet m_encoders;
};
