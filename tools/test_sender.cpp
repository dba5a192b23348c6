// hcy_test_sender: a DIS radio that paces its Signal PDUs the way other
// vendors' radios do, for end-to-end tests of what a listener hears. It does
// not use the library: it builds its Transmitter and Signal PDUs itself and
// sends them over loopback UDP.
//
//   hcy_test_sender --port N --transmit FILE [--block SAMPLES] [--jitter MS]
//                   [--burst K] [--fast PERCENT] [--transmissions N]
//                   [--gap S] [--entity S,A,E] [--address 127.x.x.x]
//
// FILE is a 16 kHz mono 16-bit PCM WAV file. Its samples go out in blocks of
// SAMPLES (160 to 1024, default 320) as 16-bit PCM Signal PDUs (encoding 4,
// little-endian samples, as the library's own radios send them), block k at
// k block durations from the start, each moved by a random -MS .. +MS
// (default 0), every K-th block held back and sent together with the next
// (default never), on a clock PERCENT fast (default 0). With N transmissions
// the file is cut into N equal parts, each sent as a transmission of its own
// (keyed, its blocks, unkeyed right after its last block, as an operator
// releasing the key), S seconds apart (default 0.3). The radio stands 1 m
// above the equator at longitude 0 (hcyhost's default position), 30 MHz.
// Only loopback destinations are accepted.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "net/udp_socket.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kRate = 16000;  // [Hz]

struct Options {
    int port = 3000;
    std::string address = "127.255.255.255";
    std::string file;
    unsigned block = 320;    // [samples]
    double jitterMs = 0;     // [ms]
    unsigned burst = 0;      // every K-th block goes with the next; 0: never
    double fastPercent = 0;  // [%]
    unsigned transmissions = 1;
    double gapSeconds = 0.3;  // [s]
    std::uint16_t entity[3] = {7, 7, 7};
};

class Pdu {
public:
    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v >> 8)), u8(static_cast<std::uint8_t>(v));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v >> 16)), u16(static_cast<std::uint16_t>(v));
    }
    void u64(std::uint64_t v) {
        u32(static_cast<std::uint32_t>(v >> 32)), u32(static_cast<std::uint32_t>(v));
    }
    void f32(float v) {
        std::uint32_t b;
        std::memcpy(&b, &v, 4);
        u32(b);
    }
    void f64(double v) {
        std::uint64_t b;
        std::memcpy(&b, &v, 8);
        u64(b);
    }
    void Header(std::uint8_t type, std::uint16_t length) {
        u8(6), u8(1), u8(type), u8(4), u32(0), u16(length), u16(0);
    }
    std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> Transmitter(const Options& o, std::uint8_t state) {
    Pdu p;
    p.Header(25, 104);
    p.u16(o.entity[0]), p.u16(o.entity[1]), p.u16(o.entity[2]), p.u16(1);
    p.u8(7), p.u8(2), p.u16(225), p.u8(1), p.u8(1), p.u16(1);  // radio entity type
    p.u8(state), p.u8(state == 2 ? 2 : 0), p.u16(0);           // input source 2: a tail
    p.f64(6378138.0), p.f64(0.0), p.f64(0.0);                  // 1 m up [m]
    p.f32(0), p.f32(0), p.f32(0);
    p.u16(0), p.u16(0);
    p.u64(30000000);                 // [Hz]
    p.f32(25000.0f), p.f32(19.68f);  // bandwidth [Hz], power [dBm]
    p.u16(0), p.u16(1), p.u16(2), p.u16(1);
    p.u16(0), p.u16(0);
    p.u8(0), p.u8(0), p.u8(0), p.u8(0);
    return p.bytes;
}

std::vector<std::uint8_t> Signal(const Options& o, const std::int16_t* samples, unsigned count) {
    Pdu p;
    p.Header(26, static_cast<std::uint16_t>(32 + 2 * count));
    p.u16(o.entity[0]), p.u16(o.entity[1]), p.u16(o.entity[2]), p.u16(1);
    p.u16(4), p.u16(0), p.u32(kRate), p.u16(static_cast<std::uint16_t>(16 * count));
    p.u16(static_cast<std::uint16_t>(count));
    for (unsigned i = 0; i < count; ++i) {  // little-endian PCM
        const auto v = static_cast<std::uint16_t>(samples[i]);
        p.u8(static_cast<std::uint8_t>(v)), p.u8(static_cast<std::uint8_t>(v >> 8));
    }
    return p.bytes;
}

bool ReadMonoPcm(const std::string& path, std::vector<std::int16_t>& out) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<unsigned char> d((std::istreambuf_iterator<char>(f)),
                                       std::istreambuf_iterator<char>());
    auto get = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | d[at + static_cast<std::size_t>(i)];
        return v;
    };
    if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) != 0) return false;
    bool mono = false;
    for (std::size_t at = 12; at + 8 <= d.size();) {
        const std::uint32_t size = get(at + 4, 4);
        const std::size_t body = at + 8, avail = std::min<std::size_t>(size, d.size() - body);
        if (std::memcmp(&d[at], "fmt ", 4) == 0 && avail >= 16)
            mono = get(body, 2) == 1 && get(body + 2, 2) == 1 && get(body + 4, 4) == kRate &&
                   get(body + 14, 2) == 16;
        if (std::memcmp(&d[at], "data", 4) == 0) {
            if (!mono) return false;
            for (std::size_t i = 0; i + 1 < avail; i += 2)
                out.push_back(static_cast<std::int16_t>(get(body + i, 2)));
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: hcy_test_sender --port N --transmit FILE [--block SAMPLES] [--jitter MS]\n"
                 "                       [--burst K] [--fast PERCENT] [--transmissions N]\n"
                 "                       [--gap S] [--entity S,A,E] [--address 127.x.x.x]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const char* v = argv[i + 1];
        if (a == "--port")
            o.port = std::atoi(v);
        else if (a == "--address")
            o.address = v;
        else if (a == "--transmit")
            o.file = v;
        else if (a == "--block")
            o.block = static_cast<unsigned>(std::atoi(v));
        else if (a == "--jitter")
            o.jitterMs = std::atof(v);
        else if (a == "--burst")
            o.burst = static_cast<unsigned>(std::atoi(v));
        else if (a == "--fast")
            o.fastPercent = std::atof(v);
        else if (a == "--transmissions")
            o.transmissions = static_cast<unsigned>(std::atoi(v));
        else if (a == "--gap")
            o.gapSeconds = std::atof(v);
        else if (a == "--entity" &&
                 std::sscanf(v, "%hu,%hu,%hu", &o.entity[0], &o.entity[1], &o.entity[2]) == 3) {
        } else
            return Usage();
    }
    std::vector<std::int16_t> samples;
    if (argc % 2 == 0 || o.file.empty() || o.port <= 0 || o.port > 65535 || o.block < 160 ||
        o.block > 1024 || !(o.jitterMs >= 0 && o.jitterMs <= 100) || o.transmissions < 1 ||
        !(o.fastPercent > -50 && o.fastPercent < 50) || !(o.gapSeconds >= 0))
        return Usage();
    // Loopback only: the tests' packets never leave the machine.
    const auto to = hcy::net::ParseIpv4(o.address);
    if (!to || (*to >> 24) != 127) {
        std::fprintf(stderr, "hcy_test_sender: %s is not a loopback address\n", o.address.c_str());
        return 2;
    }
    if (!ReadMonoPcm(o.file, samples) || samples.empty()) {
        std::fprintf(stderr, "hcy_test_sender: %s is no 16 kHz mono 16-bit PCM WAV file\n",
                     o.file.c_str());
        return 1;
    }
    hcy::net::UdpSocket socket;
    if (!socket.Create() || !socket.SetBroadcast(true)) {
        std::fprintf(stderr, "hcy_test_sender: no UDP socket\n");
        return 1;
    }
    auto send = [&](const std::vector<std::uint8_t>& pdu) {
        socket.SendTo(*to, static_cast<std::uint16_t>(o.port),
                      std::as_bytes(std::span<const std::uint8_t>(pdu)));
    };

    std::mt19937 random(12345);
    std::uniform_real_distribution<double> jitter(-o.jitterMs, o.jitterMs);
    const double blockMs = 1000.0 * o.block / kRate / (1.0 + o.fastPercent / 100.0);
    std::size_t blocks = 0;
    const std::size_t part = (samples.size() + o.transmissions - 1) / o.transmissions;
    for (unsigned t = 0; t < o.transmissions; ++t) {
        const std::size_t begin = t * part, end = std::min(samples.size(), begin + part);
        if (begin >= end) break;
        send(Transmitter(o, 2));
        const auto start = Clock::now();
        std::vector<std::vector<std::uint8_t>> held;
        for (std::size_t at = begin, k = 0; at < end; at += o.block, ++k) {
            const auto count = static_cast<unsigned>(std::min<std::size_t>(o.block, end - at));
            held.push_back(Signal(o, &samples[at], count));
            ++blocks;
            if (o.burst && (k + 1) % o.burst == 0 && at + o.block < end) continue;
            const double dueMs = static_cast<double>(k) * blockMs + jitter(random);
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(static_cast<long long>(dueMs * 1000)));
            for (const auto& pdu : held) send(pdu);
            held.clear();
        }
        send(Transmitter(o, 1));  // unkeyed right after the last block
        std::this_thread::sleep_for(std::chrono::duration<double>(o.gapSeconds));
    }
    std::printf("sent %zu blocks of %u samples in %u transmission%s\n", blocks, o.block,
                o.transmissions, o.transmissions == 1 ? "" : "s");
    return 0;
}
