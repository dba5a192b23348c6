// Rate conversion for the real speech engines, by the soxr library at its
// high quality (band-limited, linear phase): espeak-ng speaks at its own
// rate, pocketsphinx listens at its model's.
#include <soxr.h>

#include "engine.h"

namespace plat::speech {

bool Resample(std::span<const std::int16_t> in, DWORD inRate, DWORD outRate,
              std::vector<std::int16_t>& out) {
    if (inRate == 0 || outRate == 0) return false;
    // One sample over the exact length covers the rounding.
    const std::size_t capacity = in.size() * std::uint64_t{outRate} / inRate + 1;
    out.resize(capacity);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    std::size_t written = 0;
    const soxr_error_t error =
        soxr_oneshot(inRate, outRate, 1, in.data(), in.size(), nullptr, out.data(), out.size(),
                     &written, &io, &quality, nullptr);
    out.resize(error ? 0 : written);
    return !error;
}

}  // namespace plat::speech
