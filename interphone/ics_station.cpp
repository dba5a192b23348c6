#include "interphone/ics_station.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "audio/device.h"
#include "audio/recv_path.h"
#include "base/library.h"
#include "net/net_mgr.h"
#include "radio/radio_post.h"
#include "radio/receive.h"

namespace {

using hcy::net::IcsSignalPdu;
using hcy::net::IcsTransmitterPdu;

constexpr std::uint32_t kControlBytes = hcy::net::ICS_TRANSMITTER_PDU_SIZE;        // 40
constexpr std::uint32_t kAudioHeaderBytes = hcy::net::ICS_SIGNAL_PDU_HEADER_SIZE;  // 38

template <class T>
std::vector<std::byte> Bytes(const T& record) {
    std::vector<std::byte> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

// Decoded samples of the audio PDU in hand, reused from block to block.
thread_local std::vector<std::int16_t> t_decoded;
// The data devices it goes to.
thread_local std::vector<CDevice*> t_dataDevices;

// Sweeps a party to a call may go unheard before it counts as gone: two
// heartbeat periods, or the receive time-out when that is longer (both in
// ticks of 250 ms; a sweep comes every other tick). 0: never, because with
// heartbeats off a quiet party cannot be told from a vanished one.
std::uint32_t SilentSweepLimit() {
    const auto& library = hcy::Library();
    const std::int64_t period = library.m_nHeartbeatTicks.load();
    if (period <= 0) return 0;
    const std::int64_t ticks =
        std::max<std::int64_t>(2 * period, library.m_nRecvTimeoutTicks.load());
    return static_cast<std::uint32_t>((ticks + 1) / 2);
}

}  // namespace

struct CIcsStation::RemoteStation : CReceive {
    hcy::CodecStreamState stream;
    std::uint32_t silentSweeps = 0;  // sweeps since its last PDU of any kind
};

std::shared_ptr<CICSModel> CreateInterphoneModel() { return std::make_shared<CIcsStation>(); }

CIcsStation::CIcsStation() : m_nNetwork(hcy::Library().m_nDefaultNetwork.load()) {}

CIcsStation::~CIcsStation() = default;

// ---------------------------------------------------------------------------
// Setters and queries

int CIcsStation::SetHandle(std::uint32_t handle) {
    m_nHandle = static_cast<int>(handle);
    return 1;
}

int CIcsStation::SetEntityID(std::uint16_t site, std::uint16_t application, std::uint16_t entity) {
    std::lock_guard lock(m_mutex);
    m_entity = {site, application, entity};
    return 1;
}

int CIcsStation::SetStationID(std::uint16_t station) {
    std::lock_guard lock(m_mutex);
    m_nStation = station;
    return 1;
}

int CIcsStation::SetExerciseID(std::uint32_t exercise) {
    std::lock_guard lock(m_mutex);
    m_nExerciseId = exercise;
    return 1;
}

int CIcsStation::SetNetwork(std::uint32_t flags) {
    m_nNetwork = flags;
    return 1;
}

int CIcsStation::SetEncoding(int code) {
    if (code < 0 || code > ENCODING_PCM16) {
        hcy::Library().SetError("Invalid encoding scheme");
        return 0;
    }
    std::lock_guard lock(m_mutex);
    m_nEncoding = code == 0 ? std::uint32_t{ENCODING_PCM16} : static_cast<std::uint32_t>(code);
    return 1;
}

int CIcsStation::SetMasterVolume(float volume) {
    if (!(volume >= 0.0f && volume <= 1.0f)) {
        hcy::Library().SetError("Master volume must be between 0.0 and 1.0.");
        return 0;
    }
    std::lock_guard lock(m_mutex);
    m_fMasterVolume = volume;
    for (auto& record : m_stations)
        if (record->squelchOpen) UpdateStationGain(record.get());
    return 1;
}

int CIcsStation::GetData(int id, std::uint32_t* out) {
    if (!out) return 0;
    std::lock_guard lock(m_mutex);
    switch (id) {
    case ICS_DATA_DIAL_TONE: *out = m_nDialTone; return 1;
    case ICS_DATA_CALLER: *out = m_nCaller; return 1;
    case ICS_DATA_BUSY: *out = m_nBusy; return 1;
    case ICS_DATA_RINGBACK: *out = m_nRingback; return 1;
    default: return 0;
    }
}

bool CIcsStation::IsConnected() const {
    std::lock_guard lock(m_mutex);
    return m_nConnected != 0;
}

bool CIcsStation::IsDialing() const {
    std::lock_guard lock(m_mutex);
    return m_nDialing != 0;
}

std::uint16_t CIcsStation::GetLine() const {
    std::lock_guard lock(m_mutex);
    return m_nLine;
}

std::size_t CIcsStation::GetStationCount() const {
    std::lock_guard lock(m_mutex);
    return m_stations.size();
}

std::size_t CIcsStation::GetRecvPathCount() const {
    std::lock_guard lock(m_mutex);
    return m_paths.size();
}

// ---------------------------------------------------------------------------
// Control PDUs sent

std::uint8_t CIcsStation::LineState() const {
    if (m_nOnHook) return ICS_LINE_ON_HOOK;
    return m_nTalking ? ICS_LINE_TALKING : ICS_LINE_OFF_HOOK;
}

void CIcsStation::BuildHeader(hcy::net::PduHeader& header, std::uint8_t type,
                              std::uint16_t length) const {
    header = hcy::radio::MakePduHeader(type, hcy::net::PROTOCOL_FAMILY_ICS, length, m_nExerciseId);
}

// Dropped when the network manager is not running.
void CIcsStation::Post(std::vector<std::byte>&& bytes) const {
    OutgoingPdu out;
    out.request.networkFlags = m_nNetwork.load();
    out.request.length = static_cast<std::uint32_t>(bytes.size());
    out.pdu = std::move(bytes);
    hcy::radio::PostPdu(std::move(out));
}

void CIcsStation::SendStatus() {
    IcsTransmitterPdu pdu{};
    BuildHeader(pdu.header, hcy::net::PDU_TYPE_ICS_TRANSMITTER, kControlBytes);
    pdu.senderId = m_entity;
    pdu.addressedId = m_entity;
    pdu.stationNumber = m_nStation;
    // Without a line, the line this station proposes for the call it makes
    // (the dialed number's high byte is lost).
    pdu.line =
        m_nLine != 0 ? m_nLine : static_cast<std::uint16_t>((m_nDialedNumber << 8) | m_nStation);
    pdu.calledStation = m_nDialing ? m_nDialedNumber : 0;
    pdu.dialing = m_nDialing ? 1 : 0;
    pdu.replyCode = 0;
    pdu.lineState = LineState();
    pdu.replierLineState = 0;
    Post(Bytes(pdu));
}

void CIcsStation::SendReply(const IcsTransmitterPdu& request, std::uint8_t code) {
    IcsTransmitterPdu pdu{};
    BuildHeader(pdu.header, hcy::net::PDU_TYPE_ICS_TRANSMITTER, kControlBytes);
    pdu.senderId = m_entity;
    pdu.addressedId = request.senderId;
    pdu.stationNumber = request.calledStation;
    pdu.line = request.line;
    pdu.calledStation = request.stationNumber;
    pdu.dialing = 0;
    pdu.replyCode = code;
    pdu.lineState = request.lineState;
    pdu.replierLineState = LineState();
    Post(Bytes(pdu));
}

// ---------------------------------------------------------------------------
// The host's calls

int CIcsStation::Dial(std::uint16_t number) {
    std::lock_guard lock(m_mutex);
    if (m_bRemoved || number == 0 || m_nOnHook) return 1;
    m_nDialTone = 0;
    m_nDialedNumber = number;
    m_nDialing = 1;
    SendStatus();
    return 1;
}

int CIcsStation::SetHook(std::uint32_t onHook) {
    std::lock_guard lock(m_mutex);
    if (!m_bRemoved) SetHookLocked(onHook);
    return 1;
}

// Recomputes the call words for the hook state; hanging up broadcasts line
// state on hook and ends the call. Going off hook sends nothing. Dial tone
// comes only from here: off hook again in a call gives dial tone beside the
// call, and a ringing stopped by someone's hang-up leaves no dial tone until
// the next hook change or the end of a call (stations have always behaved so).
void CIcsStation::SetHookLocked(std::uint32_t onHook) {
    const bool off = onHook == 0;
    m_nDialTone = off && !m_nRingback && !m_nCaller ? 1 : 0;
    m_nRingback = off && m_nRingback ? 1 : 0;
    m_nBusy = off && m_nBusy ? 1 : 0;
    m_nDialing = off && m_nDialing ? 1 : 0;
    if (!off && !m_nOnHook) {
        m_nOnHook = onHook;
        SendStatus();
        DisconnectAll();
        m_nLine = 0;
    }
    m_nOnHook = onHook;
}

// A status goes out only when the line state changes: a device that unkeys
// or closes calls this for every station it lists, talking or not, and an
// on-hook status stops every ringing station's ringing.
int CIcsStation::SetTalk(int on, std::uint32_t) {
    std::lock_guard lock(m_mutex);
    if (m_bRemoved) return 1;
    const std::uint8_t before = LineState();
    m_nTalking = on ? static_cast<std::uint32_t>(on) : 0;
    if (LineState() != before) SendStatus();
    if (on)
        UpdateStationGain(nullptr);
    else
        StopStation(nullptr);
    return 1;
}

int CIcsStation::Heartbeat() {
    std::lock_guard lock(m_mutex);
    if (!m_bRemoved && (m_nDialing || m_nRingback || m_nConnected)) SendStatus();
    return 1;
}

// ---------------------------------------------------------------------------
// Control PDUs received

void CIcsStation::OnControlPdu(const IcsTransmitterPdu* pdu, std::uint32_t length) {
    if (!pdu || length < kControlBytes) return;
    std::lock_guard lock(m_mutex);
    // Calls stay within their exercise, like the audio.
    if (m_bRemoved || pdu->header.exerciseId != (m_nExerciseId & 0xFF)) return;
    if (pdu->senderId == m_entity) return;
    // Anything a party to the call sends shows that it is still there.
    if (RemoteStation* record = FindStation(pdu->senderId, pdu->stationNumber))
        record->silentSweeps = 0;
    if (pdu->calledStation == m_nStation) {
        if (pdu->dialing)
            OnDialRequest(*pdu);
        else
            OnReply(*pdu);
    }
    if (pdu->calledStation == 0) OnBroadcast(*pdu);
}

void CIcsStation::OnDialRequest(const IcsTransmitterPdu& request) {
    if (m_nOnHook) {
        m_nCaller = request.stationNumber;
        SendReply(request, ICS_REPLY_RINGING);
        return;
    }
    // Answered only by going off hook while this very caller rings.
    if (!m_nConnected && m_nCaller != 0 && m_nCaller == request.stationNumber) {
        SendReply(request, ICS_REPLY_ANSWERED);
        ConnectStation(request.senderId, request.stationNumber, request.line);
        m_nDialedNumber = request.stationNumber;
        return;
    }
    SendReply(request, ICS_REPLY_BUSY);
}

void CIcsStation::OnReply(const IcsTransmitterPdu& reply) {
    // Only the answer to this station's own outstanding request counts: not
    // a reply to another station of the same number, nor a late one after
    // hanging up or redialing.
    if (m_nOnHook || !m_nDialing || !(reply.addressedId == m_entity) ||
        reply.stationNumber != m_nDialedNumber)
        return;
    switch (reply.replyCode) {
    case ICS_REPLY_RINGING:
        m_nDialing = 1;
        m_nRingback = 1;
        m_nBusy = 0;
        break;
    case ICS_REPLY_ANSWERED:
        m_nDialing = m_nRingback = m_nBusy = 0;
        ConnectStation(reply.senderId, reply.stationNumber, reply.line);
        break;
    case ICS_REPLY_BUSY:
        // Still dialing: the heartbeat repeats the request until the called
        // station can answer or this one hangs up.
        m_nDialing = 1;
        m_nRingback = 1;
        m_nBusy = 1;
        break;
    default: break;
    }
}

void CIcsStation::OnBroadcast(const IcsTransmitterPdu& pdu) {
    CReceive* record = FindStation(pdu.senderId, pdu.stationNumber);
    // A station that joins the line is connected; one that hangs up is not
    // made again (it may have left by silence).
    if (!record && pdu.lineState != ICS_LINE_ON_HOOK && pdu.line == m_nLine && m_nLine != 0 &&
        m_nConnected) {
        ConnectStation(pdu.senderId, pdu.stationNumber, pdu.line);
        return;
    }
    switch (pdu.lineState) {
    case ICS_LINE_ON_HOOK:
        m_nCaller = 0;  // whoever hangs up, the ringing stops
        // Only a party to the call ends its part in it: a stranger's hang-up,
        // on any line, is none of this call's business.
        if (record) DisconnectStation(pdu);
        break;
    case ICS_LINE_OFF_HOOK:
        if (!record) break;
        if (record->transmitting) StopStation(record);
        record->transmitting = false;
        break;
    case ICS_LINE_TALKING:
        if (!record) break;
        record->audioSeen = true;
        record->transmitting = true;
        UpdateStationGain(record);
        break;
    default: break;
    }
}

// ---------------------------------------------------------------------------
// Station records

CIcsStation::RemoteStation* CIcsStation::FindStation(const hcy::net::EntityId& entity,
                                                     std::uint16_t station,
                                                     std::size_t* index) const {
    for (std::size_t i = 0; i < m_stations.size(); ++i) {
        const CReceive& r = *m_stations[i];
        if (r.id.entityId == entity && r.id.radioNumber == station) {
            if (index) *index = i;
            return m_stations[i].get();
        }
    }
    return nullptr;
}

bool CIcsStation::IsSelf(const CReceive& record) const {
    return record.id.entityId == m_entity && record.id.radioNumber == m_nStation;
}

CIcsStation::RemoteStation* CIcsStation::ConnectStation(const hcy::net::EntityId& entity,
                                                        std::uint16_t station, std::uint16_t line) {
    RemoteStation* record = FindStation(entity, station);
    if (!record) {
        if (m_stations.size() >= kMaxStations) return nullptr;
        m_stations.push_back(std::make_unique<RemoteStation>());
        record = m_stations.back().get();
    }
    record->squelchOpen = true;
    record->id = {entity, station};
    UpdateStationGain(record);
    // The line and the caller word are taken once, wired or not, so that a
    // station without receive paths still talks on the call's line.
    if (m_nLine == 0) m_nLine = line;
    m_nCaller = 0;
    if (!m_nConnected) m_bFreshEncoders = true;
    m_nConnected = 1;
    return record;
}

void CIcsStation::DisconnectStation(const IcsTransmitterPdu& pdu) {
    std::size_t index = 0;
    if (CReceive* record = FindStation(pdu.senderId, pdu.stationNumber, &index)) {
        StopStation(record);
        RemoveStationAt(index);
    }
    EndCallWhenAlone();
}

void CIcsStation::EndCallWhenAlone() {
    if (!m_stations.empty() || !m_nConnected) return;
    m_nConnected = 0;
    SetHookLocked(m_nOnHook);  // off hook: dial tone unless rung or ringing back
    m_nLine = 0;
}

void CIcsStation::DisconnectAll() {
    while (!m_stations.empty()) {
        StopStation(m_stations.back().get());
        RemoveStationAt(m_stations.size() - 1);
    }
    m_nConnected = 0;
}

// No path keeps the record once it is gone.
void CIcsStation::RemoveStationAt(std::size_t index) {
    CReceive* record = m_stations[index].get();
    record->Reset();
    for (auto& path : m_paths) path->ForgetSource(record);
    m_stations.erase(m_stations.begin() + static_cast<std::ptrdiff_t>(index));
}

void CIcsStation::UpdateStationGain(const CReceive* record) {
    for (auto& path : m_paths)
        if (path->IsActive()) path->UpdateSourceGain(record);
}

void CIcsStation::StopStation(const CReceive* record) {
    for (auto& path : m_paths)
        if (path->IsActive()) path->StopSource(record, false);
}

// Every 500 ms. A talking remote station that sent no audio since the last
// sweep falls silent, keeping its record and decoder state for its next
// words; a remote station unheard for the limit above is gone, and the call
// ends with the last one, as if it had hung up.
void CIcsStation::Sweep() {
    std::lock_guard lock(m_mutex);
    const std::uint32_t limit = SilentSweepLimit();
    bool gone = false;
    for (std::size_t i = 0; i < m_stations.size();) {
        RemoteStation& record = *m_stations[i];
        if (limit != 0 && ++record.silentSweeps > limit) {
            StopStation(&record);
            RemoveStationAt(i);
            gone = true;
            continue;
        }
        if (record.audioSeen) {
            record.audioSeen = false;
        } else if (record.transmitting) {
            StopStation(&record);
            record.transmitting = false;
            record.signalPduCount = 0;
        }
        ++i;
    }
    if (gone) EndCallWhenAlone();
}

// ---------------------------------------------------------------------------
// Audio

void CIcsStation::SendAudio(const std::int16_t* samples, std::uint32_t byteCount,
                            std::uint32_t sampleRate) {
    if (!samples) return;
    IcsSignalPdu header{};
    hcy::CodecKind kind = hcy::CodecKind::Pcm;
    std::uint32_t flags = 0;
    {
        std::lock_guard lock(m_mutex);
        // Connected stations send what their devices capture, talking or not.
        if (m_bRemoved || !m_nConnected) return;
        hcy::net::PduHeader fixed{};
        BuildHeader(fixed, hcy::net::PDU_TYPE_ICS_SIGNAL, 0);
        header.header = fixed;
        header.senderId = m_entity;
        header.stationNumber = m_nStation;
        header.line = m_nLine;
        header.encodingScheme = static_cast<std::uint16_t>(m_nEncoding);
        header.sampleRate = sampleRate;
        kind = hcy::SelectSendCodec(m_nEncoding, false);
        flags = m_nNetwork.load();
    }
    if (!hcy::radio::NetMgrReady()) return;

    std::lock_guard xmit(m_xmitMutex);
    if (m_bFreshEncoders.exchange(false)) m_encoders = hcy::CodecSet();
    // Sizes by the coder's ratio: coded bytes = sample bytes / ratio, bits =
    // bytes x 8, samples = bits / bits per sample. A block that does not fit
    // one PDU goes out in several, none above 8192 bytes, so that neither the
    // receivers' datagrams nor the 16-bit fields are cut.
    const std::uint32_t ratio = hcy::GetCompressionRatio(kind);
    const std::uint32_t bitsPerSample = hcy::GetBitsPerSample(kind);
    const std::uint32_t count = byteCount / 2;
    const std::uint32_t maxSamples = kMaxAudioBytes * ratio / 2;
    for (std::uint32_t first = 0; first < count; first += maxSamples) {
        const std::uint32_t n = std::min(maxSamples, count - first);
        const std::uint32_t coded = n * 2 / ratio;
        if (coded == 0) break;
        // The encoder never runs over samples it does not send.
        const std::uint32_t used = coded * ratio / 2;
        std::vector<std::byte> bytes(kAudioHeaderBytes + coded);
        auto* data = reinterpret_cast<std::uint8_t*>(bytes.data() + kAudioHeaderBytes);
        const auto written = static_cast<std::uint32_t>(
            m_encoders.Encode(kind, std::span(samples + first, used), std::span(data, coded)));
        bytes.resize(kAudioHeaderBytes + written);
        header.header.timestamp = hcy::radio::PduTimestamp();
        header.header.length = static_cast<std::uint16_t>(kAudioHeaderBytes + written);
        header.dataLengthBits = static_cast<std::uint16_t>(written * 8);
        header.sampleCount = static_cast<std::uint16_t>(written * 8 / bitsPerSample);
        std::memcpy(bytes.data(), &header, sizeof header);
        OutgoingPdu out;
        out.request.networkFlags = flags;
        out.request.length = static_cast<std::uint32_t>(bytes.size());
        out.pdu = std::move(bytes);
        if (!hcy::radio::PostPdu(std::move(out))) return;
    }
}

void CIcsStation::OnAudioPdu(const IcsSignalPdu* pdu, std::uint32_t length) {
    if (!pdu || length < kAudioHeaderBytes) return;
    std::unique_lock lock(m_mutex);
    if (m_bRemoved || pdu->header.exerciseId != (m_nExerciseId & 0xFF)) return;
    RemoteStation* record = FindStation(pdu->senderId, pdu->stationNumber);
    // Audio on the call's line from a station without a record joins it, as
    // its status would, with a fresh decoder state.
    if (!record && m_nConnected && m_nLine != 0 && pdu->line == m_nLine &&
        !(pdu->senderId == m_entity))
        record = ConnectStation(pdu->senderId, pdu->stationNumber, pdu->line);
    if (!record) return;
    const bool resumed = !record->transmitting;
    ++record->signalPduCount;
    record->audioSeen = true;
    record->transmitting = true;
    record->refreshed = true;
    record->silentSweeps = 0;
    if (pdu->line != m_nLine || IsSelf(*record)) return;
    // A rate the sound layer cannot play is no audio.
    const std::uint32_t rate = pdu->sampleRate;
    if (rate < kMinSampleRate || rate > kMaxSampleRate || pdu->sampleCount == 0) return;
    // Speech after a pause: its sound, stopped by a sweep or a status, plays
    // again.
    if (resumed) UpdateStationGain(record);
    // The lengths are the sender's claims: decode only what arrived, and
    // play only what was decoded.
    const std::uint32_t received = length - kAudioHeaderBytes;
    const std::uint32_t dataBytes = std::min<std::uint32_t>(pdu->dataLengthBits / 8u, received);
    const auto* data = reinterpret_cast<const std::uint8_t*>(pdu) + kAudioHeaderBytes;
    if (t_decoded.size() < pdu->sampleCount) t_decoded.resize(pdu->sampleCount);
    const std::size_t decoded = m_decoders.Decode(
        hcy::SelectReceiveCodec(pdu->encodingScheme, false), record->stream,
        std::span(data, dataBytes), std::span(t_decoded.data(), pdu->sampleCount));
    if (decoded == 0) return;
    const auto bytes = static_cast<std::uint32_t>(decoded * 2);
    // A data device plays nothing itself: the host's callback gets the
    // audio, after the station's lock is released, named by the station's
    // handle. The dispatch's hold on the tables keeps the devices open.
    t_dataDevices.clear();
    for (auto& path : m_paths) {
        if (!path->IsActive()) continue;
        if (path->GetDevice()->GetKind() == CDevice::Kind::Data)
            t_dataDevices.push_back(path->GetDevice());
        else
            path->WriteAudio(record, t_decoded.data(), bytes, rate);
    }
    lock.unlock();
    for (CDevice* device : t_dataDevices)
        device->ReceiveStationAudio(GetHandle(), record, t_decoded.data(), bytes, rate);
}

// ---------------------------------------------------------------------------
// Receive paths

int CIcsStation::AddRecvPath(CDevice* device, int channel) {
    if (!device) return 0;
    std::lock_guard lock(m_mutex);
    if (m_bRemoved) return 1;
    for (auto& path : m_paths)
        if (path->IsActive() && path->GetDevice() == device && path->GetChannel() == channel) {
            path->SetChannel(channel);
            return 1;
        }
    CRecvPath* path = FreeRecvPath(m_paths, CRecvPath::Kind::Mono, device);
    path->AttachDevice(device);
    path->SetIntercom(this);
    path->SetChannel(channel);
    return 1;
}

// The path stays, stopped, for the next AddRecvPath.
int CIcsStation::RemoveRecvPath(CDevice* device, int channel) {
    std::lock_guard lock(m_mutex);
    for (auto& path : m_paths)
        if (device && path->GetDevice() == device &&
            (channel == 0 || path->GetChannel() == channel)) {
            path->StopAll();
            break;
        }
    return 1;
}

void CIcsStation::DetachDevice(CDevice* device) {
    if (!device) return;
    std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < m_paths.size();) {
        if (m_paths[i]->GetDevice() != device) {
            ++i;
            continue;
        }
        m_paths[i]->DetachAll();
        m_paths.erase(m_paths.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void CIcsStation::RemoveAll() {
    std::lock_guard lock(m_mutex);
    if (m_bRemoved) return;
    // A station that goes in mid-call hangs up first, so that no peer keeps
    // it on the line.
    if (!m_nOnHook) SetHookLocked(1);
    for (auto& path : m_paths) path->DetachAll();
    m_paths.clear();
    for (auto& record : m_stations) record->Reset();
    m_stations.clear();
    m_nConnected = 0;
    m_bRemoved = true;
}
