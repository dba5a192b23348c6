#include "net/udp_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace hcy::net {

namespace {

std::atomic<int> g_failNextCreations{0};

sockaddr_in MakeAddress(Ipv4 address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(address);
    return a;
}

}  // namespace

void FailNextSocketCreations(int count) { g_failNextCreations = count; }

std::optional<Ipv4> ParseIpv4(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
    return ntohl(a.s_addr);
}

std::optional<Ipv4> ResolveIpv4(const std::string& text) {
    if (auto dotted = ParseIpv4(text)) return dotted;
    if (text.empty()) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
    std::optional<Ipv4> result;
    if (found->ai_addr && found->ai_addrlen >= sizeof(sockaddr_in))
        result = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
    return result;
}

std::string FormatIpv4(Ipv4 address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

UdpSocket::~UdpSocket() { Close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : fd_(other.fd_), error_(other.error_) {
    other.fd_ = -1;
}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        error_ = other.error_;
        other.fd_ = -1;
    }
    return *this;
}

bool UdpSocket::Fail() {
    error_ = errno;
    return false;
}

bool UdpSocket::Create() {
    Close();
    if (g_failNextCreations.load() > 0 && g_failNextCreations.fetch_sub(1) > 0) {
        error_ = EMFILE;
        return false;
    }
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd_ < 0) return Fail();
    return true;
}

void UdpSocket::Close() {
    if (fd_ < 0) return;
    const int saved = error_;
    ::close(fd_);
    fd_ = -1;
    error_ = saved;
}

void UdpSocket::Shutdown() {
    // On an unconnected UDP socket this reports ENOTCONN, yet it marks the
    // socket shut and wakes a blocked receive, which then returns 0.
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

namespace {
template <class T>
bool SetOption(int fd, int level, int name, T value) {
    return setsockopt(fd, level, name, &value, sizeof value) == 0;
}
}  // namespace

bool UdpSocket::SetReceiveBuffer(int bytes) {
    return SetOption(fd_, SOL_SOCKET, SO_RCVBUF, bytes) || Fail();
}
bool UdpSocket::SetReuseAddress(bool on) {
    return SetOption(fd_, SOL_SOCKET, SO_REUSEADDR, int{on}) || Fail();
}
bool UdpSocket::SetBroadcast(bool on) {
    return SetOption(fd_, SOL_SOCKET, SO_BROADCAST, int{on}) || Fail();
}
bool UdpSocket::SetDontRoute(bool on) {
    return SetOption(fd_, SOL_SOCKET, SO_DONTROUTE, int{on}) || Fail();
}
bool UdpSocket::SetMulticastLoop(bool on) {
    return SetOption(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, static_cast<unsigned char>(on)) || Fail();
}
bool UdpSocket::SetMulticastTtl(int ttl) {
    if (ttl < 0 || ttl > 255) {
        error_ = EINVAL;
        return false;
    }
    return SetOption(fd_, IPPROTO_IP, IP_MULTICAST_TTL, static_cast<unsigned char>(ttl)) || Fail();
}
bool UdpSocket::JoinGroup(Ipv4 group) {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(group);
    request.imr_interface.s_addr = htonl(INADDR_ANY);
    return SetOption(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, request) || Fail();
}
bool UdpSocket::SetReceiveTimeout(int ms) {
    timeval t{};
    t.tv_sec = ms / 1000;
    t.tv_usec = (ms % 1000) * 1000;
    return SetOption(fd_, SOL_SOCKET, SO_RCVTIMEO, t) || Fail();
}

bool UdpSocket::Bind(Ipv4 address, std::uint16_t port) {
    const sockaddr_in a = MakeAddress(address, port);
    return ::bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 || Fail();
}

bool UdpSocket::Connect(Ipv4 address, std::uint16_t port) {
    const sockaddr_in a = MakeAddress(address, port);
    return ::connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 || Fail();
}

bool UdpSocket::SendTo(Ipv4 address, std::uint16_t port, std::span<const std::byte> bytes) {
    const sockaddr_in a = MakeAddress(address, port);
    const ssize_t sent = ::sendto(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&a), sizeof a);
    return (sent >= 0 && static_cast<std::size_t>(sent) == bytes.size()) || Fail();
}

UdpSocket::RecvResult UdpSocket::Receive(std::span<std::byte> buffer) {
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    // MSG_TRUNC: the result is the datagram's real length, so that a
    // datagram longer than the buffer is recognised and dropped.
    const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) {
        error_ = errno;
        switch (error_) {
        case EINTR:
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case ECONNREFUSED:
        case ENOBUFS:
        case ENOMEM:
        case EMSGSIZE:
        case EHOSTUNREACH:
        case ENETUNREACH: return {RecvStatus::Transient, 0};
        case EBADF:
        case ENOTSOCK:
        case ESHUTDOWN: return {RecvStatus::Closed, 0};
        default: return {RecvStatus::Failed, 0};
        }
    }
    if (static_cast<std::size_t>(n) > buffer.size()) return {RecvStatus::Truncated, 0};
    return {RecvStatus::Datagram, static_cast<std::size_t>(n)};
}

std::optional<std::pair<Ipv4, std::uint16_t>> UdpSocket::LocalAddress() const {
    sockaddr_in a{};
    socklen_t length = sizeof a;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) return std::nullopt;
    return std::make_pair(Ipv4{ntohl(a.sin_addr.s_addr)}, std::uint16_t{ntohs(a.sin_port)});
}

std::optional<int> UdpSocket::MulticastTtl() const {
    unsigned char value = 0;
    socklen_t length = sizeof value;
    if (getsockopt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, &value, &length) != 0) return std::nullopt;
    return value;
}

std::optional<bool> UdpSocket::MulticastLoop() const {
    unsigned char value = 0;
    socklen_t length = sizeof value;
    if (getsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &value, &length) != 0) return std::nullopt;
    return value != 0;
}

}  // namespace hcy::net
