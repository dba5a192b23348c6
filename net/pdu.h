#pragma once
// DIS PDU records in host byte order, and their conversion to and from the
// big-endian wire form.
//
// Inside the library every PDU is held in host order; on the wire it is
// big-endian. Each record below has exactly the byte layout of its wire form
// (offsets checked at compile time), so a record can be copied to or from a
// byte buffer as it stands.
//
//   builder (radio, interphone)           network manager
//     host-order record --memcpy--> bytes --XxxPduToNet--> datagram
//   receive worker
//     datagram --XxxPduToHost--> host-order bytes --ReadRecord--> record
//
// Contract of the converters: the caller hands the bytes it really has
// (`source`, e.g. the datagram as received) and the room it really has
// (`destination`). A converter reads only `source` and writes only
// `destination`; it refuses (returns 0, destination zero-filled) when either
// is shorter than the type's fixed part. Otherwise it converts the fixed part,
// copies the payload untouched (modulation parameters, encoded audio) as far
// as both spans reach, zero-fills the rest of the destination, and returns
// the number of destination bytes that hold the converted PDU. Field values
// (the header's length, the data length in bits) are never trusted or used.
// Source and destination must not overlap, except that both may be the very
// same bytes (conversion in place).
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <type_traits>

#include "halcyra/halcyra.h"

namespace hcy::net {

// ---------------------------------------------------------------------------
// PDU types and protocol families (header bytes 2 and 3).

inline constexpr std::uint8_t PDU_TYPE_ENTITY_STATE = 1;
inline constexpr std::uint8_t PDU_TYPE_TRANSMITTER = 25;
inline constexpr std::uint8_t PDU_TYPE_SIGNAL = 26;
inline constexpr std::uint8_t PDU_TYPE_RECEIVER = 27;
// The interphone PDUs are the system's own (family 40).
inline constexpr std::uint8_t PDU_TYPE_ICS_TRANSMITTER = 160;
inline constexpr std::uint8_t PDU_TYPE_ICS_SIGNAL = 161;

inline constexpr std::uint8_t PROTOCOL_FAMILY_RADIO = 4;
inline constexpr std::uint8_t PROTOCOL_FAMILY_ICS = 40;

// ---------------------------------------------------------------------------
// Network flags (NET_* of the public header): one mask per radio and
// interphone, copied into every send request; the same bits name the source
// of a received PDU. Any of bits 16 to 23 set: audio PDUs use bits 16 and 17
// instead of 0 and 1.
inline constexpr std::uint32_t kNetSignalSelectMask = 0x00FF0000;

// True for the PDU types that carry audio (Signal and interphone audio).
constexpr bool IsAudioPduType(std::uint8_t pduType) {
    return pduType == PDU_TYPE_SIGNAL || pduType == PDU_TYPE_ICS_SIGNAL;
}

// The networks (NET_PRIMARY | NET_SECONDARY) that a PDU of this type uses
// under this mask, for sending and for matching a received PDU's source.
constexpr std::uint32_t NetworkBits(std::uint32_t flags, std::uint8_t pduType) {
    if (IsAudioPduType(pduType) && (flags & kNetSignalSelectMask) != 0)
        return (flags >> 16) & (NET_PRIMARY | NET_SECONDARY);
    return flags & (NET_PRIMARY | NET_SECONDARY);
}

// ---------------------------------------------------------------------------
// Records. Offsets in [bytes] from the first byte of the PDU.

struct PduHeader {
    std::uint8_t protocolVersion;
    std::uint8_t exerciseId;
    std::uint8_t pduType;
    std::uint8_t protocolFamily;
    std::uint32_t timestamp;  // tick count [ms] x 1192, wrapping
    std::uint16_t length;     // whole PDU [bytes]: fixed part plus payload
    std::uint16_t padding;
};

// Site, application and entity of a DIS entity.
struct EntityId {
    std::uint16_t site;
    std::uint16_t application;
    std::uint16_t entity;
    friend constexpr bool operator==(const EntityId&, const EntityId&) = default;
};

// The key of a transmitter: its entity and the radio number on it.
struct RadioId {
    EntityId entityId;
    std::uint16_t radioNumber;
    friend constexpr bool operator==(const RadioId&, const RadioId&) = default;
};

// One number per entity and one per transmitter key: no two share one.
constexpr std::uint64_t PackedKey(const EntityId& id) {
    return (std::uint64_t{id.site} << 32) | (std::uint64_t{id.application} << 16) | id.entity;
}
constexpr std::uint64_t PackedKey(const RadioId& id) {
    return (PackedKey(id.entityId) << 16) | id.radioNumber;
}

struct WorldCoordinates {  // [m]
    double x;
    double y;
    double z;
};

struct Vector3f {
    float x;
    float y;
    float z;
};

struct RadioEntityType {
    std::uint8_t kind;
    std::uint8_t domain;
    std::uint16_t country;
    std::uint8_t category;
    std::uint8_t nomenclatureVersion;
    std::uint16_t nomenclature;
};

struct EntityType {
    std::uint8_t kind;
    std::uint8_t domain;
    std::uint16_t country;
    std::uint8_t category;
    std::uint8_t subcategory;
    std::uint8_t specific;
    std::uint8_t extra;
};

struct ModulationType {
    std::uint16_t spreadSpectrum;  // bit 0: frequency hopping
    std::uint16_t major;
    std::uint16_t detail;
    std::uint16_t system;
};

// Type 25; followed by modulationParameterLength bytes of modulation
// parameters, which travel untouched.
struct TransmitterPdu {
    PduHeader header;
    RadioId radioId;
    RadioEntityType radioEntityType;
    std::uint8_t transmitState;  // 0 off, 1 on and idle, 2 on and transmitting
    std::uint8_t inputSource;
    std::uint16_t netNumber;  // padding in the standard: the radio's net number
    WorldCoordinates antennaLocation;
    Vector3f relativeAntennaLocation;  // [m]
    std::uint16_t antennaPatternType;
    std::uint16_t antennaPatternLength;
    // The 64-bit frequency [Hz] as two host-order halves, so that converting
    // each half gives the standard big-endian 64-bit field.
    std::uint32_t frequencyHigh;
    std::uint32_t frequencyLow;
    float bandwidth;  // [Hz]
    float power;      // [dBm]
    ModulationType modulation;
    std::uint16_t cryptoSystem;
    std::uint16_t cryptoKeyId;
    std::uint8_t modulationParameterLength;  // [bytes]
    std::uint8_t padding[3];

    constexpr std::uint64_t frequency() const {
        return (std::uint64_t{frequencyHigh} << 32) | frequencyLow;
    }
    constexpr void setFrequency(std::uint64_t hertz) {
        frequencyHigh = static_cast<std::uint32_t>(hertz >> 32);
        frequencyLow = static_cast<std::uint32_t>(hertz);
    }
};

// Type 26; followed by dataLengthBits / 8 bytes of encoded audio in the
// codec's own byte order (16-bit PCM little-endian).
struct SignalPdu {
    PduHeader header;
    RadioId radioId;
    std::uint16_t encodingScheme;  // encoding code in the low 14 bits
    std::uint16_t tdlType;
    std::uint32_t sampleRate;      // [Hz]
    std::uint16_t dataLengthBits;  // [bits]
    std::uint16_t sampleCount;
};

// Type 27, sent only.
struct ReceiverPdu {
    PduHeader header;
    RadioId radioId;
    std::uint16_t receiverState;  // 0 off, 1 on and idle, 2 on and receiving
    std::uint16_t padding;
    float receivedPower;  // [W] (the standard says dBm)
    RadioId transmitterRadioId;
};

// Type 1, received only. The host-order form carries only the fields listed;
// the other dead-reckoning parameters and the articulation parameters are
// zero.
struct EntityStatePdu {
    PduHeader header;
    EntityId entityId;
    std::uint8_t forceId;
    std::uint8_t articulationParameterCount;
    EntityType entityType;
    EntityType alternativeEntityType;
    Vector3f linearVelocity;
    WorldCoordinates location;
    Vector3f orientation;  // psi, theta, phi [rad]
    std::uint32_t appearance;
    std::uint8_t deadReckoningAlgorithm;
    std::uint8_t deadReckoningOther[15];  // not carried: zero
    Vector3f linearAcceleration;
    Vector3f angularVelocity;
    std::uint8_t marking[12];  // character set, then 11 characters
    std::uint32_t capabilities;
};

// Type 160: interphone control (status, dial request, reply).
struct IcsTransmitterPdu {
    PduHeader header;
    EntityId senderId;
    EntityId addressedId;
    std::uint16_t stationNumber;
    std::uint16_t line;
    std::uint16_t zero[3];
    std::uint16_t calledStation;  // 0: addressed to all
    std::uint8_t dialing;
    std::uint8_t replyCode;
    std::uint8_t lineState;
    std::uint8_t replierLineState;
};

// Type 161: interphone audio; followed by dataLengthBits / 8 bytes of encoded
// audio. The sample rate sits unaligned at offset 30, hence packed.
struct [[gnu::packed]] IcsSignalPdu {
    PduHeader header;
    EntityId senderId;
    std::uint16_t zero[3];
    std::uint16_t stationNumber;
    std::uint16_t line;
    std::uint16_t encodingScheme;  // encoding code in the low 14 bits
    std::uint32_t sampleRate;      // [Hz]
    std::uint16_t dataLengthBits;  // [bits]
    std::uint16_t sampleCount;
};

static_assert(sizeof(PduHeader) == 12);
static_assert(sizeof(RadioId) == 8);
static_assert(sizeof(TransmitterPdu) == 104);
static_assert(sizeof(SignalPdu) == 32);
static_assert(sizeof(ReceiverPdu) == 36);
static_assert(sizeof(EntityStatePdu) == 144);
static_assert(sizeof(IcsTransmitterPdu) == 40);
static_assert(sizeof(IcsSignalPdu) == 38);

// Fixed part of each type [bytes]: also the shortest datagram accepted and
// the shortest send request the network manager takes.
inline constexpr std::size_t TRANSMITTER_PDU_SIZE = sizeof(TransmitterPdu);
inline constexpr std::size_t SIGNAL_PDU_HEADER_SIZE = sizeof(SignalPdu);
inline constexpr std::size_t RECEIVER_PDU_SIZE = sizeof(ReceiverPdu);
inline constexpr std::size_t ENTITY_STATE_PDU_SIZE = sizeof(EntityStatePdu);
inline constexpr std::size_t ICS_TRANSMITTER_PDU_SIZE = sizeof(IcsTransmitterPdu);
inline constexpr std::size_t ICS_SIGNAL_PDU_HEADER_SIZE = sizeof(IcsSignalPdu);

// The fixed part of a PDU type [bytes], 0 for a type the system does not
// handle.
constexpr std::size_t FixedPartSize(std::uint8_t pduType) {
    switch (pduType) {
    case PDU_TYPE_ENTITY_STATE: return ENTITY_STATE_PDU_SIZE;
    case PDU_TYPE_TRANSMITTER: return TRANSMITTER_PDU_SIZE;
    case PDU_TYPE_SIGNAL: return SIGNAL_PDU_HEADER_SIZE;
    case PDU_TYPE_RECEIVER: return RECEIVER_PDU_SIZE;
    case PDU_TYPE_ICS_TRANSMITTER: return ICS_TRANSMITTER_PDU_SIZE;
    case PDU_TYPE_ICS_SIGNAL: return ICS_SIGNAL_PDU_HEADER_SIZE;
    default: return 0;
    }
}

template <class T>
concept PduRecord = std::is_trivially_copyable_v<T> &&
    (std::is_same_v<T, PduHeader> || std::is_same_v<T, TransmitterPdu> ||
     std::is_same_v<T, SignalPdu> || std::is_same_v<T, ReceiverPdu> ||
     std::is_same_v<T, EntityStatePdu> || std::is_same_v<T, IcsTransmitterPdu> ||
     std::is_same_v<T, IcsSignalPdu>);

// The record at the start of host-order bytes; empty when fewer bytes than
// the record were given.
template <PduRecord T>
std::optional<T> ReadRecord(std::span<const std::byte> hostBytes) {
    if (hostBytes.size() < sizeof(T)) return std::nullopt;
    T record;
    std::memcpy(&record, hostBytes.data(), sizeof(T));
    return record;
}

// A record's own bytes (host order), e.g. as the source of a converter.
template <PduRecord T>
std::span<const std::byte, sizeof(T)> RecordBytes(const T& record) {
    return std::span<const std::byte, sizeof(T)>(reinterpret_cast<const std::byte*>(&record),
                                                 sizeof(T));
}

// ---------------------------------------------------------------------------
// Send request: travels with every outgoing PDU to the network manager.

// The network manager sends lengths of 1 to this many bytes.
inline constexpr std::uint32_t kMaxSendLength = 65535;

struct PduSendRequest {
    std::uint32_t networkFlags = 0;         // NET_* bits: where the PDU goes
    std::uint32_t length = 0;               // PDU length [bytes]
    std::uint32_t hlaObjectHandle = 0;      // the sending radio's HLA object
    std::optional<std::string> senderName;  // the radio's name; none for interphones
};

// ---------------------------------------------------------------------------
// Converters (contract at the top of this file). There is no Entity State
// converter to network order and no Receiver converter to host order: the
// system never sends the one nor accepts the other.

[[nodiscard]] std::size_t TransmitterPduToNet(std::span<const std::byte> source,
                                              std::span<std::byte> destination);
[[nodiscard]] std::size_t TransmitterPduToHost(std::span<const std::byte> source,
                                               std::span<std::byte> destination);
[[nodiscard]] std::size_t SignalPduToNet(std::span<const std::byte> source,
                                         std::span<std::byte> destination);
[[nodiscard]] std::size_t SignalPduToHost(std::span<const std::byte> source,
                                          std::span<std::byte> destination);
[[nodiscard]] std::size_t ReceiverPduToNet(std::span<const std::byte> source,
                                           std::span<std::byte> destination);
[[nodiscard]] std::size_t EntityStatePduToHost(std::span<const std::byte> source,
                                               std::span<std::byte> destination);
[[nodiscard]] std::size_t IcsTransmitterPduToNet(std::span<const std::byte> source,
                                                 std::span<std::byte> destination);
[[nodiscard]] std::size_t IcsTransmitterPduToHost(std::span<const std::byte> source,
                                                  std::span<std::byte> destination);
[[nodiscard]] std::size_t IcsSignalPduToNet(std::span<const std::byte> source,
                                            std::span<std::byte> destination);
[[nodiscard]] std::size_t IcsSignalPduToHost(std::span<const std::byte> source,
                                             std::span<std::byte> destination);

// Scalar converters (also used by the HLA attribute coding): reverse the
// bytes on a little-endian host, identity on a big-endian one. Bit patterns,
// NaNs included, pass unchanged through a pair.
namespace detail {
template <class U>
constexpr U ReverseBytes(U value) {
    U result = 0;
    for (std::size_t i = 0; i < sizeof(U); ++i) {
        result = static_cast<U>((result << 8) | (value & 0xFF));
        value = static_cast<U>(value >> 8);
    }
    return result;
}
template <class U>
constexpr U ToBigEndian(U value) {
    return std::endian::native == std::endian::little ? ReverseBytes(value) : value;
}
}  // namespace detail

constexpr float HostToNetFloat(float value) {
    return std::bit_cast<float>(detail::ToBigEndian(std::bit_cast<std::uint32_t>(value)));
}
constexpr float NetToHostFloat(float value) { return HostToNetFloat(value); }
constexpr double HostToNetDouble(double value) {
    return std::bit_cast<double>(detail::ToBigEndian(std::bit_cast<std::uint64_t>(value)));
}
constexpr double NetToHostDouble(double value) { return HostToNetDouble(value); }

}  // namespace hcy::net
