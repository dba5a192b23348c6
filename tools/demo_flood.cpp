// Malformed datagrams for the demo's load scenario: COUNT datagrams spread
// over SECONDS, sent to PORT of a loopback address (127.x.x.x only, never
// another host; default 127.255.255.255, which reaches every host of the
// demo).
//
//   hcy_demo_flood PORT COUNT SECONDS [ADDRESS]
//
// Each datagram is one of: random bytes of a random length (1..1472), a
// DIS header whose length field lies about the bytes that follow, a
// Transmitter or Signal PDU cut short, or a Signal PDU whose data length
// claims more bits than it carries.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "net/udp_socket.h"

namespace {

constexpr hcy::net::Ipv4 kLoopbackBroadcast = 0x7FFFFFFF;  // 127.255.255.255
constexpr std::size_t kMaxDatagram = 1472;                 // one Ethernet frame of UDP [bytes]

struct Random {
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    std::uint32_t Next() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return static_cast<std::uint32_t>(x >> 16);
    }
    std::uint32_t Below(std::uint32_t n) { return Next() % n; }
};

// One malformed datagram of kind `kind` (0..3) into `d`.
void Make(Random& r, int kind, std::vector<std::byte>& d) {
    const std::size_t n = 1 + r.Below(kMaxDatagram);
    d.resize(kind == 0 ? n : std::max<std::size_t>(12, n % 64));
    for (auto& b : d) b = static_cast<std::byte>(r.Next());
    if (kind == 0) return;
    // A DIS header: version 6, exercise 1, Transmitter (25) or Signal (26).
    d[0] = std::byte{6};
    d[1] = std::byte{1};
    d[2] = std::byte(kind == 1 ? 25 : 26);
    d[3] = std::byte{4};
    const std::uint16_t claimed = static_cast<std::uint16_t>(kind == 1 ? 32 + r.Below(2000) : 36);
    d[8] = std::byte(claimed >> 8);
    d[9] = std::byte(claimed & 0xFF);
    if (kind == 3 && d.size() >= 32) {
        // Signal: 16-bit PCM at 16000 Hz, data length far beyond the bytes.
        const std::uint8_t fields[] = {0, 4, 0, 0, 0, 0, 0x3E, 0x80, 0x7F, 0xFF};
        for (std::size_t k = 0; k < sizeof fields; ++k) d[20 + k] = std::byte{fields[k]};
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: hcy_demo_flood PORT COUNT SECONDS [ADDRESS]\n");
        return 2;
    }
    hcy::net::Ipv4 to = kLoopbackBroadcast;
    if (argc == 5) {
        const auto parsed = hcy::net::ParseIpv4(argv[4]);
        if (!parsed || (*parsed >> 24) != 127) {
            std::fprintf(stderr, "hcy_demo_flood: %s is not a loopback address\n", argv[4]);
            return 2;
        }
        to = *parsed;
    }
    const long port = std::strtol(argv[1], nullptr, 10);
    const long count = std::strtol(argv[2], nullptr, 10);
    const double seconds = std::strtod(argv[3], nullptr);
    if (port < 1 || port > 65535 || count < 0 || !(seconds > 0 && seconds < 3600)) {
        std::fprintf(stderr, "hcy_demo_flood: bad arguments\n");
        return 2;
    }
    hcy::net::UdpSocket socket;
    if (!socket.Create() || !socket.SetBroadcast(true)) {
        std::fprintf(stderr, "hcy_demo_flood: no socket\n");
        return 1;
    }
    Random r;
    std::vector<std::byte> d;
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    long sent = 0, refused = 0;
    // Paced in 1 ms steps: the datagrams due by now go out, then a sleep.
    for (long i = 0; i < count;) {
        const double elapsed = std::chrono::duration<double>(clock::now() - start).count();
        const long due = std::min(count, static_cast<long>(elapsed / seconds * count) + 1);
        for (; i < due; ++i) {
            Make(r, static_cast<int>(i % 4), d);
            if (socket.SendTo(to, static_cast<std::uint16_t>(port), d))
                ++sent;
            else
                ++refused;  // a full socket buffer: the flood goes on
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::printf("hcy_demo_flood: %ld datagrams sent to %s:%ld, %ld refused\n", sent,
                hcy::net::FormatIpv4(to).c_str(), port, refused);
    return 0;
}
