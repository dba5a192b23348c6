#pragma once
// Sample PDUs shared by the wire tests: host-order records with distinct
// field values, and their big-endian wire bytes written out by hand.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "net/pdu.h"

namespace hcy::net::test {

using Bytes = std::vector<std::byte>;

// "06 07 19 04 ..." -> bytes; spaces and line breaks are ignored.
inline Bytes Hex(std::string_view text) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    Bytes out;
    int high = -1;
    for (char c : text) {
        const int value = nibble(c);
        if (value < 0) continue;
        if (high < 0) {
            high = value;
        } else {
            out.push_back(static_cast<std::byte>(high * 16 + value));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument("odd number of hex digits");
    return out;
}

inline Bytes Concat(std::span<const std::byte> a, std::span<const std::byte> b) {
    Bytes out(a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

template <class T>
Bytes BytesOf(const T& record) {
    std::span<const std::byte> bytes = RecordBytes(record);
    return Bytes(bytes.begin(), bytes.end());
}

// --- Transmitter (frequency 2^32 + 258 Hz; 16 bytes of modulation parameters)
inline TransmitterPdu SampleTransmitter() {
    TransmitterPdu pdu{};
    pdu.header = {6, 7, PDU_TYPE_TRANSMITTER, PROTOCOL_FAMILY_RADIO, 0x01020304, 120, 0};
    pdu.radioId = {{0x0A0B, 0x0C0D, 0x0E0F}, 0x1011};
    pdu.radioEntityType = {7, 2, 0x00E1, 0x15, 0x16, 0x1718};
    pdu.transmitState = 2;
    pdu.inputSource = 0x19;
    pdu.netNumber = 0x1A1B;
    pdu.antennaLocation = {1.5, -2.25, 6378137.0};
    pdu.relativeAntennaLocation = {0.5f, -1.0f, 2.0f};
    pdu.antennaPatternType = 0x1C1D;
    pdu.antennaPatternLength = 0x1E1F;
    pdu.setFrequency((std::uint64_t{1} << 32) + 258);
    pdu.bandwidth = 25000.0f;
    pdu.power = 40.0f;
    pdu.modulation = {0x0001, 0x2223, 0x2425, 0x2627};
    pdu.cryptoSystem = 0x2829;
    pdu.cryptoKeyId = 0x8005;
    pdu.modulationParameterLength = 16;
    return pdu;
}

inline Bytes SampleModulationParameters() {
    return Hex("A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF");
}

inline Bytes SampleTransmitterWire() {
    return Hex(
        "06 07 19 04  01 02 03 04  00 78  00 00"  // header
        "0A 0B 0C 0D 0E 0F 10 11"                 // entity id, radio number
        "07 02 00 E1 15 16 17 18"                 // radio entity type
        "02 19 1A 1B"                             // state, input source, net number
        "3F F8 00 00 00 00 00 00  C0 02 00 00 00 00 00 00  41 58 54 A6 40 00 00 00"
        "3F 00 00 00  BF 80 00 00  40 00 00 00"   // relative antenna location
        "1C 1D 1E 1F"                             // antenna pattern type, length
        "00 00 00 01 00 00 01 02"                 // frequency
        "46 C3 50 00  42 20 00 00"                // bandwidth, power
        "00 01 22 23 24 25 26 27"                 // modulation
        "28 29 80 05"                             // crypto system, key
        "10 00 00 00");                           // parameter length, padding
}

// --- Signal (encoding 4: four little-endian PCM samples)
inline SignalPdu SampleSignal() {
    SignalPdu pdu{};
    pdu.header = {6, 7, PDU_TYPE_SIGNAL, PROTOCOL_FAMILY_RADIO, 0x11223344, 40, 0};
    pdu.radioId = {{0x0A0B, 0x0C0D, 0x0E0F}, 0x1011};
    pdu.encodingScheme = 4;
    pdu.tdlType = 0;
    pdu.sampleRate = 16000;
    pdu.dataLengthBits = 64;
    pdu.sampleCount = 4;
    return pdu;
}

// Samples 0x1234, -2, 0x0102, 0x7F00 as the PCM codec writes them.
inline Bytes SampleSignalAudio() { return Hex("34 12 FE FF 02 01 00 7F"); }

inline Bytes SampleSignalWire() {
    return Hex(
        "06 07 1A 04  11 22 33 44  00 28  00 00"
        "0A 0B 0C 0D 0E 0F 10 11"
        "00 04  00 00  00 00 3E 80  00 40  00 04");
}

// --- Receiver (received power in watts)
inline ReceiverPdu SampleReceiver() {
    ReceiverPdu pdu{};
    pdu.header = {6, 7, PDU_TYPE_RECEIVER, PROTOCOL_FAMILY_RADIO, 0x55667788, 36, 0};
    pdu.radioId = {{0x0A0B, 0x0C0D, 0x0E0F}, 0x1011};
    pdu.receiverState = 2;
    pdu.receivedPower = 8.6e-8f;
    pdu.transmitterRadioId = {{0x3031, 0x3233, 0x3435}, 0x3637};
    return pdu;
}

inline Bytes SampleReceiverWire() {
    return Hex(
        "06 07 1B 04  55 66 77 88  00 24  00 00"
        "0A 0B 0C 0D 0E 0F 10 11"
        "00 02  00 00  33 B8 AF 00"
        "30 31 32 33 34 35 36 37");
}

// --- Entity State, as a peer sends it (received only)
inline Bytes SampleEntityStateWire() {
    return Hex(
        "06 07 01 01  0A 0B 0C 0D  00 90  00 00"
        "41 42 43 44 45 46"                        // entity id
        "01 00"                                    // force, articulation count
        "01 02 00 E1 03 04 05 06"                  // entity type
        "01 02 01 02 07 08 09 0A"                  // alternative entity type
        "3E 80 00 00  40 E0 00 00  C0 60 00 00"    // linear velocity
        "40 59 00 00 00 00 00 00  C0 B1 94 00 00 00 00 00  3F C0 00 00 00 00 00 00"
        "3F A0 00 00  41 18 00 00  C1 40 00 00"    // orientation
        "50 51 52 53"                              // appearance
        "02 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E"  // dead reckoning
        "3F 00 00 00  BF 80 00 00  40 00 00 00"    // linear acceleration
        "40 50 00 00  BF 40 00 00  3F 80 00 00"    // angular velocity
        "01 48 41 4C 43 59 52 41 00 00 00 00"      // marking
        "70 71 72 73");                            // capabilities
}

// The host-order record that SampleEntityStateWire converts to.
inline EntityStatePdu SampleEntityState() {
    EntityStatePdu pdu{};
    pdu.header = {6, 7, PDU_TYPE_ENTITY_STATE, 1, 0x0A0B0C0D, 144, 0};
    pdu.entityId = {0x4142, 0x4344, 0x4546};
    pdu.forceId = 1;
    pdu.articulationParameterCount = 0;
    pdu.entityType = {1, 2, 0x00E1, 3, 4, 5, 6};
    pdu.alternativeEntityType = {1, 2, 0x0102, 7, 8, 9, 10};
    pdu.linearVelocity = {0.25f, 7.0f, -3.5f};
    pdu.location = {100.0, -4500.0, 0.125};
    pdu.orientation = {1.25f, 9.5f, -12.0f};
    pdu.appearance = 0x50515253;
    pdu.deadReckoningAlgorithm = 2;
    pdu.linearAcceleration = {0.5f, -1.0f, 2.0f};
    pdu.angularVelocity = {3.25f, -0.75f, 1.0f};
    const std::uint8_t marking[12] = {1, 'H', 'A', 'L', 'C', 'Y', 'R', 'A', 0, 0, 0, 0};
    std::memcpy(pdu.marking, marking, sizeof marking);
    pdu.capabilities = 0x70717273;
    return pdu;
}

// --- Interphone control
inline IcsTransmitterPdu SampleIcsTransmitter() {
    IcsTransmitterPdu pdu{};
    pdu.header = {6, 7, PDU_TYPE_ICS_TRANSMITTER, PROTOCOL_FAMILY_ICS, 0x01020304, 40, 0};
    pdu.senderId = {0x0A0B, 0x0C0D, 0x0E0F};
    pdu.addressedId = {0x1112, 0x1314, 0x1516};
    pdu.stationNumber = 0x1718;
    pdu.line = 0x191A;
    pdu.zero[0] = 0x1B1C;
    pdu.zero[1] = 0x1D1E;
    pdu.zero[2] = 0x1F20;
    pdu.calledStation = 0x2122;
    pdu.dialing = 1;
    pdu.replyCode = 2;
    pdu.lineState = 3;
    pdu.replierLineState = 4;
    return pdu;
}

inline Bytes SampleIcsTransmitterWire() {
    return Hex(
        "06 07 A0 28  01 02 03 04  00 28  00 00"
        "0A 0B 0C 0D 0E 0F  11 12 13 14 15 16"
        "17 18  19 1A  1B 1C 1D 1E 1F 20  21 22"
        "01 02 03 04");
}

// --- Interphone audio (sample rate unaligned at offset 30)
inline IcsSignalPdu SampleIcsSignal() {
    IcsSignalPdu pdu{};
    pdu.header = {6, 7, PDU_TYPE_ICS_SIGNAL, PROTOCOL_FAMILY_ICS, 0x01020304, 42, 0};
    pdu.senderId = {0x0A0B, 0x0C0D, 0x0E0F};
    pdu.zero[0] = 0x1112;
    pdu.zero[1] = 0x1314;
    pdu.zero[2] = 0x1516;
    pdu.stationNumber = 0x1718;
    pdu.line = 0x191A;
    pdu.encodingScheme = 1;
    pdu.sampleRate = 0x0102A3B4;
    pdu.dataLengthBits = 32;
    pdu.sampleCount = 4;
    return pdu;
}

inline Bytes SampleIcsSignalAudio() { return Hex("FF 7F 00 80"); }

inline Bytes SampleIcsSignalWire() {
    return Hex(
        "06 07 A1 28  01 02 03 04  00 2A  00 00"
        "0A 0B 0C 0D 0E 0F  11 12 13 14 15 16"
        "17 18  19 1A  00 01  01 02 A3 B4  00 20  00 04");
}

}  // namespace hcy::net::test
