#pragma once
// One DIS network's UDP socket (kind 1 primary, 2 secondary) and its receive
// thread. Opened, sent on and closed only by the network manager's thread;
// the receive thread only receives and hands datagrams to the manager's
// receive road.
//
// Binding at open, by the destination of its network (the first case that
// applies):
//   127.x.x.x           bind to the destination itself
//   BindAdx configured  bind to it, else to any address (no group joined)
//   224.x to 239.x      bind to any address, join the group, loop on, TTL
//   otherwise           bind to any address
//
// Closing: closing flag, shutdown (wakes the blocked receive), join the
// receive thread, close the descriptor. A descriptor is never closed while
// its receive thread may still use it.
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "hcyplat/thread.h"
#include "net/udp_socket.h"

class CNetMgr;

class CDisSocket {
public:
    // What an open left behind, for the network manager's status.
    struct Binding {
        hcy::net::Ipv4 address = 0;
        std::uint16_t port = 0;
        bool joinedGroup = false;
        int multicastTtl = -1;  // -1: not known
        bool multicastLoop = false;
    };

    CDisSocket(CNetMgr* owner, std::uint32_t kind);
    ~CDisSocket();
    CDisSocket(const CDisSocket&) = delete;
    CDisSocket& operator=(const CDisSocket&) = delete;

    // Creates, configures and binds the socket on `port`: 1 on success, 0 on
    // failure (the socket is then closed). Reads BindAdx, RecvBuf and QFlush.
    int OpenSocket(std::uint32_t port);
    // Starts the receive thread of an open socket (highest priority, best
    // effort). False when it cannot be started.
    bool StartReceiving();
    // Stops the receive thread and closes the socket; nothing when closed.
    void Close();

    // One datagram to `destination` (empty or "255.255.255.255": the limited
    // broadcast address; otherwise a dotted address or a host name) at
    // `port`; one retry on failure, then silence. Returns the number of
    // datagrams that left (0 or 1).
    int SendPdu(std::span<const std::byte> bytes, const std::string& destination,
                std::uint32_t port);

    bool IsOpen() const { return m_socket.IsOpen(); }
    bool IsReceiving() const { return m_bReceiving.load(); }
    std::uint32_t Kind() const { return m_nKind; }
    const Binding& LastBinding() const { return m_binding; }

    // Destination text for the next open; multicast TTL for the next open.
    std::string m_strDestination = "255.255.255.255";
    std::uint32_t m_nMulticastTtl = 25;
    std::uint32_t m_nQueueFlush = 1;  // QFlush: stored only

private:
    void ReceiveLoop();
    std::optional<hcy::net::Ipv4> Destination(const std::string& text);

    const std::uint32_t m_nKind;
    CNetMgr* const m_pOwner;
    hcy::net::UdpSocket m_socket;
    plat::Thread m_receiveThread;
    std::atomic<bool> m_bClosing{false};
    std::atomic<bool> m_bReceiving{false};
    Binding m_binding;

    // The last destination text resolved, so that a host name is not looked
    // up again for every PDU; a failed look-up is retried after a while.
    std::string m_strResolvedText;
    std::optional<hcy::net::Ipv4> m_resolved;
    std::uint32_t m_nResolvedAt = 0;  // [ms] clock time of the look-up
    bool m_bResolvedValid = false;
};
