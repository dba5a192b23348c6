#include "tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace hcyrti {

namespace {

int Millis(std::chrono::nanoseconds wait) {
    if (wait <= std::chrono::nanoseconds::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    return ms > 60000 ? 60000 : static_cast<int>(ms);
}

bool WaitFor(int fd, short events, std::chrono::nanoseconds wait) {
    pollfd p{fd, events, 0};
    int r;
    do r = poll(&p, 1, Millis(wait));
    while (r < 0 && errno == EINTR);
    return r > 0;
}

void Tune(int fd) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Socket::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool Socket::SendAll(std::string_view bytes, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!bytes.empty()) {
        const long sent = SendSome(bytes);
        if (sent < 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
        if (bytes.empty()) break;
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero() || !WaitFor(fd_, POLLOUT, left)) return false;
    }
    return true;
}

long Socket::SendSome(std::string_view bytes) {
    for (;;) {
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
}

long Socket::Receive(char* buffer, std::size_t capacity, std::chrono::nanoseconds wait) {
    for (bool waited = false;;) {
        const ssize_t n = recv(fd_, buffer, capacity, MSG_DONTWAIT);
        if (n > 0) return static_cast<long>(n);
        if (n == 0) return -1;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (waited || wait <= std::chrono::nanoseconds::zero() || !WaitFor(fd_, POLLIN, wait))
            return 0;
        waited = true;
    }
}

Socket ConnectLoopback(const std::string& host, std::uint16_t port, std::string& error) {
    in_addr address{};
    if (host == "localhost") {
        address.s_addr = htonl(INADDR_LOOPBACK);
    } else if (inet_pton(AF_INET, host.c_str(), &address) != 1 ||
               (ntohl(address.s_addr) >> 24) != 127) {
        error = "the RTI hub's address must be localhost or 127.x.x.x, not " + host;
        return Socket();
    }
    Socket s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.Valid()) {
        error = SystemError("socket");
        return s;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr = address;
    int r;
    do r = connect(s.Fd(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
    while (r < 0 && errno == EINTR);
    if (r < 0) {
        error = SystemError(
            ("cannot reach the RTI hub at " + host + ":" + std::to_string(port)).c_str());
        return Socket();
    }
    Tune(s.Fd());
    return s;
}

bool Listener::Listen(std::uint16_t port, std::string& error) {
    socket_ = Socket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket_.Valid()) {
        error = SystemError("socket");
        return false;
    }
    const int one = 1;
    setsockopt(socket_.Fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (bind(socket_.Fd(), reinterpret_cast<const sockaddr*>(&a), sizeof a) < 0 ||
        listen(socket_.Fd(), 64) < 0 ||
        getsockname(socket_.Fd(), reinterpret_cast<sockaddr*>(&a), &length) < 0) {
        error = SystemError(("cannot listen on 127.0.0.1:" + std::to_string(port)).c_str());
        socket_.Close();
        return false;
    }
    port_ = ntohs(a.sin_port);
    return true;
}

Socket Listener::Accept() {
    int fd;
    do fd = accept4(socket_.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd >= 0) Tune(fd);
    return Socket(fd);
}

void PollSockets(std::vector<PollEntry>& entries, std::chrono::milliseconds timeout) {
    std::vector<pollfd> fds(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        fds[i] = {entries[i].fd, static_cast<short>(POLLIN | (entries[i].wantWrite ? POLLOUT : 0)),
                  0};
    if (poll(fds.data(), fds.size(), Millis(timeout)) <= 0) return;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i].readable = fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL);
        entries[i].writable = fds[i].revents & POLLOUT;
    }
}

}  // namespace hcyrti
