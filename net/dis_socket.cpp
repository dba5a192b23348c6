#include "net/dis_socket.h"

#include <array>

#include "base/library.h"
#include "base/thread_kinds.h"
#include "hcyplat/clock.h"
#include "hcyplat/thread_boundary.h"
#include "net/net_mgr.h"
#include "net/receive_road.h"

namespace {

constexpr const char* kLimitedBroadcastText = "255.255.255.255";
constexpr std::uint32_t kResolveRetryMs = 5000;  // a failed host-name look-up waits this long

}  // namespace

CDisSocket::CDisSocket(CNetMgr* owner, std::uint32_t kind) : m_nKind(kind), m_pOwner(owner) {}

CDisSocket::~CDisSocket() { Close(); }

int CDisSocket::OpenSocket(std::uint32_t port) {
    Close();
    hcy::CLibrary& library = hcy::Library();
    const std::string bindText = library.GetProfileString("Network", "BindAdx", "");
    const int receiveBuffer = library.GetProfileInt("Network", "RecvBuf", 65536);
    m_nQueueFlush = static_cast<std::uint32_t>(library.GetProfileInt("Network", "QFlush", 1));

    const std::string destination =
        m_strDestination.empty() ? std::string(kLimitedBroadcastText) : m_strDestination;
    const auto parsed = hcy::net::ParseIpv4(destination);
    const unsigned firstOctet = parsed ? (*parsed >> 24) : 0;

    m_binding = Binding{};
    if (port > 0xFFFF) return 0;
    if (!m_socket.Create()) return 0;
    auto fail = [&] {
        m_socket.Close();  // keeps the error code
        return 0;
    };
    m_socket.SetReceiveBuffer(receiveBuffer);
    if (!m_socket.SetReuseAddress(true)) return fail();

    const auto p = static_cast<std::uint16_t>(port);
    if (parsed && firstOctet == 127) {
        if (!m_socket.Bind(*parsed, p)) return fail();
    } else if (!bindText.empty()) {
        const auto local = hcy::net::ParseIpv4(bindText);
        if (!local || !m_socket.Bind(*local, p)) {
            if (!m_socket.Bind(hcy::net::kAnyAddress, p)) return fail();
        }
    } else if (parsed && firstOctet >= 224 && firstOctet <= 239) {
        if (!m_socket.Bind(hcy::net::kAnyAddress, p)) return fail();
        if (!m_socket.JoinGroup(*parsed)) return fail();
        m_binding.joinedGroup = true;
        m_socket.SetMulticastLoop(true);
        if (m_nMulticastTtl > 0) m_socket.SetMulticastTtl(static_cast<int>(m_nMulticastTtl));
    } else {
        if (!m_socket.Bind(hcy::net::kAnyAddress, p)) return fail();
    }

    // Sending to a broadcast address needs permission; routing stays on.
    m_socket.SetBroadcast(true);
    m_socket.SetDontRoute(false);

    if (auto local = m_socket.LocalAddress()) {
        m_binding.address = local->first;
        m_binding.port = local->second;
    }
    m_binding.multicastTtl = m_socket.MulticastTtl().value_or(-1);
    m_binding.multicastLoop = m_socket.MulticastLoop().value_or(false);
    return 1;
}

bool CDisSocket::StartReceiving() {
    if (!m_socket.IsOpen()) return false;
    m_bClosing = false;
    m_bReceiving = true;
    if (!m_receiveThread.Start([this] { ReceiveLoop(); },
                               m_nKind == 2 ? "hcy-rx-sec" : "hcy-rx-prim")) {
        m_bReceiving = false;
        return false;
    }
    m_receiveThread.SetPriority(plat::THREAD_PRIORITY_HIGHEST);
    return true;
}

void CDisSocket::Close() {
    m_bClosing = true;
    if (m_receiveThread.Joinable()) {
        m_socket.Shutdown();
        m_receiveThread.Join();
    }
    m_socket.Close();
    m_bReceiving = false;
}

void CDisSocket::ReceiveLoop() {
    using Status = hcy::net::UdpSocket::RecvStatus;
    std::array<std::byte, hcy::net::kMaxDatagramSize> buffer;
    while (!m_bClosing.load()) {
        const auto result = m_socket.Receive(buffer);
        if (m_bClosing.load()) break;
        switch (result.status) {
        case Status::Datagram:
            // An empty datagram is dropped like any other unknown one.
            // One that throws on its way is lost; reception goes on.
            if (result.bytes > 0) {
                plat::ThreadBoundary(hcy::boundary::kReceiveDatagram, [&] {
                    m_pOwner->OnDatagram(std::span<const std::byte>(buffer.data(), result.bytes),
                                         m_nKind);
                });
            }
            break;
        case Status::Truncated:
        case Status::Transient: break;  // dropped; reception goes on
        case Status::Closed:
        case Status::Failed: m_bReceiving = false; return;  // the socket itself is broken
        }
    }
    m_bReceiving = false;
}

std::optional<hcy::net::Ipv4> CDisSocket::Destination(const std::string& text) {
    if (text.empty() || text == kLimitedBroadcastText) return hcy::net::kLimitedBroadcast;
    const std::uint32_t now = plat::timeGetTime();
    const bool retry = !m_resolved && now - m_nResolvedAt >= kResolveRetryMs;
    if (!m_bResolvedValid || text != m_strResolvedText || retry) {
        m_strResolvedText = text;
        m_resolved = hcy::net::ResolveIpv4(text);
        m_nResolvedAt = now;
        m_bResolvedValid = true;
    }
    return m_resolved;
}

int CDisSocket::SendPdu(std::span<const std::byte> bytes, const std::string& destination,
                        std::uint32_t port) {
    if (!m_socket.IsOpen() || port > 0xFFFF) return 0;
    const auto address = Destination(destination);
    if (!address) return 0;  // a name that does not resolve: nothing leaves
    const auto p = static_cast<std::uint16_t>(port);
    if (m_socket.SendTo(*address, p, bytes)) return 1;
    return m_socket.SendTo(*address, p, bytes) ? 1 : 0;
}
