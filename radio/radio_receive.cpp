// CRadioModel, receiving half: receive records, the reception pipeline, the
// time-out sweep and the audio of heard transmitters.
//
//   Transmitter PDU (worker)   -> record by (site, app, entity, radio)
//     exercise test -> OnTransmitStateChange
//       started: own entity -> host notice (uid, 1); else EvaluateReception
//                -> paths start (squelch open) or stop
//       ended:   squelch tail and OnReceiveEnd (mode 5), counts cleared,
//                own entity -> host notice (uid, 0)
//   Signal PDU (worker)        -> record (never made here)
//     -> the host's stream of that transmitter (decoded once per PDU for
//        every radio, heard or not, so that it stays in step)
//     -> capture rule -> level -> SSB shift
//     -> receive paths (WriteAudio) / data devices (ReceiveAudio, unlocked)
//   Sweep (tick)               -> records not heard for a whole period go
#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/device.h"
#include "audio/recv_path.h"
#include "base/library.h"
#include "base/messages.h"
#include "halcyra/halcyra.h"
#include "radio/radio_model.h"
#include "radio/radio_post.h"
#include "radio/radio_prompt.h"
#include "radio/receive.h"

namespace {

// Decoded audio of the Signal PDU in hand; it outlives the radio's lock for
// the data devices, and is reused from block to block.
thread_local std::vector<std::int16_t> t_decoded;
thread_local std::vector<CDevice*> t_dataDevices;

bool IsDataDevice(const CDevice* device) {
    return device && device->GetKind() == CDevice::Kind::Data;
}

// A record's stream slot for the source a block came in on.
std::size_t SourceSlot(std::uint32_t source) {
    switch (source) {
    case NET_PRIMARY: return 0;
    case NET_SECONDARY: return 1;
    case NET_LOOPBACK: return 2;
    default: return 3;
    }
}

hcy::net::HeardKey KeyOf(const CReceive& record) {
    return record.hlaObjectHandle != 0xFFFFFFFFu ? hcy::net::HeardKey::Hla(record.hlaObjectHandle)
                                                 : hcy::net::HeardKey::Dis(record.id);
}

}  // namespace

// ---------------------------------------------------------------------------
// Records

std::shared_ptr<CReceive> CRadioModel::FindReceive(const RadioId& key) const {
    auto it = m_receiveIndex.find(hcy::net::PackedKey(key));
    return it == m_receiveIndex.end() ? nullptr : it->second;
}

void CRadioModel::AddReceive(const std::shared_ptr<CReceive>& record) {
    if (!record->heard) record->heard = hcy::net::HeardStreams::Host().Hear(KeyOf(*record));
    m_receiveIndex.emplace(hcy::net::PackedKey(record->id), record);
    m_receives.push_back(record);
}

void CRadioModel::UnlistReceive(const std::shared_ptr<CReceive>& record) {
    m_receiveIndex.erase(hcy::net::PackedKey(record->id));
    std::erase(m_receives, record);
}

void CRadioModel::RemoveReceiveAt(std::size_t index) {
    std::shared_ptr<CReceive> record = m_receives[index];
    StopNoCodePrompt(record.get());
    record->Reset();
    for (auto& path : m_paths) path->ForgetSource(record.get());
    m_receiveIndex.erase(hcy::net::PackedKey(record->id));
    m_receives.erase(m_receives.begin() + static_cast<std::ptrdiff_t>(index));
}

std::size_t CRadioModel::GetReceiveCount() const {
    Guard lock(*this);
    return m_receives.size();
}

bool CRadioModel::ExerciseAccepted(std::uint32_t exercise) const {
    if (exercise == (m_nExerciseId & 0xFF)) return true;
    return std::any_of(m_extraExercises.begin(), m_extraExercises.end(),
                       [&](std::uint16_t extra) { return exercise == (extra & 0xFFu); });
}

bool CRadioModel::IsOwnEntity(const CReceive& record) const {
    if (m_nNoOwnEntityTest) return false;
    const hcy::net::EntityId& entity = record.id.entityId;
    if (entity.site != m_nSite || entity.application != m_nApplication) return false;
    if (m_nOwnEntityAnyRadio) return entity.entity == m_nEntity;
    return entity.entity == m_nEntity && record.id.radioNumber == m_nRadio;
}

void CRadioModel::PostActivity(int started) {
    hcy::Library().PostToMsgWnd(WM_CLIENT_RADIO_ACTIVITY, static_cast<plat::WPARAM>(GetUserId()),
                                started);
}

void CRadioModel::StartReceivePaths(const CReceive* record) {
    for (auto& path : m_paths)
        if (path->IsActive()) path->UpdateSourceGain(record);
}

void CRadioModel::StopReceivePaths(const CReceive* record, bool tail) {
    for (auto& path : m_paths) path->StopSource(record, tail);
}

// The devices hear of the end once the radio's lock is released.
void CRadioModel::QueueReceiveEnd() {
    for (auto& path : m_paths)
        if (path->IsActive() && path->GetDevice()) m_pendingReceiveEnd.push_back(path->GetDevice());
}

// ---------------------------------------------------------------------------
// Pipeline

void CRadioModel::EvaluateReception(CReceive& record) {
    if (m_params.doPropLoss) {
        PropLossModel(record);
    } else {
        record.propagation = 1.0;
        record.noPosition = true;
        record.receivedPower = 1.0;
    }
    if (m_params.doRoundEarth)
        RoundEarthModel(record);
    else
        record.lineOfSight = 1.0;
    record.receivedPower *= record.lineOfSight;
    if (m_params.doTuner)
        TunerModel(record);
    else
        record.tuner = 1.0;
    if (m_params.doSquelch)
        SquelchModel(record);
    else
        record.squelch = 1.0;
    if (m_params.doCrypto)
        CryptoModel(record);
    else
        record.decodeOk = true;
    if (m_params.doHopNet)
        HopNetModel(record);
    else
        record.status = RECV_STATUS_AUDIBLE;
    ApplySquelch(record);
}

void CRadioModel::ApplySquelch(CReceive& record) {
    double signal = record.lineOfSight * record.propagation * record.tuner * record.squelch;
    // A silent status, or factors that are not numbers, give no signal.
    if (record.status != RECV_STATUS_AUDIBLE || !std::isfinite(signal)) signal = 0.0;
    record.SetSignal(signal);
    record.squelchOpen = m_params.squelchLevel < signal;
    if (hcy::Library().m_nEnablePDUs.load() & 1) SendReceiverPdu(0);
}

// Capture: with positions known, only the strongest of the transmitting,
// squelch-open records is heard (every one tied at the maximum).
bool CRadioModel::IsAudible(const CReceive& record) const {
    if (record.noPosition) return record.squelchOpen;
    double strongest = 0.0;
    for (auto& r : m_receives)
        if (r->squelchOpen && r->transmitting) strongest = std::max(strongest, r->receivedPower);
    return record.squelchOpen && record.receivedPower >= strongest;
}

void CRadioModel::OnTransmitStateChange(bool started, CReceive& record) {
    Guard lock(*this);
    if (started) {
        record.audioSeen = true;
        if (IsOwnEntity(record)) {
            PostActivity(1);
            return;
        }
        EvaluateReception(record);
        if (record.squelchOpen)
            StartReceivePaths(&record);
        else
            StopReceivePaths(&record, false);
        return;
    }
    // What was received of the transmission plays out before its end is
    // heard (the squelch tail).
    auto end = [&](bool tail) {
        for (auto& path : m_paths) path->EndSource(&record, tail);
    };
    if (record.signalPduCount > 0) {
        if (m_params.receptionMode == RECEPTION_MODE_TAIL && !IsKeyed() && !IsOwnEntity(record)) {
            end(record.inputSource < 128);
            QueueReceiveEnd();
        } else {
            end(false);
        }
    }
    record.signalPduCount = 0;
    record.squelchOpen = false;
    record.noCodeLookedUp = false;
    if (IsOwnEntity(record)) PostActivity(0);
    StopNoCodePrompt(&record);
}

void CRadioModel::PlayNoCodePrompt(CReceive& record) {
    if (!m_pPrompt) m_pPrompt = std::make_unique<CRadioPrompt>(*this);
    if (m_pPrompt->IsPlaying() || record.noCodeLookedUp) return;
    record.noCodeLookedUp = true;
    const std::string key = "NoCode" + std::to_string(m_params.cryptoSystem) + "Wav";
    const std::string file = hcy::Library().GetProfileString("Secure", key.c_str(), "");
    if (!file.empty() && m_pPrompt->PlayIfIdle(file, &record)) record.audioLevel = 0.7;
}

void CRadioModel::StopNoCodePrompt(const CReceive* record) {
    CRadioPrompt* prompt = m_pPrompt.get();
    if (!prompt || !(record ? prompt->IsPlayingFor(record) : prompt->IsPlaying())) return;
    AfterUnlock([prompt] { prompt->Stop(); });
}

// Retuning (frequency, net): every keyed transmitter of an exercise the
// radio accepts is evaluated afresh, all factors included, since propagation
// and squelch depend on the tuning too. The others stay unheard.
void CRadioModel::ReevaluateAllForTuning() {
    if (!ReevaluatesOnSettings()) return;
    for (auto& record : m_receives) {
        StopReceivePaths(record.get(), false);
        if (!ExerciseAccepted(record->exercise)) {
            record->squelchOpen = false;
            continue;
        }
        if (!record->transmitting || IsOwnEntity(*record)) continue;
        EvaluateReception(*record);
        if (record->squelchOpen) StartReceivePaths(record.get());
    }
}

void CRadioModel::SetRecordsPttBlock(bool value) {
    Guard lock(*this);
    for (auto& record : m_receives) {
        record->SetPttBlock(value);
        if (record->squelchOpen) StartReceivePaths(record.get());
    }
}

std::int32_t CRadioModel::GetMaxRecvValue() {
    Guard lock(*this);
    std::int32_t largest = -1;
    for (auto& record : m_receives)
        if (record->squelchOpen) largest = std::max(largest, record->GetRecvValue());
    return largest;
}

// ---------------------------------------------------------------------------
// DIS entry points

void CRadioModel::OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length) {
    if (!pdu || length < hcy::net::TRANSMITTER_PDU_SIZE) return;
    // The parameters count only when the datagram really holds them.
    const std::uint32_t n = pdu->modulationParameterLength;
    std::span<const std::uint8_t> parameters;
    if (n != 0 && length >= hcy::net::TRANSMITTER_PDU_SIZE + n)
        parameters = {reinterpret_cast<const std::uint8_t*>(pdu) + hcy::net::TRANSMITTER_PDU_SIZE,
                      n};

    Guard lock(*this);
    const RadioId key = pdu->radioId;
    std::shared_ptr<CReceive> record = FindReceive(key);
    if (!record) {
        record = std::make_shared<CReceive>();
        record->id = key;
        AddReceive(record);
        if (m_params.duplex == DUPLEX_HALF) record->SetPttBlock(m_nPTT != 0);
    }
    ++record->transmitterPduCount;
    record->refreshed = true;
    record->UpdateFromTransmitterPdu(*pdu, parameters);
    record->heard->NoteTransmitState(record->transmitting);
    if (!ExerciseAccepted(pdu->header.exerciseId)) {
        record->squelchOpen = false;
        return;
    }
    if (m_nOn && !m_nInhibit) OnTransmitStateChange(record->transmitting, *record);
}

std::shared_ptr<CReceive> CRadioModel::AcceptSignal(const SignalPdu& pdu, SignalRoad& road) {
    if (!ExerciseAccepted(pdu.header.exerciseId)) return nullptr;
    std::shared_ptr<CReceive> record = FindReceive(pdu.radioId);
    if (!record) return nullptr;  // a Signal PDU never makes a record
    road.play = m_nOn && !m_nInhibit;
    if (!road.play) return record;
    ++record->signalPduCount;
    record->refreshed = true;
    record->audioSeen = true;
    road.play = IsAudible(*record) && !IsOwnEntity(*record);
    road.ssb = true;
    return record;
}

void CRadioModel::OnSignalPdu(const SignalPdu* pdu, std::uint32_t length) {
    if (!pdu || length < hcy::net::SIGNAL_PDU_HEADER_SIZE) return;
    // A PDU of its own, unless the dispatcher offers it to every radio.
    const hcy::net::SignalRound round;
    std::shared_ptr<CReceive> record;
    std::uint32_t rate = 0;
    t_dataDevices.clear();
    std::lock_guard order(m_deliveryMutex);
    {
        Guard lock(*this);
        SignalRoad road;
        record = AcceptSignal(*pdu, road);
        if (!record) return;
        // The data length is the sender's claim: decode only what arrived.
        const std::uint32_t received = length - hcy::net::SIGNAL_PDU_HEADER_SIZE;
        const std::uint32_t dataBytes = std::min<std::uint32_t>(pdu->dataLengthBits / 8u, received);
        const auto* data =
            reinterpret_cast<const std::uint8_t*>(pdu) + hcy::net::SIGNAL_PDU_HEADER_SIZE;
        const hcy::net::SignalBlock block{pdu->sampleCount, pdu->sampleRate, {data, dataBytes}};
        const hcy::CodecKind kind =
            road.codeSetsBitOrder ? hcy::SelectRawReceiveCodec(pdu->encodingScheme)
                                  : hcy::SelectReceiveCodec(pdu->encodingScheme, m_nCecom != 0);
        // Decoded whether played or not: the stream stays in step for every
        // radio that hears it.
        const float rms =
            DecodeSignal(*record, kind, block, hcy::net::SignalRound::Source(), road.play);
        if (!road.play || !HandleRecordSignal(record, block, rms, road, t_dataDevices)) return;
        rate = pdu->sampleRate;
    }
    if (!t_dataDevices.empty())
        DeliverToDataDevices(t_dataDevices, record, t_decoded.data(),
                             static_cast<std::uint32_t>(t_decoded.size() * 2), rate);
}

// The decode road, for DIS and HLA alike: the block of the Signal PDU in
// hand from the record's stream for this source, coder (as the radio type
// picks it for the encoding) and tuning, which decodes it once for every
// radio of the host; into t_decoded when it is to be played. Returns the
// block's RMS level.
float CRadioModel::DecodeSignal(CReceive& record, hcy::CodecKind kind,
                                const hcy::net::SignalBlock& block, std::uint32_t source,
                                bool play) {
    hcy::net::StreamChoice choice;
    choice.source = source;
    choice.kind = kind;
    // Both CVSD coders of a radio carry the same tuning.
    if (choice.kind == hcy::CodecKind::Cvsd || choice.kind == hcy::CodecKind::CecomCvsd)
        choice.cvsd = m_codecs->cvsd.GetTuning();
    if (!record.heard) record.heard = hcy::net::HeardStreams::Host().Hear(KeyOf(record));
    std::shared_ptr<hcy::net::SignalStream>& stream = record.streams[SourceSlot(source)];
    if (!stream || !stream->Choice().SameAs(choice)) stream = record.heard->Stream(choice);
    return stream->Decode(block, play ? &t_decoded : nullptr);
}

// Writes the block decoded into t_decoded to the sound paths of a heard
// record; the data devices that want it are listed. False when nothing is
// to be played.
bool CRadioModel::HandleRecordSignal(const std::shared_ptr<CReceive>& record,
                                     const hcy::net::SignalBlock& block, float rmsLevel,
                                     const SignalRoad& road, std::vector<CDevice*>& dataDevices) {
    const std::uint32_t sampleCount = block.sampleCount;
    if (sampleCount == 0) return false;
    if (!record->decodeOk) {  // undecodable: dropped, the prompt instead
        PlayNoCodePrompt(*record);
        return false;
    }
    const std::uint32_t rate = block.sampleRate;
    const std::uint32_t bytes = sampleCount * 2;
    if (road.measureLevel) record->audioLevel = rate ? rmsLevel / 366.0 : 0.0;
    if (road.ssb && m_params.majorModulation == 1 && m_params.detailModulation >= 6 &&
        m_params.detailModulation <= 9 && record->frequencyOffset > 0.0 && rate != 0)
        ApplySsbOffset(record->frequencyOffset, t_decoded.data(), sampleCount, rate);
    for (auto& path : m_paths) {
        if (!path->IsActive()) continue;
        if (IsDataDevice(path->GetDevice()))
            dataDevices.push_back(path->GetDevice());
        else
            path->WriteAudio(record.get(), t_decoded.data(), bytes, rate);
    }
    return true;
}

void CRadioModel::DeliverToDataDevices(const std::vector<CDevice*>& devices,
                                       const std::shared_ptr<CReceive>& record,
                                       const std::int16_t* samples, std::uint32_t bytes,
                                       std::uint32_t rate) {
    const int userId = GetUserId();
    for (CDevice* device : devices)
        device->ReceiveAudio(userId, record.get(), samples, bytes, rate);
}

// Single-sideband mistuning: the block is multiplied by a sine at the offset
// [Hz], from an oscillator that runs on across blocks. The product saturates,
// and an oscillator driven unstable (offset >= rate / pi) starts afresh.
void CRadioModel::ApplySsbOffset(double offset, std::int16_t* samples, std::uint32_t count,
                                 std::uint32_t rate) {
    const double w = 2.0 * 3.141592654 * offset;
    const double d = 1.0 / rate;
    for (std::uint32_t i = 0; i < count; ++i) {
        m_fSsbCosine -= w * m_fSsbSine * d;
        m_fSsbSine += w * m_fSsbCosine * d;
        if (!std::isfinite(m_fSsbSine) || !std::isfinite(m_fSsbCosine) ||
            std::fabs(m_fSsbSine) > 2.0) {
            m_fSsbSine = 0.0;
            m_fSsbCosine = 1.0;
        }
        const double v = std::clamp(samples[i] * m_fSsbSine, -32768.0, 32767.0);
        samples[i] = static_cast<std::int16_t>(v);
    }
}

void CRadioModel::SweepReceiveTimeouts() {
    Guard lock(*this);
    for (std::size_t i = 0; i < m_receives.size();) {
        CReceive& record = *m_receives[i];
        if (record.refreshed) {
            record.refreshed = false;
            ++i;
            continue;
        }
        StopReceivePaths(&record, false);
        // A transmitter that vanished mid-transmission ends it for the devices.
        if (record.signalPduCount > 0 && m_params.receptionMode == RECEPTION_MODE_TAIL)
            QueueReceiveEnd();
        RemoveReceiveAt(i);
    }
}

// ---------------------------------------------------------------------------
// HLA records

void CRadioModel::OnHlaTransmitterUpdate(std::uint32_t objectHandle,
                                         const HlaTransmitterRecord* values, std::uint32_t mask) {
    if (!values) return;
    const HlaTransmitterRecord& v = *values;
    Guard lock(*this);
    std::shared_ptr<CReceive> record;
    for (auto& r : m_hlaReceives)
        if (r->hlaObjectHandle == objectHandle) {
            record = r;
            break;
        }
    if (!record) {
        record = std::make_shared<CReceive>();
        record->hlaObjectHandle = objectHandle;
        record->heard = hcy::net::HeardStreams::Host().Hear(hcy::net::HeardKey::Hla(objectHandle));
        record->hlaObjectName = v.instanceName;
        m_hlaReceives.push_back(record);
        if (m_params.duplex == DUPLEX_HALF) record->SetPttBlock(m_nPTT != 0);
        hcy::radio::PostNetMgrMessage(hcy::WM_NETMGR_HLA_REQUEST_UPDATE, objectHandle,
                                      HLA_ATTR_ALL);
    }
    record->refreshed = true;
    CReceive& r = *record;
    auto spread = [&](std::uint16_t bit, std::uint8_t on) {
        r.spreadSpectrum =
            static_cast<std::uint16_t>(on ? (r.spreadSpectrum | bit) : (r.spreadSpectrum & ~bit));
    };
    if (mask & HLA_ATTR_ENTITY_IDENTIFIER) {
        r.id.entityId = {v.site, v.application, v.entity};
    }
    if (mask & HLA_ATTR_HOST_OBJECT_IDENTIFIER) r.hostObjectId = v.hostObjectId;
    if (mask & HLA_ATTR_RELATIVE_POSITION)
        r.antennaRelative = {v.relativeX, v.relativeY, v.relativeZ};
    if (mask & HLA_ATTR_CRYPTO_SYSTEM) r.cryptoSystem = v.cryptoSystem;
    if (mask & HLA_ATTR_ENCRYPTION_KEY_IDENTIFIER) r.cryptoKey = v.cryptoKey;
    if (mask & HLA_ATTR_FREQUENCY)
        r.frequency = FrequencyFromWords(v.frequencyHigh, v.frequencyLow);
    if (mask & HLA_ATTR_FREQUENCY_BANDWIDTH) r.bandwidth = v.bandwidth;
    if (mask & HLA_ATTR_FREQUENCY_HOP_IN_USE) spread(1, v.frequencyHop);
    if (mask & HLA_ATTR_PSEUDO_NOISE_SPECTRUM_IN_USE) spread(2, v.pseudoNoise);
    if (mask & HLA_ATTR_TIME_HOP_IN_USE) spread(4, v.timeHop);
    if (mask & HLA_ATTR_RADIO_INDEX) r.id.radioNumber = v.radioIndex;
    if (mask & HLA_ATTR_RADIO_INPUT_SOURCE) r.inputSource = v.inputSource;
    if (mask & HLA_ATTR_RF_MODULATION_TYPE) {
        r.majorModulation = v.majorModulation;
        r.detailModulation = v.detailModulation;
    }
    if (mask & HLA_ATTR_TRANSMITTED_POWER) r.power = v.power;
    if (mask & HLA_ATTR_TRANSMITTER_OPERATIONAL_STATUS) r.transmitting = v.operationalStatus == 2;
    if (mask & HLA_ATTR_WORLD_LOCATION) r.antennaWorld = {v.worldX, v.worldY, v.worldZ};
    r.heard->NoteTransmitState(r.transmitting);
    if (m_nOn && !m_nInhibit) OnTransmitStateChange(r.transmitting, r);
}

void CRadioModel::ProcessHlaRecords() {
    Guard lock(*this);
    for (std::size_t i = 0; i < m_hlaReceives.size(); ++i) {
        std::shared_ptr<CReceive> record = m_hlaReceives[i];
        OnTransmitStateChange(record->transmitting, *record);
    }
}

int CRadioModel::RemoveHlaRecord(std::uint32_t objectHandle) {
    Guard lock(*this);
    for (auto it = m_hlaReceives.begin(); it != m_hlaReceives.end(); ++it) {
        if ((*it)->hlaObjectHandle != objectHandle) continue;
        StopReceivePaths(it->get(), false);
        StopNoCodePrompt(it->get());
        (*it)->Reset();
        for (auto& path : m_paths) path->ForgetSource(it->get());
        m_hlaReceives.erase(it);
        break;
    }
    return 1;
}

void CRadioModel::OnHlaSignal(const HlaSignalRecord* signal, const std::uint8_t* data,
                              std::uint32_t bytes, const std::string* senderName) {
    if (!signal || !senderName || !data || bytes == 0) return;
    SignalPdu fields{};
    fields.encodingScheme = signal->encodingScheme;
    fields.sampleRate = signal->sampleRate;
    fields.dataLengthBits = signal->dataLengthBits;
    fields.sampleCount = signal->sampleCount;
    const hcy::net::SignalRound round(NET_HLA);
    std::shared_ptr<CReceive> record;
    t_dataDevices.clear();
    std::lock_guard order(m_deliveryMutex);
    {
        Guard lock(*this);
        for (auto& r : m_hlaReceives)
            if (r->hlaObjectName == *senderName) {
                record = r;
                break;
            }
        if (!record) return;
        bool play = m_nOn && !m_nInhibit;
        if (play) {
            ++record->signalPduCount;
            record->refreshed = true;
            play = record->squelchOpen && !IsOwnEntity(*record);
        }
        const std::uint32_t dataBytes = std::min<std::uint32_t>(fields.dataLengthBits / 8u, bytes);
        const hcy::net::SignalBlock block{fields.sampleCount, fields.sampleRate, {data, dataBytes}};
        const hcy::CodecKind kind = hcy::SelectReceiveCodec(fields.encodingScheme, m_nCecom != 0);
        const float rms = DecodeSignal(*record, kind, block, NET_HLA, play);
        if (!play || !HandleRecordSignal(record, block, rms, SignalRoad{}, t_dataDevices)) return;
    }
    if (!t_dataDevices.empty())
        DeliverToDataDevices(t_dataDevices, record, t_decoded.data(),
                             static_cast<std::uint32_t>(t_decoded.size() * 2), fields.sampleRate);
}
