#pragma once
// Test signals and measures shared by the codec tests.
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

namespace codectest {

constexpr double kRate = 16000.0;  // [Hz]

inline std::vector<std::int16_t> Sine(std::size_t count, double hz, double amplitude) {
    std::vector<std::int16_t> s(count);
    for (std::size_t i = 0; i < count; ++i) {
        s[i] = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / kRate)));
    }
    return s;
}

// Deterministic full-range noise.
inline std::vector<std::int16_t> Noise(std::size_t count, std::uint32_t seed) {
    std::vector<std::int16_t> s(count);
    for (auto& v : s) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<std::int16_t>(seed >> 16);
    }
    return s;
}

// Signal-to-noise ratio [dB] of decoded against original, from sample
// `skip` on, with the decoded signal shifted by `lag` samples.
inline double SnrDb(std::span<const std::int16_t> original, std::span<const std::int16_t> decoded,
                    std::size_t skip, std::size_t lag = 0) {
    double signal = 0.0;
    double noise = 0.0;
    for (std::size_t i = skip; i + lag < decoded.size() && i < original.size(); ++i) {
        const double x = original[i];
        const double e = decoded[i + lag] - x;
        signal += x * x;
        noise += e * e;
    }
    return noise == 0.0 ? 1e9 : 10.0 * std::log10(signal / noise);
}

}  // namespace codectest
