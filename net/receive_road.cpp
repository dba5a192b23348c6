#include "net/receive_road.h"

#include "base/library.h"
#include "base/messages.h"
#include "net/pdu.h"
#include "net/pdu_sink.h"

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
    if (sourceBits & NET_PRIMARY) {
        sourceIndex = 0;
        source = NET_PRIMARY;
    } else if (sourceBits & NET_SECONDARY) {
        sourceIndex = 1;
        source = NET_SECONDARY;
    } else if (sourceBits & NET_LOOPBACK) {
        sourceIndex = 2;
        source = NET_LOOPBACK;
    } else {
        return std::nullopt;
    }
    return RxRoute{kind, audio, NetRxMessage(sourceIndex, static_cast<unsigned>(kind)), source};
}

std::size_t WorkerFor(std::span<const std::byte> datagram) {
    // The low bytes of site, application and entity (big-endian words).
    if (datagram.size() < 18) return 0;
    const auto low = [&](std::size_t at) { return std::to_integer<unsigned>(datagram[at]); };
    return (low(13) ^ low(15) ^ low(17)) & 1u;
}

std::optional<std::pair<RxKind, std::uint32_t>> DecodeRxMessage(plat::UINT message) {
    if (message < WM_NETRX_BASE || message > WM_NETRX_LAST) return std::nullopt;
    const unsigned offset = message - WM_NETRX_BASE;
    static constexpr std::uint32_t kSources[] = {NET_PRIMARY, NET_SECONDARY, NET_LOOPBACK};
    return std::make_pair(static_cast<RxKind>(offset % 5), kSources[offset / 5]);
}

void DeliverReceived(PduSink& sink, RxKind kind, std::span<const std::byte> networkOrder,
                     std::uint32_t sourceBits, std::vector<std::byte>& scratch) {
    scratch.resize(networkOrder.size());
    const std::span<std::byte> host(scratch);
    const auto length = static_cast<std::uint32_t>(networkOrder.size());
    const std::byte* pdu = scratch.data();
    switch (kind) {
    case RxKind::Signal:
        if (SignalPduToHost(networkOrder, host) == 0) return;
        sink.DispatchSignalPdu(reinterpret_cast<const SignalPdu*>(pdu), length, sourceBits);
        break;
    case RxKind::Transmitter:
        if (TransmitterPduToHost(networkOrder, host) == 0) return;
        sink.DispatchTransmitterPdu(reinterpret_cast<const TransmitterPdu*>(pdu), length,
                                    sourceBits);
        break;
    case RxKind::EntityState:
        if (EntityStatePduToHost(networkOrder, host) == 0) return;
        sink.DispatchEntityStatePdu(reinterpret_cast<const EntityStatePdu*>(pdu), length,
                                    sourceBits);
        break;
    case RxKind::IcsControl:
        if (IcsTransmitterPduToHost(networkOrder, host) == 0) return;
        sink.DispatchIcsTransmitterPdu(reinterpret_cast<const IcsTransmitterPdu*>(pdu), length,
                                       sourceBits);
        break;
    case RxKind::IcsAudio:
        if (IcsSignalPduToHost(networkOrder, host) == 0) return;
        sink.DispatchIcsSignalPdu(reinterpret_cast<const IcsSignalPdu*>(pdu), length, sourceBits);
        break;
    }
}

bool ReceiveDatagramInline(PduSink& sink, std::span<const std::byte> datagram,
                           std::uint32_t sourceBits, std::vector<std::byte>& scratch) {
    if (datagram.size() > kMaxDatagramSize) return false;
    const int type = ClassifyPdu(datagram, hcy::Library().m_bAcceptEntityState.load());
    if (type < 0) return false;
    const auto route = RouteReceived(type, datagram.size(), sourceBits);
    if (!route) return false;
    DeliverReceived(sink, route->kind, datagram, route->source, scratch);
    return true;
}

}  // namespace hcy::net
