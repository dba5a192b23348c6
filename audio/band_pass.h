#pragma once
// The band-pass filter that devices apply to captured audio for radios that
// ask for it: 64 unwindowed taps (a sinc shifted to the band's centre), run
// over a ring of the last two blocks it saw.
//
// Not thread-safe: the owning device guards it with its own mutex.
#include <array>
#include <cstdint>
#include <vector>

class CBandPassFilter {
public:
    static constexpr int kTaps = 64;  // k = -32 .. 31

    // Designs the taps for the band [low, high] at `rate` [Hz]; the ring's
    // position restarts. False (nothing changes) for a rate below 1 Hz or
    // a non-finite edge.
    bool Design(int rate, double low, double high);
    // Taps have been designed: before that the filter is not applied.
    bool IsDesigned() const { return m_bDesigned; }
    // Tap m belongs to k = m - 32.
    double Coefficient(int m) const { return m_coefficients[static_cast<std::size_t>(m)]; }

    // Filters one block of `count` samples from `in` into `out` (which may
    // be `in`). The output is centred 31 samples into the older of the two
    // blocks of the ring, so it lags the input by count - 31 samples. A
    // block of another length than the last one starts a fresh (silent)
    // ring. Sums are truncated toward zero and saturated to 16 bits.
    void Filter(const std::int16_t* in, std::int16_t* out, std::uint32_t count);

private:
    std::array<double, kTaps> m_coefficients{};
    bool m_bDesigned = false;
    std::vector<std::int16_t> m_history;  // two blocks of the current length
    std::uint32_t m_nHistoryIndex = 0;    // the half that holds the older block
};
