// Throughput of every voice codec on 16 kHz speech-like input, in 1024-sample
// blocks (the default capture block). "x_realtime" is seconds of audio coded
// per second of CPU time on one core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "codecs/codec.h"

namespace {

constexpr double kSampleRate = 16000.0;        // [Hz]
constexpr std::size_t kBlock = 1024;           // [samples]
constexpr std::size_t kSignal = 160 * kBlock;  // about 10 s [samples]

// Voiced speech stand-in: a harmonic series on a wandering pitch
// (110-190 Hz), weighted toward two formant regions (~500 Hz and ~1500 Hz),
// under a 4 Hz syllable envelope with pauses, plus a little noise.
const std::vector<std::int16_t>& SpeechLike() {
    static const std::vector<std::int16_t> signal = [] {
        std::vector<std::int16_t> s(kSignal);
        std::uint32_t noise = 12345;
        double phase = 0.0;  // [rad] of the fundamental
        for (std::size_t i = 0; i < kSignal; ++i) {
            const double t = static_cast<double>(i) / kSampleRate;
            const double f0 = 150.0 + 40.0 * std::sin(2.0 * std::numbers::pi * 0.7 * t);
            phase += 2.0 * std::numbers::pi * f0 / kSampleRate;
            double v = 0.0;
            for (int k = 1; k <= 24; ++k) {
                const double f = k * f0;
                const double formants = std::exp(-std::pow((f - 500.0) / 250.0, 2.0)) +
                                        0.5 * std::exp(-std::pow((f - 1500.0) / 400.0, 2.0)) + 0.05;
                v += formants / k * std::sin(k * phase);
            }
            const double syllable = std::max(0.0, std::sin(2.0 * std::numbers::pi * 4.0 * t));
            noise = noise * 1664525u + 1013904223u;
            const double hiss = (static_cast<double>(noise >> 16) / 65536.0 - 0.5) * 300.0;
            s[i] = static_cast<std::int16_t>(std::lround(12000.0 * syllable * v + hiss));
        }
        return s;
    }();
    return signal;
}

void Report(benchmark::State& state) {
    const double samples = static_cast<double>(state.iterations()) * kBlock;
    state.SetItemsProcessed(static_cast<std::int64_t>(samples));
    state.counters["x_realtime"] =
        benchmark::Counter(samples / kSampleRate, benchmark::Counter::kIsRate);
}

template <class Codec>
void BM_Encode(benchmark::State& state) {
    const auto& signal = SpeechLike();
    Codec codec;
    std::vector<std::uint8_t> out(kBlock * 2 / Codec::GetCompressionRatio());
    std::size_t at = 0;
    for (auto _ : state) {
        const std::span<const std::int16_t> block(signal.data() + at, kBlock);
        benchmark::DoNotOptimize(codec.Encode(block, out));
        benchmark::ClobberMemory();
        at = (at + kBlock) % kSignal;
    }
    Report(state);
}

template <class Codec>
void BM_Decode(benchmark::State& state) {
    const auto& signal = SpeechLike();
    Codec codec;
    const std::size_t coded = kBlock * 2 / Codec::GetCompressionRatio();
    std::vector<std::uint8_t> stream(kSignal * 2 / Codec::GetCompressionRatio());
    for (std::size_t at = 0; at < kSignal; at += kBlock) {
        codec.Encode(std::span(signal.data() + at, kBlock),
                     std::span(stream.data() + at * 2 / Codec::GetCompressionRatio(), coded));
    }
    typename Codec::DecoderState decoder{};
    std::vector<std::int16_t> out(kBlock);
    std::size_t at = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(codec.Decode(decoder, std::span(stream.data() + at, coded), out));
        benchmark::ClobberMemory();
        at = (at + coded) % stream.size();
    }
    Report(state);
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Encode, hcy::CPcm);
BENCHMARK_TEMPLATE(BM_Decode, hcy::CPcm);
BENCHMARK_TEMPLATE(BM_Encode, hcy::CMuLaw);
BENCHMARK_TEMPLATE(BM_Decode, hcy::CMuLaw);
BENCHMARK_TEMPLATE(BM_Encode, hcy::CAdpcm);
BENCHMARK_TEMPLATE(BM_Decode, hcy::CAdpcm);
BENCHMARK_TEMPLATE(BM_Encode, hcy::CCvsd);
BENCHMARK_TEMPLATE(BM_Decode, hcy::CCvsd);
BENCHMARK_TEMPLATE(BM_Encode, hcy::CCecomCvsd);
BENCHMARK_TEMPLATE(BM_Decode, hcy::CCecomCvsd);
