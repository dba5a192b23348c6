#include "net/receive_road.h"

#include "core/app.h"
#include "core/messages.h"
#include "net/pdu.h"

namespace hcy::net {

int ClassifyPdu(std::span<const std::byte> datagram, bool acceptEntityState) {
    if (datagram.size() < 3) return -1;
    switch (std::to_integer<std::uint8_t>(datagram[2])) {
    case PDU_TYPE_TRANSMITTER: return PDU_TYPE_TRANSMITTER;
    case PDU_TYPE_SIGNAL: return PDU_TYPE_SIGNAL;
    case PDU_TYPE_ENTITY_STATE: return acceptEntityState ? PDU_TYPE_ENTITY_STATE : -1;
    case PDU_TYPE_ICS_TRANSMITTER: return PDU_TYPE_ICS_TRANSMITTER;
    case PDU_TYPE_ICS_SIGNAL: return PDU_TYPE_ICS_SIGNAL;
    default: return -1;  // Receiver PDUs included: nothing receives them
    }
}

std::optional<RxRoute> RouteReceived(int type, std::size_t length, std::uint32_t sourceBits) {
    RxKind kind;
    bool audio = false;
    switch (type) {
    case PDU_TYPE_SIGNAL:
        kind = RxKind::Signal;
        audio = true;
        break;
    case PDU_TYPE_TRANSMITTER: kind = RxKind::Transmitter; break;
    case PDU_TYPE_ENTITY_STATE: kind = RxKind::EntityState; break;
    case PDU_TYPE_ICS_TRANSMITTER: kind = RxKind::IcsControl; break;
    case PDU_TYPE_ICS_SIGNAL:
        kind = RxKind::IcsAudio;
        audio = true;
        break;
    default: return std::nullopt;
    }
    if (length < FixedPartSize(static_cast<std::uint8_t>(type))) return std::nullopt;
    unsigned sourceIndex;
    std::uint32_t source;
    if (sourceBits & kNetPrimary) {
        sourceIndex = 0;
        source = kNetPrimary;
    } else if (sourceBits & kNetSecondary) {
        sourceIndex = 1;
        source = kNetSecondary;
    } else if (sourceBits & kNetLoopback) {
        sourceIndex = 2;
        source = kNetLoopback;
    } else {
        return std::nullopt;
    }
    return RxRoute{kind, audio, NetRxMessage(sourceIndex, static_cast<unsigned>(kind)), source};
}

std::optional<std::pair<RxKind, std::uint32_t>> DecodeRxMessage(plat::UINT message) {
    if (message < WM_NETRX_BASE || message > WM_NETRX_LAST) return std::nullopt;
    const unsigned offset = message - WM_NETRX_BASE;
    static constexpr std::uint32_t kSources[] = {kNetPrimary, kNetSecondary, kNetLoopback};
    return std::make_pair(static_cast<RxKind>(offset % 5), kSources[offset / 5]);
}

void DeliverReceived(RxKind kind, std::span<const std::byte> networkOrder, std::uint32_t sourceBits,
                     std::vector<std::byte>& scratch) {
    scratch.resize(networkOrder.size());
    const std::span<std::byte> host(scratch);
    const auto length = static_cast<std::uint32_t>(networkOrder.size());
    const std::byte* pdu = scratch.data();
    switch (kind) {
    case RxKind::Signal:
        if (SignalPduToHost(networkOrder, host) == 0) return;
        theApp.DispatchSignalPdu(reinterpret_cast<const SignalPdu*>(pdu), length, sourceBits);
        break;
    case RxKind::Transmitter:
        if (TransmitterPduToHost(networkOrder, host) == 0) return;
        theApp.DispatchTransmitterPdu(reinterpret_cast<const TransmitterPdu*>(pdu), length,
                                      sourceBits);
        break;
    case RxKind::EntityState:
        if (EntityStatePduToHost(networkOrder, host) == 0) return;
        theApp.DispatchEntityStatePdu(reinterpret_cast<const EntityStatePdu*>(pdu), length,
                                      sourceBits);
        break;
    case RxKind::IcsControl:
        if (IcsTransmitterPduToHost(networkOrder, host) == 0) return;
        theApp.DispatchIcsTransmitterPdu(reinterpret_cast<const IcsTransmitterPdu*>(pdu), length,
                                         sourceBits);
        break;
    case RxKind::IcsAudio:
        if (IcsSignalPduToHost(networkOrder, host) == 0) return;
        theApp.DispatchIcsSignalPdu(reinterpret_cast<const IcsSignalPdu*>(pdu), length, sourceBits);
        break;
    }
}

bool ReceiveDatagramInline(std::span<const std::byte> datagram, std::uint32_t sourceBits,
                           std::vector<std::byte>& scratch) {
    if (datagram.size() > kMaxDatagramSize) return false;
    const int type = ClassifyPdu(datagram, theApp.m_bAcceptEntityState.load());
    if (type < 0) return false;
    const auto route = RouteReceived(type, datagram.size(), sourceBits);
    if (!route) return false;
    DeliverReceived(route->kind, datagram, route->source, scratch);
    return true;
}

}  // namespace hcy::net
