#include "radio/raw_dis_model.h"

#include <algorithm>

#include "radio/receive.h"

// Half duplex and no background noise are the base's.
CRawDisModel::CRawDisModel() : m_fixed(std::make_shared<CReceive>()) {
    auto& p = Params();
    p.system = 1010;
    p.receptionMode = RECEPTION_MODE_SILENT;
    p.doPropLoss = p.doRoundEarth = p.doTerrain = p.doTuner = p.doSquelch = 0;
}

int CRawDisModel::SetPTT(int on, std::uint32_t) {
    Guard lock(*this);
    MutePathNoise(on != 0);
    SetRecordsPttBlock(on != 0);
    return 1;
}

int CRawDisModel::Heartbeat() { return 1; }

void CRawDisModel::SendTransmitterPdu() {}

void CRawDisModel::OnTransmitterPdu(const TransmitterPdu*, std::uint32_t) {}

int CRawDisModel::SetSNR(int site, int application, int entity, int radio, float value) {
    Guard lock(*this);
    if (m_bFixedListed) UnlistReceive(m_fixed);
    const RadioId chosen{{static_cast<std::uint16_t>(site), static_cast<std::uint16_t>(application),
                          static_cast<std::uint16_t>(entity)},
                         static_cast<std::uint16_t>(radio)};
    if (!(chosen == m_fixed->id)) {  // another sender: a stream of its own
        m_fixed->heard = nullptr;
        m_fixed->streams = {};
    }
    m_fixed->id = chosen;
    m_fixed->SetSignal(value);
    m_fixed->squelchOpen = true;
    AddReceive(m_fixed);
    m_bFixedListed = true;
    return 1;
}

// Only the chosen sender, in the radio's own exercise (no extra ones), and
// never the radio itself; on/off and inhibit are not asked.
std::shared_ptr<CReceive> CRawDisModel::AcceptSignal(const SignalPdu& pdu, SignalRoad& road) {
    if (pdu.header.exerciseId != (GetExerciseId() & 0xFF)) return nullptr;
    if (pdu.radioId == OwnId() || !(pdu.radioId == m_fixed->id)) return nullptr;
    m_fixed->audioSeen = true;
    m_fixed->transmitting = true;
    ++m_fixed->signalPduCount;
    m_fixed->refreshed = true;
    PostActivity(1);
    StartReceivePaths(m_fixed.get());
    road.codeSetsBitOrder = true;
    road.measureLevel = false;
    return m_fixed;
}

void CRawDisModel::StopFixedRecord() {
    StopReceivePaths(m_fixed.get(), false);
    m_fixed->transmitting = false;
    m_fixed->signalPduCount = 0;
}

// Every 500 ms: a sender silent since the last call is cut off.
void CRawDisModel::UpdateRecvPaths() {
    Guard lock(*this);
    if (m_fixed->audioSeen)
        m_fixed->audioSeen = false;
    else if (m_fixed->transmitting)
        StopFixedRecord();
}

// Once per receive time-out: a sender silent for the whole period is
// reported gone; the record stays.
void CRawDisModel::SweepReceiveTimeouts() {
    Guard lock(*this);
    if (m_fixed->refreshed) {
        m_fixed->refreshed = false;
        return;
    }
    StopFixedRecord();
    m_fixed->audioSeen = false;
    PostActivity(0);
}
