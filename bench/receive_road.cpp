// Throughput of the receive road and of the send router, on loopback only.
//
//   ReceiveInline/N   datagram -> filter -> host order -> N radios, one thread
//   ReceiveSocket/N   peer socket -> receive thread -> worker -> N radios
//   SendRouter/flags  post -> router -> (loopback road | own socket) -> radio
//
// items_per_second is datagrams (or PDUs) per second.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/messages.h"
#include "core/app.h"
#include "halcyra/halcyra.h"
#include "net/net_mgr.h"
#include "net/pdu.h"
#include "net/receive_road.h"
#include "net/udp_socket.h"
#include "tests/support/stand_ins.h"

namespace {

using Bytes = std::vector<std::byte>;
using namespace hcy::net;

constexpr Ipv4 kLoopbackBroadcast = 0x7FFFFFFF;  // 127.255.255.255
constexpr std::uint16_t kSamples = 320;          // 20 ms at 16 kHz

// Counts Signal PDUs and wakes a waiter once the count reaches its target
// (a waiter that yields would measure the machine's load instead).
class CountingRadio : public hcytest::StandInRadio {
public:
    using StandInRadio::StandInRadio;
    std::atomic<std::uint64_t> heard{0};
    void OnSignalPdu(const SignalPdu*, std::uint32_t) override {
        if (heard.fetch_add(1) + 1 == target.load()) {
            std::lock_guard<std::mutex> lock(mutex);
            reached.notify_all();
        }
    }
    // Waits until `count` more PDUs arrived, at most `limit`; how many did.
    std::uint64_t AwaitMore(std::uint64_t before, std::uint64_t count,
                            std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex);
        reached.wait_for(lock, limit, [&] { return heard.load() >= before + count; });
        return heard.load() - before;
    }
    std::atomic<std::uint64_t> target{0};
    std::mutex mutex;
    std::condition_variable reached;
};

// A Signal PDU of 20 ms of 16-bit PCM, host order, and its wire form.
Bytes SignalHost() {
    SignalPdu pdu{};
    pdu.header = {6, 1, PDU_TYPE_SIGNAL, PROTOCOL_FAMILY_RADIO, 0, 32 + 2 * kSamples, 0};
    pdu.radioId = {{1, 2, 3}, 1};
    pdu.encodingScheme = 4;
    pdu.sampleRate = 16000;
    pdu.dataLengthBits = 16 * kSamples;
    pdu.sampleCount = kSamples;
    Bytes bytes(sizeof pdu + 2 * kSamples, std::byte{0x11});
    std::memcpy(bytes.data(), &pdu, sizeof pdu);
    return bytes;
}

Bytes SignalWire() {
    const Bytes host = SignalHost();
    Bytes wire(host.size());
    (void)SignalPduToNet(host, wire);
    return wire;
}

std::vector<std::shared_ptr<CountingRadio>> AddRadios(int n, std::uint32_t mask) {
    std::vector<std::shared_ptr<CountingRadio>> radios;
    for (int i = 0; i < n; ++i) {
        auto radio = std::make_shared<CountingRadio>(mask);
        const int handle = theApp.AddRadio(radio, nullptr);
        radio->SetUserId(static_cast<std::uint32_t>(handle));
        radios.push_back(radio);
    }
    return radios;
}

void RemoveRadios(const std::vector<std::shared_ptr<CountingRadio>>& radios) {
    for (auto& radio : radios) theApp.DestroyComRadio(radio->GetUserId());
}

std::uint16_t FreePort() {
    UdpSocket probe;
    if (!probe.Create() || !probe.Bind(0x7F000001, 0)) return 0;
    return probe.LocalAddress().value_or(std::make_pair(0u, std::uint16_t{0})).second;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

// The library running in a folder of its own, its primary network on a free
// port with the loopback broadcast address as destination.
struct RunningLibrary {
    RunningLibrary() {
        folder = std::filesystem::temp_directory_path() / ("hcy-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        std::filesystem::current_path(folder);
        ok = hcyInit(0, "127.255.255.255") == 1;
        port = FreePort();
        if (!ok || port == 0) return;
        mgr = theApp.NetMgr();
        hcySetNetworkPort(port);
        ok = WaitUntil(
            [&] {
                auto s = mgr->GetSocketStatus(1);
                return s.open && s.port == port;
            },
            std::chrono::seconds(5));
    }
    ~RunningLibrary() {
        mgr.reset();
        hcyExit();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::filesystem::path folder;
    bool ok = false;
    std::uint16_t port = 0;
    std::shared_ptr<CNetMgr> mgr;
};

void ReceiveInline(benchmark::State& state) {
    RunningLibrary library;  // the tables take radios only while it runs
    if (!library.ok) {
        state.SkipWithError("the library did not start on loopback");
        return;
    }
    const auto radios = AddRadios(static_cast<int>(state.range(0)), NET_PRIMARY);
    const Bytes wire = SignalWire();
    std::vector<std::byte> scratch;
    for (auto _ : state)
        benchmark::DoNotOptimize(ReceiveDatagramInline(theApp, wire, NET_PRIMARY, scratch));
    state.SetItemsProcessed(state.iterations());
    state.counters["radios"] = static_cast<double>(radios.size());
    RemoveRadios(radios);
}
BENCHMARK(ReceiveInline)->Arg(1)->Arg(8)->Arg(64);

void ReceiveSocket(benchmark::State& state) {
    RunningLibrary library;
    if (!library.ok) {
        state.SkipWithError("the library did not start on loopback");
        return;
    }
    const auto radios = AddRadios(static_cast<int>(state.range(0)), NET_PRIMARY);
    UdpSocket peer;
    peer.Create();
    peer.SetBroadcast(true);
    const Bytes wire = SignalWire();
    constexpr int kBatch = 32;  // small enough for the socket's receive buffer
    std::uint64_t delivered = 0;
    for (auto _ : state) {
        const std::uint64_t before = radios[0]->heard;
        radios[0]->target = before + kBatch;
        for (int i = 0; i < kBatch; ++i) peer.SendTo(kLoopbackBroadcast, library.port, wire);
        delivered += radios[0]->AwaitMore(before, kBatch, std::chrono::seconds(2));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(delivered));
    state.counters["radios"] = static_cast<double>(radios.size());
    RemoveRadios(radios);
}
BENCHMARK(ReceiveSocket)->Arg(1)->Arg(8)->Arg(64)->UseRealTime();

void SendRouter(benchmark::State& state) {
    RunningLibrary library;
    if (!library.ok) {
        state.SkipWithError("the library did not start on loopback");
        return;
    }
    const auto flags = static_cast<std::uint32_t>(state.range(0));
    // A looped-back PDU reaches radios listening to source 4; one sent on
    // the primary network comes back through the library's own socket.
    const auto radios = AddRadios(1, flags);
    const Bytes host = SignalHost();
    constexpr int kBatch = 32;
    std::uint64_t delivered = 0;
    for (auto _ : state) {
        const std::uint64_t before = radios[0]->heard;
        radios[0]->target = before + kBatch;
        for (int i = 0; i < kBatch; ++i) {
            OutgoingPdu outgoing;
            outgoing.request.networkFlags = flags;
            outgoing.request.length = static_cast<std::uint32_t>(host.size());
            outgoing.pdu = host;
            library.mgr->Post(hcy::WM_NETMGR_SEND_PDU, 0, 0,
                              plat::MakePayload<OutgoingPdu>(std::move(outgoing)));
        }
        delivered += radios[0]->AwaitMore(before, kBatch, std::chrono::seconds(2));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(delivered));
    state.SetLabel(flags == NET_LOOPBACK ? "loopback road" : "own socket on 127.255.255.255");
    RemoveRadios(radios);
}
BENCHMARK(SendRouter)->Arg(NET_LOOPBACK)->Arg(NET_PRIMARY)->UseRealTime();

}  // namespace
