// CRadioModel, sending half: keying, the Transmitter, Signal and Receiver
// PDUs, the heartbeat and the transmit delay.
//
//   TransmitAudio(block, source)          capture thread, device locked
//     radio mutex: refusals, sharing-mode sidetone, parameter snapshot
//     transmit mutex: private copy -> shift / zero -> gain -> level
//                     -> hop noise -> encoder, <= 4080 samples per PDU
//                     -> PostPdu, or the delay queue when a delay is set
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "audio/device.h"
#include "audio/recv_path.h"
#include "base/library.h"
#include "codecs/level.h"
#include "hcyplat/crt.h"
#include "net/net_mgr.h"
#include "radio/radio_model.h"
#include "radio/radio_post.h"
#include "radio/receive.h"

namespace {

// A frequency [Hz] as the PDU's 64-bit word: truncated, negative values in
// two's complement, values past the 64-bit range saturated.
std::uint64_t FrequencyWord(double hz) {
    const double whole = std::trunc(hz);
    if (!(whole == whole)) return 0;
    if (whole >= 9.2e18)
        return static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (whole <= -9.2e18)
        return static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::min());
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(whole));
}

template <class T>
std::vector<std::byte> Bytes(const T& record, std::size_t total) {
    std::vector<std::byte> bytes(total);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

}  // namespace

// What TransmitAudio needs of the radio, taken under its mutex.
struct CRadioModel::SignalPlan {
    SignalPdu header{};  // every field but timestamp, length and sizes
    hcy::CodecKind codec = hcy::CodecKind::Pcm;
    std::uint32_t shift = 0, zero = 0;
    float gain = 1.0f;
    bool hop = false;
    std::uint32_t hopThreshold = 0, hopBytes = 0, hopShift = 0;
    std::uint32_t delayMs = 0;
    hcy::net::PduSendRequest request;
};

bool CRadioModel::IsKeyed() const { return m_bKeyed.load(); }

std::uint32_t CRadioModel::GetPttSource() const {
    Guard lock(*this);
    return IsKeyed() ? m_nPttSource : 0;
}

void CRadioModel::BuildHeader(hcy::net::PduHeader& header, std::uint8_t type,
                              std::uint16_t length) const {
    header =
        hcy::radio::MakePduHeader(type, hcy::net::PROTOCOL_FAMILY_RADIO, length, m_nExerciseId);
}

OutgoingPdu CRadioModel::MakeOutgoing(std::vector<std::byte>&& bytes) const {
    OutgoingPdu out;
    out.request.networkFlags = m_nNetworkMode.load();
    out.request.length = static_cast<std::uint32_t>(bytes.size());
    out.request.hlaObjectHandle = m_nHlaHandle.load();
    out.request.senderName = m_strName;
    out.pdu = std::move(bytes);
    return out;
}

bool CRadioModel::SendPdu(std::vector<std::byte>&& bytes, bool delayable) {
    if (!hcy::radio::NetMgrReady()) return false;
    OutgoingPdu out = MakeOutgoing(std::move(bytes));
    if (delayable && m_nTransmitDelay > 0) {
        hcy::radio::QueueDelayedPdu(this, m_nTransmitDelay, std::move(out));
        return true;
    }
    return hcy::radio::PostPdu(std::move(out));
}

// ---------------------------------------------------------------------------
// Keying

int CRadioModel::SetPTT(int on, std::uint32_t source) {
    Guard lock(*this);
    const bool differs = (on != 0) != IsKeyed();
    if (IsKeyed()) {
        // Only the source that keyed the radio releases it.
        if (!on && source == m_nPttSource) {
            {
                // Under the encoder's lock: a block being sent leaves before
                // the PDU that says "off", and none after it.
                std::lock_guard<std::mutex> xmit(m_xmitMutex);
                m_nPTT = 0;
                m_bKeyed = false;
                SendTransmitterPdu();
            }
            for (auto& path : m_paths) path->StopSource(nullptr, false);
            m_nPttSource = 0;
            m_nSignalPduCount = 0;
        }
    } else if (on && m_nOn && !m_nInhibit) {
        m_nPttSource = source;
        m_nPTT = static_cast<std::uint32_t>(on);
        m_bKeyed = true;
        {
            // A new transmission: the encoders start from the zero state, as
            // listeners do at its first block. Both under the encoder's lock,
            // so that every block coded afresh leaves after the PDU that
            // says so, and no block coded before leaves after it.
            std::lock_guard<std::mutex> xmit(m_xmitMutex);
            m_codecs->adpcm.ResetEncoder();
            m_codecs->cvsd.ResetEncoder();
            m_codecs->cecomCvsd.ResetEncoder();
            SendTransmitterPdu();
        }
        for (auto& path : m_paths)
            if (path->IsActive()) path->UpdateSourceGain(nullptr);
    }
    if (differs) NotifyAttribute(HLA_ATTR_TRANSMITTER_OPERATIONAL_STATUS);
    return 1;
}

int CRadioModel::Heartbeat() {
    Guard lock(*this);
    SendTransmitterPdu();
    if (hcy::Library().m_nEnablePDUs.load() & 1) SendReceiverPdu(1);
    if (m_nNetworkMode.load() & NET_HLA) ProcessHlaRecords();
    return 1;
}

// ---------------------------------------------------------------------------
// PDUs

void CRadioModel::SendTransmitterPdu() {
    Guard lock(*this);
    const std::size_t parameters = std::min<std::size_t>(m_params.modulationParameters.size(), 255);
    const std::size_t total = hcy::net::TRANSMITTER_PDU_SIZE + parameters;
    TransmitterPdu pdu{};
    BuildHeader(pdu.header, hcy::net::PDU_TYPE_TRANSMITTER, static_cast<std::uint16_t>(total));
    pdu.radioId = {{m_nSite, m_nApplication, m_nEntity}, m_nRadio};
    pdu.radioEntityType = m_entityType;
    pdu.transmitState = (!m_nOn || m_nInhibit) ? 0 : IsKeyed() ? 2 : 1;
    pdu.inputSource = IsKeyed() ? static_cast<std::uint8_t>(m_nPttSource & 0xFF) : 0;
    pdu.netNumber = m_params.net;
    pdu.antennaLocation = m_params.antennaWorld;
    pdu.relativeAntennaLocation = m_params.antennaRelative;
    pdu.setFrequency(FrequencyWord(m_params.xmitFrequency));
    pdu.bandwidth = static_cast<float>(m_params.bandwidth);
    pdu.power = static_cast<float>(m_fXmitPower);
    pdu.modulation = {m_params.spreadSpectrum, m_params.majorModulation, m_params.detailModulation,
                      m_params.system};
    pdu.cryptoSystem = m_params.cryptoSystem;
    pdu.cryptoKeyId = m_params.cryptoKey;
    pdu.modulationParameterLength = static_cast<std::uint8_t>(parameters);
    auto bytes = Bytes(pdu, total);
    if (parameters)
        std::memcpy(bytes.data() + hcy::net::TRANSMITTER_PDU_SIZE,
                    m_params.modulationParameters.data(), parameters);
    if (SendPdu(std::move(bytes), true)) ++m_nXmitPduCount;
}

void CRadioModel::GetHlaTransmitterRecord(HlaTransmitterRecord& out) const {
    Guard lock(*this);
    out = HlaTransmitterRecord{};
    out.instanceName = m_strName;
    out.site = m_nSite;
    out.application = m_nApplication;
    out.entity = m_nEntity;
    out.hostObjectId = m_strHostObjectId;
    out.relativeX = m_params.antennaRelative.x;
    out.relativeY = m_params.antennaRelative.y;
    out.relativeZ = m_params.antennaRelative.z;
    out.cryptoSystem = m_params.cryptoSystem;
    out.cryptoKey = m_params.cryptoKey;
    const std::uint64_t frequency = FrequencyWord(m_params.xmitFrequency);
    out.frequencyHigh = static_cast<std::uint32_t>(frequency >> 32);
    out.frequencyLow = static_cast<std::uint32_t>(frequency);
    out.frequencyHop = (m_params.spreadSpectrum & 1) ? 1 : 0;
    out.pseudoNoise = (m_params.spreadSpectrum & 2) ? 1 : 0;
    out.timeHop = (m_params.spreadSpectrum & 4) ? 1 : 0;
    out.radioIndex = m_nRadio;
    out.inputSource = static_cast<std::uint8_t>(m_nPttSource & 0xFF);
    out.systemKind = m_entityType.kind;
    out.systemDomain = m_entityType.domain;
    out.systemCountry = m_entityType.country;
    out.systemCategory = m_entityType.category;
    out.systemNomenclatureVersion = m_entityType.nomenclatureVersion;
    out.systemNomenclature = m_entityType.nomenclature;
    out.modulationSystem = m_params.system;
    out.bandwidth = static_cast<float>(m_params.bandwidth);
    out.power = static_cast<float>(m_fXmitPower);
    out.majorModulation = m_params.majorModulation;
    out.detailModulation = m_params.detailModulation;
    out.operationalStatus = (!m_nOn || m_nInhibit) ? 0 : m_nPTT ? 2 : 1;
    out.worldX = m_params.antennaWorld.x;
    out.worldY = m_params.antennaWorld.y;
    out.worldZ = m_params.antennaWorld.z;
    out.modulationParameters = m_params.modulationParameters;
}

// Reports the strongest transmitting, squelch-open record (largest received
// power, the first of equals) with that record's power.
void CRadioModel::SendReceiverPdu(std::uint32_t force) {
    Guard lock(*this);
    ReceiverPdu pdu{};
    BuildHeader(pdu.header, hcy::net::PDU_TYPE_RECEIVER,
                static_cast<std::uint16_t>(hcy::net::RECEIVER_PDU_SIZE));
    pdu.radioId = {{m_nSite, m_nApplication, m_nEntity}, m_nRadio};
    pdu.receiverState = m_nOn ? 1 : 0;
    const CReceive* heard = nullptr;
    for (auto& r : m_receives)
        if (r->transmitting && r->squelchOpen &&
            (!heard || r->receivedPower > heard->receivedPower))
            heard = r.get();
    if (heard) {
        pdu.receiverState = m_nOn ? 2 : 0;
        pdu.receivedPower = static_cast<float>(heard->receivedPower);
        pdu.transmitterRadioId = heard->id;
    }
    if (pdu.receiverState == 2 && m_params.duplex == DUPLEX_HALF && IsKeyed())
        pdu.receiverState = 1;
    if (ReceiverStateChanged(pdu) || force) SendPdu(Bytes(pdu, hcy::net::RECEIVER_PDU_SIZE), false);
}

int CRadioModel::ReceiverStateChanged(const ReceiverPdu& pdu) {
    Guard lock(*this);
    const ReceiverPdu& last = m_lastReceiverPdu;
    const bool sameTransmitter = std::memcmp(&last.transmitterRadioId, &pdu.transmitterRadioId,
                                             sizeof pdu.transmitterRadioId) == 0;
    const double lastPower = last.receivedPower;
    if (sameTransmitter && last.receiverState == pdu.receiverState &&
        std::fabs(lastPower - pdu.receivedPower) <= 0.1 * lastPower)
        return 0;
    m_lastReceiverPdu = pdu;
    return 1;
}

// ---------------------------------------------------------------------------
// Transmitted audio

void CRadioModel::TransmitAudio(const std::int16_t* samples, std::uint32_t byteCount,
                                std::uint32_t sampleRate, std::uint32_t source) {
    if (!samples) return;
    const std::uint32_t count = byteCount / 2;
    SignalPlan plan;
    {
        Guard lock(*this);
        const bool cryptoWithoutKey =
            m_params.cryptoSystem != 0 && m_params.cryptoKey == 0 && !m_params.allowPlainXmit;
        if (m_nInhibit || !m_nOn ||
            (m_params.xmitFrequency == 0.0 && !(m_params.spreadSpectrum & 1)) || cryptoWithoutKey ||
            count == 0) {
            m_fXmitLevel = 0.0;
            return;
        }
        if (m_nPromptSource != 0 && source != m_nPromptSource) return;
        // A radio that is not keyed is silent, whoever hands it audio.
        if (!IsKeyed()) return;
        if (m_nSharingMode) {
            for (auto& path : m_paths) {
                if (!path->IsActive() || !path->GetDevice()) continue;
                const auto own = static_cast<std::uint32_t>(path->GetDevice()->GetHandle()) * 2 +
                                 (path->GetChannel() == 8 ? 1u : 0u);
                if (own == source) continue;
                path->WriteAudio(nullptr, samples, count * 2, sampleRate);
            }
        }
        BuildHeader(plan.header.header, hcy::net::PDU_TYPE_SIGNAL, 0);
        plan.header.radioId = {{m_nSite, m_nApplication, m_nEntity}, m_nRadio};
        plan.header.encodingScheme = static_cast<std::uint16_t>(hcy::WireEncoding(m_nEncoding));
        plan.header.tdlType = 0;
        plan.header.sampleRate = sampleRate;
        plan.codec = hcy::SelectSendCodec(m_nEncoding, m_nCecom != 0);
        plan.shift = m_nXmitShift;
        plan.zero = m_nXmitZero;
        plan.gain = m_fXmitGain;
        plan.hop = (m_params.spreadSpectrum & 1) != 0;
        plan.hopThreshold = m_nHopNoiseThreshold;
        plan.hopBytes = m_nHopNoiseBytes;
        plan.hopShift = m_nHopNoiseShift;
        plan.delayMs = m_nTransmitDelay;
        plan.request = MakeOutgoing({}).request;
    }

    std::lock_guard<std::mutex> xmit(m_xmitMutex);
    if (!IsKeyed()) return;  // released meanwhile: its "off" has gone out
    // The block belongs to the device and goes to other radios too: work on
    // a copy.
    m_xmitScratch.assign(samples, samples + count);
    std::int16_t* block = m_xmitScratch.data();
    if (plan.shift)
        for (std::uint32_t i = 0; i < count; ++i)
            block[i] = static_cast<std::int16_t>(block[i] >> 4);
    if (plan.zero) std::fill(block, block + count, std::int16_t{0});
    if (plan.gain > 1.0f) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const double v =
                std::clamp(block[i] * static_cast<double>(plan.gain), -32768.0, 32767.0);
            block[i] = static_cast<std::int16_t>(v);
        }
    }
    m_fXmitLevel =
        sampleRate
            ? hcy::ComputeRmsLevel(block, count * 2, static_cast<std::int32_t>(sampleRate)) / 366.0
            : 0.0;
    if (plan.hop && static_cast<std::uint32_t>(plat::rand()) < plan.hopThreshold) {
        auto* bytes = reinterpret_cast<std::uint8_t*>(block);
        const std::uint32_t n = std::min(plan.hopBytes, count * 2);
        for (std::uint32_t i = 0; i < n; ++i)
            bytes[i] = static_cast<std::uint8_t>((plat::rand() >> plan.hopShift) & 0xFF);
    }
    SendSignalPdus(plan, block, count, sampleRate);
}

// One Signal PDU per run of at most 4080 samples; sizes by the coder's
// ratio: data bytes = sample bytes / ratio, bits = bytes x 8, samples =
// bits / bits per sample.
void CRadioModel::SendSignalPdus(const SignalPlan& plan, const std::int16_t* samples,
                                 std::uint32_t sampleCount, std::uint32_t sampleRate) {
    const std::uint32_t ratio = hcy::GetCompressionRatio(plan.codec);
    const std::uint32_t bitsPerSample = hcy::GetBitsPerSample(plan.codec);
    for (std::uint32_t first = 0; first < sampleCount; first += kMaxSamplesPerSignalPdu) {
        const std::uint32_t n = std::min(kMaxSamplesPerSignalPdu, sampleCount - first);
        const std::uint32_t dataBytes = n * 2 / ratio;
        if (dataBytes == 0) break;
        std::vector<std::byte> bytes(hcy::net::SIGNAL_PDU_HEADER_SIZE + dataBytes);
        auto* data =
            reinterpret_cast<std::uint8_t*>(bytes.data() + hcy::net::SIGNAL_PDU_HEADER_SIZE);
        const std::size_t written =
            m_codecs->Encode(plan.codec, std::span(samples + first, n), std::span(data, dataBytes));
        const auto coded = static_cast<std::uint32_t>(written);
        bytes.resize(hcy::net::SIGNAL_PDU_HEADER_SIZE + coded);
        SignalPdu header = plan.header;
        header.header.timestamp = hcy::radio::PduTimestamp();
        header.header.length = static_cast<std::uint16_t>(hcy::net::SIGNAL_PDU_HEADER_SIZE + coded);
        header.sampleRate = sampleRate;
        header.dataLengthBits = static_cast<std::uint16_t>(coded * 8);
        header.sampleCount = static_cast<std::uint16_t>(coded * 8 / bitsPerSample);
        std::memcpy(bytes.data(), &header, sizeof header);

        if (!hcy::radio::NetMgrReady()) return;
        OutgoingPdu out;
        out.request = plan.request;
        out.request.length = static_cast<std::uint32_t>(bytes.size());
        out.pdu = std::move(bytes);
        bool sent = true;
        if (plan.delayMs > 0)
            hcy::radio::QueueDelayedPdu(this, plan.delayMs, std::move(out));
        else
            sent = hcy::radio::PostPdu(std::move(out));
        if (sent) ++m_nSignalPduCount;
    }
}
