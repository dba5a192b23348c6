// The library's own latency on the voice path, on loopback, real clock.
//
//   CaptureToSocket  t0: a capture block (1024 samples at 16000 Hz, the
//                        default 2048-byte capture block) handed to
//                        CRadioModel::TransmitAudio on the calling thread, as
//                        a device's capture thread does
//                    t1: its Signal PDU read off a socket the benchmark bound
//                        on 127.255.255.255 at the library's port
//                    (encoder, post to the network manager, send router,
//                    network order, sendto, loopback, the listener's wake-up)
//   SocketToOutput   t0: a Signal PDU of 1024 PCM samples sent from a
//                        benchmark socket to 127.255.255.255 at the library's
//                        port
//                    t1: its samples written to the heard transmitter's output
//                        buffer on a virtual speaker: stamped on the Signal
//                        worker right after the real mono receive path's block
//                        write (a subclass made through the path factory)
//                    (sendto, loopback, receive thread, filter, Signal worker,
//                    host order, radio dispatch, decoder, receive path, output
//                    buffer)
//
// One PDU is in flight at a time, 1 ms apart so that the library's threads
// sleep between blocks as they do between real 64 ms blocks. Each benchmark
// prints "voice latency <path>: median X us, p99 Y us" and reports the same
// as counters; the time column is the mean.
//
// Why 127.255.255.255 and not 127.0.0.1: the library binds its socket to a
// loopback destination address, so with the loopback broadcast destination
// both the library and the benchmark's listener receive what is sent there.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/output_buffer.h"
#include "audio/recv_path.h"
#include "audio/recv_path_mono.h"
#include "core/app.h"
#include "halcyra/halcyra.h"
#include "hcyplat/virtual_sound.h"
#include "net/net_mgr.h"
#include "net/pdu.h"
#include "net/udp_socket.h"
#include "radio/radio_model.h"

namespace {

using Bytes = std::vector<std::byte>;
using Clock = std::chrono::steady_clock;
using hcy::net::Ipv4;
using hcy::net::UdpSocket;

constexpr Ipv4 kLoopbackBroadcast = 0x7FFFFFFF;  // 127.255.255.255
constexpr std::uint32_t kRate = 16000;           // [Hz]
constexpr std::uint16_t kSamples = 1024;         // one default capture block
constexpr int kWarmUp = 200;                     // untimed rounds
constexpr int kSamplesTaken = 3000;              // timed rounds
constexpr auto kGap = std::chrono::milliseconds(1);
constexpr auto kLimit = std::chrono::seconds(2);  // one round at most
constexpr double kFrequency = 30e6;               // [Hz]
constexpr double kEarthRadius = 6378137.0;        // [m]

std::vector<std::int16_t> Tone() {
    std::vector<std::int16_t> block(kSamples);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] =
            static_cast<std::int16_t>(8000 * std::sin(2 * 3.14159265358979 * 500 * i / kRate));
    return block;
}

std::uint16_t FreePort() {
    UdpSocket probe;
    if (!probe.Create() || !probe.Bind(hcy::net::kAnyAddress, 0)) return 0;
    return probe.LocalAddress().value_or(std::make_pair(0u, std::uint16_t{0})).second;
}

// Polls `done` every millisecond until it holds or kLimit passed.
bool WaitUntil(const auto& done) {
    const auto end = Clock::now() + kLimit;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Median and 99th percentile [us] of the samples [ns]; prints the line and
// sets the counters.
void Report(benchmark::State& state, const char* path, std::vector<std::int64_t> ns) {
    if (ns.empty()) return;
    std::sort(ns.begin(), ns.end());
    auto at = [&](double q) {
        const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(ns.size())));
        return static_cast<double>(ns[std::clamp<std::size_t>(rank, 1, ns.size()) - 1]) / 1000.0;
    };
    const double median = at(0.5), p99 = at(0.99);
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    state.counters["max_us"] = static_cast<double>(ns.back()) / 1000.0;
    state.counters["samples"] = static_cast<double>(ns.size());
    std::printf("voice latency %s: median %.1f us, p99 %.1f us (%zu samples)\n", path, median, p99,
                ns.size());
    std::fflush(stdout);
}

// The library running in a temporary working folder of its own, its primary
// network moved to a free port, the loopback broadcast address as
// destination.
struct RunningLibrary {
    RunningLibrary() {
        const std::string name = "hcy-bench-latency-" + std::to_string(getpid());
        folder = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(folder);
        previousFolder = std::filesystem::current_path();
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        std::filesystem::current_path(folder);
        port = FreePort();
        if (port == 0) return;
        if (hcyInit(0, "127.255.255.255") != 1 || !hcySetNetworkPort(port)) return;
        const auto mgr = theApp.NetMgr();
        ok = mgr && WaitUntil([&] {
                 const auto status = mgr->GetSocketStatus(1);
                 return status.open && status.boundPort == port;
             });
    }
    ~RunningLibrary() {
        hcyExit();
        std::error_code ignored;
        std::filesystem::current_path(previousFolder, ignored);
        std::filesystem::remove_all(folder, ignored);
    }
    std::filesystem::path folder, previousFolder;
    bool ok = false;
    std::uint16_t port = 0;
};

// ---------------------------------------------------------------------------
// Capture block -> Signal PDU on the socket

void CaptureToSocket(benchmark::State& state) {
    RunningLibrary library;
    if (!library.ok) {
        state.SkipWithError("the library did not start on loopback");
        return;
    }
    UdpSocket listener;
    if (!listener.Create() || !listener.SetReuseAddress(true) ||
        !listener.SetReceiveTimeout(static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(kLimit).count())) ||
        !listener.Bind(kLoopbackBroadcast, library.port)) {
        state.SkipWithError("cannot listen on 127.255.255.255");
        return;
    }
    const int handle = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 0);
    const auto radio = handle > 0 ? theApp.FindRadio(handle) : nullptr;
    if (!radio || !hcySetRadioFrequency(handle, kFrequency, kFrequency) ||
        !hcySetEncoding(handle, ENCODING_PCM16)) {
        state.SkipWithError(hcyGetLastError());
        return;
    }
    radio->SetPTT(1, 2);

    const auto block = Tone();
    const std::size_t expected = sizeof(hcy::net::SignalPdu) + 2u * kSamples;
    Bytes datagram(70000);
    // One block in, waits for its Signal PDU (the radio's Transmitter PDUs
    // pass by); the latency [ns], or -1 when none came.
    auto round = [&]() -> std::int64_t {
        const auto t0 = Clock::now();
        radio->TransmitAudio(block.data(), 2u * kSamples, kRate, 2);
        for (;;) {
            const auto r = listener.Receive(datagram);
            if (r.status == UdpSocket::RecvStatus::Transient) continue;
            if (r.status != UdpSocket::RecvStatus::Datagram) return -1;
            if (r.bytes > 2 && datagram[2] == std::byte{hcy::net::PDU_TYPE_SIGNAL}) {
                const auto t1 = Clock::now();
                return r.bytes == expected ? (t1 - t0) / std::chrono::nanoseconds(1) : -1;
            }
            if (Clock::now() - t0 > kLimit) return -1;
        }
    };

    for (int i = 0; i < kWarmUp; ++i) {
        if (round() < 0) {
            state.SkipWithError("a Signal PDU did not arrive");
            return;
        }
        std::this_thread::sleep_for(kGap);
    }
    std::vector<std::int64_t> ns;
    ns.reserve(kSamplesTaken);
    for (auto _ : state) {
        const std::int64_t latency = round();
        if (latency < 0) {
            state.SkipWithError("a Signal PDU did not arrive");
            break;
        }
        ns.push_back(latency);
        state.SetIterationTime(static_cast<double>(latency) * 1e-9);
        std::this_thread::sleep_for(kGap);
    }
    radio->SetPTT(0, 2);
    state.SetLabel("TransmitAudio -> socket on 127.255.255.255, 1024 samples PCM");
    Report(state, "capture->socket", std::move(ns));
}
BENCHMARK(CaptureToSocket)
    ->Iterations(kSamplesTaken)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------
// Signal PDU off the socket -> samples in the output buffer

// When the receive path last finished writing a block into an output buffer.
struct WriteStamps {
    std::atomic<std::uint64_t> count{0};
    std::atomic<std::int64_t> lastNs{0};    // steady clock [ns]
    std::atomic<std::uint64_t> unmoved{0};  // writes that left the write offset where it was
};
WriteStamps g_writes;

// The real mono path, stamping the time once a block is in the output buffer.
class StampingPath final : public CRecvPathMono {
protected:
    void WriteBlock(COutputBuffer& buffer, const std::int16_t* samples,
                    std::uint32_t bytes) override {
        const std::uint32_t before = buffer.GetWriteOffset();
        CRecvPathMono::WriteBlock(buffer, samples, bytes);
        const auto now = Clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
        if (buffer.GetWriteOffset() == before) g_writes.unmoved.fetch_add(1);
        g_writes.lastNs.store(now, std::memory_order_relaxed);
        g_writes.count.fetch_add(1, std::memory_order_release);
    }
};

// A PDU in host order as it travels.
template <class Convert>
Bytes Wire(const Bytes& host, Convert convert) {
    Bytes wire(host.size());
    return convert(host, wire) == host.size() ? wire : Bytes{};
}

Bytes TransmitterWire() {
    hcy::net::TransmitterPdu pdu{};
    pdu.header = {6,
                  1,
                  hcy::net::PDU_TYPE_TRANSMITTER,
                  hcy::net::PROTOCOL_FAMILY_RADIO,
                  0,
                  static_cast<std::uint16_t>(hcy::net::TRANSMITTER_PDU_SIZE),
                  0};
    pdu.radioId = {{10, 20, 30}, 1};
    pdu.transmitState = 2;
    pdu.inputSource = 2;
    pdu.antennaLocation = {kEarthRadius, 1000.0, 0.0};  // 1 km from the receiver
    pdu.setFrequency(static_cast<std::uint64_t>(kFrequency));
    pdu.bandwidth = 100.0f;
    pdu.power = 19.68f;  // [dBm]
    Bytes host(hcy::net::TRANSMITTER_PDU_SIZE);
    std::memcpy(host.data(), &pdu, sizeof pdu);
    return Wire(host, [](const Bytes& h, Bytes& w) { return hcy::net::TransmitterPduToNet(h, w); });
}

Bytes SignalWire() {
    const auto samples = Tone();
    hcy::net::SignalPdu pdu{};
    pdu.header = {6,
                  1,
                  hcy::net::PDU_TYPE_SIGNAL,
                  hcy::net::PROTOCOL_FAMILY_RADIO,
                  0,
                  static_cast<std::uint16_t>(sizeof pdu + 2u * kSamples),
                  0};
    pdu.radioId = {{10, 20, 30}, 1};
    pdu.encodingScheme = 4;  // 16-bit PCM
    pdu.sampleRate = kRate;
    pdu.dataLengthBits = static_cast<std::uint16_t>(16u * kSamples);
    pdu.sampleCount = kSamples;
    Bytes host(sizeof pdu + 2u * kSamples);
    std::memcpy(host.data(), &pdu, sizeof pdu);
    std::memcpy(host.data() + sizeof pdu, samples.data(), 2u * kSamples);  // little-endian
    return Wire(host, [](const Bytes& h, Bytes& w) { return hcy::net::SignalPduToNet(h, w); });
}

// A virtual sound card (speaker driven by the real clock, silent microphone)
// and its endpoints, removed at the end.
struct SoundCard {
    SoundCard() {
        plat::vsnd::OutputEndpointConfig out;
        out.description = "Latency speaker";
        speaker = plat::vsnd::CreateOutputEndpoint(out).guid;
        plat::vsnd::InputEndpointConfig in;
        in.description = "Latency microphone";
        microphone = plat::vsnd::CreateInputEndpoint(in).waveInId;
    }
    ~SoundCard() { plat::vsnd::RemoveAllEndpoints(); }
    plat::GUID speaker{};
    plat::UINT microphone = 0;
};

void SocketToOutput(benchmark::State& state) {
    // Paths made from here on are the stamping ones.
    const RecvPathMaker previous =
        SetRecvPathMakerForTest([](CRecvPath::Kind) -> std::unique_ptr<CRecvPath> {
            return std::make_unique<StampingPath>();
        });
    struct Restore {
        const RecvPathMaker& factory;
        ~Restore() { SetRecvPathMakerForTest(factory); }
    } restore{previous};

    SoundCard card;
    RunningLibrary library;
    if (!library.ok) {
        state.SkipWithError("the library did not start on loopback");
        return;
    }
    const int device =
        hcyOpenAudioDeviceSimple(card.microphone, reinterpret_cast<const HCYGUID*>(&card.speaker));
    const int radio = device > 0 ? hcyCreateComRadio(RADIO_TYPE_GENERIC, 4, 5, 6, 0) : 0;
    if (radio <= 0 || !hcySetRadioFrequency(radio, kFrequency, kFrequency) ||
        !hcySetAntXYZPosn(radio, kEarthRadius, 0.0, 0.0) ||
        !hcySetComRadioRecv(radio, device, 0, 1)) {
        state.SkipWithError(hcyGetLastError());
        return;
    }

    UdpSocket sender;
    if (!sender.Create() || !sender.SetBroadcast(true)) {
        state.SkipWithError("cannot make the sending socket");
        return;
    }
    const Bytes transmitter = TransmitterWire();
    const Bytes signal = SignalWire();
    if (transmitter.empty() || signal.empty()) {
        state.SkipWithError("cannot build the PDUs");
        return;
    }
    auto audible = [&] {
        std::uint32_t count = 0;
        return hcyGetRadioData(radio, RD_AUDIBLE_COUNT, &count) && count == 1;
    };
    sender.SendTo(kLoopbackBroadcast, library.port, transmitter);
    if (!WaitUntil(audible)) {
        state.SkipWithError("the radio does not hear the transmitter");
        return;
    }

    // One PDU out, waits for its block in the output buffer; the latency
    // [ns], or -1 when none came.
    auto round = [&]() -> std::int64_t {
        const std::uint64_t before = g_writes.count.load(std::memory_order_acquire);
        const auto t0 = Clock::now();
        if (!sender.SendTo(kLoopbackBroadcast, library.port, signal)) return -1;
        while (g_writes.count.load(std::memory_order_acquire) == before)
            if (Clock::now() - t0 > kLimit) return -1;
        return g_writes.lastNs.load(std::memory_order_relaxed) -
               t0.time_since_epoch() / std::chrono::nanoseconds(1);
    };
    // The transmitter keeps announcing itself, outside the timed rounds.
    auto keepAlive = [&](int i) {
        if (i % 250 == 0) sender.SendTo(kLoopbackBroadcast, library.port, transmitter);
        std::this_thread::sleep_for(kGap);
    };

    for (int i = 0; i < kWarmUp; ++i) {
        if (round() < 0) {
            state.SkipWithError("a block did not reach the output buffer");
            return;
        }
        keepAlive(i + 1);
    }
    g_writes.unmoved = 0;
    std::vector<std::int64_t> ns;
    ns.reserve(kSamplesTaken);
    int i = 0;
    for (auto _ : state) {
        const std::int64_t latency = round();
        if (latency < 0) {
            state.SkipWithError("a block did not reach the output buffer");
            break;
        }
        ns.push_back(latency);
        state.SetIterationTime(static_cast<double>(latency) * 1e-9);
        keepAlive(++i);
    }
    if (g_writes.unmoved.load() != 0) state.SkipWithError("an output buffer refused a block");
    state.SetLabel("127.255.255.255 -> output buffer on a virtual speaker, 1024 samples PCM");
    Report(state, "socket->output buffer", std::move(ns));
}
BENCHMARK(SocketToOutput)
    ->Iterations(kSamplesTaken)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
