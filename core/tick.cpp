// The 250 ms update tick and the dispatchers of received PDUs.
//
//   tick t (timer thread, tables read-locked):
//     heartbeats in round robin over the heartbeat period P
//     t % P == 0        -> WM_NETMGR_HEARTBEAT to the network manager
//     t % timeout == 0  -> every radio sweeps its silent transmitters
//     t % 4 == 0        -> status dialogs refresh
//     t even            -> largest receive value, receive paths update
//
//   datagram -> worker thread -> Dispatch*Pdu (tables read-locked; the
//   receive road's sink, net/pdu_sink.h)
//     -> every radio or interphone whose mask shares a bit with the source
//   (a Signal PDU within one SignalRound: decoded once for all radios,
//   net/heard_streams.h)
#include <cmath>
#include <cstdint>
#include <limits>
#include <shared_mutex>

#include "base/messages.h"
#include "base/thread_kinds.h"
#include "core/app.h"
#include "hcyplat/thread_boundary.h"
#include "interphone/ics_model.h"
#include "net/heard_streams.h"
#include "net/net_mgr.h"
#include "radio/radio_model.h"

namespace {

// trunc(seconds * 1000) as an unsigned 32-bit number, divided by 250. The
// conversion goes through 64 bits so that negative, huge and NaN inputs are
// defined (NaN counts as 0).
std::uint32_t SecondsToTicks(float seconds) {
    const float ms = seconds * 1000;
    std::int64_t whole = 0;
    if (std::isnan(ms))
        whole = 0;
    else if (ms >= 9.2e18f)
        whole = std::numeric_limits<std::int64_t>::max();
    else if (ms <= -9.2e18f)
        whole = std::numeric_limits<std::int64_t>::min();
    else
        whole = static_cast<std::int64_t>(ms);
    return static_cast<std::uint32_t>(whole) / CHalcyraApp::kTickPeriodMs;
}

// Signal and interphone audio: a mask with any of bits 16 to 23 selects its
// sources by the high half.
std::int32_t SignalRuleMask(std::uint32_t mask) {
    std::int32_t m = static_cast<std::int32_t>(mask);
    if (m & 0x00FF0000) m >>= 16;
    return m;
}

}  // namespace

// A positive period below one tick is one tick: a host asking for frequent
// heartbeats gets the most the tick gives, not none.
plat::BOOL CHalcyraApp::SetHeartbeat(float seconds) {
    std::uint32_t ticks = SecondsToTicks(seconds);
    if (seconds > 0 && seconds * 1000 < kTickPeriodMs) {
        ticks = 1;
        seconds = kTickPeriodMs / 1000.0f;
    }
    m_library.m_nHeartbeatTicks = ticks == 0 ? -1 : static_cast<std::int32_t>(ticks);
    if (!m_library.m_bRecvTimeoutSet.load()) SetRecvTimeout(seconds * 3);
    return 1;
}

void CHalcyraApp::SetRecvTimeout(float seconds) {
    const std::uint32_t ticks = SecondsToTicks(seconds);
    m_library.m_nRecvTimeoutTicks = ticks == 0
                                        ? 1
                                        : static_cast<std::int32_t>(std::min<std::uint32_t>(
                                              ticks, std::numeric_limits<std::int32_t>::max()));
    m_library.m_bRecvTimeoutSet = true;
}

void CHalcyraApp::UpdateTimerProc(plat::UINT timerId, plat::UINT, plat::DWORD_PTR user,
                                  plat::DWORD_PTR, plat::DWORD_PTR) {
    auto* app = reinterpret_cast<CHalcyraApp*>(user);
    if (timerId != app->m_nTimerId.load()) return;
    // A tick that throws is lost; the next one runs.
    plat::ThreadBoundary(hcy::boundary::kUpdateTick, [&] { app->UpdateTick(); });
}

void CHalcyraApp::UpdateTick() {
    std::lock_guard<std::mutex> tick(m_tickMutex);
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);

    const std::uint32_t t = m_library.m_nTickCount.fetch_add(1);
    RunHeartbeats(m_arrRadios, m_arrInterphones);

    const auto period = static_cast<std::uint32_t>(m_library.m_nHeartbeatTicks.load());
    if (period != 0 && t % period == 0) {
        if (auto netMgr = NetMgr()) netMgr->Post(hcy::WM_NETMGR_HEARTBEAT, 0, 0);
    }
    const auto timeout = static_cast<std::uint32_t>(m_library.m_nRecvTimeoutTicks.load());
    if (timeout != 0 && t % timeout == 0) {
        for (auto& radio : m_arrRadios) radio->SweepReceiveTimeouts();
    }
    if (t % 4 == 0) {
        for (auto& radio : m_arrRadios) radio->UpdateRadioData();
    }
    if (t % 2 == 0) {
        std::int32_t largest = -1;
        for (auto& radio : m_arrRadios) largest = std::max(largest, radio->GetMaxRecvValue());
        m_library.m_nMaxRecvValue = largest;
        for (auto& radio : m_arrRadios) radio->UpdateRecvPaths();
        for (auto& interphone : m_arrInterphones) interphone->Sweep();
    }
}

void CHalcyraApp::RunHeartbeats(const std::vector<std::shared_ptr<CRadioModel>>& radios,
                                const std::vector<std::shared_ptr<CICSModel>>& interphones) {
    const std::int32_t p = m_library.m_nHeartbeatTicks.load();
    if (++m_nHeartbeatPhase >= p) m_nHeartbeatPhase = 0;
    if (p <= 0) return;  // heartbeats off

    // Over every run of P phases each member gets exactly one heartbeat.
    auto spread = [&](auto& table, std::int32_t& cursor) {
        const auto n = static_cast<std::int32_t>(table.size());
        std::int32_t count = n / p;
        if (m_nHeartbeatPhase < n % p) ++count;
        for (std::int32_t i = 0; n != 0 && i < count; ++i) {
            if (++cursor > n - 1) cursor = 0;
            table[static_cast<std::size_t>(cursor)]->Heartbeat();
        }
    };
    spread(radios, m_nRadioCursor);
    spread(interphones, m_nInterphoneCursor);
}

void CHalcyraApp::DispatchTransmitterPdu(const hcy::net::TransmitterPdu* pdu, std::uint32_t length,
                                         std::uint32_t sourceBits) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    if (pdu && length >= hcy::net::TRANSMITTER_PDU_SIZE)
        hcy::net::HeardStreams::Host().NoteTransmitState(hcy::net::HeardKey::Dis(pdu->radioId),
                                                         pdu->transmitState == 2);
    for (auto& radio : m_arrRadios)
        if (radio->GetNetworkMode() & sourceBits) radio->OnTransmitterPdu(pdu, length);
}

void CHalcyraApp::DispatchSignalPdu(const hcy::net::SignalPdu* pdu, std::uint32_t length,
                                    std::uint32_t sourceBits) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    // One decode of this PDU for every radio that hears its transmitter.
    const hcy::net::SignalRound round(sourceBits);
    for (auto& radio : m_arrRadios)
        if (SignalRuleMask(radio->GetNetworkMode()) & static_cast<std::int32_t>(sourceBits))
            radio->OnSignalPdu(pdu, length);
}

void CHalcyraApp::DispatchEntityStatePdu(const hcy::net::EntityStatePdu* pdu, std::uint32_t length,
                                         std::uint32_t sourceBits) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    for (auto& radio : m_arrRadios)
        if (radio->GetNetworkMode() & sourceBits) radio->OnEntityStatePdu(pdu, length);
}

void CHalcyraApp::DispatchIcsTransmitterPdu(const hcy::net::IcsTransmitterPdu* pdu,
                                            std::uint32_t length, std::uint32_t sourceBits) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    for (auto& interphone : m_arrInterphones)
        if (interphone->GetNetwork() & sourceBits) interphone->OnControlPdu(pdu, length);
}

void CHalcyraApp::DispatchIcsSignalPdu(const hcy::net::IcsSignalPdu* pdu, std::uint32_t length,
                                       std::uint32_t sourceBits) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    for (auto& interphone : m_arrInterphones)
        if (SignalRuleMask(interphone->GetNetwork()) & static_cast<std::int32_t>(sourceBits))
            interphone->OnAudioPdu(pdu, length);
}

void CHalcyraApp::DispatchHlaTransmitterUpdate(std::uint32_t objectHandle,
                                               const HlaTransmitterRecord* record,
                                               std::uint32_t attributeMask) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    for (auto& radio : m_arrRadios)
        if (radio->GetNetworkMode() & 0x8u)
            radio->OnHlaTransmitterUpdate(objectHandle, record, attributeMask);
}

void CHalcyraApp::DispatchHlaSignal(const HlaSignalRecord* record, const std::uint8_t* data,
                                    std::uint32_t dataBytes, const std::string* senderName) {
    std::shared_lock<hcy::WriterPreferringLock> tables(m_tablesLock);
    const hcy::net::SignalRound round(NET_HLA);
    for (auto& radio : m_arrRadios)
        if (radio->GetNetworkMode() & 0x8u) radio->OnHlaSignal(record, data, dataBytes, senderName);
}
