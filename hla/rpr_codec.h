#pragma once
// The RPR FOM 1.0 byte codec: names of the classes, attributes and
// parameters the federate uses, and the wire form of each value. No RTI here:
// the HLA manager puts these bytes into the RTI's sets and reads them out.
//
// Every multi-byte value on the wire is big-endian. Attribute n of the
// transmitter class is bit n of an HLA_ATTR_* mask:
//
//   bit attribute                      bytes  accepted when reflected
//    0  EntityIdentifier               6      exactly 6 (site, application, entity)
//    1  HostObjectIdentifier           n + 1  1 or more (text up to its first 0)
//    2  RelativePosition               12     exactly 12 (x, y, z singles)
//    3  AntennaPatternData             4      4 or more (first 4)
//    4  CryptographicMode              4      exactly 4
//    5  CryptoSystem                   2      exactly 2
//    6  EncryptionKeyIdentifier        2      exactly 2
//    7  Frequency                      8      exactly 8 (u64 [Hz])
//    8  FrequencyBandwidth             4      exactly 4 (single [Hz])
//    9  FrequencyHopInUse              1      1 or more (first byte)
//   10  ModulationParameters           15     1 or more (value not kept)
//   11  PsuedoNoiseSpectrumInUse       1      1 or more
//   12  RadioIndex                     2      exactly 2
//   13  RadioInputSource               1      exactly 1
//   14  RadioSystemType                8      exactly 8
//   15  RFModulationSystemType         2      exactly 2
//   16  RFModulationType               4      exactly 4 (major, detail)
//   17  TimeHopInUse                   1      1 or more
//   18  TransmittedPower               4      exactly 4 (single)
//   19  TransmitterOperationalStatus   1      exactly 1
//   20  WorldLocation                  24     exactly 24 (x, y, z doubles)
//
// Free of the RTI's header; the PDU records are only named here, their
// fields read in rpr_codec.cpp.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/hla_record.h"

namespace hcy {
namespace net {
struct TransmitterPdu;
struct PduSendRequest;
}  // namespace net

namespace hla {

extern const char* const kTransmitterClassName;  // "EmbeddedSystem.RadioTransmitter"
extern const char* const kReceiverClassName;     // "EmbeddedSystem.RadioReceiver"
extern const char* const kSignalClassName;       // "RadioSignal.EncodedAudioRadioSignal"
// The transmitter's attributes in bit order.
extern const char* const kTransmitterAttributeNames[kHlaAttributeCount];
// The receiver's attributes: named, never resolved.
constexpr unsigned kReceiverAttributeCount = 4;
extern const char* const kReceiverAttributeNames[kReceiverAttributeCount];

// The signal's parameters in declaration order.
enum SignalParameter {
    kHostRadioIndex,
    kTransmitterSignalEncodingType,
    kSignalSampleRate,
    kSampleCount,
    kSignalDataLength,
    kSignalData,
    kSignalParameterCount
};
extern const char* const kSignalParameterNames[kSignalParameterCount];

// Bytes of ModulationParameters as sent.
constexpr std::size_t kModulationParametersSize = 15;
// The most audio a signal carries: its data length is a 16-bit count of
// bits [bytes].
constexpr std::size_t kMaxSignalDataBytes = 0xFFFF / 8;

// The wire bytes of attribute `bit` (0 to 20) of `record` into `out`.
void EncodeAttribute(unsigned bit, const HlaTransmitterRecord& record, std::string& out);

// Decodes one reflected value of attribute `bit` into `record`; false
// (record untouched) when its length fails the attribute's test.
bool DecodeAttribute(unsigned bit, const char* value, std::size_t length,
                     HlaTransmitterRecord& record);

// The attributes a host-order Transmitter PDU gives (the host object
// identifier empty, no modulation parameters).
HlaTransmitterRecord RecordFromTransmitterPdu(const net::TransmitterPdu& pdu);

// What a send request tells the HLA manager.
struct SendRequestView {
    std::uint32_t objectHandle;
    std::uint32_t length;           // [bytes]
    const std::string* senderName;  // null: none
};
SendRequestView ViewOf(const net::PduSendRequest& request);

// The fixed part of a Signal PDU, before its audio [bytes].
constexpr std::size_t kSignalFixedPartSize = 32;
// The fixed fields of a network-order Signal PDU; false when `length` is
// shorter than its fixed part.
bool ReadNetSignalFields(const unsigned char* netPdu, std::size_t length, HlaSignalRecord& out);

// The wire bytes of one signal parameter other than SignalData (whose bytes
// are the audio itself): a text with its terminating 0, or a big-endian
// number.
void EncodeSignalParameter(SignalParameter parameter, const HlaSignalRecord& signal,
                           const std::string& senderName, std::string& out);

// A received signal, parameter by parameter.
struct ReceivedSignal {
    HlaSignalRecord record;
    std::string senderName;
    std::vector<std::uint8_t> audio;  // at most kMaxSignalDataBytes
    bool hasAudio = false;

    // Empties it for the next signal (keeping the audio's room).
    void Clear();
    // Takes one parameter's value; a number shorter than its width is
    // ignored, a repeat replaces the earlier value.
    void Take(SignalParameter parameter, const char* value, std::size_t length);
    // The signal is worth dispatching: audio that holds what the data
    // length claims, a sample rate and a sample count.
    bool Usable() const;
};

}  // namespace hla
}  // namespace hcy
