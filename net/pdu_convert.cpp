// Byte-order converters of the PDU records (contract in pdu.h).
//
// Each PDU type is described once, as the run of its fixed-part fields in
// offset order; both directions walk the same description, so they convert
// the same set of fields. Converting a field to or from big-endian is the
// same operation: reverse its bytes on a little-endian host, copy them on a
// big-endian one.
#include "net/pdu.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace hcy::net {

namespace {

// Every record's members sit where the wire puts them.
#define HCY_AT(Type, member, offset) static_assert(offsetof(Type, member) == (offset))
HCY_AT(PduHeader, timestamp, 4);
HCY_AT(PduHeader, length, 8);
HCY_AT(TransmitterPdu, radioId, 12);
HCY_AT(TransmitterPdu, radioEntityType, 20);
HCY_AT(TransmitterPdu, transmitState, 28);
HCY_AT(TransmitterPdu, netNumber, 30);
HCY_AT(TransmitterPdu, antennaLocation, 32);
HCY_AT(TransmitterPdu, relativeAntennaLocation, 56);
HCY_AT(TransmitterPdu, antennaPatternType, 68);
HCY_AT(TransmitterPdu, frequencyHigh, 72);
HCY_AT(TransmitterPdu, frequencyLow, 76);
HCY_AT(TransmitterPdu, bandwidth, 80);
HCY_AT(TransmitterPdu, power, 84);
HCY_AT(TransmitterPdu, modulation, 88);
HCY_AT(TransmitterPdu, cryptoSystem, 96);
HCY_AT(TransmitterPdu, cryptoKeyId, 98);
HCY_AT(TransmitterPdu, modulationParameterLength, 100);
HCY_AT(SignalPdu, encodingScheme, 20);
HCY_AT(SignalPdu, sampleRate, 24);
HCY_AT(SignalPdu, dataLengthBits, 28);
HCY_AT(SignalPdu, sampleCount, 30);
HCY_AT(ReceiverPdu, receiverState, 20);
HCY_AT(ReceiverPdu, receivedPower, 24);
HCY_AT(ReceiverPdu, transmitterRadioId, 28);
HCY_AT(EntityStatePdu, forceId, 18);
HCY_AT(EntityStatePdu, entityType, 20);
HCY_AT(EntityStatePdu, alternativeEntityType, 28);
HCY_AT(EntityStatePdu, linearVelocity, 36);
HCY_AT(EntityStatePdu, location, 48);
HCY_AT(EntityStatePdu, orientation, 72);
HCY_AT(EntityStatePdu, appearance, 84);
HCY_AT(EntityStatePdu, deadReckoningAlgorithm, 88);
HCY_AT(EntityStatePdu, linearAcceleration, 104);
HCY_AT(EntityStatePdu, angularVelocity, 116);
HCY_AT(EntityStatePdu, marking, 128);
HCY_AT(EntityStatePdu, capabilities, 140);
HCY_AT(IcsTransmitterPdu, addressedId, 18);
HCY_AT(IcsTransmitterPdu, stationNumber, 24);
HCY_AT(IcsTransmitterPdu, calledStation, 34);
HCY_AT(IcsTransmitterPdu, dialing, 36);
HCY_AT(IcsSignalPdu, stationNumber, 24);
HCY_AT(IcsSignalPdu, encodingScheme, 28);
HCY_AT(IcsSignalPdu, sampleRate, 30);
HCY_AT(IcsSignalPdu, dataLengthBits, 34);
HCY_AT(IcsSignalPdu, sampleCount, 36);
#undef HCY_AT

// How one run of fields of the fixed part is converted.
enum class Treatment : std::uint8_t {
    Bytes,       // u8 fields and byte strings: copied unchanged
    Word16,      // u16
    Word32,      // u32 and f32
    Word64,      // f64
    NotCarried,  // written as zeros
};

struct FieldRun {
    Treatment treatment;
    std::uint8_t count;  // fields in the run

    constexpr std::size_t fieldBytes() const {
        switch (treatment) {
        case Treatment::Word16: return 2;
        case Treatment::Word32: return 4;
        case Treatment::Word64: return 8;
        default: return 1;
        }
    }
    constexpr std::size_t bytes() const { return fieldBytes() * count; }
};

constexpr FieldRun Bytes(std::uint8_t n) { return {Treatment::Bytes, n}; }
constexpr FieldRun U16(std::uint8_t n) { return {Treatment::Word16, n}; }
constexpr FieldRun U32(std::uint8_t n) { return {Treatment::Word32, n}; }
constexpr FieldRun F32(std::uint8_t n) { return {Treatment::Word32, n}; }
constexpr FieldRun F64(std::uint8_t n) { return {Treatment::Word64, n}; }
constexpr FieldRun NotCarried(std::uint8_t n) { return {Treatment::NotCarried, n}; }

// The header: version, exercise, type, family as bytes; timestamp; length
// and padding.
#define HCY_HEADER_RUNS Bytes(4), U32(1), U16(2)

constexpr FieldRun kTransmitterRuns[] = {
    HCY_HEADER_RUNS,
    U16(4),    // 12: entity id, radio number
    Bytes(2),  // 20: kind, domain
    U16(1),    // 22: country
    Bytes(2),  // 24: category, nomenclature version
    U16(1),    // 26: nomenclature
    Bytes(2),  // 28: transmit state, input source
    U16(1),    // 30: net number
    F64(3),    // 32: antenna location
    F32(3),    // 56: relative antenna location
    U16(2),    // 68: antenna pattern type and length
    U32(2),    // 72: frequency, high and low halves
    F32(2),    // 80: bandwidth, power
    U16(6),    // 88: modulation (4), crypto system, crypto key
    Bytes(4),  // 100: parameter length, padding
};

constexpr FieldRun kSignalRuns[] = {
    HCY_HEADER_RUNS,
    U16(6),  // 12: entity id, radio number, encoding, TDL type
    U32(1),  // 24: sample rate
    U16(2),  // 28: data length in bits, sample count
};

constexpr FieldRun kReceiverRuns[] = {
    HCY_HEADER_RUNS,
    U16(6),  // 12: entity id, radio number, state, padding
    F32(1),  // 24: received power
    U16(4),  // 28: transmitter entity id and radio number
};

constexpr FieldRun kEntityStateRuns[] = {
    HCY_HEADER_RUNS,
    U16(3),          // 12: entity id
    Bytes(4),        // 18: force, articulation count, kind, domain
    U16(1),          // 22: country
    Bytes(6),        // 24: category .. extra, alternative kind, domain
    U16(1),          // 30: alternative country
    Bytes(4),        // 32: alternative category .. extra
    F32(3),          // 36: linear velocity
    F64(3),          // 48: location
    F32(3),          // 72: orientation
    U32(1),          // 84: appearance
    Bytes(1),        // 88: dead-reckoning algorithm
    NotCarried(15),  // 89: other dead-reckoning parameters (nothing reads them)
    F32(6),          // 104: linear acceleration, angular velocity
    Bytes(12),       // 128: marking
    U32(1),          // 140: capabilities
};

constexpr FieldRun kIcsTransmitterRuns[] = {
    HCY_HEADER_RUNS,
    U16(12),   // 12: sender, addressed, station, line, zeros, called station
    Bytes(4),  // 36: dialing, reply code, line states
};

constexpr FieldRun kIcsSignalRuns[] = {
    HCY_HEADER_RUNS,
    U16(9),  // 12: sender, zeros, station, line, encoding
    U32(1),  // 30: sample rate (unaligned)
    U16(2),  // 34: data length in bits, sample count
};
#undef HCY_HEADER_RUNS

// What follows the fixed part: a payload that travels untouched, or bytes
// the host-order form does not carry.
enum class Tail : std::uint8_t { Payload, NotCarried };

struct PduLayout {
    std::span<const FieldRun> runs;
    std::size_t fixedSize;  // [bytes]
    Tail tail;
};

template <std::size_t N>
constexpr std::size_t SumBytes(const FieldRun (&runs)[N]) {
    std::size_t total = 0;
    for (const FieldRun& run : runs) total += run.bytes();
    return total;
}

// The descriptions cover each fixed part exactly, without gaps.
static_assert(SumBytes(kTransmitterRuns) == TRANSMITTER_PDU_SIZE);
static_assert(SumBytes(kSignalRuns) == SIGNAL_PDU_HEADER_SIZE);
static_assert(SumBytes(kReceiverRuns) == RECEIVER_PDU_SIZE);
static_assert(SumBytes(kEntityStateRuns) == ENTITY_STATE_PDU_SIZE);
static_assert(SumBytes(kIcsTransmitterRuns) == ICS_TRANSMITTER_PDU_SIZE);
static_assert(SumBytes(kIcsSignalRuns) == ICS_SIGNAL_PDU_HEADER_SIZE);

constexpr PduLayout kTransmitter{kTransmitterRuns, TRANSMITTER_PDU_SIZE, Tail::Payload};
constexpr PduLayout kSignal{kSignalRuns, SIGNAL_PDU_HEADER_SIZE, Tail::Payload};
constexpr PduLayout kReceiver{kReceiverRuns, RECEIVER_PDU_SIZE, Tail::NotCarried};
constexpr PduLayout kEntityState{kEntityStateRuns, ENTITY_STATE_PDU_SIZE, Tail::NotCarried};
constexpr PduLayout kIcsTransmitter{kIcsTransmitterRuns, ICS_TRANSMITTER_PDU_SIZE,
                                    Tail::NotCarried};
constexpr PduLayout kIcsSignal{kIcsSignalRuns, ICS_SIGNAL_PDU_HEADER_SIZE, Tail::Payload};

// Reads consecutive bytes, never more than it was given.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::byte> bytes) : bytes_(bytes) {}
    std::size_t remaining() const { return bytes_.size(); }
    // The next n bytes, or an empty span (consuming nothing) when fewer remain.
    std::span<const std::byte> take(std::size_t n) {
        if (n > bytes_.size()) return {};
        std::span<const std::byte> taken = bytes_.first(n);
        bytes_ = bytes_.subspan(n);
        return taken;
    }

private:
    std::span<const std::byte> bytes_;
};

// Writes consecutive bytes, never more than it was given.
class ByteWriter {
public:
    explicit ByteWriter(std::span<std::byte> bytes) : bytes_(bytes) {}
    std::size_t remaining() const { return bytes_.size(); }
    // The next n bytes to fill, or an empty span when fewer remain.
    std::span<std::byte> take(std::size_t n) {
        if (n > bytes_.size()) return {};
        std::span<std::byte> taken = bytes_.first(n);
        bytes_ = bytes_.subspan(n);
        return taken;
    }

private:
    std::span<std::byte> bytes_;
};

// One field between host and big-endian order. Goes through a local copy so
// that converting in place works.
void ConvertField(std::span<const std::byte> in, std::span<std::byte> out) {
    std::array<std::byte, 8> field{};
    std::copy(in.begin(), in.end(), field.begin());
    if constexpr (std::endian::native == std::endian::little)
        std::reverse(field.begin(), field.begin() + in.size());
    std::copy(field.begin(), field.begin() + in.size(), out.begin());
}

std::size_t Convert(const PduLayout& layout, std::span<const std::byte> source,
                    std::span<std::byte> destination) {
    if (source.size() < layout.fixedSize || destination.size() < layout.fixedSize) {
        std::fill(destination.begin(), destination.end(), std::byte{0});
        return 0;
    }
    ByteReader reader(source);
    ByteWriter writer(destination);
    for (const FieldRun& run : layout.runs) {
        const std::size_t width = run.fieldBytes();
        for (std::uint8_t i = 0; i < run.count; ++i) {
            std::span<const std::byte> in = reader.take(width);
            std::span<std::byte> out = writer.take(width);
            switch (run.treatment) {
            case Treatment::Bytes:
                if (in.data() != out.data()) std::memcpy(out.data(), in.data(), width);
                break;
            case Treatment::NotCarried: std::fill(out.begin(), out.end(), std::byte{0}); break;
            default: ConvertField(in, out); break;
            }
        }
    }

    std::size_t written = layout.fixedSize;
    if (layout.tail == Tail::Payload) {
        const std::size_t payloadBytes = std::min(reader.remaining(), writer.remaining());
        std::span<const std::byte> in = reader.take(payloadBytes);
        std::span<std::byte> out = writer.take(payloadBytes);
        if (payloadBytes != 0) std::memmove(out.data(), in.data(), payloadBytes);
        written += payloadBytes;
    }
    std::span<std::byte> rest = writer.take(writer.remaining());
    std::fill(rest.begin(), rest.end(), std::byte{0});
    return written;
}

}  // namespace

std::size_t TransmitterPduToNet(std::span<const std::byte> source,
                                std::span<std::byte> destination) {
    return Convert(kTransmitter, source, destination);
}

std::size_t TransmitterPduToHost(std::span<const std::byte> source,
                                 std::span<std::byte> destination) {
    return Convert(kTransmitter, source, destination);
}

std::size_t SignalPduToNet(std::span<const std::byte> source, std::span<std::byte> destination) {
    return Convert(kSignal, source, destination);
}

std::size_t SignalPduToHost(std::span<const std::byte> source, std::span<std::byte> destination) {
    return Convert(kSignal, source, destination);
}

std::size_t ReceiverPduToNet(std::span<const std::byte> source, std::span<std::byte> destination) {
    return Convert(kReceiver, source, destination);
}

std::size_t EntityStatePduToHost(std::span<const std::byte> source,
                                 std::span<std::byte> destination) {
    return Convert(kEntityState, source, destination);
}

std::size_t IcsTransmitterPduToNet(std::span<const std::byte> source,
                                   std::span<std::byte> destination) {
    return Convert(kIcsTransmitter, source, destination);
}

std::size_t IcsTransmitterPduToHost(std::span<const std::byte> source,
                                    std::span<std::byte> destination) {
    return Convert(kIcsTransmitter, source, destination);
}

std::size_t IcsSignalPduToNet(std::span<const std::byte> source, std::span<std::byte> destination) {
    return Convert(kIcsSignal, source, destination);
}

std::size_t IcsSignalPduToHost(std::span<const std::byte> source,
                               std::span<std::byte> destination) {
    return Convert(kIcsSignal, source, destination);
}

}  // namespace hcy::net
