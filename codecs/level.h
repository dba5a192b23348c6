#pragma once
// Signal levels of blocks of 16-bit samples, for voice-operated keying and
// the transmit and receive level meters.
#include <cstdint>

namespace hcy {

// The root-mean-square level of byteCount / 2 samples divided by the square
// root of 2 x scale: sqrt(sum(x * x / scale) / byteCount). Callers pass the
// sample rate [Hz] as the scale. NaN for a byteCount of 0.
float ComputeRmsLevel(const std::int16_t* samples, std::uint32_t byteCount, std::int32_t scale);

}  // namespace hcy
