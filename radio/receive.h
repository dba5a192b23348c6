#pragma once
// CReceive: what a radio keeps of one transmitter it hears, from its
// Transmitter PDUs (or HLA attributes), the reception factors the radio's
// hooks computed for it, and its hold on the host's decoded audio of that
// transmitter.
//
// Fields are guarded by the owning radio's mutex, except the four that the
// receive paths may read without it (signal, PTT block, receive value,
// removed), which are atomic.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "net/heard_streams.h"
#include "net/pdu.h"

// The 64-bit frequency of a PDU or attribute as hertz: the two halves read
// as a signed 64-bit number (negative frequencies travel in two's complement).
double FrequencyFromWords(std::uint32_t high, std::uint32_t low);

class CReceive {
public:
    CReceive() = default;
    CReceive(const CReceive&) = delete;
    CReceive& operator=(const CReceive&) = delete;

    // Marks the record as being deleted and frees its parameters.
    void Reset();

    // Takes the values of a Transmitter PDU; `parameters` replaces the kept
    // modulation parameters when not empty.
    void UpdateFromTransmitterPdu(const hcy::net::TransmitterPdu& pdu,
                                  std::span<const std::uint8_t> parameters);

    const hcy::net::RadioId& GetTransmitterId() const { return id; }
    double GetFrequency() const { return frequency; }
    double GetBandwidth() const { return bandwidth; }
    std::uint16_t GetNet() const { return net; }
    double GetPower() const { return power; }
    // World location plus the relative antenna offset [m].
    double GetAntennaX() const { return antennaWorld.x + antennaRelative.x; }
    double GetAntennaY() const { return antennaWorld.y + antennaRelative.y; }
    double GetAntennaZ() const { return antennaWorld.z + antennaRelative.z; }

    double GetSignal() const { return signal.load(std::memory_order_relaxed); }
    void SetSignal(double value) { signal.store(value, std::memory_order_relaxed); }
    bool GetPttBlock() const { return pttBlock.load(std::memory_order_relaxed); }
    void SetPttBlock(bool value) { pttBlock.store(value, std::memory_order_relaxed); }
    std::int32_t GetRecvValue() const { return recvValue.load(std::memory_order_relaxed); }
    void SetRecvValue(std::int32_t value) { recvValue.store(value, std::memory_order_relaxed); }
    bool IsRemoved() const { return removed.load(std::memory_order_relaxed); }
    bool IsSquelchOpen() const { return squelchOpen; }
    void SetSquelchOpen(bool open) { squelchOpen = open; }
    std::uint32_t GetXmitPduCount() const { return transmitterPduCount; }
    std::uint32_t GetSignalPduCount() const { return signalPduCount; }

    // --- guarded by the radio's mutex ---
    bool refreshed = true;      // heard since the last time-out sweep
    bool transmitting = false;  // transmit state 2
    bool audioSeen = true;
    hcy::net::RadioId id{};  // the heard transmitter's identity
    std::uint32_t protocolVersion = 0;
    std::uint32_t inputSource = 0;
    std::uint32_t exercise = 0;
    std::uint16_t cryptoSystem = 0;
    std::uint16_t cryptoKey = 0;
    std::uint16_t spreadSpectrum = 0;
    std::uint16_t majorModulation = 0;
    std::uint16_t detailModulation = 0;
    double frequencyOffset = 0.0;  // mistuning [Hz], drives the single-sideband shift
    std::vector<std::uint8_t> modulationParameters;
    double propagation = 1.0;  // factors 0..1
    double tuner = 1.0;
    double squelch = 1.0;
    double lineOfSight = 1.0;
    double audioLevel = 0.0;  // RMS / 366 of the last decoded block
    bool decodeOk = true;
    // The no-code prompt was looked up for the current transmission: once a
    // transmission, so that undecodable audio does not read the file per PDU.
    bool noCodeLookedUp = false;
    std::uint32_t status = RECV_STATUS_AUDIBLE;
    double receivedPower = 0.0;  // [W], scaled by the line-of-sight factor
    bool noPosition = false;     // positions unknown: the capture rule is skipped
    std::uint32_t transmitterPduCount = 0;
    std::uint32_t signalPduCount = 0;  // of the current transmission
    std::uint32_t hlaObjectHandle = 0xFFFFFFFFu;
    std::string hlaObjectName;
    std::string hostObjectId;
    bool squelchOpen = false;
    hcy::net::WorldCoordinates antennaWorld{0.0, 0.0, 0.0};  // [m]
    hcy::net::Vector3f antennaRelative{0.0f, 0.0f, 0.0f};    // [m]
    double frequency = 0.0;                                  // [Hz]
    std::uint16_t net = 0;
    double bandwidth = 0.0;  // [Hz]
    double power = 0.0;      // as sent [dBm]
    // The host's decoded audio of this transmitter (net/heard_streams.h):
    // the transmitter, and the stream this radio decodes from each source
    // (primary, secondary, loopback, other).
    std::shared_ptr<hcy::net::HeardTransmitter> heard;
    std::array<std::shared_ptr<hcy::net::SignalStream>, 4> streams;

private:
    std::atomic<double> signal{1.0};  // product of the factors, 0 when silent
    std::atomic<bool> pttBlock{false};
    std::atomic<std::int32_t> recvValue{0};
    std::atomic<bool> removed{false};
};
