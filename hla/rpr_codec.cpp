#include "hla/rpr_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "net/pdu.h"

namespace hcy::hla {

const char* const kTransmitterClassName = "EmbeddedSystem.RadioTransmitter";
const char* const kReceiverClassName = "EmbeddedSystem.RadioReceiver";
const char* const kSignalClassName = "RadioSignal.EncodedAudioRadioSignal";

const char* const kTransmitterAttributeNames[kHlaAttributeCount] = {"EntityIdentifier",
                                                                    "HostObjectIdentifier",
                                                                    "RelativePosition",
                                                                    "AntennaPatternData",
                                                                    "CryptographicMode",
                                                                    "CryptoSystem",
                                                                    "EncryptionKeyIdentifier",
                                                                    "Frequency",
                                                                    "FrequencyBandwidth",
                                                                    "FrequencyHopInUse",
                                                                    "ModulationParameters",
                                                                    "PsuedoNoiseSpectrumInUse",
                                                                    "RadioIndex",
                                                                    "RadioInputSource",
                                                                    "RadioSystemType",
                                                                    "RFModulationSystemType",
                                                                    "RFModulationType",
                                                                    "TimeHopInUse",
                                                                    "TransmittedPower",
                                                                    "TransmitterOperationalStatus",
                                                                    "WorldLocation"};

const char* const kReceiverAttributeNames[kReceiverAttributeCount] = {
    "RadioIndex", "ReceivedPower", "ReceivedTransmitterIdentifier", "ReceiverOperationalStatus"};

const char* const kSignalParameterNames[kSignalParameterCount] = {
    "HostRadioIndex",   "TransmitterSignalEncodingType",
    "SignalSampleRate", "SampleCount",
    "SignalDataLength", "SignalData"};

namespace {

// Big-endian writer into a byte string.
class Writer {
public:
    explicit Writer(std::string& out) : m_out(out) { m_out.clear(); }
    void U8(std::uint8_t v) { m_out.push_back(static_cast<char>(v)); }
    void U16(std::uint16_t v) { Be(v, 2); }
    void U32(std::uint32_t v) { Be(v, 4); }
    void F32(float v) { U32(std::bit_cast<std::uint32_t>(v)); }
    void F64(double v) { Be(std::bit_cast<std::uint64_t>(v), 8); }
    void Text(const std::string& text) { m_out.append(text.c_str(), text.size() + 1); }

private:
    void Be(std::uint64_t v, int bytes) {
        for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
            m_out.push_back(static_cast<char>((v >> shift) & 0xFF));
    }
    std::string& m_out;
};

// Big-endian reader over a value whose length has been checked.
class Reader {
public:
    explicit Reader(const char* value) : m_p(reinterpret_cast<const unsigned char*>(value)) {}
    std::uint8_t U8() { return *m_p++; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Be(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Be(4)); }
    float F32() { return std::bit_cast<float>(U32()); }
    double F64() { return std::bit_cast<double>(Be(8)); }

private:
    std::uint64_t Be(int bytes) {
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | *m_p++;
        return v;
    }
    const unsigned char* m_p;
};

// The text of a value: up to its first zero byte or its end.
std::string TextOf(const char* value, std::size_t length) {
    return std::string(value, std::find(value, value + length, '\0'));
}

// Attribute n: its length test and its sent size (0: variable).
struct LengthRule {
    std::size_t size;
    bool atLeast;  // true: `size` or more bytes are accepted
};
constexpr LengthRule kRules[kHlaAttributeCount] = {
    {6, false}, {1, true},  {12, false}, {4, true}, {4, false}, {2, false}, {2, false},
    {8, false}, {4, false}, {1, true},   {1, true}, {1, true},  {2, false}, {1, false},
    {8, false}, {2, false}, {4, false},  {1, true}, {4, false}, {1, false}, {24, false}};

}  // namespace

void EncodeAttribute(unsigned bit, const HlaTransmitterRecord& r, std::string& out) {
    Writer w(out);
    switch (bit) {
    case 0:
        w.U16(r.site);
        w.U16(r.application);
        w.U16(r.entity);
        break;
    case 1: w.Text(r.hostObjectId); break;
    case 2:
        w.F32(r.relativeX);
        w.F32(r.relativeY);
        w.F32(r.relativeZ);
        break;
    case 3: w.U32(r.antennaPatternData); break;
    case 4: w.U32(r.cryptographicMode); break;
    case 5: w.U16(r.cryptoSystem); break;
    case 6: w.U16(r.cryptoKey); break;
    case 7:
        w.U32(r.frequencyHigh);
        w.U32(r.frequencyLow);
        break;
    case 8: w.F32(r.bandwidth); break;
    case 9: w.U8(r.frequencyHop); break;
    case 10:
        // The radio's block, cut or zero-padded to the attribute's size.
        for (std::size_t i = 0; i < kModulationParametersSize; ++i)
            w.U8(i < r.modulationParameters.size() ? r.modulationParameters[i] : 0);
        break;
    case 11: w.U8(r.pseudoNoise); break;
    case 12: w.U16(r.radioIndex); break;
    case 13: w.U8(r.inputSource); break;
    case 14:
        w.U8(r.systemKind);
        w.U8(r.systemDomain);
        w.U16(r.systemCountry);
        w.U8(r.systemCategory);
        w.U8(r.systemNomenclatureVersion);
        w.U16(r.systemNomenclature);
        break;
    case 15: w.U16(r.modulationSystem); break;
    case 16:
        w.U16(r.majorModulation);
        w.U16(r.detailModulation);
        break;
    case 17: w.U8(r.timeHop); break;
    case 18: w.F32(r.power); break;
    case 19: w.U8(r.operationalStatus); break;
    case 20:
        w.F64(r.worldX);
        w.F64(r.worldY);
        w.F64(r.worldZ);
        break;
    default: break;
    }
}

bool DecodeAttribute(unsigned bit, const char* value, std::size_t length, HlaTransmitterRecord& r) {
    if (bit >= kHlaAttributeCount || !value) return false;
    const LengthRule rule = kRules[bit];
    if (rule.atLeast ? length < rule.size : length != rule.size) return false;
    Reader in(value);
    switch (bit) {
    case 0:
        r.site = in.U16();
        r.application = in.U16();
        r.entity = in.U16();
        break;
    case 1: r.hostObjectId = TextOf(value, length); break;
    case 2:
        r.relativeX = in.F32();
        r.relativeY = in.F32();
        r.relativeZ = in.F32();
        break;
    case 3: r.antennaPatternData = in.U32(); break;
    case 4: r.cryptographicMode = in.U32(); break;
    case 5: r.cryptoSystem = in.U16(); break;
    case 6: r.cryptoKey = in.U16(); break;
    case 7:
        r.frequencyHigh = in.U32();
        r.frequencyLow = in.U32();
        break;
    case 8: r.bandwidth = in.F32(); break;
    case 9: r.frequencyHop = in.U8(); break;
    case 10: break;  // present, not kept
    case 11: r.pseudoNoise = in.U8(); break;
    case 12: r.radioIndex = in.U16(); break;
    case 13: r.inputSource = in.U8(); break;
    case 14:
        r.systemKind = in.U8();
        r.systemDomain = in.U8();
        r.systemCountry = in.U16();
        r.systemCategory = in.U8();
        r.systemNomenclatureVersion = in.U8();
        r.systemNomenclature = in.U16();
        break;
    case 15: r.modulationSystem = in.U16(); break;
    case 16:
        r.majorModulation = in.U16();
        r.detailModulation = in.U16();
        break;
    case 17: r.timeHop = in.U8(); break;
    case 18: r.power = in.F32(); break;
    case 19: r.operationalStatus = in.U8(); break;
    case 20:
        r.worldX = in.F64();
        r.worldY = in.F64();
        r.worldZ = in.F64();
        break;
    }
    return true;
}

HlaTransmitterRecord RecordFromTransmitterPdu(const net::TransmitterPdu& pdu) {
    HlaTransmitterRecord r;
    r.site = pdu.radioId.entityId.site;
    r.application = pdu.radioId.entityId.application;
    r.entity = pdu.radioId.entityId.entity;
    r.relativeX = pdu.relativeAntennaLocation.x;
    r.relativeY = pdu.relativeAntennaLocation.y;
    r.relativeZ = pdu.relativeAntennaLocation.z;
    r.cryptoSystem = pdu.cryptoSystem;
    r.cryptoKey = pdu.cryptoKeyId;
    r.frequencyHigh = pdu.frequencyHigh;
    r.frequencyLow = pdu.frequencyLow;
    r.bandwidth = pdu.bandwidth;
    r.frequencyHop = (pdu.modulation.spreadSpectrum & 1) ? 1 : 0;
    r.pseudoNoise = (pdu.modulation.spreadSpectrum & 2) ? 1 : 0;
    r.timeHop = (pdu.modulation.spreadSpectrum & 4) ? 1 : 0;
    r.radioIndex = pdu.radioId.radioNumber;
    r.inputSource = pdu.inputSource;
    r.systemKind = pdu.radioEntityType.kind;
    r.systemDomain = pdu.radioEntityType.domain;
    r.systemCountry = pdu.radioEntityType.country;
    r.systemCategory = pdu.radioEntityType.category;
    r.systemNomenclatureVersion = pdu.radioEntityType.nomenclatureVersion;
    r.systemNomenclature = pdu.radioEntityType.nomenclature;
    r.modulationSystem = pdu.modulation.system;
    r.majorModulation = pdu.modulation.major;
    r.detailModulation = pdu.modulation.detail;
    r.power = pdu.power;
    r.operationalStatus = pdu.transmitState;
    r.worldX = pdu.antennaLocation.x;
    r.worldY = pdu.antennaLocation.y;
    r.worldZ = pdu.antennaLocation.z;
    return r;
}

SendRequestView ViewOf(const net::PduSendRequest& request) {
    return {request.hlaObjectHandle, request.length,
            request.senderName ? &*request.senderName : nullptr};
}

bool ReadNetSignalFields(const unsigned char* netPdu, std::size_t length, HlaSignalRecord& out) {
    static_assert(kSignalFixedPartSize == net::SIGNAL_PDU_HEADER_SIZE);
    if (!netPdu || length < kSignalFixedPartSize) return false;
    // Offsets of the fixed part [bytes]: encoding 20, sample rate 24, data
    // length 28, sample count 30.
    Reader at20(reinterpret_cast<const char*>(netPdu) + 20);
    out.encodingScheme = at20.U16();
    at20.U16();  // TDL type: not sent
    out.sampleRate = at20.U32();
    out.dataLengthBits = at20.U16();
    out.sampleCount = at20.U16();
    return true;
}

void EncodeSignalParameter(SignalParameter parameter, const HlaSignalRecord& signal,
                           const std::string& senderName, std::string& out) {
    Writer w(out);
    switch (parameter) {
    case kHostRadioIndex: w.Text(senderName); break;
    case kTransmitterSignalEncodingType: w.U32(signal.encodingScheme); break;
    case kSignalSampleRate: w.U32(signal.sampleRate); break;
    case kSampleCount: w.U16(signal.sampleCount); break;
    case kSignalDataLength: w.U16(signal.dataLengthBits); break;
    default: break;
    }
}

void ReceivedSignal::Clear() {
    record = HlaSignalRecord{};
    senderName.clear();
    audio.clear();
    hasAudio = false;
}

void ReceivedSignal::Take(SignalParameter parameter, const char* value, std::size_t length) {
    if (!value && length != 0) return;
    Reader in(value);
    switch (parameter) {
    case kHostRadioIndex: senderName = TextOf(value, length); break;
    case kTransmitterSignalEncodingType:
        if (length >= 4) record.encodingScheme = static_cast<std::uint16_t>(in.U32() & 0xFFFF);
        break;
    case kSignalSampleRate:
        if (length >= 4) record.sampleRate = in.U32();
        break;
    case kSampleCount:
        if (length >= 2) record.sampleCount = in.U16();
        break;
    case kSignalDataLength:
        if (length >= 2) record.dataLengthBits = in.U16();
        break;
    case kSignalData: {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(value);
        audio.assign(bytes, bytes + std::min(length, kMaxSignalDataBytes));
        hasAudio = true;
        break;
    }
    default: break;
    }
}

bool ReceivedSignal::Usable() const {
    return hasAudio && !audio.empty() && record.dataLengthBits / 8u <= audio.size() &&
           record.sampleRate != 0 && record.sampleCount != 0;
}

}  // namespace hcy::hla
