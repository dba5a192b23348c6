#include "audio/band_pass.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The constants the taps have always been computed with; finer values of pi
// would move the taps in their last digits.
constexpr double kPi = 3.141592654;
constexpr double kTwoPi = 6.283185308;

std::int16_t Saturate(double sum) {
    if (sum >= 32767.0) return 32767;
    if (sum <= -32768.0) return -32768;
    return static_cast<std::int16_t>(sum);  // truncates toward zero
}

}  // namespace

bool CBandPassFilter::Design(int rate, double low, double high) {
    if (rate < 1 || !std::isfinite(low) || !std::isfinite(high)) return false;
    const double bw = std::fabs(high - low);
    const double fc = (low + high) * 0.5;
    const double fs = static_cast<double>(rate);
    for (int k = -32; k < 32; ++k) {
        double h;
        if (k == 0) {
            h = 2.0 * bw / fs;
        } else {
            h = 2.0 * std::sin(kPi * k * bw / fs) * std::cos(kTwoPi * k * fc / fs) / (kPi * k);
        }
        m_coefficients[static_cast<std::size_t>(k + 32)] = h;
    }
    m_nHistoryIndex = 0;
    m_bDesigned = true;
    return true;
}

void CBandPassFilter::Filter(const std::int16_t* in, std::int16_t* out, std::uint32_t count) {
    if (count == 0) return;
    const std::size_t n = count;
    const std::size_t ring = 2 * n;
    if (m_history.size() != ring) {
        m_history.assign(ring, 0);
        m_nHistoryIndex = 0;
    }
    std::int16_t* history = m_history.data();
    const std::size_t older = m_nHistoryIndex * n;
    const std::size_t newer = (1 - m_nHistoryIndex) * n;
    std::memcpy(history + newer, in, n * sizeof(std::int16_t));
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t start = older + i;
        double sum = 0.0;
        if (start + kTaps <= ring) {
            for (int j = 0; j < kTaps; ++j)
                sum += m_coefficients[static_cast<std::size_t>(kTaps - 1 - j)] * history[start + j];
        } else {
            for (int j = 0; j < kTaps; ++j)
                sum += m_coefficients[static_cast<std::size_t>(kTaps - 1 - j)] *
                       history[(start + static_cast<std::size_t>(j)) % ring];
        }
        out[i] = Saturate(sum);
    }
    m_nHistoryIndex = 1 - m_nHistoryIndex;
}
