#pragma once
// What the radios and the HLA manager exchange about RPR FOM 1.0 radio
// transmitter objects and encoded-audio signals: the attribute mask bits
// and the records, in host byte order.
//
//   radio attribute notice --bit--> network manager --> HLA manager
//   HLA manager --HlaTransmitterRecord + mask--> application --> radios
//   HLA manager --HlaSignalRecord + audio + sender--> application --> radios
#include <cstdint>
#include <string>
#include <vector>

// Bit n of a mask selects the n-th attribute of the transmitter class.
constexpr std::uint32_t HLA_ATTR_ENTITY_IDENTIFIER = 0x1;
constexpr std::uint32_t HLA_ATTR_HOST_OBJECT_IDENTIFIER = 0x2;
constexpr std::uint32_t HLA_ATTR_RELATIVE_POSITION = 0x4;
constexpr std::uint32_t HLA_ATTR_ANTENNA_PATTERN_DATA = 0x8;
constexpr std::uint32_t HLA_ATTR_CRYPTOGRAPHIC_MODE = 0x10;
constexpr std::uint32_t HLA_ATTR_CRYPTO_SYSTEM = 0x20;
constexpr std::uint32_t HLA_ATTR_ENCRYPTION_KEY_IDENTIFIER = 0x40;
constexpr std::uint32_t HLA_ATTR_FREQUENCY = 0x80;
constexpr std::uint32_t HLA_ATTR_FREQUENCY_BANDWIDTH = 0x100;
constexpr std::uint32_t HLA_ATTR_FREQUENCY_HOP_IN_USE = 0x200;
constexpr std::uint32_t HLA_ATTR_MODULATION_PARAMETERS = 0x400;
constexpr std::uint32_t HLA_ATTR_PSEUDO_NOISE_SPECTRUM_IN_USE = 0x800;
constexpr std::uint32_t HLA_ATTR_RADIO_INDEX = 0x1000;
constexpr std::uint32_t HLA_ATTR_RADIO_INPUT_SOURCE = 0x2000;
constexpr std::uint32_t HLA_ATTR_RADIO_SYSTEM_TYPE = 0x4000;
constexpr std::uint32_t HLA_ATTR_RF_MODULATION_SYSTEM_TYPE = 0x8000;
constexpr std::uint32_t HLA_ATTR_RF_MODULATION_TYPE = 0x10000;
constexpr std::uint32_t HLA_ATTR_TIME_HOP_IN_USE = 0x20000;
constexpr std::uint32_t HLA_ATTR_TRANSMITTED_POWER = 0x40000;
constexpr std::uint32_t HLA_ATTR_TRANSMITTER_OPERATIONAL_STATUS = 0x80000;
constexpr std::uint32_t HLA_ATTR_WORLD_LOCATION = 0x100000;
constexpr std::uint32_t HLA_ATTR_ALL = 0x1FFFFF;
constexpr unsigned kHlaAttributeCount = 21;

// The attributes of one transmitter object. Only the fields whose bit is in
// the mask that travels with the record hold values; the instance name
// always does.
struct HlaTransmitterRecord {
    std::string instanceName;
    std::uint16_t site = 0, application = 0, entity = 0;
    std::string hostObjectId;
    float relativeX = 0, relativeY = 0, relativeZ = 0;  // [m]
    std::uint32_t antennaPatternData = 0;
    std::uint32_t cryptographicMode = 0;
    std::uint16_t cryptoSystem = 0;
    std::uint16_t cryptoKey = 0;
    std::uint32_t frequencyHigh = 0, frequencyLow = 0;  // [Hz], 64 bits
    std::uint8_t frequencyHop = 0, timeHop = 0, pseudoNoise = 0;
    std::uint16_t radioIndex = 0;
    std::uint8_t inputSource = 0;
    std::uint8_t systemKind = 0, systemDomain = 0;
    std::uint16_t systemCountry = 0;
    std::uint8_t systemCategory = 0, systemNomenclatureVersion = 0;
    std::uint16_t systemNomenclature = 0;
    std::uint16_t modulationSystem = 0;
    float bandwidth = 0;  // [Hz]
    float power = 0;      // [dBm]
    std::uint16_t majorModulation = 0, detailModulation = 0;
    std::uint8_t operationalStatus = 0;         // 0 off, 1 on, 2 transmitting
    double worldX = 0, worldY = 0, worldZ = 0;  // [m]
    // Sent (15 bytes) from a radio's modulation parameter block; never kept
    // from a reflection.
    std::vector<std::uint8_t> modulationParameters;
};

// The fields of a received signal interaction that a Signal PDU's fixed
// part would carry; its audio and the sender's name travel beside it.
struct HlaSignalRecord {
    std::uint16_t encodingScheme = 0;
    std::uint32_t sampleRate = 0;      // [Hz]
    std::uint16_t dataLengthBits = 0;  // [bits]
    std::uint16_t sampleCount = 0;
};
