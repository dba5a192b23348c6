#pragma once
// A thin owner of one IPv4 UDP socket in blocking mode. Every system call of
// the network subsystem lives behind this class (udp_socket.cpp); the rest of
// net/ sees addresses as host-order 32-bit numbers and bytes as spans.
//
// Thread use: one thread may block in Receive while another sends or calls
// Shutdown; Shutdown wakes a blocked Receive (it returns Closed). Close only
// after every other user of the socket has let go of it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace hcy::net {

// IPv4 address in host order (127.0.0.1 is 0x7F000001).
using Ipv4 = std::uint32_t;
inline constexpr Ipv4 kAnyAddress = 0;
inline constexpr Ipv4 kLimitedBroadcast = 0xFFFFFFFFu;

// A dotted IPv4 text ("a.b.c.d"); empty when the text is not one.
std::optional<Ipv4> ParseIpv4(const std::string& text);
// A dotted text, or else a host name through the system's resolver.
std::optional<Ipv4> ResolveIpv4(const std::string& text);
std::string FormatIpv4(Ipv4 address);

class UdpSocket {
public:
    enum class RecvStatus {
        Datagram,   // `bytes` holds a whole datagram (possibly empty)
        Truncated,  // the datagram was longer than the buffer: dropped
        Transient,  // a passing error (interrupted, no memory, ...): try again
        Closed,     // the socket was shut down or closed
        Failed,     // any other error
    };
    struct RecvResult {
        RecvStatus status;
        std::size_t bytes;
    };

    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Creates the socket; false (error code in LastError) when it cannot.
    bool Create();
    bool IsOpen() const { return fd_ >= 0; }
    // Closes the descriptor; keeps the last error code.
    void Close();
    // Wakes a Receive blocked on another thread; later receives fail.
    void Shutdown();

    bool SetReceiveBuffer(int bytes);
    bool SetReuseAddress(bool on);
    bool SetBroadcast(bool on);
    bool SetDontRoute(bool on);
    bool SetMulticastLoop(bool on);
    bool SetMulticastTtl(int ttl);
    bool JoinGroup(Ipv4 group);  // on any interface
    // Receive time-out [ms]; 0 waits without limit.
    bool SetReceiveTimeout(int ms);
    bool Bind(Ipv4 address, std::uint16_t port);
    // Fixes the peer (and so the local address the route picks).
    bool Connect(Ipv4 address, std::uint16_t port);

    // Sends one datagram; false when the system refused it.
    bool SendTo(Ipv4 address, std::uint16_t port, std::span<const std::byte> bytes);
    // Receives one datagram into `buffer`.
    RecvResult Receive(std::span<std::byte> buffer);

    // The bound local address and port, for checks.
    std::optional<std::pair<Ipv4, std::uint16_t>> LocalAddress() const;
    std::optional<int> MulticastTtl() const;
    std::optional<bool> MulticastLoop() const;

    // The system's error code of the last failed call.
    int LastError() const { return error_; }

private:
    bool Fail();
    int fd_ = -1;
    int error_ = 0;
};

// Test hook: the next `count` UdpSocket::Create calls fail.
void FailNextSocketCreations(int count);

}  // namespace hcy::net
