// Interphone PDUs as a bystander sees them, for the end-to-end scenarios:
// every control (160) and audio (161) PDU that reaches a UDP port, decoded
// from its wire bytes (big-endian) on their own, one line each, for SECONDS.
//
//   hcy_ics_watch PORT SECONDS
//
//   "T control S line L called C dialing D reply R state X"
//   "T audio S line L"
// T: seconds since the watch began; S: the sender's station number; L in
// hexadecimal. It prints "watching port PORT" once it can hear.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "net/udp_socket.h"

int main(int argc, char** argv) {
    const int port = argc == 3 ? std::atoi(argv[1]) : 0;
    const double seconds = argc == 3 ? std::atof(argv[2]) : 0;
    if (port <= 0 || port > 65535 || !(seconds > 0)) {
        std::fprintf(stderr, "usage: hcy_ics_watch PORT SECONDS\n");
        return 2;
    }
    hcy::net::UdpSocket socket;
    if (!socket.Create() || !socket.SetReuseAddress(true) || !socket.SetReceiveTimeout(100) ||
        !socket.Bind(hcy::net::kAnyAddress, static_cast<std::uint16_t>(port))) {
        std::fprintf(stderr, "hcy_ics_watch: cannot listen on port %d\n", port);
        return 1;
    }
    std::printf("watching port %d\n", port);
    std::fflush(stdout);

    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(clock::now() - start).count(); };
    std::vector<std::byte> d(8192);
    auto u8 = [&](std::size_t at) { return std::to_integer<unsigned>(d[at]); };
    auto u16 = [&](std::size_t at) { return u8(at) << 8 | u8(at + 1); };
    while (elapsed() < seconds) {
        const auto r = socket.Receive(d);
        using Status = hcy::net::UdpSocket::RecvStatus;
        if (r.status == Status::Closed || r.status == Status::Failed) return 1;
        if (r.status != Status::Datagram || r.bytes < 38 || u8(3) != 40) continue;
        if (u8(2) == 160 && r.bytes >= 40)
            std::printf("%.3f control %u line %04x called %u dialing %u reply %u state %u\n",
                        elapsed(), u16(24), u16(26), u16(34), u8(36), u8(37), u8(38));
        else if (u8(2) == 161)
            std::printf("%.3f audio %u line %04x\n", elapsed(), u16(24), u16(26));
        std::fflush(stdout);
    }
    return 0;
}
