// Reception throughput: Signal PDUs per second through N generic radios that
// each hear M keyed transmitters, every PDU offered to every radio in one
// round as the dispatcher does (decoded once for all of them), and written
// to a receive path that discards it.
//
// Counters: pdus_per_s (each PDU through all N radios), x_realtime, the
// ratio to what M transmitters produce in real time: 16000 Hz / 1024-sample
// blocks (the default 2048-byte capture block) = 15.625 PDUs/s each, and
// decodes_per_pdu, the blocks the host decoded per PDU.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/recv_path.h"
#include "codecs/codec.h"
#include "net/heard_streams.h"
#include "net/pdu.h"
#include "radio/generic_radio.h"
#include "radio/receive.h"
#include "tests/support/stand_ins.h"

namespace {

// Plays nothing, but reads the last sample of each block it is handed.
class NullPath : public hcytest::NullRecvPath {
public:
    using NullRecvPath::NullRecvPath;
    void WriteAudio(const CReceive*, const std::int16_t* s, std::uint32_t bytes,
                    std::uint32_t) override {
        benchmark::DoNotOptimize(s[bytes / 2 - 1]);
    }
};

CDevice* FakeDevice() {
    static hcytest::StandInDevice device;
    return &device;
}

constexpr std::uint32_t kBlockSamples = 1024;  // 2048-byte capture block
constexpr double kPdusPerSecondPerTransmitter = 16000.0 / kBlockSamples;

std::vector<std::byte> TransmitterPdu(std::uint16_t radio) {
    hcy::net::TransmitterPdu pdu{};
    pdu.header = {6, 1, hcy::net::PDU_TYPE_TRANSMITTER, 4, 0, 104, 0};
    pdu.radioId = {{9, 9, 9}, radio};
    pdu.transmitState = 2;
    pdu.antennaLocation = {6378137.0, 1000.0 + radio, 0.0};
    pdu.setFrequency(30000000);
    pdu.bandwidth = 100.0f;
    pdu.power = 19.68f;
    std::vector<std::byte> bytes(104);
    std::memcpy(bytes.data(), &pdu, sizeof pdu);
    return bytes;
}

std::vector<std::byte> SignalPdu(std::uint16_t radio, std::uint16_t encoding,
                                 const std::vector<std::uint8_t>& data) {
    hcy::net::SignalPdu pdu{};
    pdu.header = {
        6, 1, hcy::net::PDU_TYPE_SIGNAL, 4, 0, static_cast<std::uint16_t>(32 + data.size()), 0};
    pdu.radioId = {{9, 9, 9}, radio};
    pdu.encodingScheme = encoding;
    pdu.sampleRate = 16000;
    pdu.dataLengthBits = static_cast<std::uint16_t>(data.size() * 8);
    pdu.sampleCount = kBlockSamples;
    std::vector<std::byte> bytes(32 + data.size());
    std::memcpy(bytes.data(), &pdu, sizeof pdu);
    std::memcpy(bytes.data() + 32, data.data(), data.size());
    return bytes;
}

void Reception(benchmark::State& state, std::uint16_t encoding, hcy::CodecKind kind) {
    const auto radios = static_cast<int>(state.range(0));
    const auto transmitters = static_cast<std::uint16_t>(state.range(1));
    SetRecvPathMakerForTest([](CRecvPath::Kind k) { return std::make_unique<NullPath>(k); });

    std::vector<std::unique_ptr<CGenericRadioModel>> heard;
    for (int i = 0; i < radios; ++i) {
        auto radio = std::make_unique<CGenericRadioModel>();
        radio->SetRadioId(1, 1, 1, static_cast<std::uint16_t>(i + 1));
        radio->SetXYZPosition(6378137.0, 0.0, 0.0);
        radio->SetFrequency(30e6, 30e6);
        // No positions: every transmitter is heard (no capture), the most
        // work per PDU.
        radio->SetDoPropLossModel(0);
        radio->AttachRecvPath(FakeDevice(), 0);
        heard.push_back(std::move(radio));
    }
    std::vector<std::int16_t> voice(kBlockSamples);
    for (std::uint32_t i = 0; i < kBlockSamples; ++i)
        voice[i] = static_cast<std::int16_t>(8000 * std::sin(i * 0.17));
    hcy::CodecSet coder;
    std::vector<std::uint8_t> coded(kBlockSamples * 2 / hcy::GetCompressionRatio(kind));
    coder.Encode(kind, voice, coded);

    std::vector<std::vector<std::byte>> signals;
    for (std::uint16_t t = 1; t <= transmitters; ++t) {
        const auto xmit = TransmitterPdu(t);
        for (auto& radio : heard)
            radio->OnTransmitterPdu(reinterpret_cast<const hcy::net::TransmitterPdu*>(xmit.data()),
                                    104);
        signals.push_back(SignalPdu(t, encoding, coded));
    }

    std::int64_t pdus = 0;
    const std::uint64_t decodesBefore = hcy::net::HeardStreams::Host().GetProbe().decodes;
    for (auto _ : state) {
        for (auto& pdu : signals) {
            const hcy::net::SignalRound round(NET_PRIMARY);  // as the dispatcher does
            for (auto& radio : heard)
                radio->OnSignalPdu(reinterpret_cast<const hcy::net::SignalPdu*>(pdu.data()),
                                   static_cast<std::uint32_t>(pdu.size()));
            ++pdus;
        }
    }
    state.SetItemsProcessed(pdus);
    state.counters["pdus_per_s"] =
        benchmark::Counter(static_cast<double>(pdus), benchmark::Counter::kIsRate);
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(pdus) / (transmitters * kPdusPerSecondPerTransmitter),
        benchmark::Counter::kIsRate);
    const std::uint64_t decodes = hcy::net::HeardStreams::Host().GetProbe().decodes - decodesBefore;
    state.counters["decodes_per_pdu"] =
        static_cast<double>(decodes) / static_cast<double>(std::max<std::int64_t>(pdus, 1));
    for (auto& radio : heard) radio->Shutdown();
    SetRecvPathMakerForTest({});
}

void BM_ReceptionPcm(benchmark::State& state) { Reception(state, 4, hcy::CodecKind::Pcm); }
void BM_ReceptionMuLaw(benchmark::State& state) { Reception(state, 1, hcy::CodecKind::MuLaw); }
void BM_ReceptionAdpcm(benchmark::State& state) { Reception(state, 3, hcy::CodecKind::Adpcm); }
void BM_ReceptionCvsd(benchmark::State& state) { Reception(state, 2, hcy::CodecKind::Cvsd); }

}  // namespace

// Radios x talkers.
BENCHMARK(BM_ReceptionPcm)->ArgsProduct({{16, 64}, {16, 64}});
BENCHMARK(BM_ReceptionMuLaw)->ArgsProduct({{16, 64}, {16, 64}});
BENCHMARK(BM_ReceptionAdpcm)->ArgsProduct({{16, 64}, {16, 64}});
BENCHMARK(BM_ReceptionCvsd)->ArgsProduct({{16, 64}, {16, 64}});
