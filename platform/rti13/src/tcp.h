#pragma once
// Loopback TCP for the hub and its clients: the only file pair of the RTI
// library that touches the system's sockets.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hcyrti {

class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool Valid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Close();

    // Sends every byte, waiting at most `limit` in all; false when the peer
    // is gone or the time ran out.
    bool SendAll(std::string_view bytes, std::chrono::milliseconds limit);
    // Sends what the socket takes now: the count sent, or -1 when the peer is gone.
    long SendSome(std::string_view bytes);
    // Waits at most `wait` for bytes and reads what is there: the count, 0
    // when nothing came, -1 when the peer closed or the connection failed.
    long Receive(char* buffer, std::size_t capacity, std::chrono::nanoseconds wait);

private:
    int fd_ = -1;
};

// Connects to HOST:PORT, where HOST is "localhost" or a dotted 127.x.x.x
// address; an invalid Socket and `error` set when it cannot.
Socket ConnectLoopback(const std::string& host, std::uint16_t port, std::string& error);

class Listener {
public:
    // Listens on 127.0.0.1:port (0: a free port); false and `error` set when it cannot.
    bool Listen(std::uint16_t port, std::string& error);
    std::uint16_t Port() const { return port_; }
    int Fd() const { return socket_.Fd(); }
    // A waiting connection, non-blocking; invalid when none waits.
    Socket Accept();

private:
    Socket socket_;
    std::uint16_t port_ = 0;
};

struct PollEntry {
    int fd = -1;
    bool wantWrite = false;
    bool readable = false;  // also set on hang-up and error: a read tells which
    bool writable = false;
};

// Waits at most `timeout` for any entry; a signal ends the wait early.
void PollSockets(std::vector<PollEntry>& entries, std::chrono::milliseconds timeout);

}  // namespace hcyrti
