// CRadioModel: the lock, construction, identity, parameters and shut-down.
// Transmission is in radio_transmit.cpp, reception in radio_receive.cpp,
// receive paths in radio_paths.cpp, radio data in radio_data_table.cpp, the
// HLA object in radio_hla.cpp, the status dialog in radio_status.cpp.
#include "radio/radio_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "audio/device.h"
#include "audio/recv_path.h"
#include "base/library.h"
#include "base/messages.h"
#include "halcyra/halcyra.h"
#include "hcyplat/clock.h"
#include "net/net_mgr.h"
#include "radio/radio_post.h"
#include "radio/radio_prompt.h"
#include "radio/receive.h"

// ---------------------------------------------------------------------------
// Lock

CRadioModel::Guard::Guard(const CRadioModel& radio) : m_radio(radio) {
    m_radio.m_mutex.lock();
    ++m_radio.m_lockDepth;
}

CRadioModel::Guard::~Guard() {
    std::vector<CDevice*> ends;
    std::vector<std::function<void()>> work;
    if (--m_radio.m_lockDepth == 0) {
        ends.swap(m_radio.m_pendingReceiveEnd);
        work.swap(m_radio.m_afterUnlock);
    }
    const int userId = m_radio.GetUserId();
    m_radio.m_mutex.unlock();
    if (!ends.empty()) {
        // After any block of the ended transmission still on its way.
        std::lock_guard order(m_radio.m_deliveryMutex);
        for (CDevice* device : ends) device->OnReceiveEnd(userId);
    }
    for (auto& w : work) w();
}

void CRadioModel::AfterUnlock(std::function<void()> work) {
    m_afterUnlock.push_back(std::move(work));
}

// ---------------------------------------------------------------------------
// Construction

CRadioModel::CRadioModel()
    : m_nNetworkMode(hcy::Library().m_nDefaultNetwork.load()),
      m_codecs(std::make_unique<hcy::CodecSet>()) {}

CRadioModel::~CRadioModel() {
    hcy::radio::CancelDelayedPdus(this);
    m_pPrompt.reset();  // stops: it delivers into the paths
}

// ---------------------------------------------------------------------------
// Identity

std::string CRadioModel::GetName() const {
    Guard lock(*this);
    return m_strName;
}

int CRadioModel::SetUserId(std::uint32_t userId) {
    m_nUserId = static_cast<int>(userId);
    return RegisterHlaObject();
}

int CRadioModel::SetNetworkMode(std::uint32_t flags) {
    m_nNetworkMode = flags;
    return RegisterHlaObject();
}

int CRadioModel::SetExerciseId(std::uint32_t exercise) {
    Guard lock(*this);
    m_nExerciseId = exercise;
    return 1;
}

int CRadioModel::SetRadioId(std::uint16_t site, std::uint16_t application, std::uint16_t entity,
                            std::uint16_t radio) {
    Guard lock(*this);
    char name[64];
    std::snprintf(name, sizeof name, "hcyRadio.%d-%d-%d-%d", site, application, entity, radio);
    m_strName = name;
    const bool entityChanged =
        site != m_nSite || application != m_nApplication || entity != m_nEntity;
    const bool radioChanged = radio != m_nRadio;
    m_nSite = site;
    m_nApplication = application;
    m_nEntity = entity;
    m_nRadio = radio;
    if (entityChanged) NotifyAttribute(HLA_ATTR_ENTITY_IDENTIFIER);
    if (radioChanged) NotifyAttribute(HLA_ATTR_RADIO_INDEX);
    return 1;
}

int CRadioModel::SetMsgWnd(plat::HWND window) {
    Guard lock(*this);
    m_hMsgWnd = window;
    return 1;
}

// ---------------------------------------------------------------------------
// Slot operations the base answers simply

int CRadioModel::SetCryptoSystem(int) { return 1; }
int CRadioModel::SetCryptoKey(int) { return 1; }
int CRadioModel::SetSpreadSpectrum(int) { return 1; }
int CRadioModel::SetFreqHopKey(int) { return 1; }
void CRadioModel::SetXmitAttached(int) {}
int CRadioModel::SetSNR(int, int, int, int, float) { return 0; }
int CRadioModel::OnPlaybackDone(std::uint32_t) { return 0; }
void CRadioModel::PropLossModel(CReceive&) {}
void CRadioModel::RoundEarthModel(CReceive&) {}
void CRadioModel::TunerModel(CReceive&) {}
void CRadioModel::SquelchModel(CReceive&) {}
void CRadioModel::CryptoModel(CReceive&) {}
void CRadioModel::HopNetModel(CReceive&) {}

int CRadioModel::SetTransmitDelay(std::uint32_t ms) {
    Guard lock(*this);
    m_nTransmitDelay = ms;
    return 1;
}

// ---------------------------------------------------------------------------
// Parameters

int CRadioModel::SetModulation(std::uint16_t major, std::uint16_t detail) {
    Guard lock(*this);
    const bool changed = major != m_params.majorModulation || detail != m_params.detailModulation;
    m_params.majorModulation = major;
    m_params.detailModulation = detail;
    if (changed) NotifyAttribute(HLA_ATTR_RF_MODULATION_TYPE);
    return 1;
}

int CRadioModel::SetBandwidth(float bandwidth) {
    if (!std::isfinite(bandwidth)) {
        hcy::Library().SetError("Non-finite value sent to SetRadioBandwidth.");
        return 0;
    }
    Guard lock(*this);
    const double value = bandwidth;
    const bool changed = value != m_params.bandwidth;
    m_params.bandwidth = value;
    if (changed) NotifyAttribute(HLA_ATTR_FREQUENCY_BANDWIDTH);
    return 1;
}

int CRadioModel::SetSystem(std::uint16_t system) {
    Guard lock(*this);
    const bool changed = system != m_params.system;
    m_params.system = system;
    if (changed) NotifyAttribute(HLA_ATTR_RF_MODULATION_SYSTEM_TYPE);
    return 1;
}

int CRadioModel::SetXmitPower(double power) {
    if (!std::isfinite(power)) {
        hcy::Library().SetError("Non-finite value sent to SetRadioXmitPower.");
        return 0;
    }
    Guard lock(*this);
    const bool changed = power != m_fXmitPower;
    m_fXmitPower = power;
    if (changed) NotifyAttribute(HLA_ATTR_TRANSMITTED_POWER);
    return 1;
}

int CRadioModel::SetRelPosition(float x, float y, float z) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        hcy::Library().SetError("Non-finite value sent to SetAntRelPosn.");
        return 0;
    }
    Guard lock(*this);
    const bool changed = x != m_params.antennaRelative.x || y != m_params.antennaRelative.y ||
                         z != m_params.antennaRelative.z;
    m_params.antennaRelative = {x, y, z};
    if (changed) NotifyAttribute(HLA_ATTR_RELATIVE_POSITION);
    return 1;
}

int CRadioModel::SetXYZPosition(double x, double y, double z) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        hcy::Library().SetError("Non-finite value sent to SetAntXYZPosn.");
        return 0;
    }
    Guard lock(*this);
    if (m_nEntityAttach) {
        hcy::Library().SetError("Cannot call SetXYZPosition in Entity-Attach mode");
        return 0;
    }
    const bool changed = x != m_params.antennaWorld.x || y != m_params.antennaWorld.y ||
                         z != m_params.antennaWorld.z;
    m_params.antennaWorld = {x, y, z};
    if (changed) NotifyAttribute(HLA_ATTR_WORLD_LOCATION);
    return 1;
}

int CRadioModel::SetWorldPosition(double latitude, double longitude, double altitude) {
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || !std::isfinite(altitude)) {
        hcy::Library().SetError("Non-finite value sent to SetAntWorldPosn.");
        return 0;
    }
    Guard lock(*this);
    if (m_nEntityAttach) {
        hcy::Library().SetError("Cannot call SetWorldPosition in Entity-Attach mode");
        return 0;
    }
    // Geodetic to geocentric on the WGS-84 ellipsoid, with the constants as
    // the peers use them (truncated degrees-to-radians factor included).
    const double phi = latitude * 0.017453292;
    const double lambda = longitude * 0.017453292;
    const double sinPhi = std::sin(phi);
    const double n = 6378137.0 / std::sqrt(1.0 - 0.006694379 * sinPhi * sinPhi);
    const double x = (n + altitude) * std::cos(phi) * std::cos(lambda);
    const double y = (n + altitude) * std::cos(phi) * std::sin(lambda);
    const double z = (n * 0.993305621 + altitude) * sinPhi;
    const bool changed = x != m_params.antennaWorld.x || y != m_params.antennaWorld.y ||
                         z != m_params.antennaWorld.z;
    m_params.antennaWorld = {x, y, z};
    if (changed) NotifyAttribute(HLA_ATTR_WORLD_LOCATION);
    return 1;
}

double CRadioModel::GetAntennaX() const {
    Guard lock(*this);
    return m_params.antennaWorld.x + m_params.antennaRelative.x;
}
double CRadioModel::GetAntennaY() const {
    Guard lock(*this);
    return m_params.antennaWorld.y + m_params.antennaRelative.y;
}
double CRadioModel::GetAntennaZ() const {
    Guard lock(*this);
    return m_params.antennaWorld.z + m_params.antennaRelative.z;
}

int CRadioModel::SetNoiseLevel(double level) {
    if (!std::isfinite(level)) {
        hcy::Library().SetError("Non-finite value sent to SetRadioNoiseLevel.");
        return 0;
    }
    Guard lock(*this);
    m_params.noiseLevel = level;
    return 1;
}

int CRadioModel::SetRecvGain(double gain) {
    if (!std::isfinite(gain)) {
        hcy::Library().SetError("Non-finite value sent to SetRadioRecvGain.");
        return 0;
    }
    Guard lock(*this);
    m_params.recvGain = gain;
    return 1;
}

int CRadioModel::SetEntityAttach(std::uint32_t on) {
    Guard lock(*this);
    m_nEntityAttach = on;
    if (on) hcy::Library().m_bAcceptEntityState = true;
    return 1;
}

int CRadioModel::SetDoPropLossModel(std::uint32_t on) {
    Guard lock(*this);
    m_params.doPropLoss = on;
    return 1;
}
int CRadioModel::SetDoRoundEarthModel(std::uint32_t on) {
    Guard lock(*this);
    m_params.doRoundEarth = on;
    return 1;
}
int CRadioModel::SetDoTerrainModel(std::uint32_t on) {
    Guard lock(*this);
    m_params.doTerrain = on;
    return 1;
}
int CRadioModel::SetDoTunerModel(std::uint32_t on) {
    Guard lock(*this);
    m_params.doTuner = on;
    return 1;
}
int CRadioModel::SetDoSquelchModel(std::uint32_t on) {
    Guard lock(*this);
    m_params.doSquelch = on;
    return 1;
}
int CRadioModel::SetSharingMode(std::uint32_t mode) {
    Guard lock(*this);
    m_nSharingMode = mode;
    return 1;
}

int CRadioModel::SetEncoding(int code) {
    Guard lock(*this);
    m_nCecom = 0;  // cleared by every call, a refused one included
    switch (code) {
    case 1:
    case 2:
    case 3:
    case 4: m_nEncoding = static_cast<std::uint32_t>(code); return 1;
    case 7:
        m_nEncoding = 2;  // CVSD, sent as such
        m_nCecom = 1;
        return 1;
    case 0: m_nEncoding = 4; return 1;  // 16-bit PCM
    default: hcy::Library().SetError("Invalid encoding scheme"); return 0;
    }
}

int CRadioModel::SetMasterVolume(float volume) {
    if (!(volume >= 0.0f && volume <= 1.0f)) {
        hcy::Library().SetError("Master volume must be between 0.0 and 1.0.");
        return 0;
    }
    Guard lock(*this);
    m_fMasterVolume = volume;
    for (auto& record : m_receives)
        if (record->squelchOpen) StartReceivePaths(record.get());
    for (auto& path : m_paths)
        if (path->IsActive()) path->UpdateNoiseVolume();
    return 1;
}

int CRadioModel::SetSquelchLevel(float level) {
    if (!std::isfinite(level)) {
        hcy::Library().SetError("Non-finite value sent to SetSquelchLevel.");
        return 0;
    }
    Guard lock(*this);
    m_params.squelchLevel = level;
    if (ReevaluatesOnSettings()) {
        for (auto& record : m_receives) {
            if (!ExerciseAccepted(record->exercise)) {  // never heard, whatever the squelch
                record->squelchOpen = false;
                StopReceivePaths(record.get(), false);
                continue;
            }
            if (m_params.doSquelch) SquelchModel(*record);
            ApplySquelch(*record);
            if (record->squelchOpen)
                StartReceivePaths(record.get());
            else
                StopReceivePaths(record.get(), false);
        }
    }
    UpdateNoise();
    return 1;
}

int CRadioModel::SetOnOff(int on) {
    Guard lock(*this);
    if (IsKeyed()) SetPTT(0, m_nPttSource);
    if (!on) StopNoCodePrompt(nullptr);
    m_nOn = static_cast<std::uint32_t>(on);
    UpdateNoise();
    return 1;
}

int CRadioModel::SetSignalAtten(std::uint16_t site, std::uint16_t application, std::uint16_t entity,
                                float attenuation) {
    if (!std::isfinite(attenuation)) {
        hcy::Library().SetError("Non-finite value sent to SetRadioSignalAtten.");
        return 0;
    }
    Guard lock(*this);
    m_attenuations[hcy::net::PackedKey(hcy::net::EntityId{site, application, entity})] =
        attenuation;
    return 1;
}

int CRadioModel::SetFrequency(double receiveHz, double transmitHz) {
    if (!std::isfinite(receiveHz) || !std::isfinite(transmitHz)) {
        hcy::Library().SetError("Non-finite value sent to SetRadioFrequency.");
        return 0;
    }
    Guard lock(*this);
    if (transmitHz == m_params.xmitFrequency && receiveHz == m_params.recvFrequency) return 1;
    Retune(receiveHz, transmitHz);
    return 1;
}

void CRadioModel::Retune(double receiveHz, double transmitHz) {
    Guard lock(*this);
    m_params.recvFrequency = std::trunc(receiveHz);
    m_params.xmitFrequency = std::trunc(transmitHz);
    ReevaluateAllForTuning();
    if (IsKeyed()) SendTransmitterPdu();
    if (m_params.xmitFrequency == 0.0 && IsKeyed()) SetPTT(0, m_nPttSource);
    NotifyAttribute(HLA_ATTR_FREQUENCY);
}

int CRadioModel::SetNet(std::uint16_t net) {
    Guard lock(*this);
    m_params.net = net;
    ReevaluateAllForTuning();
    if (IsKeyed()) SendTransmitterPdu();
    return 1;
}

double CRadioModel::GetRxFrequency() const {
    Guard lock(*this);
    return m_params.recvFrequency;
}

std::uint16_t CRadioModel::GetNet() const {
    Guard lock(*this);
    return m_params.net;
}

void CRadioModel::OnEntityStatePdu(const EntityStatePdu* pdu, std::uint32_t length) {
    if (!pdu || length < hcy::net::ENTITY_STATE_PDU_SIZE) return;
    Guard lock(*this);
    if (!m_nEntityAttach || pdu->header.exerciseId != (m_nExerciseId & 0xFF)) return;
    if (pdu->entityId.site != m_nSite || pdu->entityId.application != m_nApplication ||
        pdu->entityId.entity != m_nEntity)
        return;
    m_params.antennaWorld = pdu->location;
}

// ---------------------------------------------------------------------------
// Shut-down

void CRadioModel::Shutdown() {
    if (m_statusDialog) m_statusDialog->Close();
    hcy::radio::CancelDelayedPdus(this);
    Guard lock(*this);
    const std::uint32_t handle = m_nHlaHandle.load();
    if (handle != 0xFFFFFFFFu)
        hcy::radio::PostNetMgrMessage(hcy::WM_NETMGR_HLA_DELETE_OBJECT, 0, handle);
    for (auto& path : m_paths) path->DetachAll();
    m_paths.clear();
    for (auto& record : m_receives) record->Reset();
    m_receives.clear();
    m_receiveIndex.clear();
    m_attenuations.clear();
    m_extraExercises.clear();
    for (auto& record : m_hlaReceives) record->Reset();
    m_hlaReceives.clear();
    m_pendingReceiveEnd.clear();
    StopNoCodePrompt(nullptr);
}
